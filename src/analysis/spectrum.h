#pragma once
// The working arrays of the analysis and the reading of one frame of PCM samples into the
// windowed input of the transform.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "analysis/fft.h"
#include "analysis/frame.h"
#include "common/allocation_fault.h"

namespace tonamira {

// The five arrays of the analysis, allocated once for the largest frame length. Shorter
// frames use the front of each array. mag holds bins 0 .. n/2 - 1 of the last transform.
struct FftArrays {
  std::unique_ptr<double[]> mag;
  std::unique_ptr<double[]> noise;   // noise magnitudes, zero until a capture
  std::unique_ptr<double[]> input;   // windowed samples of the channel being transformed
  std::unique_ptr<Complex[]> work;   // stage scratch
  std::unique_ptr<Complex[]> out;    // transform result of the last channel
  int capacity = 0;

  bool allocated() const { return mag && noise && input && work && out; }
};

// Allocates the five arrays for n entries in the order mag, noise, input, work, out (all
// zero-filled). On a failure (real or injected by name "FftMag", "NoiseSpectrum",
// "FftInput", "FftWork", "FftOut") releases what it got and returns false; the caller shows
// "No memory".
bool AllocFftArrays(FftArrays& arrays, int n, const AllocationFault& fault = {});
void FreeFftArrays(FftArrays& arrays);

// Plans for the frame lengths in use, built on first use and kept (one per length).
class FftPlanCache {
 public:
  const FftPlan& For(int n);

 private:
  std::map<int, std::unique_ptr<FftPlan>> plans_;
};

// Reads channel `channel` (0 = first, 1 = second of a stereo frame) of the n-sample frame at
// `frame` into input[j] = w[j] * x[j], x being the sample value (8-bit: byte - 128; 16-bit:
// signed little-endian). The first channel steps by `channels` samples; the second channel
// is read only for channels == 2. Returns the drawing scale: -1.0 for 8 bits, -1/255 for
// 16 bits; for any other width nothing is read, input keeps its contents and 0.0 is returned.
// The same holds for a channel that the layout does not read (channel 1 of a frame that is
// not stereo, a negative channel, channels < 1).
// The caller guarantees FrameBytes(n, bits, channels) bytes at `frame` and n entries at
// window and input.
double LoadWindowedChannel(const uint8_t* frame, int n, int bits, int channels, int channel,
                           const double* window, double* input);

}  // namespace tonamira

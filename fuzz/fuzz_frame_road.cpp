// libFuzzer harness of the whole road a frame takes in the window: any bytes are read as a
// WAV file, and every frame of a loaded sound, at the positions the window and the
// command-line tool use and at arbitrary byte offsets, goes through the loudness rule, the
// transform of each channel, the spectrum's peak scan with and without a noise capture, and
// the detection with and without harmonic labelling, for the shortest and the longest frame
// length. Whatever the format claims, nothing may read outside the samples (ASan), and the
// road must stay within its own invariants.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "analysis/detection.h"
#include "analysis/frame.h"
#include "analysis/frame_analysis.h"
#include "analysis/loudness.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_peaks.h"
#include "sound/wav_reader.h"

namespace {

using namespace tonamira;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Road {
  explicit Road(int32_t n) : length(n), plan(n) { Check(AllocFftArrays(arrays, n)); }
  int32_t length;
  FftPlan plan;
  FftArrays arrays;
  DetectionState state;
  std::vector<SpectrumPeak> peaks;
};

void Walk(Road& road, const PcmFrame& frame, int32_t rate, bool capture, bool labelHarmonics) {
  const bool readable = frame.Readable();
  const bool loud = FrameTooLoud(frame);
  Check(!loud || (readable && frame.bits == 16));

  const int32_t bins = DisplayBins(frame.length, rate, 2000.0);
  SpectrumPeakState peakState{10.0, 1, capture, 0.0};
  const std::span<const double> mags(road.arrays.mag.get(), static_cast<size_t>(frame.length / 2));
  const std::span<double> noise(road.arrays.noise.get(), static_cast<size_t>(road.arrays.capacity));
  const TransformOutcome outcome =
      TransformChannels(frame, road.plan, road.arrays, [&](int channel, double scale) {
        Check(channel == 0 || frame.channels == 2);
        Check(scale < 0.0);
        ScanSpectrumPeaks(frame.length, bins, mags, noise, peakState, road.peaks);
        for (const SpectrumPeak& p : road.peaks) Check(p.bin >= 2 && p.bin < frame.length / 2 - 1);
      });
  Check((outcome == TransformOutcome::Done) == readable);
  if (!readable) return;

  DetectionSettings settings;
  settings.fftSize = frame.length;
  settings.recRate = rate;
  settings.sampleRate = static_cast<uint32_t>(rate);
  settings.drivesMixer = labelHarmonics;
  if (DetectPitch(road.arrays.mag.get(), road.arrays.noise.get(), road.arrays.out.get(), settings,
                  road.state)) {
    Check(road.state.peaks.count >= 1 && road.state.peaks.count <= kMaxPeaks);
    for (int k = 1; k <= road.state.peaks.count; ++k)
      Check(road.state.peaks.bin[k] > 0 && road.state.peaks.bin[k] < frame.length / 2 - 1);
  }
  // The noise spectrum only ever holds a frame's magnitudes; start each frame without one.
  std::fill_n(road.arrays.noise.get(), road.arrays.capacity, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Road shortest(kMinFftSize);
  static Road longest(FftSizeFromExp(kMaxFftSizeExp));

  const WaveFormat previous = FillWaveFormat({16, 44100, 1});
  const WavReadResult read = ReadWavBytes(std::span<const uint8_t>(data, size), previous);
  if (!read.ok) return 0;
  const std::span<const uint8_t> sound(read.data.get(), read.size);
  const WaveFormat& f = read.format;
  const auto rate = static_cast<int32_t>(std::min<uint32_t>(f.nSamplesPerSec, INT32_MAX));

  for (Road* road : {&shortest, &longest}) {
    PcmFrame frame{sound, 0, road->length, f.nChannels, f.wBitsPerSample, f.nBlockAlign};
    // Positions as scrolling makes them (whole blocks), a quarter frame apart, and the last
    // position a scroll bar could reach.
    const uint64_t step = static_cast<uint64_t>(f.nBlockAlign) * static_cast<uint64_t>(road->length / 4);
    int walked = 0;
    for (uint64_t pos = 0; pos <= sound.size() && walked < 64; pos += step, ++walked) {
      frame.offset = pos;
      Walk(*road, frame, rate, walked == 1, (walked & 1) == 0);
    }
    const uint64_t span = static_cast<uint64_t>(f.nBlockAlign) * static_cast<uint64_t>(road->length);
    if (span <= sound.size()) {
      frame.offset = sound.size() - span;
      Walk(*road, frame, rate, false, true);
    }
    // Offsets as the playback position makes them, which need not be whole blocks: taken
    // from the input's last bytes, so the fuzzer steers them.
    for (size_t k = 0; k < 4 && 4 * (k + 1) <= size; ++k) {
      const uint8_t* p = data + size - 4 * (k + 1);
      const uint32_t raw = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
      frame.offset = sound.empty() ? raw : raw % (sound.size() + 8);
      Walk(*road, frame, rate, false, k == 0);
    }
  }
  return 0;
}

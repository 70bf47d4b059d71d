#pragma once
// What the decoders (libsndfile, FFmpeg) hand their samples to, chunk by chunk, and how a
// decode ends. The decoders only decode; what is kept of the samples, and in which form, is
// the sink's: 16-bit PCM of the first two channels for the window, every channel as floats
// for the command-line tool. A sink keeps only what it is given, so what a decode holds is
// bounded by what the file actually yields, whatever its header says.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

namespace tonamira {

// The stream as the decoder found it.
struct StreamInfo {
  std::string description;  // format and codec names, as the decoder gives them
  int channels = 0;         // at least 1
  int sampleRate = 0;       // at least 1
  int bits = 0;             // bits per stored sample; 0 for a compressed codec
};

class SampleSink {
 public:
  virtual ~SampleSink() = default;
  // Before the first samples.
  virtual void Begin(const StreamInfo& info) = 0;
  // `frames` sample frames of interleaved samples in the stream's channels, on a full scale
  // of 1.0 and all finite. False stops the decode (the sink says why in StopReason).
  virtual bool Take(const float* samples, size_t frames) = 0;
  virtual std::string StopReason() const = 0;
};

// A float file may hold NaN or infinities; they carry no sound and would poison every sum
// over a frame, so each decoder reads them as silence before a sink takes them.
inline void SilenceNonFinite(float* samples, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (!std::isfinite(samples[i])) samples[i] = 0.0f;
}

// Called as the decode goes on with the share of the file done (0 .. 1); false cancels it.
using DecodeProgress = std::function<bool(double fraction)>;

// The share `done` is of `whole`, at most 1; 0 while either is unknown (not positive).
inline double ShareDone(double done, double whole) {
  return whole > 0 && done > 0 ? std::min(1.0, done / whole) : 0.0;
}

enum class DecodeEnd {
  Decoded,    // to the end of the stream (or to a damaged part after some samples)
  NotOpened,  // the decoder does not know the file: another one may
  Failed,     // the decoder knew the file but could not decode any of it
  Cancelled,  // the progress callback said stop
  Stopped,    // the sink said stop
};

struct DecodeOutcome {
  DecodeEnd end = DecodeEnd::NotOpened;
  std::string message;  // the decoder's own reason, for NotOpened and Failed
};

}  // namespace tonamira

#include "cli/precise_track.h"

#include <algorithm>

#include "analysis/frame.h"
#include "analysis/rounding.h"
#include "cli/analyze_precise.h"
#include "cli/pcm_bytes.h"

namespace tonamira {

int32_t PreciseFrameLength(uint32_t sampleRate) {
  // The tracker's lowest pitch (TrackerSettings::minHz) needs a lag of rate / 60 samples,
  // which it searches up to half the frame.
  const double needed = 2.0 * static_cast<double>(sampleRate) / TrackerSettings{}.minHz;
  for (int32_t n = 256; n < 2048; n *= 2)
    if (static_cast<double>(n) >= needed) return n;
  return 2048;
}

std::string BuildPreciseTrack(std::span<const uint8_t> data, const WaveFormat& format,
                              const TrackOptions& options, PitchTrack& track) {
  if (format.nBlockAlign == 0 || format.nSamplesPerSec == 0 || format.nChannels == 0)
    return "the format cannot be framed";
  const double rate = static_cast<double>(format.nSamplesPerSec);
  const uint64_t totalFrames = data.size() / format.nBlockAlign;
  const double duration = static_cast<double>(totalFrames) / rate;
  const double to = std::min(options.toSeconds.value_or(duration), duration);
  if (options.fromSeconds < 0.0 || options.fromSeconds >= to)
    return "nothing to plot between the requested times";

  const int32_t frame = PreciseFrameLength(format.nSamplesPerSec);
  const int32_t half = frame / 2;
  const int32_t hop = std::max(1, RoundInt(options.hopSeconds * rate));
  // As the window's track: frames whose centre lies in [from, to], their data reaching half
  // a frame before `from`.
  const int64_t fromFrame = RoundInt64(options.fromSeconds * rate);
  const int64_t toFrame = std::min(RoundInt64(to * rate), static_cast<int64_t>(totalFrames));
  const int64_t base = std::max<int64_t>(0, fromFrame - half);
  const int64_t end = std::min(toFrame + half, static_cast<int64_t>(totalFrames));
  const auto firstByte = static_cast<size_t>(base) * format.nBlockAlign;
  const auto lastByte = static_cast<size_t>(end) * format.nBlockAlign;

  AnalyzeOptions analyze;
  analyze.frame = frame;
  analyze.hop = hop;

  track = PitchTrack{};
  track.stepSeconds = static_cast<double>(hop) / rate;
  track.startSeconds = options.fromSeconds;
  track.endSeconds = to;
  track.points.reserve(static_cast<size_t>((end - base) / hop + 1));
  const std::span<const uint8_t> stretch = data.subspan(firstByte, lastByte - firstByte);
  SpanPcmBytes bytes(stretch);
  PreciseInput input;
  input.pcm = &bytes;
  input.format = format;
  return AnalyzeSoundPrecise(input, analyze, [&](const PreciseRow& row) {
    const int64_t start = base + static_cast<int64_t>(row.framePos / format.nBlockAlign);
    const int64_t centre = start + half;
    if (centre < fromFrame || centre > toFrame) return;
    PitchPoint point;
    point.timeSeconds = static_cast<double>(centre) / rate;
    if (row.estimate.voiced) point.hz = row.estimate.hz;
    point.level = FrameRmsLevel(stretch.data() + row.framePos, frame, format.wBitsPerSample,
                                format.nChannels);
    track.points.push_back(point);
  });
}

}  // namespace tonamira

#include "cli/pitch_track.h"

#include <algorithm>
#include <cmath>

#include "analysis/frame_analysis.h"
#include "analysis/rounding.h"
#include "cli/analyze.h"

namespace tonamira {

double MidiFromHz(double hz) { return 69.0 + 12.0 * std::log2(hz / 440.0); }

double FrameRmsLevel(const uint8_t* data, int32_t length, int32_t bits, int32_t channels) {
  const int64_t count = static_cast<int64_t>(length) * channels;
  if (count <= 0) return 0.0;
  double sum = 0.0;
  if (bits == 8) {
    for (int64_t i = 0; i < count; ++i) {
      const double s = (static_cast<double>(data[i]) - 128.0) / 128.0;
      sum += s * s;
    }
  } else {
    for (int64_t i = 0; i < count; ++i) {
      const auto raw = static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
      const double s = static_cast<double>(static_cast<int16_t>(raw)) / 32768.0;
      sum += s * s;
    }
  }
  return std::sqrt(sum / static_cast<double>(count));
}

int32_t PlotFrameLength(uint32_t sampleRate) {
  for (int32_t n = 256; n < 2048; n *= 2)
    if (static_cast<double>(n) >= 0.040 * static_cast<double>(sampleRate)) return n;
  return 2048;
}

std::optional<double> TrackStretch::CentreSeconds(uint64_t framePos, uint16_t blockAlign) const {
  const int64_t centre = base + static_cast<int64_t>(framePos / blockAlign) + frame / 2;
  if (centre < fromFrame || centre > toFrame) return std::nullopt;
  return static_cast<double>(centre) / rate;
}

std::string PlanTrackStretch(std::span<const uint8_t> data, const WaveFormat& format,
                             const TrackOptions& options, int32_t frame, TrackStretch& stretch,
                             PitchTrack& track) {
  if (format.nBlockAlign == 0 || format.nSamplesPerSec == 0 || format.nChannels == 0)
    return "the format cannot be framed";
  const double rate = static_cast<double>(format.nSamplesPerSec);
  const uint64_t totalFrames = data.size() / format.nBlockAlign;
  const double duration = static_cast<double>(totalFrames) / rate;
  const double to = std::min(options.toSeconds.value_or(duration), duration);
  if (options.fromSeconds < 0.0 || options.fromSeconds >= to)
    return "nothing to plot between the requested times";

  stretch = TrackStretch{};
  stretch.rate = rate;
  stretch.frame = frame;
  stretch.hop = std::max(1, RoundInt(options.hopSeconds * rate));
  const int32_t half = frame / 2;
  stretch.fromFrame = RoundInt64(options.fromSeconds * rate);
  stretch.toFrame = std::min(RoundInt64(to * rate), static_cast<int64_t>(totalFrames));
  stretch.base = std::max<int64_t>(0, stretch.fromFrame - half);
  const int64_t end = std::min(stretch.toFrame + half, static_cast<int64_t>(totalFrames));
  const auto firstByte = static_cast<size_t>(stretch.base) * format.nBlockAlign;
  const auto lastByte = static_cast<size_t>(end) * format.nBlockAlign;
  stretch.bytes = data.subspan(firstByte, lastByte - firstByte);

  track = PitchTrack{};
  track.stepSeconds = static_cast<double>(stretch.hop) / rate;
  track.startSeconds = options.fromSeconds;
  track.endSeconds = to;
  track.points.reserve(static_cast<size_t>((end - stretch.base) / stretch.hop + 1));
  return {};
}

std::string BuildWindowTrack(std::span<const uint8_t> data, const WaveFormat& format,
                             const TrackOptions& options, PitchTrack& track) {
  TrackStretch stretch;
  if (std::string problem = PlanTrackStretch(data, format, options,
                                             PlotFrameLength(format.nSamplesPerSec), stretch,
                                             track);
      !problem.empty())
    return problem;
  AnalyzeOptions analyze;
  analyze.frame = stretch.frame;
  analyze.hop = stretch.hop;
  const bool levelReadable = AnalysableBits(format.wBitsPerSample);
  return AnalyzeSound(stretch.bytes, format, analyze, [&](const FrameRow& row) {
    const std::optional<double> time = stretch.CentreSeconds(row.framePos, format.nBlockAlign);
    if (!time) return;
    PitchPoint point;
    point.timeSeconds = *time;
    if (row.detected && row.pitchHz > 0) point.hz = static_cast<double>(row.pitchHz);
    if (levelReadable)
      point.level = FrameRmsLevel(stretch.bytes.data() + row.framePos, stretch.frame,
                                  format.wBitsPerSample, format.nChannels);
    track.points.push_back(point);
  });
}

}  // namespace tonamira

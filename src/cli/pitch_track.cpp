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

std::string BuildWindowTrack(std::span<const uint8_t> data, const WaveFormat& format,
                             const TrackOptions& options, PitchTrack& track) {
  if (format.nBlockAlign == 0 || format.nSamplesPerSec == 0 || format.nChannels == 0)
    return "the format cannot be framed";
  const double rate = static_cast<double>(format.nSamplesPerSec);
  const uint64_t totalFrames = data.size() / format.nBlockAlign;
  const double duration = static_cast<double>(totalFrames) / rate;
  const double to = std::min(options.toSeconds.value_or(duration), duration);
  if (options.fromSeconds < 0.0 || options.fromSeconds >= to)
    return "nothing to plot between the requested times";

  const int32_t frame = PlotFrameLength(format.nSamplesPerSec);
  const int32_t half = frame / 2;
  const int32_t hop = std::max(1, RoundInt(options.hopSeconds * rate));
  // Frames are kept whose centre lies in [from, to]; they start half a frame earlier, so
  // the analysed bytes begin half a frame before `from` (or at the start of the sound).
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
  const bool levelReadable = AnalysableBits(format.wBitsPerSample);
  return AnalyzeSound(stretch, format, analyze, [&](const FrameRow& row) {
    const int64_t start = base + static_cast<int64_t>(row.framePos / format.nBlockAlign);
    const int64_t centre = start + half;
    if (centre < fromFrame || centre > toFrame) return;
    PitchPoint point;
    point.timeSeconds = static_cast<double>(centre) / rate;
    if (row.detected && row.pitchHz > 0) point.hz = static_cast<double>(row.pitchHz);
    if (levelReadable)
      point.level = FrameRmsLevel(stretch.data() + row.framePos, frame, format.wBitsPerSample,
                                  format.nChannels);
    track.points.push_back(point);
  });
}

}  // namespace tonamira

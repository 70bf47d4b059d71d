#include "cli/analyze_live.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

#include "analysis/channel_pick.h"
#include "analysis/frame.h"
#include "analysis/live_pitch.h"

namespace tonamira {
namespace {

// Sample frames pushed at a time: about a sound card's buffer at 44100 Hz (93 ms); the rows
// do not depend on it.
constexpr int kBlock = 4096;

// Hands the final points out as rows in frame order: a frame's final point can come up to
// the look-ahead after a later frame's.
class RowsInOrder {
 public:
  RowsInOrder(uint64_t bytesPerSampleFrame, int32_t hop, double rate,
              const std::function<void(const PreciseRow&)>& row)
      : bytesPerSampleFrame_(bytesPerSampleFrame), hop_(hop), rate_(rate), row_(row) {}

  void Take(const std::vector<LivePoint>& points) {
    for (const LivePoint& p : points) {
      if (!p.isFinal) continue;
      const auto at = static_cast<size_t>(p.frame - next_);
      if (waiting_.size() <= at) waiting_.resize(at + 1);
      PreciseRow r;
      const int64_t start = p.frame * hop_;
      r.framePos = static_cast<uint64_t>(start) * bytesPerSampleFrame_;
      r.timeSeconds = static_cast<double>(start) / rate_;
      r.estimate.voiced = p.voiced;
      r.estimate.hz = p.hz;
      r.estimate.candidateHz = p.candidateHz;
      r.estimate.confidence = p.confidence;
      r.estimate.levelDb = p.levelDb;
      waiting_[at] = r;
    }
    while (!waiting_.empty() && waiting_.front()) {
      row_(*waiting_.front());
      waiting_.pop_front();
      ++next_;
    }
  }

 private:
  uint64_t bytesPerSampleFrame_;
  int32_t hop_;
  double rate_;
  const std::function<void(const PreciseRow&)>& row_;
  std::deque<std::optional<PreciseRow>> waiting_;
  int64_t next_ = 0;  // the frame of waiting_.front()
};

}  // namespace

std::string AnalyzeSoundLive(const PreciseInput& input, const AnalyzeOptions& options,
                             const std::function<void(const PreciseRow&)>& row,
                             const std::function<void(double)>& progress) {
  if (std::string why = CheckPreciseInput(input, options, true); !why.empty()) return why;
  const bool fromPcm = input.samples == nullptr;
  const WaveFormat& f = input.format;
  const int channels = fromPcm ? f.nChannels : input.channels;

  LiveTrackerSettings settings;
  settings.tracker.sampleRate = fromPcm ? f.nSamplesPerSec : input.sampleRate;
  settings.frameLength = options.frame;
  settings.hop = options.hop;
  settings.tracker.minHz = options.minHz;
  settings.tracker.maxHz = options.maxHz;
  LivePitchTracker tracker(settings);
  if (!tracker.valid())
    return TrackerRefusal(settings.frameLength > 0 ? settings.frameLength
                                                   : PreciseFrameLength(static_cast<uint32_t>(
                                                         settings.tracker.sampleRate)),
                          settings.tracker, "live");

  const uint64_t bytesPerSampleFrame = fromPcm ? f.nBlockAlign : 2u * static_cast<uint64_t>(channels);
  RowsInOrder rows(bytesPerSampleFrame, tracker.hop(), tracker.sampleRate(), row);
  const int64_t total =
      fromPcm ? static_cast<int64_t>(input.pcm->size() / f.nBlockAlign) : input.frames;
  std::vector<double> samples(kBlock);
  std::vector<LivePoint> points;
  for (int64_t first = 0; first < total; first += kBlock) {
    const int count = static_cast<int>(std::min<int64_t>(kBlock, total - first));
    if (fromPcm) {
      const uint8_t* bytes = input.pcm->At(static_cast<uint64_t>(first) * f.nBlockAlign,
                                           static_cast<uint64_t>(count) * f.nBlockAlign);
      if (!bytes) return "No read";  // the file shrank or failed while it was being read
      PcmChannelToReal(bytes, count, f.wBitsPerSample, f.nChannels, options.channel,
                       samples.data());
    } else {
      FloatChannelToReal(input.samples + first * input.channels, count, input.channels,
                         options.channel, samples.data());
    }
    points.clear();
    tracker.Push(std::span<const double>(samples.data(), static_cast<size_t>(count)), points);
    rows.Take(points);
    if (progress) progress(static_cast<double>(first + count) / static_cast<double>(total));
  }
  points.clear();
  tracker.Finish(points);
  rows.Take(points);
  return {};
}

}  // namespace tonamira

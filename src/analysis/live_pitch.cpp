#include "analysis/live_pitch.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/rounding.h"
#include "analysis/voicing.h"

namespace tonamira {
namespace {

// The longest hop of the live trace, in seconds: a point every 10 ms at the latest keeps the
// line smooth under a vibrato of 9 Hz (eleven points a cycle) and adds at most that much
// waiting to the latency.
constexpr double kLongestHopSeconds = 0.010;
// The longest look-ahead accepted, in frames: the ring of pending frames stays small.
constexpr int32_t kMaxLookAhead = 1024;
// The sample buffer holds this many frames: samples are moved to its front once per
// (this - 1) frames' worth of input, never more than a frame of them at a time.
constexpr size_t kBufferFrames = 4;
// A 16-bit sample's value on a full scale of 1.0, as the offline method converts it.
constexpr double kSample16Scale = 1.0 / 32768.0;

int32_t FrameLengthFor(const LiveTrackerSettings& s) {
  if (s.frameLength != 0) return s.frameLength;
  const double rate = s.tracker.sampleRate;
  if (!(rate >= 1.0) || rate > static_cast<double>(std::numeric_limits<uint32_t>::max()))
    return 0;  // PitchTracker refuses it
  return PreciseFrameLength(static_cast<uint32_t>(RoundInt64(rate)));
}

double ToReal(int16_t v) { return v * kSample16Scale; }
double ToReal(double v) { return v; }

}  // namespace

int32_t LiveHop(double sampleRate) {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return 0;
  const double longest = sampleRate * kLongestHopSeconds;
  int32_t hop = 1;
  while (hop <= std::numeric_limits<int32_t>::max() / 2 && 2.0 * hop <= longest) hop *= 2;
  return hop;
}

namespace {
// The hop the frames come at: the settings' own, or the rate's default.
int32_t HopOf(const LiveTrackerSettings& s) {
  return s.hop != 0 ? s.hop : LiveHop(s.tracker.sampleRate);
}
// The tracker's settings with that hop.
TrackerSettings AtHop(const LiveTrackerSettings& s) {
  TrackerSettings t = s.tracker;
  t.hop = HopOf(s);
  return t;
}
}  // namespace

LivePitchTracker::LivePitchTracker(const LiveTrackerSettings& settings)
    : tracker_(FrameLengthFor(settings), AtHop(settings)),
      settings_(settings.tracker),
      rate_(settings.tracker.sampleRate) {
  if (!tracker_.valid()) return;
  const int32_t hop = HopOf(settings);
  if (hop < 1 || hop > tracker_.frameLength() || settings.lookAhead < 0 ||
      settings.lookAhead > kMaxLookAhead)
    return;
  n_ = tracker_.frameLength();
  history_ = tracker_.historyLength();
  hop_ = hop;
  lookAhead_ = settings.lookAhead;
  buffer_.resize(kBufferFrames * static_cast<size_t>(n_ + history_));
  ring_.resize(static_cast<size_t>(lookAhead_) + 1);
}

void LivePitchTracker::Push(std::span<const int16_t> samples, std::vector<LivePoint>& out) {
  PushSamples(samples, out);
}

void LivePitchTracker::Push(std::span<const double> samples, std::vector<LivePoint>& out) {
  PushSamples(samples, out);
}

template <typename Sample>
void LivePitchTracker::PushSamples(std::span<const Sample> samples, std::vector<LivePoint>& out) {
  if (!valid()) return;
  size_t done = 0;
  while (done < samples.size()) {
    if (filled_ == buffer_.size()) {
      // Full: keep from the next frame's history on (less than a frame and its history, as
      // a frame that fits is analysed before more samples come in).
      const auto start = static_cast<size_t>(
          std::max<int64_t>(0, next_ * hop_ - history_ - base_));
      std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(start), buffer_.end(),
                buffer_.begin());
      filled_ -= start;
      base_ += static_cast<int64_t>(start);
    }
    const size_t count = std::min(buffer_.size() - filled_, samples.size() - done);
    double* to = buffer_.data() + filled_;
    for (size_t i = 0; i < count; ++i) to[i] = ToReal(samples[done + i]);
    filled_ += count;
    done += count;
    seen_ += static_cast<int64_t>(count);
    AnalyseReadyFrames(out);
  }
}

void LivePitchTracker::AnalyseReadyFrames(std::vector<LivePoint>& out) {
  for (;;) {
    const int64_t start = next_ * hop_ - base_;
    if (start + n_ > static_cast<int64_t>(filled_)) return;
    const int64_t frame = next_++;
    Slot& slot = SlotOf(frame);
    // The history the offline method gives the same frame: as much as the stream has.
    const int64_t before = std::min<int64_t>(history_, frame * hop_);
    slot.estimate = tracker_.Analyze(std::span<const double>(
        buffer_.data() + (start - before), static_cast<size_t>(before + n_)));
    slot.open = !slot.estimate.voiced && lookAhead_ > 0;
    out.push_back(PointOf(frame));
    Decide(frame, out);
  }
}

LivePitchTracker::Slot& LivePitchTracker::SlotOf(int64_t frame) {
  return ring_[static_cast<size_t>(frame % static_cast<int64_t>(ring_.size()))];
}

const LivePitchTracker::Slot& LivePitchTracker::SlotOf(int64_t frame) const {
  return ring_[static_cast<size_t>(frame % static_cast<int64_t>(ring_.size()))];
}

void LivePitchTracker::Decide(int64_t frame, std::vector<LivePoint>& out) {
  const int64_t oldest = std::max<int64_t>(0, frame - lookAhead_);
  // A voiced frame voices the open frames before it that lead into it, one after another,
  // as far back as the look-ahead reaches. Every frame in reach is either voiced (and the
  // chain stops, as it did when that frame came) or still open.
  if (SlotOf(frame).estimate.voiced)
    for (int64_t f = frame - 1; f >= oldest; --f) {
      Slot& here = SlotOf(f);
      if (!here.open || !VoiceIfLeadsInto(here.estimate, SlotOf(f + 1).estimate, settings_))
        break;
      here.open = false;
      out.push_back(PointOf(f));
    }
  // The frame lookAhead frames back has seen all the later frames it waits for.
  if (lookAhead_ > 0 && frame >= lookAhead_) {
    Slot& last = SlotOf(frame - lookAhead_);
    if (last.open) {
      last.open = false;
      out.push_back(PointOf(frame - lookAhead_));
    }
  }
}

LivePoint LivePitchTracker::PointOf(int64_t frame) const {
  const Slot& slot = SlotOf(frame);
  LivePoint p;
  p.frame = frame;
  p.timeSeconds = static_cast<double>(frame * hop_ + n_ / 2) / rate_;
  p.isFinal = !slot.open;
  p.voiced = slot.estimate.voiced;
  p.hz = slot.estimate.hz;
  p.candidateHz = slot.estimate.candidateHz;
  p.confidence = slot.estimate.confidence;
  p.levelDb = slot.estimate.levelDb;
  return p;
}

void LivePitchTracker::Finish(std::vector<LivePoint>& out) {
  const int64_t first = std::max<int64_t>(0, next_ - lookAhead_);
  for (int64_t f = first; f < next_; ++f) {
    Slot& slot = SlotOf(f);
    if (!slot.open) continue;
    slot.open = false;
    out.push_back(PointOf(f));
  }
  Reset();
}

void LivePitchTracker::Reset() {
  tracker_.Reset();
  filled_ = 0;
  base_ = 0;
  seen_ = 0;
  next_ = 0;
  for (Slot& slot : ring_) slot = Slot{};
}

}  // namespace tonamira

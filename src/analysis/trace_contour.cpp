#include "analysis/trace_contour.h"

#include <algorithm>
#include <cmath>

namespace tonamira {

bool TraceContour::Start(double sampleRate, int channels, int bits) {
  Clear();
  if (!(sampleRate > 0.0) || channels < 1 || (bits != 8 && bits != 16)) return false;
  LiveTrackerSettings settings;
  settings.tracker.sampleRate = sampleRate;
  tracker_ = LivePitchTracker(settings);
  if (!tracker_.valid()) return false;
  sampleRate_ = sampleRate;
  channels_ = channels;
  bits_ = bits;
  frameBytes_ = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
  hopSeconds_ = tracker_.hop() / sampleRate;
  offsetSeconds_ = tracker_.frameLength() / 2.0 / sampleRate;
  tracking_ = true;
  return true;
}

void TraceContour::Clear() {
  tracking_ = false;
  sampleRate_ = 0.0;
  samplesSeen_ = 0;
  partial_.clear();
  points_.clear();
}

void TraceContour::Push(std::span<const uint8_t> bytes) {
  if (!tracking_ || bytes.empty()) return;
  // A sample frame begun by the last push is completed first.
  if (!partial_.empty()) {
    const size_t need = std::min(frameBytes_ - partial_.size(), bytes.size());
    partial_.insert(partial_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(need));
    bytes = bytes.subspan(need);
    if (partial_.size() < frameBytes_) return;
    mono_.resize(1);
    PcmChannelToReal(partial_.data(), 1, bits_, channels_, ChannelChoice::kWindowRule, mono_.data());
    partial_.clear();
    fresh_.clear();
    tracker_.Push(std::span<const double>(mono_), fresh_);
    ++samplesSeen_;
    Keep(fresh_);
  }
  const size_t frames = bytes.size() / frameBytes_;
  if (frames > 0) {
    mono_.resize(frames);
    PcmChannelToReal(bytes.data(), static_cast<int>(frames), bits_, channels_,
                     ChannelChoice::kWindowRule, mono_.data());
    fresh_.clear();
    tracker_.Push(std::span<const double>(mono_), fresh_);
    samplesSeen_ += static_cast<int64_t>(frames);
    Keep(fresh_);
  }
  const size_t rest = bytes.size() - frames * frameBytes_;
  partial_.assign(bytes.end() - static_cast<std::ptrdiff_t>(rest), bytes.end());
}

void TraceContour::Finish() {
  if (!tracking_) return;
  fresh_.clear();
  tracker_.Finish(fresh_);
  Keep(fresh_);
}

void TraceContour::Keep(const std::vector<LivePoint>& points) {
  for (const LivePoint& p : points) {
    if (p.frame < 0) continue;
    const auto at = static_cast<size_t>(p.frame);
    if (at >= points_.size()) points_.resize(at + 1);
    Point& kept = points_[at];
    // A final point is never replaced by a later provisional one.
    if (kept.isFinal && !p.isFinal) continue;
    kept.hz = p.voiced ? static_cast<float>(p.hz) : 0.0f;
    kept.levelDb = static_cast<float>(p.levelDb);
    kept.isFinal = p.isFinal;
  }
}

int64_t TraceContour::FrameAt(double seconds) const {
  if (points_.empty() || !(hopSeconds_ > 0.0)) return -1;
  const double f = std::round((seconds - offsetSeconds_) / hopSeconds_);
  const double last = static_cast<double>(points_.size() - 1);
  return static_cast<int64_t>(std::clamp(f, 0.0, last));
}

void TraceContour::Expand(int64_t from, int64_t to, std::vector<LivePoint>& out) const {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, static_cast<int64_t>(points_.size()));
  for (int64_t f = from; f < to; ++f) {
    const Point& p = points_[static_cast<size_t>(f)];
    LivePoint l;
    l.frame = f;
    l.timeSeconds = TimeOf(f);
    l.isFinal = p.isFinal;
    l.voiced = p.voiced();
    l.hz = p.hz;
    l.candidateHz = p.hz;
    l.levelDb = p.levelDb;
    out.push_back(l);
  }
}

}  // namespace tonamira

#include "analysis/follow_range.h"

#include <algorithm>
#include <cmath>

namespace tonamira {
namespace {

// MIDI number of A4, the reference note.
constexpr double kMidiA4 = 69.0;

// The value at `share` (0 .. 1) of the sorted order of v (which it reorders), v not empty.
double Quantile(std::vector<double>& v, double share) {
  const auto at = static_cast<size_t>(share * static_cast<double>(v.size() - 1) + 0.5);
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(at), v.end());
  return v[at];
}

}  // namespace

FollowingRange::FollowingRange(MidiSpan initial) : range_(initial) {}

void FollowingRange::Fix(MidiSpan range) {
  range_ = range;
  fixed_ = true;
}

std::optional<MidiSpan> FollowingRange::Target(std::span<const LivePoint> points, double a4Hz,
                                              double sinceSeconds) {
  recent_.clear();
  for (size_t i = points.size(); i-- > 0 && points[i].timeSeconds >= sinceSeconds;)
    if (points[i].voiced && points[i].hz > 0.0)
      recent_.push_back(kMidiA4 + 12.0 * std::log2(points[i].hz / a4Hz));
  if (recent_.empty()) return std::nullopt;
  const double median = Quantile(recent_, 0.5);
  for (double& m : recent_) m = std::abs(m - median);
  const double reach = Quantile(recent_, kCoveredShare);
  const double span = std::clamp(2.0 * (reach + kMarginSemitones), kMinSpan, kMaxSpan);
  return MidiSpan{median - 0.5 * span, median + 0.5 * span};
}

void FollowingRange::Follow(std::span<const LivePoint> points, double a4Hz,
                            double elapsedSeconds) {
  if (fixed_ || points.empty() || !(elapsedSeconds > 0.0) || !(a4Hz > 0.0)) return;
  const std::optional<MidiSpan> target =
      Target(points, a4Hz, points.back().timeSeconds - kRecentSeconds);
  if (!target) return;
  // The exponential approach over the time elapsed: two updates of dt give the same range
  // as one of 2 dt.
  const double step = 1.0 - std::exp(-elapsedSeconds / kTimeConstantSeconds);
  const double centre = range_.centre() + step * (target->centre() - range_.centre());
  const double width = range_.span() + step * (target->span() - range_.span());
  range_ = {centre - 0.5 * width, centre + 0.5 * width};
}

void FollowingRange::Cover(std::span<const LivePoint> points, double a4Hz) {
  if (fixed_ || points.empty() || !(a4Hz > 0.0)) return;
  if (const std::optional<MidiSpan> target = Target(points, a4Hz, points.front().timeSeconds))
    range_ = *target;
}

}  // namespace tonamira

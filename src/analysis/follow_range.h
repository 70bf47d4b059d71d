#pragma once
// The pitch range the trace shows, following the voice: centred on the median of the recent
// voiced pitches, wide enough for nearly all of them and at least an octave, moving towards
// them smoothly as the voice moves; or fixed where the user put it.
//
// Ranges are in semitones on the reference's scale: fractional MIDI numbers, 69 + 12 log2(hz
// / a4), so 69 is the reference A4 and each whole number a note of the grid.

#include <optional>
#include <span>
#include <vector>

#include "analysis/live_pitch.h"

namespace tonamira {

struct MidiSpan {
  double low = 0.0;
  double high = 0.0;
  double centre() const { return 0.5 * (low + high); }
  double span() const { return high - low; }
};

class FollowingRange {
 public:
  // The narrowest range: an octave, so a note and its neighbours always have room.
  static constexpr double kMinSpan = 12.0;
  // The widest range it widens to by itself: four octaves, past any one voice's compass.
  static constexpr double kMaxSpan = 48.0;
  // The pitches that count as recent: the voiced points of the last 3 s before the latest
  // point, about a phrase.
  static constexpr double kRecentSeconds = 3.0;
  // The range takes in this share of the recent pitches' spread around their median (the
  // rest are strays, octave slips, that must not zoom the view out).
  static constexpr double kCoveredShare = 0.9;
  // Room left above and below the covered pitches, in semitones.
  static constexpr double kMarginSemitones = 1.0;
  // Time constant of the movement: after a change of the voice the range has gone 1 - 1/e
  // (63 %) of the way in 0.4 s and 92 % in one second: quick enough to keep up with a
  // phrase, slow enough not to jump with every note. The movement depends only on the time
  // elapsed, not on how often the range is updated.
  static constexpr double kTimeConstantSeconds = 0.4;

  // Starts following, from `initial` (by default G3 .. G4, the middle of the singing voices).
  explicit FollowingRange(MidiSpan initial = {55.0, 67.0});

  // One drawn frame, elapsedSeconds after the last: moves the range towards the voiced
  // points among `points` (in time order) of the last kRecentSeconds before the latest
  // point, on the scale of a4Hz. Nothing moves while the range is fixed, when no recent
  // point is voiced, or when no time has elapsed.
  void Follow(std::span<const LivePoint> points, double a4Hz, double elapsedSeconds);

  // A stretch looked at as a whole (browsing a sound): the range goes at once to where it
  // covers the voiced points among `points` as Follow would make it cover the recent ones.
  // Nothing moves while fixed or when none is voiced.
  void Cover(std::span<const LivePoint> points, double a4Hz);

  // The user fixed the range (dragged or zoomed it): it stays at `range` until Release.
  void Fix(MidiSpan range);
  // Follows the voice again, moving on from where the range is.
  void Release() { fixed_ = false; }

  bool fixed() const { return fixed_; }
  MidiSpan range() const { return range_; }

 private:
  // The range the voiced points from sinceSeconds on ask for: their median at the centre,
  // kCoveredShare of them inside with kMarginSemitones to spare, kMinSpan .. kMaxSpan wide.
  std::optional<MidiSpan> Target(std::span<const LivePoint> points, double a4Hz, double sinceSeconds);

  MidiSpan range_;
  bool fixed_ = false;
  std::vector<double> recent_;  // scratch: the recent pitches, then their distances
};

}  // namespace tonamira

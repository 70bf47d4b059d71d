// The pitch trace's rules: the note read-out and the cents bar's colours as tables, and the
// pitch range that follows the voice (median, cover, time constant, fixing).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "analysis/follow_range.h"
#include "analysis/note_readout.h"

namespace tonamira {
namespace {

constexpr double kStep = 256.0 / 44100.0;  // the live hop at 44100 Hz

// hz at `cents` from MIDI note `midi` on a scale whose A4 is a4.
double At(int midi, double cents, double a4 = 440.0) {
  return a4 * std::pow(2.0, (midi - 69 + cents / 100.0) / 12.0);
}

TEST(CentsBand, GreenToTenYellowToTwentyFiveRedBeyond) {
  const struct {
    double cents;
    CentsBand band;
  } cases[] = {
      {0.0, CentsBand::Green},     {9.99, CentsBand::Green},   {10.0, CentsBand::Green},
      {-10.0, CentsBand::Green},   {10.001, CentsBand::Yellow}, {-10.001, CentsBand::Yellow},
      {25.0, CentsBand::Yellow},   {-25.0, CentsBand::Yellow}, {25.001, CentsBand::Red},
      {-25.001, CentsBand::Red},   {50.0, CentsBand::Red},     {-1200.0, CentsBand::Red},
      {std::numeric_limits<double>::quiet_NaN(), CentsBand::Red},
      {std::numeric_limits<double>::infinity(), CentsBand::Red},
  };
  for (const auto& c : cases) EXPECT_EQ(CentsBandOf(c.cents), c.band) << c.cents;
}

TEST(ReadNote, NoteCentsTextAndColourOnTheReference) {
  const struct {
    double hz, a4;
    const char* name;
    int32_t midi;
    const char* text;
    CentsBand band;
  } cases[] = {
      {440.0, 440.0, "A4", 69, "0", CentsBand::Green},
      {At(69, 12.0), 440.0, "A4", 69, "+12", CentsBand::Yellow},
      {At(69, -0.4), 440.0, "A4", 69, "0", CentsBand::Green},  // never "-0"
      // The colour goes with the whole cents shown: 10.4 shows "+10", green; 10.6 "+11".
      {At(69, 10.4), 440.0, "A4", 69, "+10", CentsBand::Green},
      {At(69, 10.6), 440.0, "A4", 69, "+11", CentsBand::Yellow},
      {At(69, 10.5), 440.0, "A4", 69, "+10", CentsBand::Green},  // half to even
      {At(69, -25.4), 440.0, "A4", 69, "-25", CentsBand::Yellow},
      {At(69, -25.6), 440.0, "A4", 69, "-26", CentsBand::Red},
      {At(69, 49.8), 440.0, "A4", 69, "+50", CentsBand::Red},
      {At(60, -30.0), 440.0, "C4", 60, "-30", CentsBand::Red},
      {At(73, 5.0), 440.0, "C#5", 73, "+5", CentsBand::Green},
      // The reference moves the notes; 440 Hz on a 442 Hz A4 is 7.85 cents flat.
      {440.0, 442.0, "A4", 69, "-8", CentsBand::Green},
      {415.0, 415.0, "A4", 69, "0", CentsBand::Green},
      {440.0, 415.0, "A#4", 70, "+1", CentsBand::Green},
      {466.0, 466.0, "A4", 69, "0", CentsBand::Green},
      // Held to 415 .. 466: a reference outside reads as the nearest end; no number as 440.
      {415.0, 400.0, "A4", 69, "0", CentsBand::Green},
      {466.0, 500.0, "A4", 69, "0", CentsBand::Green},
      {440.0, std::numeric_limits<double>::quiet_NaN(), "A4", 69, "0", CentsBand::Green},
  };
  for (const auto& c : cases) {
    const NoteReading r = ReadNote(c.hz, c.a4);
    ASSERT_TRUE(r.valid) << c.hz;
    EXPECT_EQ(r.name, c.name) << c.hz << " on " << c.a4;
    EXPECT_EQ(r.midi, c.midi) << c.hz << " on " << c.a4;
    EXPECT_EQ(r.centsText, c.text) << c.hz << " on " << c.a4;
    EXPECT_EQ(r.band, c.band) << c.hz << " on " << c.a4;
    EXPECT_EQ(std::to_string(r.shownCents), std::string(c.text[0] == '+' ? c.text + 1 : c.text));
  }
  EXPECT_NEAR(ReadNote(At(69, 12.3), 440.0).cents, 12.3, 1e-9);
  for (double bad : {0.0, -220.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(ReadNote(bad, 440.0).valid) << bad;
}

TEST(ClampReferenceA4, HeldToASemitoneEitherSideOf440) {
  const struct {
    double in, out;
  } cases[] = {{440.0, 440.0}, {415.0, 415.0}, {414.9, 415.0}, {466.0, 466.0},
               {466.2, 466.0}, {432.0, 432.0}, {0.0, 415.0},   {-1.0, 415.0},
               {std::numeric_limits<double>::infinity(), 440.0},
               {std::numeric_limits<double>::quiet_NaN(), 440.0}};
  for (const auto& c : cases) EXPECT_EQ(ClampReferenceA4(c.in), c.out) << c.in;
}

// --- FollowingRange -----------------------------------------------------------------------

// Points every live hop for `seconds`, the pitch at time t given as a MIDI number (NaN:
// unvoiced), on a 440 Hz scale.
std::vector<LivePoint> Track(double seconds, const std::function<double(double)>& midi) {
  std::vector<LivePoint> points;
  for (int64_t f = 0; static_cast<double>(f) * kStep < seconds; ++f) {
    LivePoint p;
    p.frame = f;
    p.timeSeconds = static_cast<double>(f) * kStep;
    p.isFinal = true;
    const double m = midi(p.timeSeconds);
    p.voiced = !std::isnan(m);
    p.hz = p.voiced ? 440.0 * std::exp2((m - 69.0) / 12.0) : 0.0;
    points.push_back(p);
  }
  return points;
}

// Follows `points` with updates every 1 / fps s from `start` to the end of the points, each
// update seeing the points up to then.
void Draw(FollowingRange& range, const std::vector<LivePoint>& points, double fps,
         double start = 0.0) {
  size_t shown = 0;
  for (double now = start; now <= points.back().timeSeconds + 1e-9; now += 1.0 / fps) {
    while (shown < points.size() && points[shown].timeSeconds <= now + 1e-12) ++shown;
    range.Follow(std::span<const LivePoint>(points.data(), shown), 440.0, 1.0 / fps);
  }
}

TEST(FollowingRange, SettlesOnTheRecentVoice) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    std::function<double(double)> midi;
    double centre, span;
  } cases[] = {
      {"a held A4", [](double) { return 69.0; }, 69.0, 12.0},
      {"a held low E", [](double) { return 40.0; }, 40.0, 12.0},
      // Glides up and down between C4 and G#5 once a second: median 70, 90 % within 9
      // semitones of it, a semitone's margin each side.
      {"glides over 20 semitones",
       [](double t) { return 60.0 + 20.0 * (1.0 - std::abs(2.0 * std::fmod(t, 1.0) - 1.0)); },
       70.0, 20.0},
      // One point in twenty an octave up (a stray): the range does not widen for it.
      {"strays an octave up",
       [](double t) { return static_cast<int64_t>(t / kStep) % 20 == 0 ? 81.0 : 69.0; }, 69.0, 12.0},
      // Breaths between the notes change nothing: only voiced points count.
      {"notes and breaths",
       [nan](double t) { return std::fmod(t, 1.0) < 0.8 ? 64.0 : nan; }, 64.0, 12.0},
      // An old phrase high up, then only the recent one counts.
      {"the last three seconds", [](double t) { return t < 3.0 ? 84.0 : 57.0; }, 57.0, 12.0},
      // A span past four octaves is held to four, around the median.
      {"a wild swing",
       [](double t) { return std::fmod(t, 0.5) < 0.3 ? 40.0 : 100.0; }, 40.0, 48.0},
  };
  for (const auto& c : cases) {
    FollowingRange range;
    Draw(range, Track(8.0, c.midi), 60.0);
    // The last seconds steady are several time constants: the range has settled.
    EXPECT_NEAR(range.range().centre(), c.centre, 0.3) << c.what;
    EXPECT_NEAR(range.range().span(), c.span, 0.3) << c.what;
    EXPECT_GE(range.range().span(), FollowingRange::kMinSpan - 1e-9) << c.what;
  }
}

TEST(FollowingRange, MovesWithItsTimeConstantWhateverTheFrameRate) {
  const auto points = Track(4.0, [](double) { return 69.0; });
  // One update of one time constant from G3 .. G4 (centre 61): 1 - 1/e of the way to 69.
  FollowingRange once;
  once.Follow(points, 440.0, FollowingRange::kTimeConstantSeconds);
  EXPECT_NEAR(once.range().centre(), 61.0 + 8.0 * (1.0 - std::exp(-1.0)), 1e-9);
  EXPECT_NEAR(once.range().span(), 12.0, 1e-9);
  // The same second of drawing at 60, 25 and 7 frames a second ends in the same place.
  std::vector<double> centres;
  for (double fps : {60.0, 25.0, 7.0}) {
    FollowingRange range;
    for (int i = 0; i < static_cast<int>(fps); ++i) range.Follow(points, 440.0, 1.0 / fps);
    centres.push_back(range.range().centre());
  }
  EXPECT_NEAR(centres[0], 61.0 + 8.0 * (1.0 - std::exp(-1.0 / 0.4)), 1e-9);
  EXPECT_NEAR(centres[1], centres[0], 1e-9);
  EXPECT_NEAR(centres[2], centres[0], 1e-9);
  // Nothing moves without elapsed time, with no voiced recent point, or without points.
  FollowingRange still;
  still.Follow(points, 440.0, 0.0);
  still.Follow(points, 440.0, -1.0);
  still.Follow(points, 440.0, std::numeric_limits<double>::quiet_NaN());
  still.Follow({}, 440.0, 1.0);
  still.Follow(Track(4.0, [](double t) { return t < 0.5 ? 69.0 : std::nan(""); }), 440.0, 1.0);
  EXPECT_EQ(still.range().low, 55.0);
  EXPECT_EQ(still.range().high, 67.0);
}

TEST(FollowingRange, StaysWhereTheUserFixedItUntilReleased) {
  const auto points = Track(4.0, [](double) { return 72.0; });
  FollowingRange range;
  range.Fix({40.0, 58.0});
  EXPECT_TRUE(range.fixed());
  Draw(range, points, 30.0);
  EXPECT_EQ(range.range().low, 40.0);
  EXPECT_EQ(range.range().high, 58.0);
  range.Release();
  EXPECT_FALSE(range.fixed());
  range.Follow(points, 440.0, 0.1);
  // It moves on from the fixed range, not from where it was before.
  EXPECT_GT(range.range().centre(), 49.0);
  EXPECT_LT(range.range().centre(), 72.0);
  Draw(range, points, 30.0);
  EXPECT_NEAR(range.range().centre(), 72.0, 0.05);
  EXPECT_NEAR(range.range().span(), 12.0, 0.6);
}

TEST(FollowingRange, ThePitchesAreOnTheReferencesScale) {
  // 415 Hz is A4 on a 415 Hz reference: the range centres on 69.
  auto points = Track(3.0, [](double) { return 69.0; });
  for (LivePoint& p : points) p.hz = 415.0;
  FollowingRange range;
  for (int i = 0; i < 100; ++i) range.Follow(points, 415.0, 0.05);
  EXPECT_NEAR(range.range().centre(), 69.0, 1e-3);
}

}  // namespace
}  // namespace tonamira

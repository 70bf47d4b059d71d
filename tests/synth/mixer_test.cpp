// The mixer's rules: harmonic count, labels, level bars, length and fade.
#include "synth/mixer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tonamira {
namespace {

TEST(HarmonicCount, HarmonicsAtOrBelowHalfTheRateAtMostTwenty) {
  struct Case {
    uint32_t rate;
    int32_t freq;
    uint32_t count;
  };
  const std::vector<Case> cases = {
      {44100, 2000, 11}, {44100, 1102, 20}, {44100, 1103, 19}, {44100, 100, 20},
      {44100, 22050, 1}, {44100, 22051, 0}, {44100, 1, 20},    {8000, 400, 10},
      // Half an odd rate rounds to even: 11025 -> 5512, 22051 -> 11026.
      {11025, 5512, 1},  {11025, 5513, 0},  {22051, 11026, 1},
      // No fundamental, no harmonics (and no division by zero).
      {44100, 0, 0},     {44100, -5, 0},    {0, 100, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(HarmonicCount(c.rate, c.freq), c.count) << c.rate << " Hz, " << c.freq;
}

TEST(HarmonicLabelFrequencies, TheOddHarmonics) {
  const auto labels = HarmonicLabelFrequencies(100);
  const std::vector<int64_t> expected = {100, 300, 500, 700, 900, 1100, 1300, 1500, 1700, 1900};
  for (int j = 1; j <= kHarmonicLabels; ++j) EXPECT_EQ(labels[j], expected[j - 1]) << j;
  EXPECT_EQ(HarmonicLabelFrequencies(2000)[10], 38000);
}

TEST(HarmonicBarChanged, LevelFromPositionOrSpringBack) {
  struct Case {
    int k;
    int32_t position;
    uint32_t count;
    int32_t level;
    bool springBack;
  };
  const std::vector<Case> cases = {
      {1, 0, 20, 100, false},  {1, 100, 20, 0, false}, {3, 75, 20, 25, false},
      {11, 30, 11, 70, false},  // at the count: accepted
      {12, 30, 11, 0, true},    // above it: back to the bottom, level 0
      {12, 100, 11, 0, true},   // the inner run of the spring-back
      {20, 0, 19, 0, true},
  };
  for (const auto& c : cases) {
    const BarChange change = HarmonicBarChanged(c.k, c.position, c.count);
    EXPECT_EQ(change.level, c.level) << c.k << " at " << c.position;
    EXPECT_EQ(change.springBack, c.springBack) << c.k << " at " << c.position;
  }
}

TEST(SettleHarmonicBars, MovedBarsRunTheBarRuleStillBarsKeepTheirLevel) {
  HarmonicLevels levels{};
  HarmonicBarPositions positions{};
  positions.fill(kBarBottom);
  levels[1] = 100;
  levels[2] = 50;
  levels[15] = 40;  // above the count of 11: forced back
  SettleHarmonicBars(levels, positions, 11);
  EXPECT_EQ(positions[1], 0);
  EXPECT_EQ(positions[2], 50);
  EXPECT_EQ(positions[15], kBarBottom);
  EXPECT_EQ(levels[1], 100);
  EXPECT_EQ(levels[2], 50);
  EXPECT_EQ(levels[15], 0);

  // A bar that already shows the level does not move, so nothing measures it against the
  // count: a level set while the fundamental was lower stays.
  positions[15] = 60;
  levels[15] = 40;
  SettleHarmonicBars(levels, positions, 11);
  EXPECT_EQ(levels[15], 40);
  EXPECT_EQ(positions[15], 60);
}

TEST(ResetHarmonics, LevelsAndPhasesToZero) {
  HarmonicLevels levels;
  HarmonicPhases phases;
  levels.fill(70);
  phases.fill(1.5);
  ResetHarmonics(levels, phases);
  for (int k = 1; k <= kHarmonics; ++k) {
    EXPECT_EQ(levels[k], 0);
    EXPECT_EQ(phases[k], 0.0);
  }
}

TEST(ReducedVolume, FourFifthsRoundedToEven) {
  EXPECT_EQ(ReducedVolume(300), 240);
  EXPECT_EQ(ReducedVolume(15), 12);
  EXPECT_EQ(ReducedVolume(287), 230);  // 229.6
  EXPECT_EQ(ReducedVolume(2), 2);      // 1.6: small volumes stop falling
}

TEST(MixLength, BufferFadeAndCaptionPerLengthBarPosition) {
  struct Case {
    int32_t tenths;
    int32_t recRate;
    uint32_t bytes;
    int32_t fade;
    std::string caption;
  };
  const std::vector<Case> cases = {
      {1, 44100, 8820, 441, "0.1"},      {3, 44100, 26460, 1323, "0.3"},
      {5, 44100, 44100, 2205, "0.5"},    {6, 44100, 52920, 2205, "0.6"},
      {10, 44100, 88200, 2205, "1"},     {23, 44100, 202860, 2205, "2.3"},
      {30, 44100, 264600, 2205, "3"},
      // The fade comes from the rate of the current sound at the moment the bar moves.
      {5, 8000, 44100, 400, "0.5"},      {1, 96000, 8820, 960, "0.1"},
      // Halves round to even: 220.5 -> 220, 1102.5 -> 1102; evaluated left to right,
      // 22050 x 0.005 x 10 x 0.3 / 0.5 is 661.5000000000001 -> 662.
      {2, 11025, 17640, 220, "0.2"},     {5, 22050, 44100, 1102, "0.5"},
      {3, 22050, 26460, 662, "0.3"},
  };
  for (const auto& c : cases) {
    const MixLength m = MixLengthFor(c.tenths, c.recRate);
    EXPECT_EQ(m.bufferBytes, c.bytes) << c.tenths;
    EXPECT_EQ(m.fadeLength, c.fade) << c.tenths << " at " << c.recRate;
    EXPECT_EQ(m.caption, c.caption) << c.tenths;
    EXPECT_DOUBLE_EQ(m.mixTime, c.tenths / 10.0);
    EXPECT_EQ(MixTimeTenths(m.mixTime), c.tenths);  // the bar goes back to the length in use
  }
}

TEST(ToneBytes, NeverMoreThanTheBufferHolds) {
  EXPECT_EQ(ToneBytes(5, 44100), 44100u);
  EXPECT_EQ(ToneBytes(30, 44100), 44100u);  // growing the buffer failed: the old size
  EXPECT_EQ(ToneBytes(1, 264600), 8820u);
  EXPECT_EQ(ToneBytes(5, 1001), 1000u);     // whole samples only
  EXPECT_EQ(ToneBytes(0, 44100), 0u);
}

}  // namespace
}  // namespace tonamira

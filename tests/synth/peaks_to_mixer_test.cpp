// From a detection's labelled peaks to the mixer's levels, fundamental and phases.
#include "synth/peaks_to_mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/frame_analysis.h"
#include "analysis/spectrum.h"
#include "synth/mixer.h"
#include "synth/tone.h"

namespace tonamira {
namespace {

struct Peak {
  int32_t harmonic;
  double amp;
  Complex value{};
};

PeakList Peaks(const std::vector<Peak>& list) {
  PeakList peaks;
  for (const Peak& p : list) {
    const int j = ++peaks.count;
    peaks.harmonic[j] = p.harmonic;
    peaks.amp[j] = p.amp;
    peaks.complex[j] = p.value;
    peaks.bin[j] = 10 * p.harmonic;
  }
  return peaks;
}

// The value a frame holding sin(... + phi) gives at its bin: real part with sin phi,
// imaginary part with cos phi.
Complex ValueOfPhase(double phi, double size = 1.0) {
  return {size * std::sin(phi), size * std::cos(phi)};
}

// Equal as angles.
double AngleDistance(double a, double b) {
  return std::fabs(std::remainder(a - b, 2.0 * M_PI));
}

// --- LevelsFromPeaks -----------------------------------------------------------------------

TEST(LevelsFromPeaks, LevelsFromAmplitudesOthersZero) {
  struct Case {
    std::string what;
    std::vector<Peak> peaks;
    std::vector<std::pair<int, int32_t>> levels;  // harmonic -> level; all others 0
    int countAfter;
  };
  const std::vector<Case> cases = {
      {"1, 0.5, 0.25", {{1, 1.0}, {2, 0.5}, {3, 0.25}}, {{1, 100}, {2, 50}, {3, 25}}, 3},
      {"12.5 rounds to even", {{1, 1.0}, {4, 0.125}}, {{1, 100}, {4, 12}}, 2},
      {"strongest not first", {{1, 0.3}, {2, 1.0}}, {{1, 30}, {2, 100}}, 2},
      {"19 kept, 20 dropped", {{1, 1.0}, {19, 0.4}, {20, 0.9}}, {{1, 100}, {19, 40}}, 2},
      {"20 and above dropped", {{1, 1.0}, {20, 0.5}, {21, 0.5}, {25, 0.5}}, {{1, 100}}, 1},
  };
  for (const auto& c : cases) {
    PeakList peaks = Peaks(c.peaks);
    HarmonicLevels levels;
    levels.fill(7);  // whatever the bars showed before
    LevelsFromPeaks(peaks, 440, levels);
    EXPECT_EQ(peaks.count, c.countAfter) << c.what;
    HarmonicLevels expected{};
    expected[0] = 7;
    for (auto [h, level] : c.levels) expected[h] = level;
    EXPECT_EQ(levels, expected) << c.what;
  }
}

TEST(LevelsFromPeaks, FundamentalFollowsUpTo2000Hz) {
  struct Case {
    int32_t detected;
    bool follows;
  };
  for (const Case& c : std::vector<Case>{{440, true}, {2000, true}, {2001, false}, {2500, false}}) {
    PeakList peaks = Peaks({{1, 1.0}, {2, 0.5}});
    HarmonicLevels levels{};
    const auto freq = LevelsFromPeaks(peaks, c.detected, levels);
    EXPECT_EQ(freq.has_value(), c.follows) << c.detected;
    if (freq) {
      EXPECT_EQ(*freq, c.detected);
    }
    EXPECT_EQ(levels[2], 50) << c.detected;  // the levels are copied either way
  }
}

TEST(LevelsFromPeaks, StaleOrBrokenListsStayInsideTheTables) {
  // An unlabelled list (harmonic numbers left from long ago) or an empty one.
  PeakList empty;
  HarmonicLevels levels{};
  LevelsFromPeaks(empty, 100, levels);
  EXPECT_EQ(empty.count, 0);
  PeakList broken = Peaks({{0, 1.0}, {-3, 0.5}, {7, 1.7}, {5, 0.5}});
  LevelsFromPeaks(broken, 100, levels);
  EXPECT_EQ(levels[7], 100);  // held to the bar's range
  EXPECT_EQ(levels[5], 50);
  PeakList allHigh = Peaks({{30, 1.0}, {40, 0.5}});
  LevelsFromPeaks(allHigh, 100, levels);
  EXPECT_EQ(allHigh.count, 0);
}

TEST(LevelsFromPeaks, AHarmonicAboveThePreviousCountWaitsForTheNextDetection) {
  // The mixer is at 2000 Hz (11 harmonics fit at 44100 Hz); a 200 Hz sound brings harmonic
  // 15. The bars measure against the fundamental before this detection, so bar 15 springs
  // back; once the fundamental is 200 Hz the next detection keeps it.
  int32_t freq = 2000;
  HarmonicLevels levels{};
  HarmonicBarPositions bars;
  bars.fill(kBarBottom);
  for (int detection = 1; detection <= 2; ++detection) {
    PeakList peaks = Peaks({{1, 1.0}, {15, 0.4}});
    const auto follow = LevelsFromPeaks(peaks, 200, levels);
    SettleHarmonicBars(levels, bars, HarmonicCount(kToneRate, freq));
    if (follow) freq = *follow;
    EXPECT_EQ(levels[1], 100) << detection;
    EXPECT_EQ(levels[15], detection == 1 ? 0 : 40) << detection;
    EXPECT_EQ(bars[15], detection == 1 ? kBarBottom : 60) << detection;
  }
  EXPECT_EQ(freq, 200);
}

// --- ComputeHarmonicPhases ----------------------------------------------------------------

TEST(ComputeHarmonicPhases, RelativeToTheFundamental) {
  PeakList peaks = Peaks({{1, 1.0, ValueOfPhase(0.5, 3.0)},
                          {2, 0.5, ValueOfPhase(1.5, 0.2)},
                          {3, 0.2, ValueOfPhase(-2.0)}});
  HarmonicComplexes kept{};
  HarmonicPhases phases;
  phases.fill(9.0);
  ComputeHarmonicPhases(peaks, kept, phases);
  EXPECT_NEAR(phases[1], 0.5, 1e-12);         // the fundamental's own phase
  EXPECT_NEAR(phases[2], 1.0, 1e-12);         // a plain difference
  EXPECT_NEAR(phases[3], -2.5, 1e-12);        // not wrapped
  EXPECT_EQ(phases[4], 9.0);                  // above the peak count: kept
  EXPECT_EQ(kept[2], peaks.complex[2]);
}

TEST(ComputeHarmonicPhases, ListPositionsReadTheValueKeptForThatHarmonic) {
  HarmonicComplexes kept{};
  kept[2] = ValueOfPhase(1.0);  // from an earlier detection
  HarmonicPhases phases{};
  phases[3] = 4.0;
  // Harmonics 1, 3, 4: position 2 reads what harmonic 2 kept; position 3 the new value of
  // harmonic 3; harmonic 4's value is kept for later but position 4 is not reached.
  PeakList peaks = Peaks({{1, 1.0, ValueOfPhase(0.25)},
                          {3, 0.5, ValueOfPhase(2.0)},
                          {4, 0.5, ValueOfPhase(-1.0)}});
  ComputeHarmonicPhases(peaks, kept, phases);
  EXPECT_NEAR(phases[1], 0.25, 1e-12);
  EXPECT_NEAR(phases[2], 0.75, 1e-12);
  EXPECT_NEAR(phases[3], 1.75, 1e-12);
  EXPECT_EQ(kept[4], peaks.complex[3]);

  // A position whose kept value is zero gets minus the fundamental's phase.
  HarmonicComplexes zero{};
  PeakList gap = Peaks({{1, 1.0, ValueOfPhase(0.25)}, {3, 0.5, ValueOfPhase(2.0)}});
  ComputeHarmonicPhases(gap, zero, phases);
  EXPECT_NEAR(phases[2], -0.25, 1e-12);
}

TEST(ComputeHarmonicPhases, LongUntrimmedListsStayInsideTheTables) {
  // A failed detection can leave more than twenty unlabelled peaks behind.
  std::vector<Peak> list;
  for (int j = 1; j <= 60; ++j) list.push_back({j, 0.5, ValueOfPhase(0.01 * j)});
  PeakList peaks = Peaks(list);
  peaks.harmonic[2] = 99;  // not a mixer harmonic: its value is not kept
  HarmonicComplexes kept{};
  HarmonicPhases phases{};
  ComputeHarmonicPhases(peaks, kept, phases);
  EXPECT_EQ(kept[2], Complex{});
  EXPECT_NEAR(phases[20], 0.19, 1e-12);
}

// --- round trip through the analysis ------------------------------------------------------

TEST(PeaksToMixer, ASynthesisedToneGivesBackItsLevelsAndRelativePhases) {
  // 100 Hz at 20480 Hz puts every harmonic on a bin of the 2048-sample frame, so the
  // analysed phases are the synthesised ones.
  ToneRecipe tone;
  tone.freq = 100;
  tone.rate = 20480;
  tone.volume = 100;
  tone.harmonicLimit = HarmonicCount(tone.rate, tone.freq);
  tone.fadeLength = 0;
  const std::vector<int32_t> levels = {100, 80, 60, 50, 40, 20};
  const std::vector<double> phases = {0.7, -1.2, 2.9, 0.0, -3.0, 1.6};
  for (size_t k = 0; k < levels.size(); ++k) {
    tone.levels[k + 1] = levels[k];
    tone.phases[k + 1] = phases[k];
  }
  std::vector<uint8_t> bytes(2 * 2048);
  ASSERT_EQ(SynthesizeTone(tone, bytes).volume, 100);

  const FftPlan plan(2048);
  FftArrays arrays;
  ASSERT_TRUE(AllocFftArrays(arrays, 2048));
  DetectionSettings settings;
  settings.recRate = 20480;
  settings.sampleRate = 20480;
  settings.drivesMixer = true;
  DetectionState state;
  PcmFrame frame;
  frame.bytes = bytes;
  frame.length = 2048;
  ASSERT_TRUE(AnalyzePcmFrame(frame, plan, arrays, settings, state));
  EXPECT_EQ(state.detectedFreq, 100);
  ASSERT_EQ(state.peaks.count, 6);

  HarmonicLevels mixerLevels{};
  EXPECT_EQ(LevelsFromPeaks(state.peaks, state.detectedFreq, mixerLevels), 100);
  HarmonicComplexes kept{};
  HarmonicPhases mixerPhases{};
  ComputeHarmonicPhases(state.peaks, kept, mixerPhases);
  EXPECT_LT(AngleDistance(mixerPhases[1], phases[0]), 0.01);
  for (size_t k = 0; k < levels.size(); ++k) {
    const int h = static_cast<int>(k) + 1;
    EXPECT_NEAR(mixerLevels[h], levels[k], 1) << h;
    if (h > 1) {
      EXPECT_LT(AngleDistance(mixerPhases[h], phases[k] - phases[0]), 0.01) << h;
    }
  }
}

}  // namespace
}  // namespace tonamira

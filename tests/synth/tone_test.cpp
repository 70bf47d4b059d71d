// The tone synthesis: the one-pass synthesis against the restarting definition, sample for
// sample, and the tone's own rules (volume cuts, fade, clamping, buffer size).
#include "synth/tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/rounding.h"
#include "synth/mixer.h"
#include "synth/tone_reference.h"

namespace tonamira {
namespace {

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> s(bytes.size() / 2);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return s;
}

// The mixer's tone of `tenths` tenths at 44100 Hz, as the mixer sets it up.
ToneRecipe MixerSpec(int32_t freq, int32_t volume, int32_t tenths, std::vector<int32_t> levels,
                   std::vector<double> phases = {}) {
  ToneRecipe t;
  t.freq = freq;
  t.volume = volume;
  t.rate = kToneRate;
  t.harmonicLimit = HarmonicCount(kToneRate, freq);
  t.fadeLength = FadeLength(44100, MixTimeSeconds(tenths));
  for (size_t k = 0; k < levels.size(); ++k) t.levels[k + 1] = levels[k];
  for (size_t k = 0; k < phases.size(); ++k) t.phases[k + 1] = phases[k];
  return t;
}

struct Synth {
  std::vector<uint8_t> bytes;
  ToneOutcome outcome;
};

Synth OnePass(const ToneRecipe& t, size_t bytes) {
  Synth r{std::vector<uint8_t>(bytes, 0xA5), {}};
  r.outcome = SynthesizeTone(t, r.bytes);
  return r;
}

Synth Restarting(const ToneRecipe& t, size_t bytes) {
  Synth r{std::vector<uint8_t>(bytes, 0xA5), {}};
  r.outcome = SynthesizeToneRestarting(t, r.bytes);
  return r;
}

// The one-pass tone equals the restarting definition byte for byte, with the same volume.
void ExpectSameAsDefinition(const ToneRecipe& t, size_t bytes, const std::string& what) {
  const Synth fast = OnePass(t, bytes);
  const Synth slow = Restarting(t, bytes);
  EXPECT_EQ(fast.outcome.volume, slow.outcome.volume) << what;
  EXPECT_EQ(fast.outcome.reductions, slow.outcome.reductions) << what;
  ASSERT_EQ(fast.bytes.size(), slow.bytes.size());
  const auto mismatch = std::mismatch(fast.bytes.begin(), fast.bytes.end(), slow.bytes.begin());
  EXPECT_TRUE(mismatch.first == fast.bytes.end())
      << what << ": first differing byte " << (mismatch.first - fast.bytes.begin());
}

// --- identity with the definition ------------------------------------------------------

TEST(SynthesizeTone, EqualsTheRestartingDefinitionOnTheMixersTones) {
  const std::vector<int32_t> all100(20, 100);
  struct Case {
    std::string what;
    ToneRecipe recipe;
    int32_t tenths;
  };
  const std::vector<Case> cases = {
      {"start values, fundamental only", MixerSpec(100, 10, 5, {100}), 5},
      {"300 -> 240", MixerSpec(100, 300, 5, {100}), 5},
      {"worst case, 3 s", MixerSpec(50, 300, 30, all100), 30},
      {"one tenth", MixerSpec(440, 50, 1, {100, 50, 25}), 1},
      {"thirty tenths", MixerSpec(440, 50, 30, {100, 50, 25}), 30},
      {"volume 0", MixerSpec(440, 0, 5, {100, 50, 25}), 5},
      {"no levels", MixerSpec(440, 300, 5, {}), 5},
      {"2000 Hz, levels above the count", MixerSpec(2000, 200, 5, all100), 5},
      {"1102 Hz, twenty harmonics", MixerSpec(1102, 300, 3, all100), 3},
      {"1103 Hz, nineteen harmonics", MixerSpec(1103, 300, 3, all100), 3},
      {"high fundamental", MixerSpec(22050, 300, 2, {100}), 2},
      {"phases, sample 0 not silent",
       MixerSpec(220, 120, 5, {80, 0, 60, 40, 0, 20}, {0.3, 0.0, -2.5, 3.1, 0.0, 1.0}), 5},
      {"even harmonics, many cuts", MixerSpec(97, 300, 7, {0, 100, 0, 100, 0, 100, 0, 100}), 7},
      {"one hertz", MixerSpec(1, 300, 1, all100), 1},
      {"body peak exactly at the limit", MixerSpec(100, 224, 5, {100, 28}, {M_PI / 2, M_PI / 2}), 5},
  };
  for (const auto& c : cases) ExpectSameAsDefinition(c.recipe, MixBufferBytes(c.tenths), c.what);
}

TEST(SynthesizeTone, EqualsTheRestartingDefinitionOnRandomTones) {
  // Fundamentals across the whole range, random levels, phases, volumes and lengths, and
  // fade lengths the mixer can reach from other rates.
  std::mt19937 random(20240609);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  int64_t exactSums = 0, samples = 0;
  for (int i = 0; i < 60; ++i) {
    ToneRecipe t;
    t.freq = i % 4 == 0 ? uniform(1, 22050) : uniform(20, 2000);
    t.volume = uniform(0, 300);
    t.rate = kToneRate;
    t.harmonicLimit = HarmonicCount(kToneRate, t.freq);
    const int32_t tenths = uniform(1, 8);
    t.fadeLength = FadeLength(i % 3 == 0 ? uniform(8000, 96000) : 44100, MixTimeSeconds(tenths));
    for (int k = 1; k <= kHarmonics; ++k) {
      t.levels[k] = uniform(0, 3) == 0 ? 0 : uniform(0, 100);
      t.phases[k] = std::uniform_real_distribution<double>(-M_PI, M_PI)(random);
    }
    const size_t bytes = MixBufferBytes(tenths);
    ExpectSameAsDefinition(t, bytes, "random tone " + std::to_string(i));
    exactSums += OnePass(t, bytes).outcome.exactSums;
    samples += static_cast<int64_t>(bytes / 2);
  }
  // The exact sums are the exception, not the rule.
  EXPECT_LT(exactSums, samples / 20);
}

TEST(SynthesizeTone, EqualsTheDefinitionWhereTheFastSumLiesCloseToAHalf) {
  // Tones found by search in which some sample's fast harmonic sum differs from the
  // definition's by just enough to round the other way: these samples must be summed as
  // defined.
  struct Case {
    std::string what;
    ToneRecipe recipe;
    int32_t tenths;
  };
  const std::vector<Case> cases = {
      {"340 Hz", MixerSpec(340, 119, 2,
                           {0, 25, 6, 10, 53, 36, 1, 39, 53, 99, 28, 2, 97, 12, 88, 29, 68, 4, 79, 2},
                           {0, 0, 0, 2.829021571514871, 0, 0, 0.40896369860901283, 0, 0, 0, 0, 0,
                            1.5007462906577818, 0.3581105728145233, 0.17970809576966218, 0,
                            0.78003495611130935, 2.9920192140661364, -2.4300692660292431,
                            0.77665255449696868}),
       2},
      {"1526 Hz", MixerSpec(1526, 100, 1,
                            {40, 0, 11, 1, 97, 0, 40, 14, 0, 6, 42, 76, 39, 49},
                            {1.5560654686964464, 0, 0, -2.6550586105706215, 3.0660492074608126, 0,
                             -1.4572085860473316, 0.63181489111757339, -1.4447192276246221,
                             2.2057594358200419, 2.5062158056066677, -1.4491224540300278,
                             0.69208724468020355, 0}),
       1},
      {"13219 Hz", MixerSpec(13219, 167, 3, {27}), 3},
  };
  for (const auto& c : cases) {
    ExpectSameAsDefinition(c.recipe, MixBufferBytes(c.tenths), c.what);
    EXPECT_GT(OnePass(c.recipe, MixBufferBytes(c.tenths)).outcome.exactSums, 0) << c.what;
  }
}

TEST(SynthesizeTone, EqualsTheDefinitionAtOtherRatesAndFadeLengths) {
  struct Case {
    std::string what;
    uint32_t rate;
    int32_t fade;
    size_t bytes;
  };
  const std::vector<Case> cases = {
      {"fade covers all but the first sample", kToneRate, 4410, 8820},
      {"fade longer than the tone", kToneRate, 5000, 8820},
      {"no fade", kToneRate, 0, 8820},
      {"negative fade counts as none", kToneRate, -3, 8820},
      {"other rate", 20480, 1024, 40960},
      {"zero rate", 0, 10, 400},
      {"odd byte count", kToneRate, 20, 1001},
      {"one sample", kToneRate, 2205, 2},
      {"no sample", kToneRate, 2205, 1},
  };
  ToneRecipe t = MixerSpec(300, 300, 1, {100, 70, 0, 40}, {0.0, 1.0, 0.0, -1.0});
  for (const auto& c : cases) {
    t.rate = c.rate;
    t.fadeLength = c.fade;
    ExpectSameAsDefinition(t, c.bytes, c.what);
  }
}

// --- the tone's rules ---------------------------------------------------------------------

TEST(SynthesizeTone, StartValueToneIsTheScaledSineWithAFadeOut) {
  const ToneRecipe t = MixerSpec(100, 10, 5, {100});
  const Synth r = OnePass(t, 44100);
  EXPECT_EQ(r.outcome.volume, 10);
  EXPECT_FALSE(r.outcome.VolumeReduced());
  const auto s = Samples(r.bytes);
  ASSERT_EQ(s.size(), 22050u);
  const int n0 = 22050 - 2205;  // the last body sample
  for (int n = 0; n <= n0; ++n)
    ASSERT_EQ(s[n], RoundInt(1000.0 * std::sin(kTwoPi * 100.0 * n / 44100.0))) << n;
  for (int n = n0 + 1; n < 22050; ++n) {
    const double g = (22050.0 - n) / 2205.0;
    ASSERT_NEAR(s[n], 1000.0 * g * g * std::sin(kTwoPi * 100.0 * n / 44100.0), 0.5 + 1e-9) << n;
  }
  EXPECT_EQ(s[0], 0);  // no fade-in: all phases 0
}

TEST(SynthesizeTone, VolumeIsCutByAFifthUntilTheBodyFits) {
  struct Case {
    std::vector<int32_t> levels;
    int32_t volume;
    int32_t finalVolume;
    int32_t reductions;
    std::vector<double> phases = {};
  };
  const double up = M_PI / 2;  // sin is exactly 1.0 there
  const std::vector<Case> cases = {
      {{100}, 300, 240, 1},  // 300 x 100 = 30000 > 28672; 240 x 100 fits
      {{100}, 286, 286, 0},  // 28600 fits
      {{100}, 287, 230, 1},  // 28700 does not
      {std::vector<int32_t>(20, 100), 14, 14, 0},  // 14 x 2000 can never exceed the limit
      // Sample 0 is exactly 100 + 28 = 128: 224 x 128 is the limit itself and stays.
      {{100, 28}, 224, 224, 0, {up, up}},
      {{100, 28}, 225, 180, 1, {up, up}},
  };
  for (const auto& c : cases) {
    const Synth r = OnePass(MixerSpec(100, c.volume, 5, c.levels, c.phases), 44100);
    EXPECT_EQ(r.outcome.volume, c.finalVolume) << c.volume;
    EXPECT_EQ(r.outcome.reductions, c.reductions) << c.volume;
    const auto s = Samples(r.bytes);
    const int16_t peak = *std::max_element(s.begin(), s.end());
    EXPECT_LE(peak, 28672);
  }
  const auto s = Samples(OnePass(MixerSpec(100, 300, 5, {100}), 44100).bytes);
  EXPECT_EQ(*std::max_element(s.begin(), s.end()), 24000);  // the tone peaks near 24000
}

TEST(SynthesizeTone, VolumeZeroIsSilent) {
  const Synth r = OnePass(MixerSpec(440, 0, 5, std::vector<int32_t>(20, 100)), 44100);
  EXPECT_EQ(r.outcome.volume, 0);
  for (int16_t x : Samples(r.bytes)) ASSERT_EQ(x, 0);
}

TEST(SynthesizeTone, FadeSamplesBeyondSixteenBitsAreClamped) {
  // The body is sample 0 alone (silent with phase 0), so the volume stays at 300 and the
  // fade, which makes no limit test, reaches 300 x 1484: held at the 16-bit limits.
  ToneRecipe t = MixerSpec(50, 300, 1, std::vector<int32_t>(20, 100));
  t.fadeLength = 4410;
  const Synth fast = OnePass(t, 8820);
  EXPECT_EQ(fast.outcome.volume, 300);
  const auto s = Samples(fast.bytes);
  EXPECT_EQ(*std::max_element(s.begin(), s.end()), 32767);
  EXPECT_EQ(*std::min_element(s.begin(), s.end()), -32768);
  // Never wrapped: wherever the fade's value lies beyond the range, the sample is the limit
  // on its side.
  for (int n = 1; n < static_cast<int>(s.size()); ++n) {
    double sum = 0.0;
    for (int k = 1; k <= 20; ++k) sum += 100.0 * std::sin(kTwoPi * 50.0 * k * n / 44100.0);
    const double g = (4410.0 - n) / 4410.0;
    const double w = 300.0 * g * g * sum;
    if (w > 32768.0) {
      ASSERT_EQ(s[n], 32767) << n;
    } else if (w < -32769.0) {
      ASSERT_EQ(s[n], -32768) << n;
    }
  }
  EXPECT_EQ(fast.bytes, Restarting(t, 8820).bytes);
}

TEST(SynthesizeTone, WritesOnlyWholeSamplesOfTheBuffer) {
  // The tone's length comes from the buffer: a trailing odd byte and anything beyond the
  // span stay untouched.
  std::vector<uint8_t> memory(1001 + 16, 0xA5);
  SynthesizeTone(MixerSpec(440, 100, 5, {100}), std::span<uint8_t>(memory.data(), 1001));
  EXPECT_EQ(memory[1000], 0xA5);
  for (size_t i = 1001; i < memory.size(); ++i) EXPECT_EQ(memory[i], 0xA5) << i;
  EXPECT_EQ(SynthesizeTone(MixerSpec(440, 300, 5, {100}), {}).volume, 300);
}

TEST(SynthesizeTone, HarmonicsAboveTheLimitAreNotSummed) {
  ToneRecipe limited = MixerSpec(2000, 100, 2, std::vector<int32_t>(20, 100));
  ASSERT_EQ(limited.harmonicLimit, 11u);
  ToneRecipe cut = limited;
  for (int k = 12; k <= kHarmonics; ++k) cut.levels[k] = 0;
  EXPECT_EQ(OnePass(limited, 17640).bytes, OnePass(cut, 17640).bytes);
}

TEST(SynthesizeTone, OutOfRangeValuesAreHeldToTheControlsRanges) {
  ToneRecipe wild = MixerSpec(100, 1000, 2, {250, -40});
  wild.harmonicLimit = 99;
  const ToneRecipe held = NormalisedTone(wild);
  EXPECT_EQ(held.volume, 300);
  EXPECT_EQ(held.levels[1], 100);
  EXPECT_EQ(held.levels[2], 0);
  EXPECT_EQ(held.harmonicLimit, 20u);
  EXPECT_EQ(OnePass(wild, 17640).bytes, OnePass(held, 17640).bytes);
  ExpectSameAsDefinition(wild, 17640, "wild recipe");
}

TEST(SynthesizeTone, TheLoudestSamplesAndFewOthersAreSummedExactly) {
  const ToneRecipe t = MixerSpec(50, 300, 30, std::vector<int32_t>(20, 100));
  const Synth r = OnePass(t, MixBufferBytes(30));
  EXPECT_GT(r.outcome.exactSums, 0);
  EXPECT_LT(r.outcome.exactSums, 2000);  // of 132300
  // Phases too large for any useful bound: every sum is exact, and still the same tone.
  ToneRecipe huge = MixerSpec(440, 100, 1, {100, 50});
  huge.phases[1] = 1e17;
  EXPECT_EQ(OnePass(huge, 8820).outcome.exactSums, 4410);
  ExpectSameAsDefinition(huge, 8820, "huge phase");
}

}  // namespace
}  // namespace tonamira

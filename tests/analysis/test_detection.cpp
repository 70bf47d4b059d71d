// Tests of the pitch and level detection.
#include "analysis/detection.h"
#include "analysis/spectrum_peaks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace tonamira {
namespace {

// Synthetic spectrum of exactly fftSize/2 bins, allocated to the exact size so that the
// sanitizer catches any read past the computed bins.
struct Spectrum {
  explicit Spectrum(int fftSize = 2048)
      : size(fftSize / 2),
        mag(std::make_unique<double[]>(size)),
        noise(std::make_unique<double[]>(size)),
        out(std::make_unique<Complex[]>(size)) {
    // Each bin's complex value is distinct, so tests can tell which peak it came with.
    for (int i = 0; i < size; ++i) out[i] = Complex{static_cast<double>(i), -static_cast<double>(i)};
  }
  // An isolated peak: its neighbours stay at whatever they are (zero by default).
  Spectrum& Peak(int bin, double height) {
    mag[bin] = height;
    return *this;
  }
  int size;
  std::unique_ptr<double[]> mag;
  std::unique_ptr<double[]> noise;
  std::unique_ptr<Complex[]> out;
};

bool Detect(const Spectrum& s, const DetectionSettings& settings, DetectionState& state) {
  return DetectPitch(s.mag.get(), s.noise.get(), s.out.get(), settings, state);
}

std::vector<int32_t> Bins(const DetectionState& state) {
  return {state.peaks.bin.begin() + 1, state.peaks.bin.begin() + 1 + state.peaks.count};
}
std::vector<double> Amps(const DetectionState& state) {
  return {state.peaks.amp.begin() + 1, state.peaks.amp.begin() + 1 + state.peaks.count};
}
std::vector<int32_t> Harmonics(const DetectionState& state) {
  return {state.peaks.harmonic.begin() + 1, state.peaks.harmonic.begin() + 1 + state.peaks.count};
}

// State whose read-outs hold values a failed detection must leave alone.
DetectionState PrimedState() {
  DetectionState state;
  state.detectedFreq = 123;
  state.detectedLevel = 456;
  return state;
}

DetectionSettings LowThreshold() {
  DetectionSettings settings;
  settings.peakThreshold = 1.0;
  return settings;
}

// --- VoiceprintBins -------------------------------------------------------------------

struct BinsCase {
  int32_t fftSize;
  int32_t recRate;
  double maxDisplayFreq;
  int32_t expected;
};

TEST(DisplayBins, RoundsAndSaturates) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const BinsCase cases[] = {
      {2048, 44100, 2000.0, 186},
      {256, 96000, 250.0, 1},    // 1.33
      {5, 4, 1.0, 2},            // 2.5: ties to even
      {7, 4, 1.0, 4},            // 3.5: ties to even
      {256, 8000, 4000.0, 256},  // display range above a quarter of the rate
      {2048, 0, 2000.0, 0},      // no rate: no bins to scan
      {-2048, 0, 2000.0, 0},
      {std::numeric_limits<int32_t>::max(), 1, 2000.0, std::numeric_limits<int32_t>::max()},
      {-std::numeric_limits<int32_t>::max(), 1, 2000.0, std::numeric_limits<int32_t>::min()},
      {0, 0, 2000.0, 0},         // 0 / 0
      {2048, 44100, 0.0, 0},
      {2048, 44100, nan, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayBins(c.fftSize, c.recRate, c.maxDisplayFreq), c.expected)
        << c.fftSize << " " << c.recRate << " " << c.maxDisplayFreq;
  }
}

// --- InterpolatePeak ------------------------------------------------------------------

TEST(InterpolatePeak, TriangleFitAndFlatCases) {
  struct Case {
    double y0, y1, y2, offset;
  };
  const Case cases[] = {
      {2, 10, 6, 0.25},   // right neighbour higher
      {6, 10, 2, -0.25},  // left neighbour higher
      {6, 10, 6, 0.0},    // symmetric
      {0, 100, 86, 0.43},
      {6, 2, 2, 0.0},     // y0 > y2 and y2 == y1: zero denominator
      {5, 5, 7, 0.0},     // y0 <= y2 and y1 == y0: zero denominator
      {4, 4, 4, 0.0},     // all equal
  };
  const double k = 20.0;
  for (const auto& c : cases) {
    const double p = InterpolatePeak(k - 1, c.y0, k, c.y1, k + 1, c.y2);
    EXPECT_NEAR(p, k + c.offset, 1e-12) << c.y0 << " " << c.y1 << " " << c.y2;
    EXPECT_TRUE(std::isfinite(p));
  }
}

// --- Failures -------------------------------------------------------------------------

TEST(DetectPitch, SilentFrameFailsAndKeepsReadouts) {
  Spectrum s;
  DetectionState state = PrimedState();
  EXPECT_FALSE(Detect(s, DetectionSettings{}, state));
  EXPECT_EQ(state.detectedFreq, 123);
  EXPECT_EQ(state.detectedLevel, 456);
  EXPECT_EQ(state.voiceprintBins, 186);
  EXPECT_EQ(state.peaks.count, 0);
}

TEST(DetectPitch, NoSpectrumFailsWithNothingTouched) {
  Spectrum s;
  DetectionState state = PrimedState();
  state.voiceprintBins = 7;
  EXPECT_FALSE(DetectPitch(nullptr, s.noise.get(), s.out.get(), DetectionSettings{}, state));
  EXPECT_EQ(state.voiceprintBins, 7);
  EXPECT_EQ(state.detectedFreq, 123);
}

TEST(DetectPitch, MaximaAtOrBelowCutoffOrThresholdAreNoPeaks) {
  struct Case {
    const char* what;
    uint32_t cutoffBin;
    int bin;
    double height;
    bool found;
  };
  const Case cases[] = {
      {"at cutoff 1", 1, 1, 500.0, false},
      {"at cutoff 5", 5, 5, 500.0, false},
      {"below cutoff 5", 5, 3, 500.0, false},
      {"just above cutoff", 5, 6, 500.0, true},
      {"equal to threshold", 1, 30, 10.0, false},
      {"just above threshold", 1, 30, 10.001, true},
  };
  for (const auto& c : cases) {
    Spectrum s;
    s.Peak(c.bin, c.height);
    DetectionSettings settings;
    settings.cutoffBin = c.cutoffBin;
    DetectionState state = PrimedState();
    EXPECT_EQ(Detect(s, settings, state), c.found) << c.what;
    if (!c.found) {
      EXPECT_EQ(state.detectedLevel, 456) << c.what;
      EXPECT_EQ(state.peaks.count, 0) << c.what;
    } else {
      EXPECT_EQ(Bins(state), std::vector<int32_t>{c.bin}) << c.what;
    }
  }
}

TEST(DetectPitch, FlatTopIsNoPeak) {
  Spectrum s;
  s.Peak(40, 5.0).Peak(41, 5.0);  // S = 0, 5, 5, 0
  DetectionState state = PrimedState();
  EXPECT_FALSE(Detect(s, LowThreshold(), state));
  EXPECT_EQ(state.peaks.count, 0);

  // A plateau beside a real peak: only the real one is recorded.
  s.Peak(80, 20.0);
  EXPECT_TRUE(Detect(s, LowThreshold(), state));
  EXPECT_EQ(Bins(state), std::vector<int32_t>{80});
}

TEST(DetectPitch, PeaksAtOrBelowZeroFailButAreRecorded) {
  // Noise above the magnitudes: the local maxima of S are negative, and a threshold
  // below them lets them through, but nothing rose above zero.
  Spectrum s;
  for (int i = 0; i < s.size; ++i) s.noise[i] = 100.0;
  s.Peak(30, 60.0).Peak(50, 80.0);
  DetectionSettings settings;
  settings.peakThreshold = -1000.0;
  DetectionState state = PrimedState();
  EXPECT_FALSE(Detect(s, settings, state));
  EXPECT_EQ(Bins(state), (std::vector<int32_t>{30, 50}));
  EXPECT_EQ(state.voiceprintBins, 186);
  EXPECT_EQ(state.detectedFreq, 123);
  EXPECT_EQ(state.detectedLevel, 456);
}

// --- Pruning --------------------------------------------------------------------------

struct PruneCase {
  const char* what;
  std::vector<std::pair<int, double>> peaks;  // bin, height
  std::vector<int32_t> bins;                  // what remains
  int32_t level;
};

void RunPruneCases(const std::vector<PruneCase>& cases) {
  for (const auto& c : cases) {
    Spectrum s;
    for (const auto& [bin, height] : c.peaks) s.Peak(bin, height);
    DetectionState state = PrimedState();
    ASSERT_TRUE(Detect(s, LowThreshold(), state)) << c.what;
    EXPECT_EQ(Bins(state), c.bins) << c.what;
    EXPECT_EQ(state.detectedLevel, c.level) << c.what;
  }
}

TEST(DetectPitch, WeakPeaksAreRemoved) {
  RunPruneCases({
      {"4.9 of 100 goes", {{10, 100.0}, {30, 4.9}, {50, 50.0}}, {10, 50}, 100},
      {"exactly 0.05 stays", {{10, 100.0}, {30, 5.0}, {50, 50.0}}, {10, 30, 50}, 100},
      // Two weak neighbours in a row: each is visited once despite the shifting.
      {"consecutive weak", {{10, 100.0}, {20, 4.0}, {30, 3.0}, {40, 50.0}}, {10, 40}, 100},
      {"weak first", {{10, 2.0}, {20, 100.0}, {40, 60.0}}, {20, 40}, 100},
      {"all weak but tallest", {{10, 2.0}, {20, 3.0}, {30, 100.0}, {40, 4.0}}, {30}, 100},
  });
}

TEST(DetectPitch, LowFirstPeakIsDropped) {
  RunPruneCases({
      // R = (1 + 10 + 20 + 30) / 4 = 15.25 > 4.4
      {"2,20,40,60", {{2, 50.0}, {20, 50.0}, {40, 50.0}, {60, 50.0}}, {20, 40, 60}, 50},
      // R = 2.5 < 22
      {"10,20,30,40", {{10, 50.0}, {20, 50.0}, {30, 50.0}, {40, 50.0}}, {10, 20, 30, 40}, 50},
      // Only three peaks: the rule does not apply.
      {"three peaks", {{2, 50.0}, {40, 50.0}, {60, 50.0}}, {2, 40, 60}, 50},
      // The level is the tallest height, even though that peak was dropped.
      {"tallest dropped", {{2, 300.0}, {20, 100.0}, {40, 50.0}, {60, 40.0}}, {20, 40, 60}, 300},
  });
}

TEST(DetectPitch, TwoUnrelatedPeaksKeepTheTaller) {
  RunPruneCases({
      {"10 & 25, second taller", {{10, 20.0}, {25, 30.0}}, {25}, 30},
      {"10 & 25, first taller", {{10, 30.0}, {25, 20.0}}, {10, 25}, 30},
      {"10 & 21, related", {{10, 20.0}, {21, 30.0}}, {10, 21}, 30},
      {"10 & 13, D = 3", {{10, 20.0}, {13, 30.0}}, {10, 13}, 30},
      {"10 & 14, D = 4", {{10, 20.0}, {14, 30.0}}, {14}, 30},
      {"equal heights", {{10, 30.0}, {25, 30.0}}, {10, 25}, 30},
  });
}

TEST(DetectPitch, SecondPeakTakesFirstPlaceWithItsComplexValue) {
  Spectrum s;
  s.Peak(10, 20.0).Peak(25, 30.0);
  DetectionState state;
  ASSERT_TRUE(Detect(s, LowThreshold(), state));
  ASSERT_EQ(state.peaks.count, 1);
  EXPECT_EQ(state.peaks.amp[1], 1.0);
  EXPECT_EQ(state.peaks.complex[1], (Complex{25.0, -25.0}));
}

TEST(DetectPitch, AtMost119PeaksAndLaterOnesIgnored) {
  // 130 isolated peaks; the 11 beyond the room are far taller but must not count.
  Spectrum s;
  for (int j = 0; j < 130; ++j) s.Peak(100 + 2 * j, j < kMaxPeaks ? 50.0 : 1000.0);
  DetectionSettings settings;
  settings.maxDisplayFreq = 8000.0;  // n = 743: every peak lies in the scanned range
  DetectionState state;
  ASSERT_TRUE(Detect(s, settings, state));
  EXPECT_EQ(state.peaks.count, kMaxPeaks);
  EXPECT_EQ(state.peaks.bin[kMaxPeaks], 100 + 2 * (kMaxPeaks - 1));
  EXPECT_EQ(state.detectedLevel, 50);
  for (double a : Amps(state)) EXPECT_EQ(a, 1.0);
}

// --- Pitch and level ------------------------------------------------------------------

TEST(DetectPitch, PitchFromInterpolatedPosition) {
  struct Case {
    double left, centre, right;
    uint32_t sampleRate;
    int32_t freq;
  };
  // With sampleRate = 4 * fftSize the pitch is 4 * position, so quarter bins show.
  const Case cases[] = {
      {2, 10, 6, 8192, 4 * 20 + 1},
      {6, 10, 2, 8192, 4 * 20 - 1},
      {6, 10, 6, 8192, 4 * 20},
      {0, 100, 86, 44100, 440},  // position 20.43
  };
  for (const auto& c : cases) {
    Spectrum s;
    s.Peak(19, c.left).Peak(20, c.centre).Peak(21, c.right);
    DetectionSettings settings;
    settings.peakThreshold = 0.5;
    settings.sampleRate = c.sampleRate;
    DetectionState state;
    ASSERT_TRUE(Detect(s, settings, state));
    EXPECT_EQ(state.peaks.bin[1], 20);
    EXPECT_EQ(state.detectedFreq, c.freq) << c.left << " " << c.centre << " " << c.right;
    EXPECT_EQ(state.detectedLevel, static_cast<int32_t>(c.centre));
  }
}

TEST(DetectPitch, InterpolationUsesRawMagnitudes) {
  // Raw 2, 10, 6 -> k + 0.25; the noise-subtracted 2, 10, 1 would give about k - 0.06.
  Spectrum s;
  s.Peak(19, 2.0).Peak(20, 10.0).Peak(21, 6.0);
  s.noise[21] = 5.0;
  DetectionSettings settings;
  settings.peakThreshold = 0.5;
  settings.sampleRate = 8192;
  DetectionState state;
  ASSERT_TRUE(Detect(s, settings, state));
  EXPECT_EQ(state.detectedFreq, 81);
}

TEST(DetectPitch, ZeroDenominatorUsesTheBinItself) {
  // Bin 20 is a strict maximum of S only because of the noise; in the raw magnitudes it
  // equals the neighbour the fit divides by.
  struct Case {
    double raw[3];
    double noise[3];
  };
  const Case cases[] = {
      {{60, 50, 50}, {50, 0, 10}},  // left higher, y2 == y1
      {{50, 50, 60}, {40, 0, 20}},  // right higher, y1 == y0
  };
  for (const auto& c : cases) {
    Spectrum s;
    for (int j = 0; j < 3; ++j) {
      s.mag[19 + j] = c.raw[j];
      s.noise[19 + j] = c.noise[j];
    }
    DetectionSettings settings;
    settings.sampleRate = 8192;  // pitch = 4 * position
    DetectionState state;
    ASSERT_TRUE(Detect(s, settings, state));
    EXPECT_EQ(Bins(state), std::vector<int32_t>{20});
    EXPECT_EQ(state.detectedFreq, 80);
  }
}

TEST(DetectPitch, HeightsAreNormalisedAndComplexValuesKept) {
  Spectrum s;
  s.Peak(10, 80.0).Peak(20, 40.0).Peak(30, 20.0);
  DetectionState state;
  ASSERT_TRUE(Detect(s, LowThreshold(), state));
  EXPECT_EQ(Amps(state), (std::vector<double>{1.0, 0.5, 0.25}));
  EXPECT_EQ(state.peaks.complex[3], (Complex{30.0, -30.0}));
  EXPECT_EQ(state.detectedLevel, 80);
}

// --- Harmonic labelling ---------------------------------------------------------------

struct LabelCase {
  const char* what;
  std::vector<std::pair<int, double>> peaks;
  std::vector<int32_t> bins;
  std::vector<int32_t> harmonics;
  std::vector<double> amps;
};

TEST(DetectPitch, HarmonicLabellingWhileDrivingMixer) {
  const LabelCase cases[] = {
      // Two neighbouring bins can never both be maxima, so the run of harmonic 2 is
      // built from bins 19 and 21 (both Dev 1).
      {"run of 2 keeps the taller, Dev 3 stays",
       {{10, 100.0}, {19, 50.0}, {21, 70.0}, {33, 30.0}, {41, 20.0}},
       {10, 21, 33, 41}, {1, 2, 3, 4}, {1.0, 0.7, 0.3, 0.2}},
      {"Dev 5 removed",
       {{10, 100.0}, {19, 50.0}, {21, 70.0}, {35, 30.0}, {41, 20.0}},
       {10, 21, 41}, {1, 2, 4}, {1.0, 0.7, 0.2}},
      {"equal heights keep the earliest",
       {{10, 100.0}, {19, 50.0}, {21, 50.0}},
       {10, 19}, {1, 2}, {1.0, 0.5}},
      {"ties to even in ratios",  // 5 / 2 = 2.5 -> 2, 7 / 2 = 3.5 -> 4
       {{2, 100.0}, {5, 50.0}, {7, 40.0}},
       {2, 5, 7}, {1, 2, 4}, {1.0, 0.5, 0.4}},
      {"run of three, tallest last",
       {{10, 100.0}, {18, 20.0}, {20, 30.0}, {22, 40.0}},
       {10, 22}, {1, 2}, {1.0, 0.4}},
      {"run of three, tallest in the middle",
       {{10, 100.0}, {18, 20.0}, {20, 40.0}, {22, 30.0}, {30, 10.0}},
       {10, 20, 30}, {1, 2, 3}, {1.0, 0.4, 0.1}},
  };
  for (const auto& c : cases) {
    Spectrum s;
    for (const auto& [bin, height] : c.peaks) s.Peak(bin, height);
    DetectionSettings settings = LowThreshold();
    settings.drivesMixer = true;
    DetectionState state;
    ASSERT_TRUE(Detect(s, settings, state)) << c.what;
    EXPECT_EQ(Bins(state), c.bins) << c.what;
    EXPECT_EQ(Harmonics(state), c.harmonics) << c.what;
    EXPECT_EQ(Amps(state), c.amps) << c.what;
    // Complex values moved together with their peaks.
    for (int k = 1; k <= state.peaks.count; ++k) {
      EXPECT_EQ(state.peaks.complex[k].re, state.peaks.bin[k]) << c.what;
    }
  }
}

TEST(DetectPitch, NoLabellingWhileNotDrivingMixer) {
  Spectrum s;
  s.Peak(10, 100.0).Peak(19, 50.0).Peak(21, 70.0).Peak(35, 30.0).Peak(41, 20.0);
  DetectionState state;
  state.peaks.harmonic.fill(99);
  ASSERT_TRUE(Detect(s, LowThreshold(), state));
  EXPECT_EQ(Bins(state), (std::vector<int32_t>{10, 19, 21, 35, 41}));
  EXPECT_EQ(Harmonics(state), (std::vector<int32_t>(5, 99)));
}

// --- Bounds and malformed settings ----------------------------------------------------

TEST(DetectPitch, TooFewBinsToScanFails) {
  Spectrum s(256);
  s.Peak(1, 500.0);
  DetectionSettings settings;
  settings.fftSize = 256;
  settings.recRate = 96000;
  settings.maxDisplayFreq = 250.0;
  settings.cutoffBin = 0;
  DetectionState state = PrimedState();
  EXPECT_FALSE(Detect(s, settings, state));
  EXPECT_EQ(state.voiceprintBins, 1);
  EXPECT_EQ(state.peaks.count, 0);
  EXPECT_EQ(state.detectedLevel, 456);
}

TEST(DetectPitch, WideDisplayRangeStopsAtComputedBins) {
  // n = 256 but only 128 bins exist; the arrays are exactly 128 long.
  DetectionSettings settings;
  settings.fftSize = 256;
  settings.recRate = 8000;
  settings.maxDisplayFreq = 4000.0;
  settings.sampleRate = 8000;

  Spectrum rising(256);  // the only maximum would be at the last bin, or beyond
  for (int i = 0; i < rising.size; ++i) rising.mag[i] = 100.0 + i;
  DetectionState state = PrimedState();
  EXPECT_FALSE(Detect(rising, settings, state));
  EXPECT_EQ(state.voiceprintBins, 256);

  Spectrum last(256);  // bin 126 is the last one whose right neighbour exists
  last.Peak(126, 50.0).Peak(127, 10.0);
  ASSERT_TRUE(Detect(last, settings, state));
  EXPECT_EQ(Bins(state), std::vector<int32_t>{126});
  // Interpolation of 0, 50, 10: 126.5 - 40 / 100 = 126.1, times 8000 / 256 = 3940.625
  EXPECT_EQ(state.detectedFreq, 3941);
}

TEST(DetectPitch, MalformedSettingsStayInBounds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    int32_t fftSize;
    int32_t recRate;
    double maxDisplayFreq;
    uint32_t sampleRate;
    bool found;
    int32_t freq;
  };
  const Case cases[] = {
      {"zero frame", 0, 44100, 2000.0, 44100, false, 0},
      {"negative frame", -2048, 44100, 2000.0, 44100, false, 0},
      {"tiny frame", 4, 8, 8000.0, 8, false, 0},  // n huge, but no bin has two neighbours
      {"zero display range", 2048, 44100, 0.0, 44100, false, 0},
      {"NaN display range", 2048, 44100, nan, 44100, false, 0},
      {"negative display range", 2048, 44100, -2000.0, 44100, false, 0},
      // A zero rate gives no display bins, as in the spectrum view: nothing is scanned.
      {"zero rec rate", 2048, 0, 2000.0, 44100, false, 0},
      // A display range far above the rate gives more bins than exist: the scan still ends
      // at the computed bins.
      {"range beyond the rate", 2048, 8, 2000.0, 44100, true, 431},
      {"zero sound rate", 2048, 44100, 2000.0, 0, true, 0},
  };
  for (const auto& c : cases) {
    const int bins = c.fftSize >= 2 ? c.fftSize / 2 : 1;
    Spectrum s(2 * bins);
    if (bins > 21) {
      s.Peak(20, 50.0);
    } else if (bins >= 2) {
      s.Peak(bins - 1, 50.0);  // a maximum only if the scan read past the last bin
    }
    DetectionSettings settings;
    settings.fftSize = c.fftSize;
    settings.recRate = c.recRate;
    settings.maxDisplayFreq = c.maxDisplayFreq;
    settings.sampleRate = c.sampleRate;
    DetectionState state = PrimedState();
    EXPECT_EQ(Detect(s, settings, state), c.found) << c.what;
    EXPECT_EQ(state.detectedFreq, c.found ? c.freq : 123) << c.what;
  }
}

TEST(DetectPitch, NullNoiseAndOutputCountAsZero) {
  Spectrum s;
  s.Peak(20, 50.0);
  DetectionState state;
  ASSERT_TRUE(DetectPitch(s.mag.get(), nullptr, nullptr, DetectionSettings{}, state));
  EXPECT_EQ(state.peaks.bin[1], 20);
  EXPECT_EQ(state.peaks.complex[1], Complex{});
  EXPECT_EQ(state.detectedFreq, 431);  // 20 * 44100 / 2048 = 430.66
}

// --- End to end through the transform ------------------------------------------------

// A steady tone of harmonics at 440 Hz multiples, 16-bit sample units, windowed and
// transformed like a recorded frame, then detected.
struct ToneFrame {
  static constexpr int kN = 2048;
  static constexpr double kRate = 44100.0;
  explicit ToneFrame(const std::vector<double>& amplitudes) {
    std::vector<double> input(kN);
    for (int j = 0; j < kN; ++j) {
      double x = 0.0;
      for (size_t h = 0; h < amplitudes.size(); ++h) {
        x += amplitudes[h] * std::sin(kTwoPi * 440.0 * static_cast<double>(h + 1) * j / kRate);
      }
      input[j] = HammingWeight(j, kN) * std::round(x);
    }
    std::vector<Complex> work(kN), out(kN);  // the transform fills all N bins
    ok = FftLiteral(kN, input.data(), out.data(), work.data(), spectrum.mag.get());
    std::copy(out.begin(), out.begin() + spectrum.size, spectrum.out.get());
  }
  Spectrum spectrum{kN};
  bool ok = false;
};

TEST(DetectPitch, EndToEndSineTones) {
  const ToneFrame pure({10000.0});
  ASSERT_TRUE(pure.ok);
  DetectionState state;
  ASSERT_TRUE(Detect(pure.spectrum, DetectionSettings{}, state));
  // The triangle fit on a Hamming-windowed sine lands within a few hertz; the level is
  // about A/2 times the window's mean weight, less the loss off the bin centre.
  EXPECT_NEAR(state.detectedFreq, 440, 2);
  EXPECT_NEAR(state.detectedLevel, 0.27 * 10000.0, 0.27 * 10000.0 * 0.2);
  EXPECT_EQ(state.peaks.bin[1], 20);

  const ToneFrame rich({4000.0, 8000.0, 2000.0});
  ASSERT_TRUE(rich.ok);
  DetectionSettings settings;
  settings.drivesMixer = true;
  ASSERT_TRUE(Detect(rich.spectrum, settings, state));
  EXPECT_NEAR(state.detectedFreq, 440, 2);
  EXPECT_EQ(Harmonics(state), (std::vector<int32_t>{1, 2, 3}));
  ASSERT_EQ(state.peaks.count, 3);
  EXPECT_EQ(state.peaks.amp[2], 1.0);
  EXPECT_NEAR(state.peaks.amp[1], 0.5, 0.1);
  EXPECT_NEAR(state.peaks.amp[3], 0.25, 0.05);
}

TEST(CutoffBin, UsesTheFrameLengthMinusOneAndNeverGoesBelowZero) {
  const struct {
    double hz;
    double rate;
    int32_t fftSize;
    uint32_t bin;
  } cases[] = {
      {30.0, 44100, 2048, 1u},    // 30 x 2047 / 44100 = 1.39
      {499.0, 44100, 2048, 23u},  // 23.16
      {30.0, 44100, 256, 0u},     // 0.17
      {0.0, 44100, 256, 0u},
      {-500.0, 44100, 2048, 0u},
  };
  for (const auto& c : cases) EXPECT_EQ(CutoffBinFor(c.hz, c.rate, c.fftSize), c.bin) << c.hz;
}

}  // namespace
}  // namespace tonamira

// Tests of the precise pitch tracker on synthesised frames: accuracy to a fraction of a
// hertz, the octave decisions, and the voicing of silence, noise and tones.
#include "analysis/pitch_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <span>
#include <vector>

#include "analysis/voicing.h"

namespace tonamira {
namespace {

constexpr int kFrame = 2048;

struct Partial {
  int harmonic;
  double amplitude;
};

// A steady tone of partials of f0, starting `start` seconds into it.
std::vector<double> Tone(double f0, const std::vector<Partial>& partials, double rate = 44100.0,
                         double start = 0.0) {
  std::vector<double> x(kFrame);
  for (int j = 0; j < kFrame; ++j)
    for (const Partial& p : partials)
      x[static_cast<size_t>(j)] +=
          p.amplitude * std::sin(2.0 * M_PI * f0 * p.harmonic * (start + j / rate));
  return x;
}

std::vector<double> WhiteNoise(unsigned seed, double sigma) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, sigma);
  std::vector<double> x(kFrame);
  for (double& v : x) v = g(rng);
  return x;
}

// Brown noise: running sum of white noise, scaled to about sigma.
std::vector<double> BrownNoise(unsigned seed, double sigma) {
  auto x = WhiteNoise(seed, 1.0);
  double sum = 0.0;
  for (double& v : x) v = (sum += v);
  double mean = 0.0;
  for (double v : x) mean += v / kFrame;
  double power = 0.0;
  for (double v : x) power += (v - mean) * (v - mean) / kFrame;
  for (double& v : x) v = (v - mean) * sigma / std::sqrt(power);
  return x;
}

double Cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }

TrackerSettings At(double rate) {
  TrackerSettings s;
  s.sampleRate = rate;
  return s;
}

TEST(PitchTracker, SinesAcrossTheRangeToAFractionOfAHertz) {
  for (double rate : {44100.0, 48000.0, 22050.0}) {
    for (double f0 : {82.4069, 110.0, 146.83, 261.6256, 440.0, 698.46, 1046.502, 1500.0}) {
      PitchTracker tracker(kFrame, At(rate));
      const auto x = Tone(f0, {{1, 0.5}}, rate);
      const PitchEstimate e = tracker.Analyze(x.data());
      ASSERT_TRUE(e.voiced) << f0 << " Hz at " << rate;
      EXPECT_NEAR(e.hz, f0, 0.02) << f0 << " Hz at " << rate;
      EXPECT_GT(e.confidence, 0.99) << f0;
      EXPECT_NEAR(e.levelDb, 20.0 * std::log10(0.5 / std::sqrt(2.0)), 0.1) << f0;
    }
  }
}

TEST(PitchTracker, HarmonicTonesGiveTheirFundamental) {
  struct Case {
    const char* what;
    double f0;
    std::vector<Partial> partials;
  };
  const Case cases[] = {
      {"sawtooth-like", 196.0, {{1, 0.4}, {2, 0.2}, {3, 0.13}, {4, 0.1}, {5, 0.08}, {6, 0.07}}},
      {"clarinet-like, odd only", 147.0, {{1, 0.4}, {3, 0.3}, {5, 0.2}, {7, 0.1}}},
      // The fundamental 20 dB below a strong second harmonic, weak odd partials: the waveform
      // nearly repeats every half period, but only nearly (the oboe case).
      {"weak fundamental", 587.33, {{1, 0.04}, {2, 0.4}, {3, 0.03}, {4, 0.2}, {6, 0.1}}},
      // No fundamental at all: the period is still that of 110 Hz.
      {"missing fundamental", 110.0, {{2, 0.3}, {3, 0.3}, {4, 0.2}, {5, 0.1}}},
      {"low E with a weak fundamental", 82.4069, {{1, 0.05}, {2, 0.3}, {3, 0.3}, {4, 0.1}}},
  };
  for (const auto& c : cases) {
    PitchTracker tracker(kFrame, At(44100.0));
    const auto x = Tone(c.f0, c.partials);
    const PitchEstimate e = tracker.Analyze(x.data());
    ASSERT_TRUE(e.voiced) << c.what;
    EXPECT_NEAR(Cents(e.hz, c.f0), 0.0, 1.0) << c.what << ": " << e.hz;
  }
}

TEST(PitchTracker, SilenceAndNoiseOfEveryColourAreUnvoiced) {
  PitchTracker tracker(kFrame, At(44100.0));
  const std::vector<double> silence(kFrame, 0.0);
  PitchEstimate e = tracker.Analyze(silence.data());
  EXPECT_FALSE(e.voiced);
  EXPECT_EQ(e.hz, 0.0);
  EXPECT_EQ(e.levelDb, -120.0);
  EXPECT_EQ(e.confidence, 0.0);

  // Quieter than the silence floor: unvoiced however periodic.
  const auto whisper = Tone(220.0, {{1, 1e-4}});
  EXPECT_FALSE(tracker.Analyze(whisper.data()).voiced);

  int voiced = 0;
  const int trials = 40;
  for (int seed = 0; seed < trials; ++seed) {
    tracker.Reset();
    voiced += tracker.Analyze(WhiteNoise(static_cast<unsigned>(seed), 0.1).data()).voiced;
    tracker.Reset();
    voiced += tracker.Analyze(BrownNoise(static_cast<unsigned>(seed), 0.1).data()).voiced;
  }
  EXPECT_EQ(voiced, 0);
}

TEST(PitchTracker, ToneInNoiseStaysVoicedAndAccurate) {
  PitchTracker tracker(kFrame, At(44100.0));
  auto x = Tone(330.0, {{1, 0.3}, {2, 0.15}, {3, 0.1}});
  const auto noise = WhiteNoise(9, 0.02);  // about 20 dB below the tone
  for (size_t j = 0; j < x.size(); ++j) x[j] += noise[j];
  const PitchEstimate e = tracker.Analyze(x.data());
  ASSERT_TRUE(e.voiced);
  EXPECT_NEAR(Cents(e.hz, 330.0), 0.0, 3.0);
  EXPECT_GT(e.confidence, 0.85);
  EXPECT_LT(e.confidence, 1.0);
}

TEST(PitchTracker, ShortFrameLimitsTheLowestPitch) {
  // 256 samples at 44100 Hz: the longest lag is 128 samples, 345 Hz.
  TrackerSettings s = At(44100.0);
  PitchTracker tracker(256, s);
  ASSERT_TRUE(tracker.valid());
  EXPECT_EQ(tracker.maxLag(), 128);
  std::vector<double> x(256);
  for (int j = 0; j < 256; ++j) x[static_cast<size_t>(j)] = 0.5 * std::sin(2.0 * M_PI * 880.0 * j / 44100.0);
  const PitchEstimate e = tracker.Analyze(x.data());
  ASSERT_TRUE(e.voiced);
  EXPECT_NEAR(e.hz, 880.0, 0.5);
}

TEST(PitchTracker, RefusesSettingsItCannotWorkWith) {
  TrackerSettings inverted = At(44100.0);
  inverted.minHz = 2000.0;
  inverted.maxHz = 100.0;
  TrackerSettings noRate = At(0.0);
  TrackerSettings tooHigh = At(8000.0);  // 60 Hz needs more than half a 64-sample frame
  tooHigh.minHz = 3000.0;
  tooHigh.maxHz = 4000.0;
  EXPECT_FALSE(PitchTracker(kFrame, inverted).valid());
  EXPECT_FALSE(PitchTracker(kFrame, noRate).valid());
  EXPECT_FALSE(PitchTracker(1000, At(44100.0)).valid());  // not a power of two
  EXPECT_FALSE(PitchTracker(32, At(44100.0)).valid());
  EXPECT_FALSE(PitchTracker(64, tooHigh).valid());
  PitchTracker invalid(1000, At(44100.0));
  const std::vector<double> x(1000, 0.1);
  EXPECT_FALSE(invalid.Analyze(x.data()).voiced);
}

TEST(PitchTracker, AWeakFrameContinuingAPitchStaysVoiced) {
  // A frame whose confidence lies between the two thresholds is voiced only right after a
  // voiced frame of about the same pitch.
  TrackerSettings s = At(44100.0);
  s.voicedConfidence = 0.999;  // no noisy frame reaches it
  s.continuedConfidence = 0.5;
  PitchTracker tracker(kFrame, s);
  auto noisy = Tone(220.0, {{1, 0.3}});
  const auto noise = WhiteNoise(5, 0.06);
  for (size_t j = 0; j < noisy.size(); ++j) noisy[j] += noise[j];
  const auto clean = Tone(220.0, {{1, 0.3}});

  const PitchEstimate alone = tracker.Analyze(noisy.data());
  ASSERT_GT(alone.confidence, 0.5);
  ASSERT_LT(alone.confidence, 0.999);
  EXPECT_FALSE(alone.voiced);
  EXPECT_NEAR(Cents(alone.candidateHz, 220.0), 0.0, 25.0);  // noise about 11 dB down

  EXPECT_TRUE(tracker.Analyze(clean.data()).voiced);
  EXPECT_TRUE(tracker.Analyze(noisy.data()).voiced);
  tracker.Reset();
  EXPECT_FALSE(tracker.Analyze(noisy.data()).voiced);
}

// --- The range ---------------------------------------------------------------------------

// `samples` of a steady tone (partials of f0); the frame is the last kFrame of them.
std::vector<double> Sound(double f0, const std::vector<Partial>& partials, size_t samples,
                          double rate = 44100.0) {
  std::vector<double> x(samples);
  for (size_t j = 0; j < samples; ++j)
    for (const Partial& p : partials)
      x[j] += p.amplitude * std::sin(2.0 * M_PI * f0 * p.harmonic * static_cast<double>(j) / rate);
  return x;
}

// A bright tone: eight partials falling as 1/k, the fundamental the strongest.
const std::vector<Partial> kBright = {{1, 0.3},  {2, 0.15}, {3, 0.1},   {4, 0.075},
                                      {5, 0.06}, {6, 0.05}, {7, 0.043}, {8, 0.037}};
// A low piano-like tone: the fundamental 20 dB under the second and third partials.
const std::vector<Partial> kWeakFundamental = {
    {1, 0.03}, {2, 0.3}, {3, 0.3}, {4, 0.2}, {5, 0.15}, {6, 0.1}, {7, 0.07}, {8, 0.05}};

PitchEstimate AnalyzeWithHistory(PitchTracker& tracker, const std::vector<double>& x) {
  return tracker.Analyze(std::span<const double>(x));
}

TEST(PitchTracker, SearchesFromA0ToC8ByDefault) {
  const TrackerSettings s = At(44100.0);
  EXPECT_EQ(s.minHz, 27.5);
  EXPECT_EQ(s.maxHz, 4186.0);
  PitchTracker tracker(kFrame, s);
  ASSERT_TRUE(tracker.valid());
  // The frame's own search stops at two periods of 60 Hz; below that, the longer frame
  // (4096 samples: two periods of A0) reads the 2048 samples before the frame.
  EXPECT_EQ(tracker.maxLag(), 735);
  EXPECT_EQ(tracker.historyLength(), 2048);
  // High notes at their own period: lags down to an octave above C8.
  EXPECT_EQ(tracker.minLag(), 5);
}

TEST(PitchTracker, NotesAtBothEndsOfTheRange) {
  struct Case {
    const char* note;
    double hz;
    const std::vector<Partial>* partials;
  };
  const Case cases[] = {
      {"A0", 27.5, &kBright},          {"A0, weak fundamental", 27.5, &kWeakFundamental},
      {"B0", 30.8677, &kBright},       {"E1", 41.2034, &kWeakFundamental},
      {"A1", 55.0, &kWeakFundamental}, {"B1", 61.7354, &kWeakFundamental},
      {"C7", 2093.005, &kBright},      {"A7", 3520.0, &kBright},
      {"C8", 4186.009, &kBright},
  };
  for (const auto& c : cases) {
    TrackerSettings s = At(44100.0);
    PitchTracker tracker(kFrame, s);
    // Partials above the Nyquist frequency would alias: keep those below 20 kHz.
    std::vector<Partial> partials;
    for (const Partial& p : *c.partials)
      if (p.harmonic * c.hz < 20000.0) partials.push_back(p);
    const auto x = Sound(c.hz, partials, kFrame + tracker.historyLength());
    const PitchEstimate e = AnalyzeWithHistory(tracker, x);
    ASSERT_TRUE(e.voiced) << c.note << ": " << e.candidateHz << " Hz, " << e.confidence;
    EXPECT_TRUE(e.inRange) << c.note;
    EXPECT_NEAR(Cents(e.hz, c.hz), 0.0, 2.0) << c.note << ": " << e.hz;
    EXPECT_GE(e.confidence, s.voicedConfidence) << c.note;
  }
}

TEST(PitchTracker, TheLowestNotesNeedTheSamplesBeforeTheFrame) {
  // Without them A0's period does not fit the frame's search: never a confident wrong note.
  PitchTracker tracker(kFrame, At(44100.0));
  const auto x = Sound(27.5, kBright, kFrame);
  const PitchEstimate e = tracker.Analyze(x.data());
  EXPECT_TRUE(!e.voiced || std::abs(Cents(e.hz, 27.5)) < 50.0) << e.hz;
  // With a part of them (the start of a sound) the same as with none.
  const auto y = Sound(27.5, kBright, kFrame + 1000);
  tracker.Reset();
  const PitchEstimate partial = AnalyzeWithHistory(tracker, y);
  tracker.Reset();
  const PitchEstimate alone =
      tracker.Analyze(std::span<const double>(y).subspan(1000));
  EXPECT_EQ(partial.candidateHz, alone.candidateHz);
  EXPECT_EQ(partial.confidence, alone.confidence);
}

TEST(PitchTracker, APitchOutsideTheRangeIsNeverAConfidentOctaveOfItself) {
  struct Case {
    double minHz, maxHz;  // the range searched
    double hz;            // the tone, outside it
    const std::vector<Partial>* partials;
  };
  const Case cases[] = {
      // Above a narrowed top: a semitone, a fifth and an octave beyond, and between.
      {100.0, 1600.0, 1700.0, &kBright},  {100.0, 1600.0, 1760.0, &kBright},
      {100.0, 1600.0, 2400.0, &kBright},  {100.0, 1600.0, 3190.0, &kBright},
      {100.0, 1600.0, 1760.0, &kWeakFundamental},
      // Below a narrowed bottom, the same.
      {100.0, 1600.0, 94.0, &kBright},    {100.0, 1600.0, 80.0, &kBright},
      {100.0, 1600.0, 67.0, &kBright},    {100.0, 1600.0, 51.0, &kBright},
      {100.0, 1600.0, 51.0, &kWeakFundamental},
      {60.0, 1000.0, 55.0, &kWeakFundamental},  {60.0, 1000.0, 41.2, &kWeakFundamental},
      // Just outside the default range: below A0 and above C8.
      {27.5, 4186.0, 25.0, &kBright},     {27.5, 4186.0, 4500.0, &kBright},
      {27.5, 4186.0, 6000.0, &kBright},
  };
  for (const auto& c : cases) {
    TrackerSettings s = At(44100.0);
    s.minHz = c.minHz;
    s.maxHz = c.maxHz;
    PitchTracker tracker(kFrame, s);
    ASSERT_TRUE(tracker.valid());
    std::vector<Partial> partials;
    for (const Partial& p : *c.partials)
      if (p.harmonic * c.hz < 20000.0) partials.push_back(p);
    const auto x = Sound(c.hz, partials, kFrame + tracker.historyLength());
    // Three frames in a row: continuing a pitch must not voice it either.
    for (int frame = 0; frame < 3; ++frame) {
      const PitchEstimate e = AnalyzeWithHistory(tracker, x);
      EXPECT_FALSE(e.voiced) << c.hz << " Hz in " << c.minHz << ".." << c.maxHz << ": "
                             << e.hz;
      EXPECT_LT(e.confidence, 0.5) << c.hz << " Hz in " << c.minHz << ".." << c.maxHz;
    }
  }
}

TEST(PitchTracker, TheEdgesOfTheRangeAreInsideIt) {
  // A note at a limit, or a few cents beyond it, is that note.
  struct Case {
    double hz;
    bool inside;
  } cases[] = {{100.0, true}, {99.0, true}, {97.0, false}, {1600.0, true},
               {1615.0, true}, {1650.0, false}};
  TrackerSettings s = At(44100.0);
  s.minHz = 100.0;
  s.maxHz = 1600.0;
  for (const auto& c : cases) {
    PitchTracker tracker(kFrame, s);
    const auto x = Sound(c.hz, {{1, 0.3}, {2, 0.1}}, kFrame + tracker.historyLength());
    const PitchEstimate e = AnalyzeWithHistory(tracker, x);
    EXPECT_EQ(e.inRange, c.inside) << c.hz;
    EXPECT_EQ(e.voiced, c.inside) << c.hz;
    EXPECT_NEAR(Cents(e.candidateHz, c.hz), 0.0, 1.0) << c.hz;
  }
}

// --- ExtendVoicingBackward ---------------------------------------------------------------

PitchEstimate Frame(bool voiced, double candidateHz, double confidence, double levelDb = -20.0) {
  PitchEstimate e;
  e.voiced = voiced;
  e.candidateHz = candidateHz;
  e.hz = voiced ? candidateHz : 0.0;
  e.confidence = confidence;
  e.levelDb = levelDb;
  return e;
}

TEST(ExtendVoicingBackward, GrowsStretchesBackwardsWhileThePitchLeadsIn) {
  const TrackerSettings s;  // continued 0.5, one semitone, silence -70 dB
  std::vector<PitchEstimate> frames = {
      Frame(false, 300.0, 0.9),          // 0: a semitone's distance is broken at 1
      Frame(false, 440.0, 0.3),          // 1: too little confidence: the chain stops here
      Frame(false, 430.0, 0.6),          // 2: within a semitone of 3 -> voiced
      Frame(false, 441.0, 0.55),         // 3: within a semitone of 4 -> voiced
      Frame(true, 440.0, 0.95),          // 4: voiced by the tracker
      Frame(false, 470.0, 0.7),          // 5: 1.1 semitones above frame 6 -> stays
      Frame(false, 220.0, 0.8),          // 6: an octave below frame 7 -> stays
      Frame(true, 440.0, 0.9),           // 7
      Frame(false, 440.0, 0.9, -80.0),   // 8: below the silence floor -> stays
      Frame(true, 440.0, 0.9),           // 9
  };
  ExtendVoicingBackward(frames, s);
  const bool expected[] = {false, false, true, true, true, false, false, true, false, true};
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].voiced, expected[i]) << i;
    EXPECT_EQ(frames[i].hz, expected[i] ? frames[i].candidateHz : 0.0) << i;
  }
}

TEST(ExtendVoicingBackward, NothingToDoOnEmptyOrSingleSequences) {
  std::vector<PitchEstimate> none;
  ExtendVoicingBackward(none, TrackerSettings{});
  std::vector<PitchEstimate> one = {Frame(false, 440.0, 0.9)};
  ExtendVoicingBackward(one, TrackerSettings{});
  EXPECT_FALSE(one[0].voiced);
}

TEST(ExtendVoicingBackward, NeverVoicesAFrameOutsideTheRange) {
  const TrackerSettings s;
  std::vector<PitchEstimate> frames = {Frame(false, 4300.0, 0.49), Frame(true, 4186.0, 0.95)};
  frames[0].inRange = false;
  TrackerSettings lenient = s;
  lenient.continuedConfidence = 0.3;
  ExtendVoicingBackward(frames, lenient);
  EXPECT_FALSE(frames[0].voiced);
}

}  // namespace
}  // namespace tonamira

// Tests of the precise pitch tracker on synthesised frames: accuracy to a fraction of a
// hertz, the octave decisions, and the voicing of silence, noise and tones.
#include "analysis/pitch_tracker.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <span>
#include <string>
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
    const PitchEstimate e = tracker.Analyze(std::span<const double>(x));
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
  const PitchEstimate partial = tracker.Analyze(std::span<const double>(y));
  tracker.Reset();
  const PitchEstimate alone =
      tracker.Analyze(std::span<const double>(y).subspan(1000));
  EXPECT_EQ(partial.candidateHz, alone.candidateHz);
  EXPECT_EQ(partial.confidence, alone.confidence);
}

TEST(PitchTracker, APitchOutsideTheRangeIsNeverAConfidentOctaveOfItself) {
  // Tones beyond the range searched are unvoiced below 0.5 confidence, over several frames
  // (continuing a pitch must not voice them either); a note at a limit, or a few cents
  // beyond it, is inside and that note.
  struct Case {
    double minHz, maxHz;  // the range searched
    double hz;            // the tone
    const std::vector<Partial>* partials;
    bool inside;
  };
  const Case cases[] = {
      // Above a narrowed top: a semitone, a fifth and an octave beyond, and between.
      {100.0, 1600.0, 1700.0, &kBright, false},  {100.0, 1600.0, 1760.0, &kBright, false},
      {100.0, 1600.0, 2400.0, &kBright, false},  {100.0, 1600.0, 3190.0, &kBright, false},
      {100.0, 1600.0, 1760.0, &kWeakFundamental, false},
      // Below a narrowed bottom, the same.
      {100.0, 1600.0, 94.0, &kBright, false},    {100.0, 1600.0, 80.0, &kBright, false},
      {100.0, 1600.0, 67.0, &kBright, false},    {100.0, 1600.0, 51.0, &kBright, false},
      {100.0, 1600.0, 51.0, &kWeakFundamental, false},
      {60.0, 1000.0, 55.0, &kWeakFundamental, false},
      {60.0, 1000.0, 41.2, &kWeakFundamental, false},
      // Just outside the default range: below A0 and above C8.
      {27.5, 4186.0, 25.0, &kBright, false},     {27.5, 4186.0, 4500.0, &kBright, false},
      {27.5, 4186.0, 6000.0, &kBright, false},
      // The edges: within 50 cents of a limit is inside.
      {100.0, 1600.0, 100.0, &kBright, true},    {100.0, 1600.0, 99.0, &kBright, true},
      {100.0, 1600.0, 97.0, &kBright, false},    {100.0, 1600.0, 1600.0, &kBright, true},
      {100.0, 1600.0, 1615.0, &kBright, true},   {100.0, 1600.0, 1650.0, &kBright, false},
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
    for (int frame = 0; frame < 3; ++frame) {
      const PitchEstimate e = tracker.Analyze(std::span<const double>(x));
      const auto where = [&] {
        return std::to_string(c.hz) + " Hz in " + std::to_string(c.minHz) + ".." +
               std::to_string(c.maxHz);
      };
      EXPECT_EQ(e.inRange, c.inside) << where();
      EXPECT_EQ(e.voiced, c.inside) << where() << ": " << e.hz;
      if (c.inside) {
        EXPECT_NEAR(Cents(e.candidateHz, c.hz), 0.0, 1.0) << where();
      } else {
        EXPECT_LT(e.confidence, 0.5) << where();
      }
    }
  }
}

// --- The voicing over frames ---------------------------------------------------------------

// The frames of a sound at a hop, each with the samples before it that the tracker reads;
// then the backward rule, as the precise method does.
std::vector<PitchEstimate> TrackSound(const std::vector<double>& x, TrackerSettings s,
                                      int hop = 1024) {
  s.hop = hop;
  PitchTracker tracker(kFrame, s);
  std::vector<PitchEstimate> frames;
  const auto history = static_cast<size_t>(tracker.historyLength());
  for (size_t start = 0; start + kFrame <= x.size(); start += static_cast<size_t>(hop)) {
    const size_t before = std::min(history, start);
    frames.push_back(tracker.Analyze(
        std::span<const double>(x.data() + start - before, before + kFrame)));
  }
  ExtendVoicingBackward(frames, s);
  return frames;
}

// A glide from f0 to f1 (exponential, `seconds` long) of three partials, with white noise
// at `noise` (standard deviation); the phase follows the pitch.
std::vector<double> Glide(double f0, double f1, double seconds, double noise, unsigned seed) {
  const double rate = 44100.0;
  const auto n = static_cast<size_t>(seconds * rate);
  std::vector<double> x(n);
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, noise);
  double phase = 0.0;
  for (size_t j = 0; j < n; ++j) {
    const double f = f0 * std::pow(f1 / f0, static_cast<double>(j) / static_cast<double>(n));
    phase += 2.0 * M_PI * f / rate;
    x[j] = 0.3 * std::sin(phase) + 0.15 * std::sin(2.0 * phase) + 0.1 * std::sin(3.0 * phase) +
           g(rng);
  }
  return x;
}

TEST(PitchTracker, AGlideIsMeasuredAtTheFrameCentre) {
  // The pitch a frame reports is the pitch at its centre, whichever way the voice glides and
  // however fast: measured from the start of the frame, a glide of two octaves a second came
  // out 12 to 25 cents behind it.
  struct Case {
    double f0, f1, seconds;
  };
  const Case cases[] = {
      {200.0, 800.0, 1.0},   // two octaves a second, up
      {800.0, 200.0, 1.0},   // and down
      {80.0, 160.0, 0.5},    // low, with few periods in the frame
      {1000.0, 2000.0, 0.5}, // high, with many
      {300.0, 340.0, 1.0},   // slow
  };
  for (const Case& c : cases) {
    const auto x = Glide(c.f0, c.f1, c.seconds, 0.0, 1);
    const auto frames = TrackSound(x, At(44100.0));
    ASSERT_GT(frames.size(), 15u);
    for (size_t f = 1; f + 1 < frames.size(); ++f) {
      ASSERT_TRUE(frames[f].voiced) << c.f0 << " to " << c.f1 << ", frame " << f;
      const double t = (static_cast<double>(f) * 1024 + kFrame / 2) / 44100.0;
      const double truth = c.f0 * std::pow(c.f1 / c.f0, t / c.seconds);
      EXPECT_NEAR(Cents(frames[f].hz, truth), 0.0, 5.0)
          << c.f0 << " to " << c.f1 << ", frame " << f;
    }
  }
}

TEST(PitchTracker, AGlideTooUnsteadyForAnyOneFrameIsVoicedAsARun) {
  // No frame reaches the confidence that voices a frame alone; the pitch holds together
  // from frame to frame, so the run voices it, and the backward rule the run's first frames.
  TrackerSettings s = At(44100.0);
  s.voicedConfidence = 0.999;
  const auto x = Glide(180.0, 300.0, 0.8, 0.05, 3);  // almost 9 semitones
  const auto frames = TrackSound(x, s);
  ASSERT_GT(frames.size(), 25u);
  PitchTracker probe(kFrame, [&] { TrackerSettings t = s; t.hop = 1024; return t; }());
  EXPECT_EQ(probe.runFrames(), 3);  // 60 ms at 23 ms a frame
  int voiced = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    EXPECT_LT(frames[f].confidence, 0.999);
    voiced += frames[f].voiced;
    if (!frames[f].voiced) continue;
    // The true pitch at the frame's centre.
    const double t = (static_cast<double>(f) * 1024 + kFrame / 2) / 44100.0;
    const double truth = 180.0 * std::pow(300.0 / 180.0, t / 0.8);
    EXPECT_NEAR(Cents(frames[f].hz, truth), 0.0, 50.0) << f;
  }
  EXPECT_EQ(voiced, static_cast<int>(frames.size()));
  // Without runs, the same glide is hardly voiced at all.
  TrackerSettings noRuns = s;
  noRuns.runSeconds = 10.0;
  int voicedWithoutRuns = 0;
  for (const PitchEstimate& e : TrackSound(x, noRuns)) voicedWithoutRuns += e.voiced;
  EXPECT_LT(voicedWithoutRuns, voiced / 2);
}

TEST(PitchTracker, NoiseMakesNoRuns) {
  // Noise whose frames reach the run's confidence now and then: their candidates scatter,
  // so no run forms.
  TrackerSettings s = At(44100.0);
  s.voicedConfidence = 0.999;
  std::vector<double> x(44100);
  std::mt19937 rng(11);
  std::normal_distribution<double> g(0.0, 0.1);
  double low = 0.0;
  for (double& v : x) v = (low += 0.2 * (g(rng) - low));  // dark noise: a one-pole low-pass
  for (const PitchEstimate& e : TrackSound(x, s)) EXPECT_FALSE(e.voiced) << e.candidateHz;
  for (const PitchEstimate& e : TrackSound(x, s, 256)) EXPECT_FALSE(e.voiced) << e.candidateHz;
}

TEST(PitchTracker, ADecayStaysVoicedAndItsFaintTailDoesNot) {
  // A tone decaying 24 dB over its second, then the same pitch 46 dB below its start (an
  // echo, the room): the decay is the note, the tail within a second of it is not; a quiet
  // note that lasts is a note again once the loud one is a second past.
  const double rate = 44100.0;
  std::vector<double> x(static_cast<size_t>(3.5 * rate));
  for (size_t j = 0; j < x.size(); ++j) {
    const double t = static_cast<double>(j) / rate;
    const double gain = t < 1.0 ? std::pow(10.0, -24.0 * t / 20.0) : 0.005;
    x[j] = gain * (0.4 * std::sin(2.0 * M_PI * 220.0 * t) + 0.2 * std::sin(4.0 * M_PI * 220.0 * t));
  }
  const auto frames = TrackSound(x, At(rate));
  for (size_t f = 0; f < frames.size(); ++f) {
    const double start = static_cast<double>(f) * 1024 / rate;
    const double end = start + kFrame / rate;
    if (end < 1.0) {
      EXPECT_TRUE(frames[f].voiced) << "decay, frame " << f;
    }
    // The tail's level is 46 dB under the start, 22 dB under the decay's end: more than 40 dB
    // under the loudest frame of the last second until about 1.25 s.
    if (start > 1.0 && end < 1.2) {
      EXPECT_FALSE(frames[f].voiced) << "tail, frame " << f;
    }
    if (start > 2.1) {
      EXPECT_TRUE(frames[f].voiced) << "lasting quiet note, frame " << f;
    }
  }
}

// --- The voicing by level: the echo after a line, the bridge inside it ---------------------

// Three partials of f0 at `amplitude`, with white noise of `noise` (standard deviation),
// appended to x for `seconds`; the phase runs on from `phase`.
void AppendTone(std::vector<double>& x, double f0, double amplitude, double noise,
                double seconds, unsigned seed, double& phase) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, noise);
  const auto n = static_cast<size_t>(seconds * 44100.0);
  for (size_t j = 0; j < n; ++j) {
    phase += 2.0 * M_PI * f0 / 44100.0;
    x.push_back(amplitude * (0.6 * std::sin(phase) + 0.3 * std::sin(2.0 * phase) +
                             0.2 * std::sin(3.0 * phase)) +
                g(rng));
  }
}

// The frames lying wholly within [from, to) seconds at a hop.
std::vector<size_t> FramesWithin(size_t count, double from, double to, int hop = 1024) {
  std::vector<size_t> frames;
  for (size_t f = 0; f < count; ++f) {
    const double start = static_cast<double>(f) * hop / 44100.0;
    if (start >= from && start + kFrame / 44100.0 <= to) frames.push_back(f);
  }
  return frames;
}

TEST(PitchTracker, AWeakFundamentalKeepsThePitchOfTheVoiceBeforeIt) {
  // A clear voice at 200 Hz, then the same voice breathy with its fundamental faint: there
  // the deepest dip is the second harmonic's (400 Hz and more, at a confidence too low to be
  // voiced alone), the voice's own period a dip close behind. Frame by frame the tracker
  // keeps the voice's pitch, where a search on its own would give the octave above (and a
  // run of such frames would voice it).
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.15);
  std::vector<double> x;
  for (int part = 0; part < 2; ++part) {
    const double fundamental = part == 0 ? 0.3 : 0.05;
    const double sigma = part == 0 ? 0.0 : 1.0;
    for (int j = 0; j < static_cast<int>(0.5 * 44100.0); ++j) {
      const double t = static_cast<double>(x.size()) / 44100.0;
      x.push_back(fundamental * std::sin(2.0 * M_PI * 200.0 * t) +
                  0.4 * std::sin(2.0 * M_PI * 400.0 * t + 1.0) + sigma * noise(rng));
    }
  }
  const auto frames = TrackSound(x, At(44100.0));
  const auto breathy = FramesWithin(frames.size(), 0.5, 1.0);
  ASSERT_GE(breathy.size(), 15u);
  int lowConfidence = 0;
  for (size_t f : breathy) {
    lowConfidence += frames[f].confidence < 0.85;
    ASSERT_TRUE(frames[f].voiced) << f;
    EXPECT_NEAR(Cents(frames[f].hz, 200.0), 0.0, 50.0) << f;
  }
  EXPECT_GT(lowConfidence, static_cast<int>(breathy.size()) / 2);  // not voiced on their own
}

TEST(PitchTracker, AnEchoFarUnderTheLineIsVoicedOnlyWhenItIsVeryClear) {
  // A loud line, then its pitch 32 dB under it in the room's noise for two seconds: within
  // the level gate, but more than 30 dB under the loudest of the last three seconds, so it
  // is voiced neither by continuing the line (at confidence 0.5-0.85, periodic enough that
  // it would be) nor on its own at 0.85-0.90 (a vowel's clear echo). Each rule switched off
  // in turn shows it is the one that holds.
  struct Case {
    const char* what;
    double noise;        // the room's noise under the echo (standard deviation)
    double low, high;    // the band the echo's confidence lies in
    bool ownConfidence;  // which rule to switch off: false the continuation's level limit
    double inBandShare, voicedWithoutShare;  // of the tail's frames, at least
  };
  const Case cases[] = {
      {"an echo that would continue the line", 0.004, 0.5, 0.85, false, 0.9, 0.5},
      {"a clear echo", 0.0022, 0.85, 0.90, true, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    std::vector<double> x;
    double phase = 0.0;
    AppendTone(x, 180.0, 0.5, 0.0, 0.5, 1, phase);
    AppendTone(x, 180.0, 0.5 * std::pow(10.0, -32.0 / 20.0), c.noise, 2.0, 2, phase);
    const TrackerSettings s = At(44100.0);
    TrackerSettings lenient = s;
    if (c.ownConfidence) {
      lenient.farVoicedConfidence = s.voicedConfidence;
    } else {
      lenient.continuationBelowLoudestDb = 100.0;
    }
    const auto frames = TrackSound(x, s);
    const auto without = TrackSound(x, lenient);
    const auto tail = FramesWithin(frames.size(), 0.6, 2.5);
    ASSERT_GT(tail.size(), 70u);
    size_t inBand = 0, voicedWithout = 0;
    for (size_t f : FramesWithin(frames.size(), 0.0, 0.5))
      EXPECT_TRUE(frames[f].voiced) << c.what << ", " << f;
    for (size_t f : tail) {
      EXPECT_TRUE(frames[f].audible) << c.what << ", " << f;
      EXPECT_GT(frames[f].underVoiceDb, 30.0) << c.what << ", " << f;
      EXPECT_FALSE(frames[f].voiced) << c.what << ", " << f << ": " << frames[f].confidence;
      inBand += frames[f].confidence >= c.low && frames[f].confidence < c.high;
      voicedWithout += without[f].voiced;
    }
    const auto n = static_cast<double>(tail.size());
    EXPECT_GE(static_cast<double>(inBand), c.inBandShare * n) << c.what;
    EXPECT_GE(static_cast<double>(voicedWithout), c.voicedWithoutShare * n) << c.what;
  }
}

TEST(PitchTracker, TheBridgeReachesAcrossWeakLoudFramesAfterAClearOne) {
  // A clear vowel, then the same voice breathy (confidence under the threshold that voices a
  // frame alone, with the continuations switched off so that only the bridge can voice it):
  // its frames are voiced for bridgeSeconds after the clear one, when loud, and not after a
  // pause (even with a bridge long enough to reach past it) or 30 dB down.
  TrackerSettings s = At(44100.0);
  s.continuationSemitones = 0.0;
  s.runSeconds = 100.0;
  struct Case {
    const char* what;
    double pause;      // seconds of silence between the clear and the breathy part
    double breathyDb;  // the breathy part's level against the clear part's
    double bridgeSeconds;
    bool bridged;
  };
  const Case cases[] = {
      {"right after, as loud", 0.0, 0.0, 0.14, true},
      {"right after, 10 dB down", 0.0, -10.0, 0.14, true},
      {"right after, 30 dB down", 0.0, -30.0, 0.14, false},
      {"after a pause of 100 ms", 0.1, 0.0, 1.0, false},
  };
  for (const Case& c : cases) {
    s.bridgeSeconds = c.bridgeSeconds;
    std::vector<double> x;
    double phase = 0.0;
    AppendTone(x, 200.0, 0.5, 0.0, 0.4, 3, phase);
    x.resize(x.size() + static_cast<size_t>(c.pause * 44100.0), 0.0);
    const double gain = std::pow(10.0, c.breathyDb / 20.0);
    const double breathyFrom = static_cast<double>(x.size()) / 44100.0;
    AppendTone(x, 200.0, 0.5 * gain, 0.12 * gain, 0.6, 4, phase);
    const auto frames = TrackSound(x, s);
    size_t weak = 0, voiced = 0;
    const auto breathy = FramesWithin(frames.size(), breathyFrom, breathyFrom + 0.6);
    for (size_t f : breathy) {
      weak += frames[f].confidence >= s.continuedConfidence &&
              frames[f].confidence < s.voicedConfidence;
      voiced += frames[f].voiced;
      if (!frames[f].voiced) continue;
      EXPECT_NEAR(Cents(frames[f].hz, 200.0), 0.0, 100.0) << c.what << " frame " << f;
      // Only within the bridge's reach of the clear part (its last frame ends at
      // breathyFrom + the pause at the earliest).
      EXPECT_LE(static_cast<double>(f) * 1024 / 44100.0, breathyFrom + s.bridgeSeconds)
          << c.what << " frame " << f;
    }
    EXPECT_EQ(weak, breathy.size()) << c.what;
    if (c.bridged) {
      EXPECT_GE(voiced, 3u) << c.what;
    } else {
      EXPECT_EQ(voiced, 0u) << c.what;
    }
  }
}

TEST(PitchTracker, AFricativeAfterAVowelIsNotBridged) {
  // A vowel, then noise as loud as it (white, and dark like a voiceless fricative's
  // low-passed hiss): the noise follows a clear frame within the bridge's reach and its level,
  // but its candidates are neither confident nor near the vowel's pitch.
  for (const double pole : {1.0, 0.2}) {
    std::vector<double> x;
    double phase = 0.0;
    AppendTone(x, 150.0, 0.3, 0.0, 0.4, 5, phase);
    const double vowelEnd = static_cast<double>(x.size()) / 44100.0;
    std::mt19937 rng(6);
    std::normal_distribution<double> g(0.0, 0.15 / std::sqrt(pole));
    double low = 0.0;
    for (int j = 0; j < 20000; ++j) x.push_back(low += pole * (g(rng) - low));
    for (const int hop : {1024, 256}) {
      const auto frames = TrackSound(x, At(44100.0), hop);
      const auto noise = FramesWithin(frames.size(), vowelEnd, 1e9, hop);
      ASSERT_GT(noise.size(), 5u);
      for (size_t f : noise)
        EXPECT_FALSE(frames[f].voiced) << "pole " << pole << " hop " << hop << " frame " << f
                                       << " at " << frames[f].candidateHz;
    }
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
  TrackerSettings s;  // continued 0.5, silence -70 dB
  s.continuationSemitones = 1.0;
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

TEST(ExtendVoicingBackward, AFrameLeadsInByItsLevelItsPeriodsAndTheRange) {
  // The frame before a voiced one at 440 Hz (default settings: a continuation of 1.5
  // semitones within 30 dB of the recent loudest, the bridge a fifth within 25 dB), by its
  // level under that loudest, its own candidate and its other periods: when one of them
  // leads in, the frame is voiced at that period's pitch and confidence.
  const TrackerSettings s;
  using Alternatives = std::array<PitchCandidate, kAlternatives>;
  struct Case {
    const char* what;
    double underVoiceDb, hz;
    Alternatives alternatives;
    bool voiced;
    double voicedHz, confidence;  // the frame's pitch (0: unvoiced) and confidence afterwards
  };
  const Case cases[] = {
      {"continues", 0.0, 440.0, {}, true, 440.0, 0.6},
      {"a fourth away, loud: bridged", 0.0, 330.0, {}, true, 330.0, 0.6},
      {"a fourth above, still within 25 dB", 24.0, 587.0, {}, true, 587.0, 0.6},
      {"more than a fifth away", 0.0, 290.0, {}, false, 0.0, 0.6},
      {"a fourth away but too quiet to bridge", 26.0, 330.0, {}, false, 0.0, 0.6},
      {"continues, 21 dB down", 21.0, 445.0, {}, true, 445.0, 0.6},
      {"continues, 29 dB down", 29.0, 445.0, {}, true, 445.0, 0.6},
      {"more than 30 dB down: only on its own confidence", 31.0, 440.0, {}, false, 0.0, 0.6},
      {"an octave above, an alternative near", 0.0, 880.0, {{{445.0, 0.7}}}, true, 445.0, 0.7},
      {"an octave above, the alternative too weak", 0.0, 880.0, {{{445.0, 0.45}}}, false, 0.0, 0.6},
      {"an octave above, the alternative a fourth away", 0.0, 880.0, {{{330.0, 0.6}}}, true, 330.0,
       0.6},
      {"an octave above, the alternative too far", 0.0, 880.0, {{{290.0, 0.9}}}, false, 0.0, 0.6},
      {"the first alternative that leads in", 0.0, 880.0,
       {{{290.0, 0.9}, {450.0, 0.55}, {440.0, 0.8}}}, true, 450.0, 0.55},
      {"an alternative 31 dB down", 31.0, 880.0, {{{440.0, 0.8}}}, false, 0.0, 0.6},
  };
  for (const Case& c : cases) {
    std::vector<PitchEstimate> frames = {Frame(false, c.hz, 0.6), Frame(true, 440.0, 0.95)};
    frames[0].underVoiceDb = c.underVoiceDb;
    frames[0].alternatives = c.alternatives;
    ExtendVoicingBackward(frames, s);
    EXPECT_EQ(frames[0].voiced, c.voiced) << c.what;
    EXPECT_DOUBLE_EQ(frames[0].hz, c.voicedHz) << c.what;
    EXPECT_DOUBLE_EQ(frames[0].confidence, c.confidence) << c.what;
  }
  // A candidate outside the range is never voiced, however lenient the rule.
  std::vector<PitchEstimate> frames = {Frame(false, 4300.0, 0.49), Frame(true, 4186.0, 0.95)};
  frames[0].inRange = false;
  TrackerSettings lenient = s;
  lenient.continuedConfidence = 0.3;
  ExtendVoicingBackward(frames, lenient);
  EXPECT_FALSE(frames[0].voiced);
}

TEST(ExtendVoicingBackward, NothingToDoOnEmptyOrSingleSequences) {
  std::vector<PitchEstimate> none;
  ExtendVoicingBackward(none, TrackerSettings{});
  std::vector<PitchEstimate> one = {Frame(false, 440.0, 0.9)};
  ExtendVoicingBackward(one, TrackerSettings{});
  EXPECT_FALSE(one[0].voiced);
}

}  // namespace
}  // namespace tonamira

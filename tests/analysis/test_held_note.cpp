// A held note and its vibrato: the vibrato estimate on pitch curves of known rate and
// extent, the held-note rule on tables of sung shapes, and both on synthesised singing run
// through the live tracker.
#include "analysis/held_note.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/live_pitch.h"
#include "analysis/vibrato.h"

namespace tonamira {
namespace {

constexpr double kRate = 44100.0;
constexpr double kStep = 256.0 / kRate;  // the live hop at 44100 Hz

enum class Shape { kSine, kTriangle };

// A pitch curve in cents every kStep for `seconds`: centre + drift x t + a vibrato + noise.
std::vector<double> Curve(double seconds, double rateHz, double extentCents,
                          Shape shape = Shape::kSine, double driftPerSecond = 0.0,
                          double noiseCents = 0.0, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, noiseCents > 0.0 ? noiseCents : 1.0);
  std::vector<double> c;
  for (double t = 0.0; t < seconds; t += kStep) {
    const double phase = rateHz * t - std::floor(rateHz * t);  // 0 .. 1
    const double wave = shape == Shape::kSine ? std::sin(2.0 * M_PI * phase)
                                              : 1.0 - 4.0 * std::abs(phase - 0.5);
    c.push_back(6900.0 + driftPerSecond * t + extentCents * wave +
                (noiseCents > 0.0 ? noise(rng) : 0.0));
  }
  return c;
}

TEST(EstimateVibrato, RateAndExtentOfKnownVibratos) {
  const struct {
    double rate, extent, drift, noise;
  } cases[] = {
      {3.0, 25.0, 0.0, 0.0},  {4.5, 40.0, 10.0, 1.5}, {5.5, 30.0, 0.0, 1.5},
      {5.5, 30.0, -30.0, 3.0}, {6.5, 70.0, 5.0, 2.0}, {8.0, 20.0, 0.0, 1.0},
      {9.0, 15.0, 0.0, 1.0},  {5.0, 100.0, 20.0, 2.0}, {7.0, 12.0, 0.0, 1.0},
  };
  for (const auto& c : cases) {
    const auto curve = Curve(1.5, c.rate, c.extent, Shape::kSine, c.drift, c.noise);
    const Vibrato v = EstimateVibrato(curve, kStep);
    const std::string what = std::to_string(c.rate) + " Hz +-" + std::to_string(c.extent);
    ASSERT_TRUE(v.present) << what << ": periodicity " << v.periodicity << ", rate " << v.rateHz;
    EXPECT_NEAR(v.rateHz, c.rate, 0.04 * c.rate) << what;
    EXPECT_NEAR(v.extentCents, c.extent, 0.06 * c.extent + 0.5) << what;
  }
  // A triangular vibrato reads RMS x sqrt(2): sqrt(2/3) of its half peak-to-peak.
  const Vibrato triangle = EstimateVibrato(Curve(1.5, 5.5, 40.0, Shape::kTriangle), kStep);
  ASSERT_TRUE(triangle.present);
  EXPECT_NEAR(triangle.rateHz, 5.5, 0.2);
  EXPECT_NEAR(triangle.extentCents, 40.0 * std::sqrt(2.0 / 3.0), 1.5);
}

TEST(EstimateVibrato, NoVibratoInStraightToneSlowWavesTrillsOrShortCurves) {
  const struct {
    const char* what;
    std::vector<double> curve;
  } cases[] = {
      {"a straight tone", Curve(1.5, 5.5, 0.0, Shape::kSine, 0.0, 2.0)},
      {"a straight tone drifting flat", Curve(1.5, 5.5, 0.0, Shape::kSine, -40.0, 2.0)},
      {"a wobble of +-6 cents", Curve(1.5, 5.5, 6.0, Shape::kSine, 0.0, 0.5)},
      {"a slow wave of 2 Hz", Curve(1.5, 2.0, 40.0)},
      {"a slow wave of 1.2 Hz", Curve(1.5, 1.2, 40.0)},
      {"a trill of 12 Hz", Curve(1.5, 12.0, 50.0)},
      {"a trill of 15 Hz", Curve(1.5, 15.0, 50.0)},
      {"too short for the slowest period", Curve(0.7, 5.5, 30.0)},
      {"nothing", {}},
  };
  for (const auto& c : cases) {
    const Vibrato v = EstimateVibrato(c.curve, kStep);
    EXPECT_FALSE(v.present) << c.what << ": rate " << v.rateHz << ", extent " << v.extentCents;
  }
  EXPECT_FALSE(EstimateVibrato(Curve(1.5, 5.5, 30.0), 0.0).present);
}

// --- FindHeldNote --------------------------------------------------------------------------

struct Piece {
  double seconds;
  double midi;  // centre; NaN: unvoiced
  double vibratoHz = 0.0;
  double vibratoCents = 0.0;
};

// Points every kStep through the pieces one after another, on a scale whose A4 is a4.
std::vector<LivePoint> Sung(const std::vector<Piece>& pieces, double a4 = 440.0) {
  std::vector<LivePoint> points;
  double start = 0.0;
  int64_t frame = 0;
  for (const Piece& piece : pieces) {
    for (; static_cast<double>(frame) * kStep < start + piece.seconds; ++frame) {
      const double t = static_cast<double>(frame) * kStep;
      LivePoint p;
      p.frame = frame;
      p.timeSeconds = t;
      p.isFinal = true;
      p.voiced = !std::isnan(piece.midi);
      const double m = piece.midi + piece.vibratoCents / 100.0 * std::sin(2.0 * M_PI * piece.vibratoHz * t);
      p.hz = p.voiced ? a4 * std::exp2((m - 69.0) / 12.0) : 0.0;
      points.push_back(p);
    }
    start += piece.seconds;
  }
  return points;
}

TEST(FindHeldNote, HeldNotesOfSungShapes) {
  const double gap = std::nan("");
  const struct {
    const char* what;
    std::vector<Piece> pieces;
    bool held;
    int32_t midi;
    double meanCents, seconds;
    bool vibrato;
  } cases[] = {
      {"A4 12 cents sharp for 1.5 s", {{1.5, 69.12}}, true, 69, 12.0, 1.5, false},
      {"A4 for 0.8 s", {{0.8, 69.0}}, false, 0, 0.0, 0.8, false},
      {"C4, then D4 for 1.2 s", {{0.6, 60.0}, {1.2, 62.0}}, true, 62, 0.0, 1.2, false},
      {"C4 for 1.5 s, then D4 for 0.5 s", {{1.5, 60.0}, {0.5, 62.0}}, false, 0, 0.0, 0.5, false},
      {"a breath of 50 ms at the end", {{1.5, 69.0}, {0.05, gap}}, true, 69, 0.0, 1.5, false},
      {"a breath of 150 ms at the end", {{1.5, 69.0}, {0.15, gap}}, false, 0, 0.0, 0.0, false},
      {"a catch of 60 ms", {{0.7, 67.0}, {0.06, gap}, {0.7, 67.0}}, true, 67, 0.0, 1.46, false},
      {"a breath of 150 ms", {{0.7, 67.0}, {0.15, gap}, {0.7, 67.0}}, false, 0, 0.0, 0.7, false},
      {"a vibrato 20 cents flat", {{2.0, 68.8, 5.5, 30.0}}, true, 69, -20.0, 2.0, true},
      {"an operatic vibrato of +-70 cents", {{2.5, 67.0, 5.0, 70.0}}, true, 67, 0.0, 2.5, true},
      // 45 cents sharp with a vibrato crossing into A#4: the note is the mean's, A4.
      {"45 cents sharp, +-30 vibrato", {{2.0, 69.45, 6.0, 30.0}}, true, 69, 45.0, 2.0, true},
      {"a semitone step 0.5 s ago", {{2.0, 69.0}, {0.5, 70.0}}, false, 0, 0.0, 0.5, false},
  };
  for (const auto& c : cases) {
    const HeldNote note = FindHeldNote(Sung(c.pieces), 440.0);
    EXPECT_EQ(note.held, c.held) << c.what << ": " << note.seconds << " s";
    if (!c.held) continue;
    EXPECT_EQ(note.midi, c.midi) << c.what;
    // A vibrato's mean over a part of a cycle is off by a few cents.
    EXPECT_NEAR(note.meanCents, c.meanCents, c.vibrato ? 4.0 : 0.01) << c.what;
    EXPECT_NEAR(note.seconds, c.seconds, 2.0 * kStep) << c.what;
    EXPECT_EQ(note.vibrato.present, c.vibrato) << c.what;
  }
}

TEST(FindHeldNote, TheNoteIsOnTheReadOutsReference) {
  // 415 Hz is A4 on a 415 Hz reference, and a reference below 415 is held there.
  for (double a4 : {415.0, 400.0}) {
    const HeldNote note = FindHeldNote(Sung({{1.5, 69.0}}, 415.0), a4);
    ASSERT_TRUE(note.held) << a4;
    EXPECT_EQ(note.midi, 69) << a4;
    EXPECT_NEAR(note.meanCents, 0.0, 1e-6) << a4;
  }
  const HeldNote on440 = FindHeldNote(Sung({{1.5, 69.0}}, 415.0), 440.0);
  EXPECT_EQ(on440.midi, 68);  // 415 Hz is G#4 on 440, 1.3 cents flat of it
  EXPECT_NEAR(on440.meanCents, 1200.0 * std::log2(415.0 / 440.0) + 100.0, 1e-6);
  EXPECT_FALSE(FindHeldNote({}, 440.0).held);
  EXPECT_FALSE(FindHeldNote(Sung({{2.0, std::nan("")}}), 440.0).held);
}

// A sung tone with a sinusoidal vibrato, through the live tracker: the final point of every
// frame.
std::vector<LivePoint> TrackedSinging(double hz, double vibratoHz, double vibratoCents,
                                      double seconds) {
  std::vector<int16_t> x(static_cast<size_t>(seconds * kRate));
  double phase = 0.0;
  for (size_t j = 0; j < x.size(); ++j) {
    const double t = static_cast<double>(j) / kRate;
    const double f = hz * std::exp2(vibratoCents / 1200.0 * std::sin(2.0 * M_PI * vibratoHz * t));
    phase += 2.0 * M_PI * f / kRate;
    double v = 0.0;
    for (int h = 1; h <= 5; ++h) v += 0.3 / h * std::sin(h * phase);
    x[j] = static_cast<int16_t>(std::lround(v * 32767.0));
  }
  LiveTrackerSettings settings;
  settings.tracker.sampleRate = kRate;
  LivePitchTracker tracker(settings);
  std::vector<LivePoint> points, byFrame;
  for (size_t at = 0; at < x.size(); at += 882)
    tracker.Push(std::span<const int16_t>(x.data() + at, std::min<size_t>(882, x.size() - at)), points);
  tracker.Finish(points);
  for (const LivePoint& p : points) {
    if (!p.isFinal) continue;
    if (byFrame.size() <= static_cast<size_t>(p.frame)) byFrame.resize(static_cast<size_t>(p.frame) + 1);
    byFrame[static_cast<size_t>(p.frame)] = p;
  }
  return byFrame;
}

// The extent the tracked curve shows: each frame's pitch is close to the mean over its
// integration window (the frame less its longest lag, 1313 samples, 30 ms at 44100 Hz), which
// narrows a vibrato of f Hz by sinc(pi f T): 4 % at 5.5 Hz, 7 % at 7 Hz.
double TrackedExtent(double extent, double rateHz) {
  const double x = M_PI * rateHz * (2048.0 - 735.0) / kRate;
  return extent * std::sin(x) / x;
}

TEST(FindHeldNote, VibratoOfSynthesisedSingingThroughTheLiveTracker) {
  const struct {
    double hz, rate, extent;
    int32_t midi;
    double cents;
  } cases[] = {
      {220.0 * std::exp2(5.0 / 1200.0), 5.5, 35.0, 57, 5.0},  // A3 5 cents sharp
      {440.0, 7.0, 20.0, 69, 0.0},
      {196.0, 4.5, 50.0, 55, 1200.0 * std::log2(196.0 / 195.998)},  // G3
  };
  for (const auto& c : cases) {
    const auto points = TrackedSinging(c.hz, c.rate, c.extent, 2.5);
    const HeldNote note = FindHeldNote(points, 440.0);
    ASSERT_TRUE(note.held) << c.hz;
    EXPECT_EQ(note.midi, c.midi) << c.hz;
    EXPECT_NEAR(note.meanCents, c.cents, 4.0) << c.hz;
    ASSERT_TRUE(note.vibrato.present) << c.hz;
    EXPECT_NEAR(note.vibrato.rateHz, c.rate, 0.05 * c.rate) << c.hz;
    EXPECT_NEAR(note.vibrato.extentCents, TrackedExtent(c.extent, c.rate), 0.03 * c.extent)
        << c.hz;
  }
}

}  // namespace
}  // namespace tonamira

// Cost of the precise pitch tracker per frame (2048 samples at 44100 Hz, the command-line
// tool's default frame), of its real transform, and of the window's method on the same
// frame for comparison. The tracker must stay well below the time a peer tracker takes per
// frame; scripts/corpus/speed.sh measures both tools end to end.
//
// The live tracker runs on every sample of the input while recording: BM_LiveTrace streams
// ten seconds of a sung phrase in fragments of 20 ms and reports cpu_share, the processor
// time per second of sound (the target is at most 0.05 of one core at 44100 Hz, mono),
// printed as a time: "2ms" is 2 ms a second, 0.2 %.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "analysis/live_pitch.h"
#include "analysis/pitch_tracker.h"
#include "analysis/real_fft.h"

namespace tonamira {
namespace {

constexpr int kFrame = 2048;
constexpr double kRate = 44100.0;
constexpr double kTwoPiHere = 6.283185307179586;

// A 220 Hz tone with falling overtones, or noise, on a full scale of 1.0.
std::vector<double> Tone(double hz) {
  std::vector<double> x(kFrame);
  for (int j = 0; j < kFrame; ++j)
    for (int h = 1; h <= 5; ++h) x[j] += 0.3 / h * std::sin(kTwoPiHere * hz * h * j / kRate);
  return x;
}

std::vector<double> Noise() {
  std::mt19937 rng(7);
  std::normal_distribution<double> g(0.0, 0.2);
  std::vector<double> x(kFrame);
  for (double& v : x) v = g(rng);
  return x;
}

void BM_TrackerTone(benchmark::State& state) {
  TrackerSettings settings;
  settings.sampleRate = kRate;
  PitchTracker tracker(kFrame, settings);
  const auto x = Tone(static_cast<double>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(tracker.Analyze(x.data()));
}
BENCHMARK(BM_TrackerTone)->Arg(82)->Arg(220)->Arg(1046);

// The lowest notes: the frame with the 2048 samples before it, which the tracker searches
// on a 4096-sample frame when the frame's own answer is doubtful (Arg: the pitch in Hz).
void BM_TrackerLowNote(benchmark::State& state) {
  TrackerSettings settings;
  settings.sampleRate = kRate;
  PitchTracker tracker(kFrame, settings);
  const double hz = static_cast<double>(state.range(0));
  std::vector<double> x(static_cast<size_t>(kFrame + tracker.historyLength()));
  for (size_t j = 0; j < x.size(); ++j)
    for (int h = 1; h <= 8; ++h)
      x[j] += 0.3 / h * std::sin(kTwoPiHere * hz * h * static_cast<double>(j) / kRate);
  for (auto _ : state) benchmark::DoNotOptimize(tracker.Analyze(std::span<const double>(x)));
}
BENCHMARK(BM_TrackerLowNote)->Arg(28)->Arg(41)->Arg(100);

void BM_TrackerNoise(benchmark::State& state) {
  TrackerSettings settings;
  settings.sampleRate = kRate;
  PitchTracker tracker(kFrame, settings);
  const auto x = Noise();
  for (auto _ : state) benchmark::DoNotOptimize(tracker.Analyze(x.data()));
}
BENCHMARK(BM_TrackerNoise);

// Ten seconds of 16-bit sound as a singer makes it: notes of a second with a 5.5 Hz vibrato
// of +-30 cents and a few partials, a breath of quiet noise between them.
std::vector<int16_t> SungPhrase(double seconds) {
  const double notes[] = {196.0, 220.0, 246.94, 261.63, 293.66, 261.63, 220.0, 196.0};
  std::mt19937 rng(3);
  std::normal_distribution<double> breath(0.0, 0.003);
  std::vector<int16_t> x(static_cast<size_t>(seconds * kRate));
  double phase = 0.0;
  for (size_t j = 0; j < x.size(); ++j) {
    const double t = static_cast<double>(j) / kRate;
    const auto note = static_cast<size_t>(t);
    const double within = t - static_cast<double>(note);
    double v = breath(rng);
    if (within < 0.85) {
      const double hz = notes[note % 8] * std::pow(2.0, 0.30 / 12.0 * std::sin(kTwoPiHere * 5.5 * t));
      phase += kTwoPiHere * hz / kRate;
      for (int h = 1; h <= 4; ++h) v += 0.25 / h * std::sin(h * phase);
    }
    x[j] = static_cast<int16_t>(std::lround(v * 32767.0));
  }
  return x;
}

void BM_LiveTrace(benchmark::State& state) {
  constexpr double kSeconds = 10.0;
  const auto fragment = static_cast<size_t>(state.range(0));
  const auto x = SungPhrase(kSeconds);
  LiveTrackerSettings settings;
  settings.tracker.sampleRate = kRate;
  LivePitchTracker tracker(settings);
  std::vector<LivePoint> points;
  points.reserve(4096);
  for (auto _ : state) {
    points.clear();
    for (size_t at = 0; at < x.size(); at += fragment)
      tracker.Push(std::span<const int16_t>(x.data() + at, std::min(fragment, x.size() - at)),
                   points);
    tracker.Finish(points);
    benchmark::DoNotOptimize(points.data());
  }
  // Seconds of processor time per second of sound.
  state.counters["cpu_share"] = benchmark::Counter(
      kSeconds * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["points"] = static_cast<double>(points.size());
}
// 20 ms fragments at 44100 Hz (882 sample frames), and a sound server's small ones.
BENCHMARK(BM_LiveTrace)->Arg(882)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_RealFftForward(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  RealFft fft(n);
  std::vector<float> x(static_cast<size_t>(n), 0.25f), re(static_cast<size_t>(n / 2 + 1)),
      im(static_cast<size_t>(n / 2 + 1));
  for (auto _ : state) {
    fft.Forward(x.data(), re.data(), im.data());
    benchmark::DoNotOptimize(re.data());
  }
}
BENCHMARK(BM_RealFftForward)->Arg(2048)->Arg(4096);

}  // namespace
}  // namespace tonamira

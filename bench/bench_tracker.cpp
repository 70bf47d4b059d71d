// Cost of the precise pitch tracker per frame (2048 samples at 44100 Hz, the command-line
// tool's default frame), of its real transform, and of the window's method on the same
// frame for comparison. The tracker must stay well below the time a peer tracker takes per
// frame; scripts/corpus/speed.sh measures both tools end to end.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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

void BM_TrackerNoise(benchmark::State& state) {
  TrackerSettings settings;
  settings.sampleRate = kRate;
  PitchTracker tracker(kFrame, settings);
  const auto x = Noise();
  for (auto _ : state) benchmark::DoNotOptimize(tracker.Analyze(x.data()));
}
BENCHMARK(BM_TrackerNoise);

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

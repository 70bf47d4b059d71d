// Cost of analysing one frame: window, transform and pitch detection of a 2048-sample 16-bit
// mono frame of a harmonic tone, once the way the program does it (window table and planned
// transform) and once through the literal definition (window cosine and twiddles evaluated
// afresh for every sample).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/detection.h"
#include "analysis/fft.h"
#include "analysis/frame_analysis.h"
#include "analysis/spectrum.h"

namespace tonamira {
namespace {

constexpr int kFrame = 2048;
constexpr double kRate = 44100.0;

// 220 Hz with four overtones of falling strength, as 16-bit little-endian mono bytes.
std::vector<uint8_t> HarmonicTone() {
  const double levels[] = {9000.0, 6000.0, 3500.0, 2000.0, 1000.0};
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * kFrame);
  for (int j = 0; j < kFrame; ++j) {
    double x = 0.0;
    for (int h = 0; h < 5; ++h) x += levels[h] * std::sin(kTwoPi * 220.0 * (h + 1) * j / kRate);
    const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(x)));
    bytes.push_back(static_cast<uint8_t>(s & 0xff));
    bytes.push_back(static_cast<uint8_t>(s >> 8));
  }
  return bytes;
}

struct Fixture {
  std::vector<uint8_t> frame = HarmonicTone();
  FftArrays arrays;
  DetectionSettings settings;
  DetectionState state;

  Fixture() { AllocFftArrays(arrays, kFrame); }
};

void CheckDetected(benchmark::State& st, bool found, const DetectionState& state) {
  if (!found || state.detectedFreq < 215 || state.detectedFreq > 225)
    st.SkipWithError("the tone's pitch was not detected");
}

void BM_AnalyzeFrame(benchmark::State& st) {
  Fixture fx;
  const FftPlan plan(kFrame);
  bool found = false;
  const PcmFrame frame{fx.frame, 0, kFrame, 1, 16, 2};
  for (auto _ : st) {
    found = AnalyzePcmFrame(frame, plan, fx.arrays, fx.settings, fx.state);
    benchmark::DoNotOptimize(found);
    benchmark::ClobberMemory();
  }
  CheckDetected(st, found, fx.state);
}
BENCHMARK(BM_AnalyzeFrame)->Unit(benchmark::kMicrosecond);

void BM_AnalyzeFrameLiteral(benchmark::State& st) {
  Fixture fx;
  std::vector<double> window(kFrame);
  bool found = false;
  for (auto _ : st) {
    for (int j = 0; j < kFrame; ++j) window[j] = HammingWeight(j, kFrame);
    LoadWindowedChannel(fx.frame.data(), kFrame, 16, 1, 0, window.data(), fx.arrays.input.get());
    FftLiteral(kFrame, fx.arrays.input.get(), fx.arrays.out.get(), fx.arrays.work.get(),
               fx.arrays.mag.get());
    found = DetectPitch(fx.arrays.mag.get(), fx.arrays.noise.get(), fx.arrays.out.get(),
                        fx.settings, fx.state);
    benchmark::DoNotOptimize(found);
    benchmark::ClobberMemory();
  }
  CheckDetected(st, found, fx.state);
}
BENCHMARK(BM_AnalyzeFrameLiteral)->Unit(benchmark::kMicrosecond);

// The transform alone, for each frame length the program uses.
void BM_FftPlanRun(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  const FftPlan plan(n);
  std::vector<double> input(n), mag(n / 2);
  std::vector<Complex> out(n), work(n);
  for (int j = 0; j < n; ++j) input[j] = plan.window()[j] * std::sin(0.3 * j);
  for (auto _ : st) {
    plan.Run(input.data(), out.data(), work.data(), mag.data());
    benchmark::DoNotOptimize(mag.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FftPlanRun)->RangeMultiplier(2)->Range(256, 4096)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tonamira

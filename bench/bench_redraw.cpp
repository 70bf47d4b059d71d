// A full redraw of one frame in the window: the waveform, the spectrum with its peaks, the
// detection, the voiceprint column and the key marks.

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "main/form_main.h"
#include "main/services.h"
#include "qt_bench_main.h"
#include "silent_services.h"

namespace tonamira {
namespace {

void BM_RedrawAll(benchmark::State& state) {
  SilentServices services;
  FormMain form(services);
  // A 220 Hz tone with four harmonics in the first 2048 samples of the 16-bit mono sound.
  auto* samples = reinterpret_cast<int16_t*>(form.Sound.WaveData);
  for (int n = 0; n < 2048; ++n) {
    double v = 0.0;
    for (int h = 1; h <= 4; ++h) v += 6000.0 / h * std::sin(kTwoPi * 220.0 * h * n / 44100.0);
    samples[n] = static_cast<int16_t>(std::lround(v));
  }
  form.RedrawAll();
  if (form.LbfftValue->Caption().isEmpty()) state.SkipWithError("no pitch detected");
  for (auto _ : state) {
    form.RedrawAll();
    benchmark::DoNotOptimize(form.Analysis.Detection.detectedFreq);
  }
  state.counters["pitch_hz"] = form.Analysis.Detection.detectedFreq;
}
BENCHMARK(BM_RedrawAll)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) { return tonamira::RunWindowBenchmarks(argc, argv); }

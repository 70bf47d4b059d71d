// Live latency of the window over the real sound server: from the first sample of a tone
// entering the input to the pitch read-out showing it. The window records as a user's "録音"
// does (16-bit mono, chunks of 0.1 s, every second chunk analysed and shown); the tone is
// played by a device of the benchmark's own into the private server's null sink, whose
// monitor is the default input (scripts/pulse-private.sh). The tone enters the input when
// the sink plays its first sample, which the output's position tells within a few ms.
//
//   eval "$(scripts/pulse-private.sh start)"; build/bench/tonamira-bench-window-latency
//
// Reported time: each iteration's latency (manual time); counters give the worst and best.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/rounding.h"
#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "main/form_main.h"
#include "latency_support.h"
#include "qt_bench_main.h"
#include "tone_latency.h"
#include "main/services.h"
#include "silent_services.h"

namespace tonamira {
namespace {

using latency::RunUntil;

void BM_WindowLiveLatency(benchmark::State& state) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("PULSE_SERVER is not set: start scripts/pulse-private.sh first");
    return;
  }
  SilentServices services;
  PulseAudioDevices audio;
  FormMain form(services, audio);
  form.RecButtonClick();
  if (!form.Devices.Recording || !RunUntil([&] { return form.Sound.RecPos > 0; }, 5000)) {
    state.SkipWithError("the window did not record");
    return;
  }
  // The read-out shows the tone's pitch (whole hertz, within 2 Hz of 440).
  latency::MeasureToneLatencies(state, [&] {
    bool ok = false;
    const int hz = form.LbfftValue->Caption().toInt(&ok);
    return ok && std::abs(hz - 440) <= 2;
  }, "the window's read-out");
  form.RecButtonClick();
  RunUntil([&] { return !form.Devices.RecStopRequested; }, 2000);
  form.close();
}
BENCHMARK(BM_WindowLiveLatency)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) { return tonamira::RunWindowBenchmarks(argc, argv); }

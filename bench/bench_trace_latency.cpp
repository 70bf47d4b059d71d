// Live latency of the pitch trace over the real sound server: from the first sample of a tone
// entering the input to the trace holding its first point of the tone's pitch. The program's
// frame records as a user's "録音" does; the trace takes every fragment of the input through
// its tap; the tone is played by a device of the benchmark's own into the private server's
// null sink, whose monitor is the default input (scripts/pulse-private.sh). The tone enters
// the input when the sink plays its first sample, which the output's position tells within a
// few ms. Twenty tones start at different points of the tracker's hop and of the fragments.
//
//   eval "$(scripts/pulse-private.sh start)"; build/bench/tonamira-bench-trace-latency
//
// Reported time: each iteration's latency (manual time); counters give the mean, median and
// worst, printed again at the end beside the window read-out's (tonamira-bench-window-latency).

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "latency_support.h"
#include "qt_bench_main.h"
#include "tone_latency.h"
#include "main/form_main.h"
#include "main/main_frame.h"
#include "main/trace_window.h"
#include "silent_services.h"

namespace tonamira {
namespace {

using latency::RunUntil;

// Whether the trace's newest points (the last 30 ms of the stream) hold the tone's pitch.
bool TraceShowsTone(const TraceContour& contour) {
  const auto& points = contour.Points();
  const int64_t last = static_cast<int64_t>(points.size()) - 1;
  if (last < 0) return false;
  const int64_t from = contour.FrameAt(contour.TimeOf(last) - 0.03);
  for (int64_t f = last; f >= from && f >= 0; --f) {
    const TraceContour::Point& p = points[static_cast<size_t>(f)];
    if (p.voiced() && std::abs(12.0 * std::log2(p.hz / latency::kToneHz)) < 0.5) return true;
  }
  return false;
}

void BM_TraceLiveLatency(benchmark::State& state) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("PULSE_SERVER is not set: start scripts/pulse-private.sh first");
    return;
  }
  QTemporaryDir dir;
  QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
  SilentServices services;
  PulseAudioDevices audio;
  MainFrame frame(services, audio, settings);
  FormMain& form = frame.Form();
  frame.Trace().show();
  form.RecButtonClick();
  if (!form.Devices.Recording || !RunUntil([&] { return form.Sound.RecPos > 0; }, 5000)) {
    state.SkipWithError("the window did not record");
    return;
  }
  const TraceContour& contour = frame.Trace().Feed().Contour();
  latency::MeasureToneLatencies(state, [&] { return TraceShowsTone(contour); }, "the pitch trace");
  form.RecButtonClick();
  RunUntil([&] { return !form.Devices.RecStopRequested; }, 2000);
  frame.close();
}
BENCHMARK(BM_TraceLiveLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) { return tonamira::RunWindowBenchmarks(argc, argv); }

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
#include "main/form_main.h"
#include "main/main_frame.h"
#include "main/trace_window.h"
#include "silent_services.h"

namespace tonamira {
namespace {

using latency::RunUntil;

class Player final : public DeviceEventHandler {
 public:
  void OnWimData(const DeviceNotification&) override {}
  void OnWomDone(const DeviceNotification&) override { ++dones; }
  void OnDeviceLost(const DeviceNotification&) override { lost = true; }
  int dones = 0;
  bool lost = false;
};

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
  QObject context;
  Player player;
  QtQueuedPoster poster(&context, player);
  PulseAudioDevices devices;
  auto output = devices.CreateOutput();
  if (output->Open(FillWaveFormat({16, 44100, 1}), poster) != AudioResult::Ok) {
    state.SkipWithError("the output did not open");
    return;
  }
  const TraceContour& contour = frame.Trace().Feed().Contour();

  std::vector<double> latenciesMs;
  int iteration = 0;
  for (auto _ : state) {
    const int preMs = 100 + (iteration++ * 37) % 200;
    std::vector<uint8_t> sound = latency::SilenceThenTone(preMs, 9000.0, 3000.0);
    const uint32_t toneStart = latency::ToneStart(preMs);
    WaveHeader h{sound.data(), static_cast<uint32_t>(sound.size()), 0, 3, 0};
    RunUntil([&] { return !TraceShowsTone(contour); }, 2000);   // from silence
    const int donesBefore = player.dones;
    output->Prepare(h);
    output->Write(h);
    int64_t enteredMs = -1;
    int64_t seenMs = -1;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (enteredMs < 0) enteredMs = latency::ToneEnteredMs(*output, toneStart);
      if (seenMs < 0 && TraceShowsTone(contour)) seenMs = MonotonicMs();
    });
    poll.start(1);
    const bool seen = RunUntil([&] { return seenMs >= 0 && enteredMs >= 0; }, 3000);
    poll.stop();
    RunUntil([&] { return player.dones > donesBefore || player.lost; }, 3000);
    output->Reset();
    output->Unprepare(h);
    if (!seen || player.lost) {
      state.SkipWithError("the trace did not show the tone's pitch");
      break;
    }
    const double latencyMs = static_cast<double>(seenMs - enteredMs);
    latenciesMs.push_back(latencyMs);
    state.SetIterationTime(latencyMs / 1000.0);
  }
  output->Close();
  form.RecButtonClick();
  RunUntil([&] { return !form.Devices.RecStopRequested; }, 2000);
  frame.close();
  if (latenciesMs.empty()) return;
  std::vector<double> sorted = latenciesMs;
  std::sort(sorted.begin(), sorted.end());
  const double mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
  const double median = sorted.size() % 2 == 1 ? sorted[sorted.size() / 2]
                                               : 0.5 * (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]);
  state.counters["mean_ms"] = mean;
  state.counters["median_ms"] = median;
  state.counters["worst_ms"] = sorted.back();
  state.counters["best_ms"] = sorted.front();
  std::printf("trace latency over %zu tones: mean %.1f ms, median %.1f ms, worst %.1f ms\n",
              sorted.size(), mean, median, sorted.back());
}
BENCHMARK(BM_TraceLiveLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tonamira::ApplyApplicationSettings();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

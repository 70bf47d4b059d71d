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
#include "main/services.h"
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
  QObject context;
  Player player;
  QtQueuedPoster poster(&context, player);
  PulseAudioDevices devices;
  auto output = devices.CreateOutput();
  if (output->Open(FillWaveFormat({16, 44100, 1}), poster) != AudioResult::Ok) {
    state.SkipWithError("the output did not open");
    return;
  }
  // The read-out shows the tone's pitch (whole hertz, within 2 Hz of 440).
  auto shows = [&] {
    bool ok = false;
    const int hz = form.LbfftValue->Caption().toInt(&ok);
    return ok && std::abs(hz - 440) <= 2;
  };

  std::vector<double> latenciesMs;
  int iteration = 0;
  for (auto _ : state) {
    const int preMs = 100 + (iteration++ * 37) % 200;   // another point of the 0.2 s cycle
    std::vector<uint8_t> sound = latency::SilenceThenTone(preMs, 9000.0, 3000.0);
    const uint32_t toneStart = latency::ToneStart(preMs);
    WaveHeader h{sound.data(), static_cast<uint32_t>(sound.size()), 0, 3, 0};
    RunUntil([&] { return !shows(); }, 2000);   // from silence
    const int donesBefore = player.dones;
    output->Prepare(h);
    output->Write(h);
    int64_t enteredMs = -1;
    int64_t seenMs = -1;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (enteredMs < 0) enteredMs = latency::ToneEnteredMs(*output, toneStart);
      if (seenMs < 0 && shows()) seenMs = MonotonicMs();
    });
    poll.start(1);
    const bool seen = RunUntil([&] { return seenMs >= 0 && enteredMs >= 0; }, 3000);
    poll.stop();
    RunUntil([&] { return player.dones > donesBefore || player.lost; }, 3000);
    output->Reset();
    output->Unprepare(h);
    if (!seen || player.lost) {
      state.SkipWithError("the read-out did not show the tone's pitch");
      break;
    }
    const double latencyMs = static_cast<double>(seenMs - enteredMs);
    latenciesMs.push_back(latencyMs);
    state.SetIterationTime(latencyMs / 1000.0);
  }
  output->Close();
  form.RecButtonClick();
  RunUntil([&] { return !form.Devices.RecStopRequested; }, 2000);
  form.close();
  if (!latenciesMs.empty()) {
    state.counters["worst_ms"] = *std::max_element(latenciesMs.begin(), latenciesMs.end());
    state.counters["best_ms"] = *std::min_element(latenciesMs.begin(), latenciesMs.end());
  }
}
BENCHMARK(BM_WindowLiveLatency)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

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

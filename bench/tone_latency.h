#pragma once
// The measurement the window's live-latency benchmarks share: with the window recording from
// the private sound server's input, a device of the benchmark's own plays a tone into the
// server's sink once per iteration, each at another point of the analysis's cycle; the
// latency is the time from the tone's first sample entering the input (the output's position
// tells when) to `shows()` holding. Reports each iteration's latency as its manual time and
// the mean, median, best and worst as counters.

#include <benchmark/benchmark.h>

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "latency_support.h"

namespace tonamira::latency {

class Player final : public DeviceEventHandler {
 public:
  void OnWimData(const DeviceNotification&) override {}
  void OnWomDone(const DeviceNotification&) override { ++dones; }
  void OnDeviceLost(const DeviceNotification&) override { lost = true; }
  int dones = 0;
  bool lost = false;
};

// Runs the iterations; `what` names what was waited for, in the error and the printout.
inline void MeasureToneLatencies(benchmark::State& state, const std::function<bool()>& shows,
                                 const char* what) {
  QObject context;
  Player player;
  QtQueuedPoster poster(&context, player);
  PulseAudioDevices devices;
  auto output = devices.CreateOutput();
  if (output->Open(FillWaveFormat({16, 44100, 1}), poster) != AudioResult::Ok) {
    state.SkipWithError("the output did not open");
    return;
  }
  std::vector<double> latenciesMs;
  int iteration = 0;
  for (auto _ : state) {
    const int preMs = 100 + (iteration++ * 37) % 200;   // another point of the cycle
    std::vector<uint8_t> sound = SilenceThenTone(preMs, 9000.0, 3000.0);
    const uint32_t toneStart = ToneStart(preMs);
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
      if (enteredMs < 0) enteredMs = ToneEnteredMs(*output, toneStart);
      if (seenMs < 0 && shows()) seenMs = MonotonicMs();
    });
    poll.start(1);
    const bool seen = RunUntil([&] { return seenMs >= 0 && enteredMs >= 0; }, 3000);
    poll.stop();
    RunUntil([&] { return player.dones > donesBefore || player.lost; }, 3000);
    output->Reset();
    output->Unprepare(h);
    if (!seen || player.lost) {
      state.SkipWithError((std::string(what) + " did not show the tone's pitch").c_str());
      break;
    }
    const double latencyMs = static_cast<double>(seenMs - enteredMs);
    latenciesMs.push_back(latencyMs);
    state.SetIterationTime(latencyMs / 1000.0);
  }
  output->Close();
  if (latenciesMs.empty()) return;
  std::sort(latenciesMs.begin(), latenciesMs.end());
  const size_t n = latenciesMs.size();
  const double mean = std::accumulate(latenciesMs.begin(), latenciesMs.end(), 0.0) / static_cast<double>(n);
  const double median = n % 2 == 1 ? latenciesMs[n / 2] : 0.5 * (latenciesMs[n / 2 - 1] + latenciesMs[n / 2]);
  state.counters["mean_ms"] = mean;
  state.counters["median_ms"] = median;
  state.counters["best_ms"] = latenciesMs.front();
  state.counters["worst_ms"] = latenciesMs.back();
  std::printf("%s: %zu tones, mean %.1f ms, median %.1f ms, worst %.1f ms\n", what, n, mean, median,
              latenciesMs.back());
}

}  // namespace tonamira::latency

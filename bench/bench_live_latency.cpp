// Live latency over the real sound server: from the first sample of a tone entering the
// input to the moment the input device hands over a chunk whose analysis shows the tone's
// pitch. Recording as the window records: 16-bit mono at 44100 Hz in chunks of 0.1 s
// through two buffers handed straight back, with only the first buffer's chunks analysed
// (every second chunk), from the chunk's first 2048 samples.
//
// The tone is played through the output device into the private server's null sink, whose
// monitor is the default input (scripts/pulse-private.sh). It enters the input when the
// sink plays its first sample: the moment the output device's position passes it, which is
// within a few milliseconds of what is heard (see the device tests). Each iteration starts
// the tone at another point of the 0.2 s analysis cycle.
//
//   eval "$(scripts/pulse-private.sh start)"; build/bench/tonamira-bench-devices
//
// Reported time: the latency of each iteration (manual time); counters give the worst and
// best. Without PULSE_SERVER the benchmark reports an error and measures nothing.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/detection.h"
#include "analysis/frame_analysis.h"
#include "analysis/rounding.h"
#include "analysis/spectrum.h"
#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "latency_support.h"

namespace tonamira {
namespace {

using latency::RunUntil;

constexpr uint32_t kChunkBytes = 8820;   // 0.1 s of 16-bit mono at 44100 Hz
constexpr int kFrame = 2048;

WaveFormat Mono16() { return FillWaveFormat({16, 44100, 1}); }

// The window's side of the recording: hands every chunk back, analyses the first buffer's.
class Listener final : public DeviceEventHandler {
 public:
  Listener() : plan_(kFrame) {
    AllocFftArrays(arrays_, kFrame);
    settings_.cutoffBin = CutoffBinFor(30, 44100, kFrame);
  }
  InputDevice* input = nullptr;
  WaveHeader* analysed = nullptr;  // the first buffer's header
  int64_t pitchSeenMs = -1;        // delivery time of the first chunk showing the pitch
  bool lastShowedPitch = false;

  void OnWimData(const DeviceNotification& n) override {
    const int64_t now = MonotonicMs();
    input->AddBuffer(*n.header);  // back to the device first, as the window does
    if (n.header != analysed || n.bytesRecorded < 2 * kFrame) return;
    DetectionState state;
    const PcmFrame frame{std::span<const uint8_t>(n.header->data, n.bytesRecorded), 0, kFrame, 1, 16, 2};
    lastShowedPitch = AnalyzePcmFrame(frame, plan_, arrays_, settings_, state) &&
                      std::abs(state.detectedFreq - 440) <= 2;
    if (lastShowedPitch && pitchSeenMs < 0) pitchSeenMs = now;
  }
  void OnWomDone(const DeviceNotification&) override { ++dones; }
  void OnDeviceLost(const DeviceNotification&) override { lost = true; }
  int dones = 0;
  bool lost = false;

 private:
  FftPlan plan_;
  FftArrays arrays_;
  DetectionSettings settings_;
};

void BM_LiveLatency(benchmark::State& state) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("PULSE_SERVER is not set: start scripts/pulse-private.sh first");
    return;
  }
  QObject context;
  Listener listener;
  QtQueuedPoster poster(&context, listener);
  PulseAudioDevices devices;
  auto input = devices.CreateInput();
  auto output = devices.CreateOutput();
  listener.input = input.get();
  std::vector<uint8_t> chunkA(kChunkBytes), chunkB(kChunkBytes);
  WaveHeader a{chunkA.data(), kChunkBytes, 0, 1, 0};
  WaveHeader b{chunkB.data(), kChunkBytes, 0, 2, 0};
  listener.analysed = &a;
  if (input->Open(Mono16(), poster) != AudioResult::Ok ||
      output->Open(Mono16(), poster) != AudioResult::Ok) {
    state.SkipWithError("the sound devices did not open");
    return;
  }
  input->Prepare(a);
  input->Prepare(b);
  input->AddBuffer(a);
  input->AddBuffer(b);
  input->Start();

  std::vector<double> latenciesMs;
  int iteration = 0;
  for (auto _ : state) {
    // The tone starts at another point of the 0.2 s cycle each time.
    const int preMs = 100 + (iteration++ * 37) % 200;
    std::vector<uint8_t> sound = latency::SilenceThenTone(preMs, 12000.0);
    const uint32_t toneStart = latency::ToneStart(preMs);
    WaveHeader h{sound.data(), static_cast<uint32_t>(sound.size()), 0, 3, 0};
    // Start from silence: wait for an analysed chunk without the pitch.
    RunUntil([&] { return !listener.lastShowedPitch; }, 2000);
    listener.pitchSeenMs = -1;
    const int donesBefore = listener.dones;
    output->Prepare(h);
    output->Write(h);
    // The moment the tone's first sample is played, from the position, polled finely.
    int64_t enteredMs = -1;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (enteredMs < 0) enteredMs = latency::ToneEnteredMs(*output, toneStart);
    });
    poll.start(1);
    const bool seen = RunUntil([&] { return listener.pitchSeenMs >= 0 && enteredMs >= 0; }, 3000);
    poll.stop();
    RunUntil([&] { return listener.dones > donesBefore || listener.lost; }, 3000);
    output->Reset();
    output->Unprepare(h);
    if (!seen || listener.lost) {
      state.SkipWithError("the tone's pitch was not seen");
      break;
    }
    const double latencyMs = static_cast<double>(listener.pitchSeenMs - enteredMs);
    latenciesMs.push_back(latencyMs);
    state.SetIterationTime(latencyMs / 1000.0);
  }
  input->Reset();
  RunUntil([] { return false; }, 50);
  input->Unprepare(a);
  input->Unprepare(b);
  input->Close();
  output->Close();
  if (!latenciesMs.empty()) {
    state.counters["worst_ms"] = *std::max_element(latenciesMs.begin(), latenciesMs.end());
    state.counters["best_ms"] = *std::min_element(latenciesMs.begin(), latenciesMs.end());
  }
}

BENCHMARK(BM_LiveLatency)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

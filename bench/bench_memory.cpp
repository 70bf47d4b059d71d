// Resident memory of a long take: a three-hour stereo recording (16-bit, 44100 Hz: 1.9 GB)
// grows chunk by chunk, in the recording buffer alone and through the window over the
// simulated input. What the take adds to the process's resident memory at its peak must stay
// within 1.1 times its bytes plus 64 MB: no second copy while it grows, no zero-filled room
// ahead of what is recorded.
//
//   build/bench/tonamira-bench-memory
//
// Counters: take_mb (the take's bytes), peak_added_mb (the peak resident memory over what the
// process held before the take), bound_mb and within_bound (1 when the peak is within it).

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "devices/sim_audio.h"
#include "main/form_main.h"
#include "qt_bench_main.h"
#include "silent_services.h"
#include "sound/recording_buffer.h"

namespace tonamira {
namespace {

constexpr uint64_t kChunkBytes = 17640;            // 0.1 s of 16-bit stereo
constexpr uint64_t kChunks = 3 * 3600 * 10;        // three hours
constexpr double kMb = 1024.0 * 1024.0;

// A field of /proc/self/status, in bytes.
double StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) * 1024.0;
  }
  return 0.0;
}

// Starts measuring: the peak resident memory is set back to what is resident now.
double StartMeasuring() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
  return StatusBytes("VmRSS:");
}

void Report(benchmark::State& state, double before, uint64_t takeBytes) {
  const double peak = StatusBytes("VmHWM:") - before;
  const double bound = 1.1 * static_cast<double>(takeBytes) + 64.0 * kMb;
  state.counters["take_mb"] = static_cast<double>(takeBytes) / kMb;
  state.counters["peak_added_mb"] = peak / kMb;
  state.counters["bound_mb"] = bound / kMb;
  state.counters["within_bound"] = peak <= bound ? 1.0 : 0.0;
}

void BM_ThreeHourTakeInTheRecordingBuffer(benchmark::State& state) {
  std::vector<uint8_t> chunk(kChunkBytes);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7 + 1);
  for (auto _ : state) {
    const double before = StartMeasuring();
    RecordingBuffer take(44100 * 180);
    for (uint64_t k = 0; k < kChunks; ++k) {
      if (take.Append(chunk) != RecordingBuffer::Appended::Done) {
        state.SkipWithError("the take was refused before its end");
        return;
      }
    }
    const ByteBlock sound = take.Take();   // the take becomes the sound: no copy
    benchmark::DoNotOptimize(sound.data.get());
    Report(state, before, kChunks * kChunkBytes);
  }
}
BENCHMARK(BM_ThreeHourTakeInTheRecordingBuffer)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ThreeHourTakeThroughTheWindow(benchmark::State& state) {
  for (auto _ : state) {
    SilentServices services;
    SimAudio sim;
    ManualPoster poster;
    FormMain form(services, sim, &poster);
    sim.SetSignal([](uint64_t frame, int channel) {
      return static_cast<int16_t>((frame * 13 + static_cast<uint64_t>(channel)) % 20000);
    });
    form.RadioGroupchan->SetItemIndex(1);
    const double before = StartMeasuring();
    form.RecButtonClick();
    for (uint64_t k = 0; k < kChunks && form.Devices.Recording; ++k) {
      sim.Advance(100'000);
      poster.DeliverAll(form);
    }
    form.RecButtonClick();
    poster.DeliverAll(form);
    if (static_cast<uint64_t>(form.Sound.WaveDataSize) != kChunks * kChunkBytes) {
      state.SkipWithError("the take is not three hours long");
      return;
    }
    Report(state, before, kChunks * kChunkBytes);
  }
}
BENCHMARK(BM_ThreeHourTakeThroughTheWindow)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) { return tonamira::RunWindowBenchmarks(argc, argv); }

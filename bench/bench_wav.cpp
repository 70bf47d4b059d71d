// Reading a large WAV file from disk: the samples go straight from the file into the
// sample block, so the speed is the file system's and memory holds the data once.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/wav_reader.h"
#include "sound/wav_writer.h"

namespace tonamira {
namespace {

constexpr uint32_t kBenchDataBytes = 64u << 20;  // 64 MiB of 16-bit mono

// A 16-bit mono file written once for the whole run and removed at exit.
class BenchFile {
 public:
  BenchFile()
      : path_(std::filesystem::temp_directory_path() /
              ("tonamira-bench-" + std::to_string(::getpid()) + ".wav")) {
    std::vector<uint8_t> samples(kBenchDataBytes);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 31);
    ok_ = WriteWavFile(path_, FillWaveFormat({16, 44100, 1}), samples.data(), kBenchDataBytes).ok;
  }
  ~BenchFile() { std::filesystem::remove(path_); }
  const std::filesystem::path& path() const { return path_; }
  bool ok() const { return ok_; }

 private:
  std::filesystem::path path_;
  bool ok_ = false;
};

const BenchFile& File() {
  static const BenchFile file;
  return file;
}

void BM_ReadWavFile(benchmark::State& state) {
  const BenchFile& file = File();
  if (!file.ok()) {
    state.SkipWithError("could not write the benchmark file");
    return;
  }
  const WaveFormat previous = FillWaveFormat({16, 44100, 1});
  for (auto _ : state) {
    auto result = ReadWavFile(file.path(), previous);
    if (!result.ok || result.size != kBenchDataBytes) {
      state.SkipWithError("read failed");
      return;
    }
    benchmark::DoNotOptimize(result.data.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBenchDataBytes);
}
BENCHMARK(BM_ReadWavFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

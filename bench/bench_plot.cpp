// `tonamira-cli plot` on a three-minute melody: the whole command as a user runs it (a new
// process: start-up, reading, analysis every 10 ms, drawing, PNG encoding), and its two
// halves in-process. The target is under 2 s for the whole command.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/pitch_plot.h"
#include "cli/pitch_track.h"
#include "sound/wav_reader.h"
#include "sound/wav_writer.h"

extern char** environ;

namespace tonamira {
namespace {

namespace fs = std::filesystem;

constexpr double kSeconds = 180.0;
constexpr uint32_t kRate = 44100;

// A sung-like melody: notes of half a second, up and down two octaves of a major scale,
// each a fundamental with four harmonics, a 5.5 Hz vibrato of 30 cents and a short breath
// of silence after it.
std::vector<uint8_t> Melody() {
  static const int kScale[] = {0, 2, 4, 5, 7, 9, 11, 12, 14, 16, 17, 19, 21, 23, 24};
  const auto total = static_cast<size_t>(kSeconds * kRate);
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * total);
  double phase = 0.0;
  for (size_t n = 0; n < total; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const auto note = static_cast<size_t>(t / 0.5);
    const size_t step = note % 28 < 14 ? note % 28 : 28 - note % 28;
    const double within = t - static_cast<double>(note) * 0.5;
    const double midi = 48 + kScale[step] + 0.3 * std::sin(2.0 * M_PI * 5.5 * t);
    const double hz = 440.0 * std::exp2((midi - 69.0) / 12.0);
    phase += 2.0 * M_PI * hz / kRate;
    double s = 0.0;
    if (within < 0.42)
      for (int h = 1; h <= 5; ++h) s += std::sin(h * phase) / h;
    const auto x = static_cast<int16_t>(std::lround(6000.0 * s));
    bytes.push_back(static_cast<uint8_t>(x));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(x) >> 8));
  }
  return bytes;
}

class MelodyFile {
 public:
  MelodyFile()
      : dir_(fs::temp_directory_path() / ("tonamira-bench-plot-" + std::to_string(::getpid()))) {
    fs::create_directories(dir_);
    const std::vector<uint8_t> samples = Melody();
    ok_ = WriteWavFile(wav(), FillWaveFormat({16, static_cast<int32_t>(kRate), 1}),
                       samples.data(), static_cast<uint32_t>(samples.size()))
              .ok;
  }
  ~MelodyFile() { fs::remove_all(dir_); }
  fs::path wav() const { return dir_ / "melody.wav"; }
  fs::path png() const { return dir_ / "melody.png"; }
  bool ok() const { return ok_; }

 private:
  fs::path dir_;
  bool ok_ = false;
};

const MelodyFile& File() {
  static const MelodyFile file;
  return file;
}

// The command as a user runs it, in a process of its own.
void BM_PlotCommandThreeMinutes(benchmark::State& state) {
  if (!File().ok()) {
    state.SkipWithError("could not write the melody");
    return;
  }
  std::string program = TONAMIRA_CLI_PATH, plot = "plot", in = File().wav().string(),
              flag = "-o", out = File().png().string();
  char* argv[] = {program.data(), plot.data(), in.data(), flag.data(), out.data(), nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("tonamira-cli plot failed");
      return;
    }
  }
}
BENCHMARK(BM_PlotCommandThreeMinutes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The frame analysis that makes the track (18,000 frames of 2048 samples).
void BM_WindowTrackThreeMinutes(benchmark::State& state) {
  const WavReadResult sound = ReadWavFile(File().wav(), WaveFormat{});
  if (!sound.ok) {
    state.SkipWithError("could not read the melody");
    return;
  }
  for (auto _ : state) {
    PitchTrack track;
    const std::string problem =
        BuildWindowTrack(std::span<const uint8_t>(sound.data.get(), sound.size), sound.format,
                         {}, track);
    benchmark::DoNotOptimize(track.points.data());
    if (!problem.empty()) state.SkipWithError(problem.c_str());
  }
}
BENCHMARK(BM_WindowTrackThreeMinutes)->Unit(benchmark::kMillisecond);

// Drawing that track into the image (no encoding).
void BM_RenderThreeMinutes(benchmark::State& state) {
  const WavReadResult sound = ReadWavFile(File().wav(), WaveFormat{});
  PitchTrack track;
  if (!sound.ok || !BuildWindowTrack(std::span<const uint8_t>(sound.data.get(), sound.size),
                                     sound.format, {}, track)
                        .empty()) {
    state.SkipWithError("could not build the track");
    return;
  }
  const PitchPlotLayout layout(track, kPlotSize);
  for (auto _ : state) {
    const QImage image = RenderPitchPlot(track, layout, "melody.wav");
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_RenderThreeMinutes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // text on the plot needs the fonts
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The pitch trace's cost: drawing a minute of a sung phrase, and what the trace adds to the
// program while it records (its tap, the live tracker on every sample, a refresh and a
// picture thirty times a second), against the same recording without the trace's window
// shown.

#include <QEventLoop>
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

#include "devices/sim_audio.h"
#include "main/form_main.h"
#include "main/main_frame.h"
#include "main/trace_painter.h"
#include "main/trace_window.h"
#include "silent_services.h"

namespace tonamira {
namespace {

// A phrase of notes a second long with a 5.5 Hz vibrato, as 16-bit samples.
int16_t Phrase(uint64_t frame) {
  static const int kNotes[] = {57, 60, 62, 64, 62, 60, 59, 57};
  const double t = static_cast<double>(frame) / 44100.0;
  const int note = kNotes[static_cast<size_t>(t) % 8];
  const double hz = 440.0 * std::exp2((note - 69) / 12.0);
  const double swing = 30.0 / 1200.0 * std::log(2.0);
  const double phase = kTwoPi * hz * t - hz * swing / 5.5 * std::cos(kTwoPi * 5.5 * t);
  return static_cast<int16_t>(std::lround(6000.0 * std::sin(phase) + 2500.0 * std::sin(2.0 * phase)));
}

void RunQueued() {
  QEventLoop loop;
  QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  loop.exec();
}

void BM_RenderTrace(benchmark::State& state) {
  const double seconds = static_cast<double>(state.range(0));
  TraceContour contour;
  contour.Start(44100.0, 1, 16);
  std::vector<uint8_t> bytes(static_cast<size_t>(seconds * 44100) * 2);
  for (size_t i = 0; i < bytes.size() / 2; ++i) {
    const auto v = static_cast<uint16_t>(Phrase(i));
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  contour.Push(bytes);
  contour.Finish();
  TraceView view;
  view.startSeconds = 0.0;
  view.endSeconds = seconds;
  view.range = {52.0, 68.0};
  QImage image(1000, 420, QImage::Format_RGB32);
  for (auto _ : state) {
    RenderTrace(image, contour, view);
    benchmark::DoNotOptimize(image.bits());
  }
  state.counters["frames"] = static_cast<double>(contour.Points().size());
}
BENCHMARK(BM_RenderTrace)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond);

// Ten seconds of recording through the frame over the simulated input, the trace shown,
// refreshed and painted every 33 ms of sound when state.range(0) is 1. Reports the CPU time
// per second of sound: the difference of the two runs is what the trace adds.
void BM_RecordingTenSeconds(benchmark::State& state) {
  const bool withTrace = state.range(0) != 0;
  double cpuPerSoundSecond = 0.0;
  for (auto _ : state) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    SilentServices services;
    SimAudio sim;
    MainFrame frame(services, sim, settings);
    sim.SetSignal([](uint64_t f, int) { return Phrase(f); });
    if (withTrace) frame.Trace().show();
    frame.Trace().resize(900, 520);
    const std::clock_t before = std::clock();
    frame.Form().RecButtonClick();
    for (int tick = 0; tick < 300; ++tick) {   // 300 x 33.3 ms, as the trace's timer runs
      sim.Advance(33'333);
      RunQueued();   // the devices' notifications and the tap's fragments
      if (withTrace) frame.Trace().Refresh();
      RunQueued();   // the pictures asked for
    }
    frame.Form().RecButtonClick();
    RunQueued();
    const std::clock_t after = std::clock();
    cpuPerSoundSecond = static_cast<double>(after - before) / CLOCKS_PER_SEC / 10.0;
    frame.close();
  }
  state.counters["cpu_ms_per_s_of_sound"] = cpuPerSoundSecond * 1000.0;
}
BENCHMARK(BM_RecordingTenSeconds)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

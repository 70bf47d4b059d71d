#pragma once
// A window with scripted services, WAV files made on the fly, and pixel probes of the paint
// boxes' canvases.

#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "devices/device_notification.h"
#include "devices/qt_poster.h"
#include "devices/sim_audio.h"
#include "main/form_main.h"
#include "support/wav_bytes.h"
#include "test_support.h"

namespace tonamira::testing {

// The services and the simulated sound devices must outlive the window that talks to them.
// The devices' notifications wait in `poster` until the test delivers them (Pump), and time
// passes for the devices only in Advance, so every test runs the same way every time.
struct Window {
  ScriptedServices services;
  SimAudio sim;
  ManualPoster poster;
  FormMain form;
  explicit Window(AllocationFault fault = {})
      : form((App(), services), sim, &poster, std::move(fault)) {}

  // Delivers every notification waiting for the window, including those its handlers cause.
  size_t Pump() { return poster.DeliverAll(form); }
  // Lets microseconds of device time pass, then delivers what the devices posted meanwhile.
  void Advance(uint64_t microseconds) {
    sim.Advance(microseconds);
    Pump();
  }

  // Opens path through the "開く" button's handler and the file dialog.
  void Open(const std::string& path) {
    services.fileAnswers.push_back(path);
    form.OpenClick();
  }
};

// A window whose device notifications travel through the Qt event loop, as in the program,
// and whose boxes run a nested event loop, as real boxes do: notifications queued before a
// box is shown are delivered inside it, and so is a tick of a running Timer1. Time still
// passes for the devices only in Advance.
struct LoopWindow {
  // Counts the notifications on their way to the window.
  struct Counter final : DeviceEventHandler {
    FormMain* form = nullptr;
    size_t delivered = 0;
    void OnWimData(const DeviceNotification& n) override { ++delivered, form->OnWimData(n); }
    void OnWomDone(const DeviceNotification& n) override { ++delivered, form->OnWomDone(n); }
    void OnDeviceLost(const DeviceNotification& n) override { ++delivered, form->OnDeviceLost(n); }
  };
  ScriptedServices services;
  SimAudio sim;
  QObject context;
  Counter counter;
  QtQueuedPoster poster{&context, counter};
  FormMain form;
  explicit LoopWindow(AllocationFault fault = {})
      : form((App(), services), sim, &poster, std::move(fault)) {
    counter.form = &form;
    services.whileShown = [this] {
      RunQueuedEvents();
      if (form.Timer1.Enabled()) form.Timer1.Fire();
    };
  }
  // Runs the event loop until no more notifications arrive.
  void Deliver() {
    size_t before = 0;
    do {
      before = counter.delivered;
      RunQueuedEvents();
    } while (counter.delivered != before);
  }
  void Advance(uint64_t microseconds) {
    sim.Advance(microseconds);
    Deliver();
  }
};

struct WavHeader {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t blockAlign = 2;
  uint16_t bits = 16;
};

inline void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A canonical file: RIFF, a 16-byte fmt chunk, then the data chunk.
inline std::vector<uint8_t> WavBytes(const WavHeader& h, const std::vector<uint8_t>& data) {
  FmtFields f;
  f.tag = h.tag;
  f.channels = h.channels;
  f.rate = h.rate;
  f.avg = h.rate * h.blockAlign;
  f.align = h.blockAlign;
  f.bits = h.bits;
  return CanonicalWav(f, data);
}

// A tone of f0 with harmonics of falling amplitude, as 16-bit samples.
inline std::vector<int16_t> ToneSamples(double f0, int frames, double rate = 44100.0,
                                        double amplitude = 8000.0) {
  std::vector<int16_t> s(static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) {
    double v = 0.0;
    for (int h = 1; h <= 4; ++h) v += amplitude / h * std::sin(kTwoPi * f0 * h * n / rate);
    s[static_cast<size_t>(n)] = static_cast<int16_t>(std::lround(v));
  }
  return s;
}

// Interleaves channels of 16-bit samples into bytes; channel 0 carries the tone, the others
// its half.
inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& tone, int channels) {
  std::vector<uint8_t> out;
  out.reserve(tone.size() * 2 * static_cast<size_t>(channels));
  for (int16_t v : tone)
    for (int c = 0; c < channels; ++c)
      PutLe(out, static_cast<uint16_t>(c == 0 ? v : static_cast<int16_t>(v / 2)), 2);
  return out;
}

inline std::string WriteFile(const QTemporaryDir& dir, const std::string& name,
                             const std::vector<uint8_t>& bytes) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Pixels of colour c in the rectangle [x0, x1) x [y0, y1) of a canvas.
inline int CountColor(const RasterCanvas& c, Rgb color, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (c.Pixel(x, y) == color) ++n;
  return n;
}

inline int CountColor(const RasterCanvas& c, Rgb color) {
  return CountColor(c, color, 0, 0, c.Width(), c.Height());
}

// Columns of a canvas whose rows y0 .. y1-1 are all green (solid lines) or about half green
// (dotted lines).
inline std::vector<int> SolidColumns(const RasterCanvas& c, int y0, int y1) {
  std::vector<int> xs;
  for (int x = 0; x < c.Width(); ++x)
    if (CountColor(c, kGreen, x, y0, x + 1, y1) == y1 - y0) xs.push_back(x);
  return xs;
}

inline std::vector<int> DottedColumns(const RasterCanvas& c, int y0, int y1) {
  std::vector<int> xs;
  for (int x = 0; x < c.Width(); ++x) {
    const int n = CountColor(c, kGreen, x, y0, x + 1, y1);
    if (n * 10 >= (y1 - y0) * 4 && n * 10 <= (y1 - y0) * 6) xs.push_back(x);
  }
  return xs;
}

}  // namespace tonamira::testing

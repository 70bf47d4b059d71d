#pragma once
// Support for the tests that run against a real PulseAudio server: the private server of
// scripts/pulse-private.sh, pactl, waiting on the event loop, a window stand-in that
// records what the devices deliver, and test sounds.

#include <QCoreApplication>
#include <QObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/rounding.h"
#include "devices/audio_devices.h"
#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"

namespace tonamira::pulse {

// The server the test command provides, if any.
inline bool HaveServer() {
  const char* server = std::getenv("PULSE_SERVER");
  return server != nullptr && *server != '\0';
}

#define TONAMIRA_NEED_PULSE()                                                             \
  if (!::tonamira::pulse::HaveServer())                                                   \
  GTEST_SKIP() << "PULSE_SERVER is not set: these tests need the private sound server "   \
                  "that scripts/test.sh starts (scripts/pulse-private.sh)"

// Runs a program to its end (at most timeoutMs); returns its exit code (-1 when it did not
// finish) and its standard output.
inline int RunProgram(const QString& program, const QStringList& args, QString* out = nullptr,
               int timeoutMs = 15000) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(2000);
    return -1;
  }
  if (out != nullptr) *out = QString::fromLocal8Bit(p.readAllStandardOutput());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The index of this process's stream in `pactl list short sink-inputs` (or
// source-outputs): the one a client made, not one of the server's own modules.
inline QString ClientStream(const char* kind) {
  QString out;
  if (RunProgram("pactl", {"list", "short", kind}, &out) != 0) return {};
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
    if (line.contains("protocol-native")) return line.section('\t', 0, 0);
  return {};
}

// Runs the event loop until pred holds or timeoutMs pass; true when it holds.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000) {
  return QTest::qWaitFor(pred, timeoutMs);
}

// Runs the event loop for ms milliseconds: only to see that something does NOT happen.
inline void Pump(int ms) { QTest::qWait(ms); }

// Lets the event loop release what was handed to deleteLater.
inline void ReleaseDeferred() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline WaveFormat Mono16() { return FillWaveFormat({16, 44100, 1}); }

// 16-bit mono samples of a sine.
inline std::vector<uint8_t> Tone(double hz, double seconds, double amplitude) {
  const auto n = static_cast<size_t>(RoundInt(seconds * 44100.0));
  std::vector<uint8_t> bytes(2 * n);
  for (size_t i = 0; i < n; ++i) {
    const int32_t v = RoundInt(amplitude * std::sin(6.283185307179586 * hz * static_cast<double>(i) / 44100.0));
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  return bytes;
}

inline int16_t SampleAt(const std::vector<uint8_t>& bytes, size_t i) {
  return static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

// A buffer and its header, as the window holds them.
struct Buffer {
  explicit Buffer(std::vector<uint8_t> b, uintptr_t tag = 0) : bytes(std::move(b)) {
    header.data = bytes.data();
    header.bufferLength = static_cast<uint32_t>(bytes.size());
    header.user = tag;
  }
  std::vector<uint8_t> bytes;
  WaveHeader header;
};

// Stands in for the window: hands every filled input buffer straight back, as the window
// does, and keeps what it was told, when, and where the output was at that moment.
struct Window final : DeviceEventHandler {
  struct Chunk {
    int64_t ms;                  // when it was delivered
    std::vector<uint8_t> bytes;  // what was recorded
    uint32_t outputPosition;     // the output's position then (0 without an output)
  };
  InputDevice* input = nullptr;
  OutputDevice* output = nullptr;
  bool handBack = true;
  std::vector<WaveHeader*> held;   // buffers not handed back (while handBack is false)
  std::vector<Chunk> chunks;
  std::vector<DeviceNotification> dones;
  std::vector<int64_t> doneMs;
  std::vector<uint32_t> doneOutputPosition;
  std::vector<DeviceNotification> losses;

  void OnWimData(const DeviceNotification& n) override {
    Chunk c{MonotonicMs(), {n.header->data, n.header->data + n.bytesRecorded}, 0};
    if (output != nullptr) output->Position(c.outputPosition);
    chunks.push_back(std::move(c));
    if (!handBack) held.push_back(n.header);
    else if (input != nullptr) input->AddBuffer(*n.header);
  }
  void OnWomDone(const DeviceNotification& n) override {
    dones.push_back(n);
    doneMs.push_back(MonotonicMs());
    uint32_t p = 0;
    if (output != nullptr) output->Position(p);
    doneOutputPosition.push_back(p);
  }
  void OnDeviceLost(const DeviceNotification& n) override { losses.push_back(n); }

  size_t Lost(DeviceEvent kind) const {
    size_t count = 0;
    for (const DeviceNotification& n : losses) count += n.event == kind;
    return count;
  }
};

// A slow ramp in which every sample says which sample of the sound it is: 1 + i / step,
// 16-bit mono.
inline std::vector<uint8_t> Ramp(size_t samples, size_t step) {
  std::vector<uint8_t> bytes(2 * samples);
  for (size_t i = 0; i < samples; ++i) {
    const auto v = static_cast<uint16_t>(1 + i / step);
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return bytes;
}

// A recording and a playback through the sound server's devices, driven as the window drives
// them, with the stand-in window above hearing what they deliver.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TONAMIRA_NEED_PULSE();
    poster = std::make_unique<QtQueuedPoster>(&context, window);
  }

  // Opens the input with two buffers of `chunk` bytes and starts it.
  void StartInput(size_t chunk) {
    input = devices.CreateInput();
    window.input = input.get();
    ASSERT_EQ(input->Open(Mono16(), *poster), AudioResult::Ok);
    first = std::make_unique<Buffer>(std::vector<uint8_t>(chunk), 1);
    second = std::make_unique<Buffer>(std::vector<uint8_t>(chunk), 2);
    for (Buffer* b : {first.get(), second.get()}) {
      ASSERT_EQ(input->Prepare(b->header), AudioResult::Ok);
      ASSERT_EQ(input->AddBuffer(b->header), AudioResult::Ok);
    }
    ASSERT_EQ(input->Start(), AudioResult::Ok);
  }

  // Opens the output and plays sound.
  void StartOutput(std::vector<uint8_t> sound) {
    output = devices.CreateOutput();
    window.output = output.get();
    ASSERT_EQ(output->Open(Mono16(), *poster), AudioResult::Ok);
    played = std::make_unique<Buffer>(std::move(sound), 7);
    ASSERT_EQ(output->Prepare(played->header), AudioResult::Ok);
    ASSERT_EQ(output->Write(played->header), AudioResult::Ok);
  }

  QObject context;
  Window window;
  std::unique_ptr<QtQueuedPoster> poster;
  PulseAudioDevices devices;
  std::unique_ptr<InputDevice> input;
  std::unique_ptr<OutputDevice> output;
  std::unique_ptr<Buffer> first, second, played;
};

// A sound server of the test process's own, for tests that break it: started (by the
// script at `script`) before Qt connects, its client settings put into the environment,
// stopped at the end. Each test that kills it runs in a process of its own (CTest runs every
// test of a discovered executable separately). Without PULSE_SERVER nothing starts and the
// tests skip.
class OwnServer final : public ::testing::Environment {
 public:
  explicit OwnServer(const char* script) : script_(script) {}
  void SetUp() override {
    if (!HaveServer()) return;
    // Should this process be killed before its clean-up, the server ends itself.
    qputenv("TONAMIRA_PULSE_EXIT_IDLE", "30");
    QString out;
    ASSERT_EQ(RunProgram("bash", {script_, "start"}, &out, 30000), 0)
        << "the private sound server did not start";
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
      const QString assignment = line.section(' ', 1);   // export NAME='value'
      const QString name = assignment.section('=', 0, 0);
      QString value = assignment.section('=', 1);
      value.remove('\'');
      qputenv(name.toLocal8Bit().constData(), value.toLocal8Bit());
      if (name == "TONAMIRA_PULSE_DIR") dir_ = value;
    }
    ASSERT_FALSE(dir_.isEmpty());
  }
  void TearDown() override {
    if (!dir_.isEmpty()) RunProgram("bash", {script_, "stop", dir_});
  }
  // Kills the server at once (SIGKILL), as a crash of the sound system would.
  int Kill() const { return RunProgram("bash", {script_, "kill", dir_}); }
  // Stops the server (SIGSTOP), as a stalled sound system is, and lets it go on (SIGCONT).
  int Pause() const { return RunProgram("bash", {script_, "pause", dir_}); }
  int Resume() const { return RunProgram("bash", {script_, "resume", dir_}); }
  const QString& Dir() const { return dir_; }

 private:
  QString script_;
  QString dir_;
};

}  // namespace tonamira::pulse

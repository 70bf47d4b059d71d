// A device that goes away mid-stream is reported lost, and nothing waits for a
// notification that never comes. These tests break their sound server, so they run on a
// private server of their own (scripts/pulse-private.sh), started before Qt connects.

#include <gtest/gtest.h>

#include <QDir>

#include <memory>

#include "devices/qt_devices.h"
#include "devices/qt_poster.h"
#include "pulse_support.h"

namespace tonamira {
namespace {

using namespace pulse;

// This process's own server (pulse_support.h), made in main.
OwnServer* server = nullptr;

class QtDeviceLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    TONAMIRA_NEED_PULSE();
    poster = std::make_unique<QtQueuedPoster>(&context, window);
  }
  void TearDown() override {
    input.reset();
    output.reset();
    ReleaseDeferred();
  }

  void StartRecording() {
    input = devices.CreateInput();
    window.input = input.get();
    ASSERT_EQ(input->Open(Mono16(), *poster), AudioResult::Ok);
    first = std::make_unique<Buffer>(std::vector<uint8_t>(8820), 1);
    second = std::make_unique<Buffer>(std::vector<uint8_t>(8820), 2);
    for (Buffer* b : {first.get(), second.get()}) {
      ASSERT_EQ(input->Prepare(b->header), AudioResult::Ok);
      ASSERT_EQ(input->AddBuffer(b->header), AudioResult::Ok);
    }
    ASSERT_EQ(input->Start(), AudioResult::Ok);
    ASSERT_TRUE(WaitFor([&] { return window.chunks.size() >= 2; })) << "no sound recorded";
  }

  void StartPlayback() {
    output = devices.CreateOutput();
    window.output = output.get();
    ASSERT_EQ(output->Open(Mono16(), *poster), AudioResult::Ok);
    played = std::make_unique<Buffer>(Tone(330.0, 5.0, 8000.0), 7);
    ASSERT_EQ(output->Prepare(played->header), AudioResult::Ok);
    ASSERT_EQ(output->Write(played->header), AudioResult::Ok);
    ASSERT_TRUE(WaitFor([&] {
      uint32_t p = 0;
      output->Position(p);
      return p >= 26460;  // 0.3 s
    })) << "the playback did not get going";
  }

  // The window's stop of a recording: reset, then both buffers come back.
  void StopRecording() {
    window.handBack = false;
    const size_t before = window.chunks.size();
    ASSERT_EQ(input->Reset(), AudioResult::Ok);
    ASSERT_TRUE(WaitFor([&] { return window.chunks.size() >= before + 2; }, 2000))
        << "a buffer did not come back";
    EXPECT_EQ(input->Unprepare(first->header), AudioResult::Ok);
    EXPECT_EQ(input->Unprepare(second->header), AudioResult::Ok);
    EXPECT_EQ(input->Close(), AudioResult::Ok);
  }

  // The window's stop of a playback: pause, reset, then the write's one done.
  void StopPlayback() {
    const size_t before = window.dones.size();
    EXPECT_EQ(output->Pause(), AudioResult::Ok);
    ASSERT_EQ(output->Reset(), AudioResult::Ok);
    ASSERT_TRUE(WaitFor([&] { return window.dones.size() == before + 1; }, 2000));
    EXPECT_EQ(output->Unprepare(played->header), AudioResult::Ok);
    EXPECT_EQ(output->Close(), AudioResult::Ok);
  }

  QObject context;
  Window window;
  std::unique_ptr<QtQueuedPoster> poster;
  QtAudioDevices devices;
  std::unique_ptr<InputDevice> input;
  std::unique_ptr<OutputDevice> output;
  std::unique_ptr<Buffer> first, second, played;
};

TEST_F(QtDeviceLoss, APlaybackWhoseStreamTheServerDropsIsLost) {
  StartPlayback();
  const QString stream = ClientStream("sink-inputs");
  ASSERT_FALSE(stream.isEmpty());
  ASSERT_EQ(RunProgram("pacmd", {"kill-sink-input", stream}), 0);
  ASSERT_TRUE(WaitFor([&] { return window.Lost(DeviceEvent::OutputLost) == 1; }))
      << "the dropped stream was not noticed";
  EXPECT_EQ(window.losses[0].device, output->Id());
  EXPECT_TRUE(window.dones.empty()) << "a lost playback has not ended";
  uint32_t p = 0;
  EXPECT_EQ(output->Position(p), AudioResult::Ok);
  EXPECT_GE(p, 26460u);
  EXPECT_LT(p, played->header.bufferLength);
  Buffer again(Tone(330.0, 0.1, 8000.0), 8);
  ASSERT_EQ(output->Prepare(again.header), AudioResult::Ok);
  EXPECT_EQ(output->Write(again.header), AudioResult::DeviceLost);
  StopPlayback();
  EXPECT_EQ(window.dones.size(), 1u);
  EXPECT_EQ(window.Lost(DeviceEvent::OutputLost), 1u);
}

TEST_F(QtDeviceLoss, ARecordingWhoseStreamTheServerDropsIsLost) {
  StartRecording();
  const QString stream = ClientStream("source-outputs");
  ASSERT_FALSE(stream.isEmpty());
  ASSERT_EQ(RunProgram("pacmd", {"kill-source-output", stream}), 0);
  ASSERT_TRUE(WaitFor([&] { return window.Lost(DeviceEvent::InputLost) == 1; }))
      << "the dropped stream was not noticed";
  EXPECT_EQ(window.losses[0].device, input->Id());
  EXPECT_EQ(input->Start(), AudioResult::DeviceLost);
  StopRecording();
  EXPECT_EQ(window.Lost(DeviceEvent::InputLost), 1u);
}

TEST_F(QtDeviceLoss, RecordingAndPlaybackAreLostWhenTheServerDies) {
  StartRecording();
  StartPlayback();
  ASSERT_EQ(server->Kill(), 0);
  ASSERT_TRUE(WaitFor([&] {
    return window.Lost(DeviceEvent::InputLost) == 1 && window.Lost(DeviceEvent::OutputLost) == 1;
  })) << "the server's death was not noticed";
  StopRecording();
  StopPlayback();
  // With no server, new devices refuse to start, at once.
  auto out = devices.CreateOutput();
  Buffer b(Tone(330.0, 0.1, 8000.0), 9);
  if (out->Open(Mono16(), *poster) == AudioResult::Ok) {
    ASSERT_EQ(out->Prepare(b.header), AudioResult::Ok);
    const AudioResult r = out->Write(b.header);
    EXPECT_NE(r, AudioResult::Ok);
    EXPECT_EQ(out->Close(), AudioResult::Ok);
  }
  auto in = devices.CreateInput();
  if (in->Open(Mono16(), *poster) == AudioResult::Ok) {
    EXPECT_NE(in->Start(), AudioResult::Ok);
    EXPECT_EQ(in->Close(), AudioResult::Ok);
  }
  Pump(100);
  EXPECT_EQ(window.losses.size(), 2u) << "a device that never started is not lost";
}

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  tonamira::server = new tonamira::pulse::OwnServer(TONAMIRA_PULSE_SCRIPT);
  ::testing::AddGlobalTestEnvironment(tonamira::server);
  const int result = RUN_ALL_TESTS();
  tonamira::SettleAudioBeforeExit();
  return result;
}

// The sound server's devices when no server answers: the calls return at once, and every start
// is reported lost with NoDriver, without waiting for a server that is not there.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

#include "devices/monotonic_clock.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "pulse_support.h"

namespace tonamira {
namespace {

using namespace pulse;

TEST(PulseNoServer, EveryStartIsLostAtOnceWithNoDriver) {
  QObject context;
  Window window;
  QtQueuedPoster poster(&context, window);
  PulseAudioDevices devices;
  auto out = devices.CreateOutput();
  auto in = devices.CreateInput();
  Buffer played(Tone(440.0, 0.5, 8000.0), 7), chunk(std::vector<uint8_t>(8820), 1);
  const int64_t before = MonotonicMs();
  ASSERT_EQ(out->Open(Mono16(), poster), AudioResult::Ok);
  ASSERT_EQ(out->Prepare(played.header), AudioResult::Ok);
  ASSERT_EQ(out->Write(played.header), AudioResult::Ok);
  ASSERT_EQ(in->Open(Mono16(), poster), AudioResult::Ok);
  ASSERT_EQ(in->Prepare(chunk.header), AudioResult::Ok);
  ASSERT_EQ(in->AddBuffer(chunk.header), AudioResult::Ok);
  ASSERT_EQ(in->Start(), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.losses.size() == 2; }, 3000));
  EXPECT_LT(MonotonicMs() - before, 1000) << "nothing listens: that is known at once";
  EXPECT_EQ(window.Lost(DeviceEvent::OutputLost), 1u);
  EXPECT_EQ(window.Lost(DeviceEvent::InputLost), 1u);
  for (const DeviceNotification& n : window.losses) EXPECT_EQ(n.reason, AudioResult::NoDriver);
  // The usual stops hand everything back.
  window.handBack = false;
  ASSERT_EQ(in->Reset(), AudioResult::Ok);
  ASSERT_EQ(out->Reset(), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.chunks.size() == 1 && window.dones.size() == 1; }, 1000));
  EXPECT_EQ(in->Unprepare(chunk.header), AudioResult::Ok);
  EXPECT_EQ(in->Close(), AudioResult::Ok);
  EXPECT_EQ(out->Unprepare(played.header), AudioResult::Ok);
  EXPECT_EQ(out->Close(), AudioResult::Ok);
}

TEST(PulseNoServer, AFormatWithoutWholeFramesIsRefusedFirst) {
  PulseAudioDevices devices;
  ManualPoster poster;
  WaveFormat f = Mono16();
  f.nBlockAlign = 0;
  EXPECT_EQ(devices.CreateOutput()->Open(f, poster), AudioResult::BadFormat);
  EXPECT_EQ(devices.CreateInput()->Open(f, poster), AudioResult::BadFormat);
}

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  // A server address where nothing listens; an explicit address also keeps the sound
  // library from starting a server of its own.
  QTemporaryDir dir;
  qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/no-server").toLocal8Bit());
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

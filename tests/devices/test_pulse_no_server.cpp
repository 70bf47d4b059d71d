// The Qt devices when no sound server answers: they refuse at once with a device error,
// without a signal from Qt and without waiting.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

#include "devices/qt_devices.h"
#include "pulse_support.h"

namespace tonamira {
namespace {

using namespace pulse;

TEST(QtNoServer, DevicesRefuseToOpen) {
  QtAudioDevices devices;
  ManualPoster poster;
  auto out = devices.CreateOutput();
  auto in = devices.CreateInput();
  const AudioResult opened = out->Open(Mono16(), poster);
  EXPECT_NE(opened, AudioResult::Ok);
  EXPECT_EQ(opened, AudioResult::BadDevice);
  EXPECT_EQ(in->Open(Mono16(), poster), AudioResult::BadDevice);
  WaveHeader h;
  EXPECT_EQ(out->Write(h), AudioResult::InvalidHandle);
  EXPECT_EQ(in->Start(), AudioResult::InvalidHandle);
  EXPECT_EQ(poster.Pending(), 0u);
}

TEST(QtNoServer, AFormatWithoutWholeFramesIsRefusedFirst) {
  QtAudioDevices devices;
  ManualPoster poster;
  WaveFormat f = Mono16();
  f.nBlockAlign = 0;
  EXPECT_EQ(devices.CreateOutput()->Open(f, poster), AudioResult::BadFormat);
  EXPECT_EQ(devices.CreateInput()->Open(f, poster), AudioResult::BadFormat);
}

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  // A server address where nothing listens, set before Qt first looks for a server; an
  // explicit address also keeps the sound library from starting a server of its own.
  QTemporaryDir dir;
  qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/no-server").toLocal8Bit());
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

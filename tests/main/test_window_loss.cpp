// The sound server dies under the window: mid-recording the take so far is kept, mid-playback
// the playback stops; either way the window says so, returns to idle and waits for nothing.
// Each test runs in a process of its own with a private server it kills (started before Qt
// connects to it).

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "devices/pulse_support.h"
#include "devices/pulse_devices.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using namespace pulse;
using testing::App;
using testing::ScriptedServices;

// This process's own server (pulse_support.h), which the tests kill.
OwnServer* const server =
    static_cast<OwnServer*>(::testing::AddGlobalTestEnvironment(new OwnServer(TONAMIRA_PULSE_SCRIPT)));

void KillServer() { ASSERT_EQ(server->Kill(), 0); }

bool ToldOfTheLoss(const ScriptedServices& services) {
  for (const auto& box : services.Boxes())
    if (box.caption == "ERROR") return true;
  return false;
}

TEST(WindowServerLoss, MidRecordingTheTakeSoFarIsKept) {
  TONAMIRA_NEED_PULSE();
  App();
  ScriptedServices services;
  PulseAudioDevices audio;
  auto form = std::make_unique<FormMain>(services, audio);
  form->RecButtonClick();
  ASSERT_TRUE(form->Devices.Recording);
  ASSERT_TRUE(WaitFor([&] { return form->Sound.RecPos >= 5 * 8820; })) << "nothing recorded";
  KillServer();
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.Recording && !form->Devices.RecStopRequested; },
                      20000))
      << "the recording never ended";
  EXPECT_TRUE(ToldOfTheLoss(services));
  EXPECT_GE(form->Sound.WaveDataSize, 5 * 8820);
  EXPECT_EQ(form->Sound.WaveDataSize % 8820, 0);
  EXPECT_EQ(form->RecButton->Caption(), QString::fromUtf8("録音"));
  EXPECT_FALSE(form->RecButton->isHidden());
  form->close();
  form.reset();
  ReleaseDeferred();
}

TEST(WindowServerLoss, MidPlaybackThePlaybackStops) {
  TONAMIRA_NEED_PULSE();
  App();
  QTemporaryDir dir;
  ScriptedServices services;
  PulseAudioDevices audio;
  auto form = std::make_unique<FormMain>(services, audio);
  // Five seconds of a tone to play.
  testing::WavHeader mono;
  const std::string file = testing::WriteFile(
      dir, "tone.wav", testing::WavBytes(mono, testing::Pcm16(testing::ToneSamples(330.0, 5 * 44100), 1)));
  form->OpenFile(file);
  form->PlayButtonClick();
  ASSERT_TRUE(form->Devices.Playing);
  ASSERT_TRUE(WaitFor([&] { return form->PlayScrollBar->Position() >= 26460; })) << "not playing";
  KillServer();
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.Playing; }, 20000)) << "the playback never ended";
  EXPECT_TRUE(ToldOfTheLoss(services));
  EXPECT_EQ(form->PlayButton->Caption(), QString::fromUtf8("再生"));
  EXPECT_FALSE(form->Timer1.Enabled());
  form->close();
  form.reset();
  ReleaseDeferred();
}

}  // namespace
}  // namespace tonamira

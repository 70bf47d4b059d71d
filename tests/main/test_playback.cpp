// Playback through the simulated output device: the ticks that follow the position, the
// user's stop, the two ways a playback ends, the sound set aside by the mixer, every failure
// of the start, a device that goes away, the volume buttons, and closing while playing.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::Pcm16;
using testing::ServiceCall;
using testing::ToneSamples;
using testing::WavBytes;
using testing::WavHeader;
using testing::Window;
using testing::WriteFile;

// Microseconds until `frames` sample frames at 44100 Hz have been played.
uint64_t MicrosFor(uint64_t frames) { return (frames * 1'000'000 + 44099) / 44100; }

// Opens an 8-bit mono sound of `bytes` bytes at 44100 Hz.
void OpenEightBit(Window& w, const QTemporaryDir& dir, size_t bytes) {
  WavHeader h;
  h.bits = 8;
  h.blockAlign = 1;
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i)
    data[i] = static_cast<uint8_t>(128 + std::lround(60 * std::sin(kTwoPi * 330.0 * static_cast<double>(i) / 44100.0)));
  w.Open(WriteFile(dir, "eight.wav", WavBytes(h, data)));
}

TEST(Playback, TheStartUpSoundPlaysWhileTheViewsFollowAndEndsAtTheStart) {
  Window w;
  w.form.PlayButtonClick();
  EXPECT_TRUE(w.form.Devices.Playing);
  EXPECT_TRUE(w.form.Timer1.Enabled());
  EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("停止"));
  EXPECT_TRUE(w.form.Devices.DetectionDrivesMixer);
  for (int tick = 1; tick <= 2; ++tick) {
    w.Advance(200'000);
    w.form.Timer1.Fire();
    // The frame at the position reached (whole sample frames) is shown; FramePos keeps the
    // start of the playback.
    EXPECT_EQ(w.form.PlayScrollBar->Position(), 2 * 8820 * tick);
    EXPECT_EQ(w.form.Sound.FramePos, 0u);
  }
  w.Advance(100'000);   // the device says it is done
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_FALSE(w.form.Timer1.Enabled());
  EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));
  EXPECT_EQ(w.form.Sound.FramePos, 0u);
  EXPECT_EQ(w.form.PlayScrollBar->Position(), 0);
  EXPECT_EQ(w.sim.Played().size(), 44100u);
  EXPECT_TRUE(w.services.calls.empty());
}

TEST(Playback, TheUsersStopShowsTheFrameWhereTheSoundHadGot) {
  struct Case {
    const char* name;
    bool eightBit;
    uint64_t frames;   // played before the stop
    uint32_t want;
  };
  const Case cases[] = {
      {"odd count rounded down to even", true, 10001, 10000},
      {"held to the last whole frame", false, 22000, 40004},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    Window w;
    if (c.eightBit) OpenEightBit(w, dir, 44100);
    w.form.PlayButtonClick();
    w.sim.Advance(MicrosFor(c.frames));
    w.form.PlayButtonClick();
    EXPECT_EQ(w.form.Sound.FramePos, c.want);
    EXPECT_EQ(w.form.PlayScrollBar->Position(), static_cast<int>(c.want));
    EXPECT_FALSE(w.form.Devices.Playing);
    EXPECT_TRUE(w.form.Devices.IgnoreNextDone);
    EXPECT_EQ(w.Pump(), 1u);   // the reset's done is swallowed
    EXPECT_FALSE(w.form.Devices.IgnoreNextDone);
    EXPECT_EQ(w.form.Sound.FramePos, c.want);
  }
}

TEST(Playback, APlaybackFromTheMiddleEndsAtTheStart) {
  Window w;
  w.form.PlayScrollBar->setSliderDown(true);
  w.form.PlayScrollBar->setSliderPosition(20000);
  w.form.PlayScrollBar->setSliderDown(false);
  ASSERT_EQ(w.form.Sound.FramePos, 20000u);
  w.form.PlayButtonClick();
  w.Advance(300'000);
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.Sound.FramePos, 0u);
  EXPECT_EQ(w.sim.Played().size(), 44100u - 20000u);
}

TEST(Playback, WhenATickFindsTheWholeSoundPlayedItShowsTheLastFrame) {
  Window w;
  w.form.PlayButtonClick();
  w.sim.Advance(600'000);   // played, its done not yet delivered
  w.form.Timer1.Fire();
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.PlayScrollBar->Position(), 40004 - 1);
  EXPECT_EQ(w.form.Sound.FramePos, 0u);   // still the start of the playback
  EXPECT_EQ(w.Pump(), 1u);
  EXPECT_FALSE(w.form.Devices.IgnoreNextDone);
  EXPECT_EQ(w.form.PlayScrollBar->Position(), 40004 - 1);
}

TEST(Playback, AnOddByteCountEndsNormally) {
  QTemporaryDir dir;
  Window w;
  OpenEightBit(w, dir, 44101);
  w.form.PlayButtonClick();
  w.Advance(1'100'000);
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));
  EXPECT_EQ(w.form.Sound.FramePos, 0u);
}

TEST(Playback, PlayAfterTheMixerPlaysTheSoundSetAsideInItsOwnFormat) {
  QTemporaryDir dir;
  Window w;
  WavHeader stereo;
  stereo.channels = 2;
  stereo.blockAlign = 4;
  const std::vector<uint8_t> bytes = Pcm16(ToneSamples(330.0, 8000), 2);
  w.Open(WriteFile(dir, "stereo.wav", WavBytes(stereo, bytes)));
  w.form.HarmonicBars[1]->SetPosition(0);
  w.form.TransmitClick();
  w.Advance(600'000);
  ASSERT_TRUE(w.form.Sound.SoundSetAside);
  const size_t toneBytes = w.sim.Played().size();

  w.form.PlayButtonClick();
  EXPECT_FALSE(w.form.Sound.SoundSetAside);
  EXPECT_EQ(w.form.Sound.WaveFormat.nChannels, 2);
  w.Advance(300'000);
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(std::vector<uint8_t>(w.sim.Played().begin() + static_cast<ptrdiff_t>(toneBytes),
                                 w.sim.Played().end()),
            bytes);
}

TEST(Playback, AFailedStartSaysWhyAndPutsTheCaptionBack) {
  struct Case {
    const char* name;
    SimOp op;
    ServiceCall box;
    bool hasSound;
  };
  const std::string noDevice = AudioErrorText(AudioResult::BadDevice);
  const Case cases[] = {
      {"open", SimOp::OpenOutput, {"MessageBox", noDevice, "ERROR"}, false},
      {"prepare", SimOp::PrepareOutput, {"MessageBox", noDevice, "wave"}, false},
      {"write", SimOp::Write, {"MessageBox", noDevice, "wave"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.sim.FailCall(c.op, AudioResult::BadDevice);
    w.form.PlayButtonClick();
    EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{c.box});
    EXPECT_FALSE(w.form.Devices.Playing);
    EXPECT_FALSE(w.form.Timer1.Enabled());
    EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));
    EXPECT_EQ(w.form.Devices.HasSound, c.hasSound);
    EXPECT_EQ(w.sim.OpenOutputs(), 0);
    // The next press plays.
    w.services.calls.clear();
    w.form.PlayButtonClick();
    EXPECT_TRUE(w.form.Devices.Playing);
  }
}

TEST(Playback, ASoundTheDeviceCannotPlayOrNoSoundAtAllPlaysNothing) {
  QTemporaryDir dir;
  // Four bits a sample: a sample frame of no whole bytes, refused before anything divides.
  Window w;
  WavHeader nibbles;
  nibbles.bits = 4;
  nibbles.blockAlign = 1;
  w.Open(WriteFile(dir, "nibbles.wav", WavBytes(nibbles, std::vector<uint8_t>(5000, 0x77))));
  w.services.calls.clear();
  w.form.PlayButtonClick();
  EXPECT_EQ(w.services.Boxes(),
            (std::vector<ServiceCall>{{"MessageBox", AudioErrorText(AudioResult::BadFormat), "ERROR"}}));
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));

  // After a failed load no sound is held: the button does nothing at all.
  Window none;
  none.Open(dir.filePath("missing.wav").toStdString());
  none.services.calls.clear();
  none.form.PlayButtonClick();
  EXPECT_TRUE(none.services.calls.empty());
  EXPECT_TRUE(none.sim.Calls().empty());
  EXPECT_EQ(none.form.PlayButton->Caption(), QString::fromUtf8("再生"));
}

TEST(Playback, APositionThatCannotBeReadStopsFollowingIt) {
  Window w;
  w.form.PlayButtonClick();
  w.sim.FailCall(SimOp::Position, AudioResult::Error);
  w.Advance(200'000);
  w.form.Timer1.Fire();
  EXPECT_EQ(w.services.Boxes(), (std::vector<ServiceCall>{{"MessageBox", "error", "time"}}));
  EXPECT_FALSE(w.form.Timer1.Enabled());
}

TEST(Playback, ALostOutputStopsWhereItWasAndSaysSo) {
  Window w;
  w.form.PlayButtonClick();
  w.Advance(200'000);
  w.sim.LoseOutput();
  w.Pump();
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));
  EXPECT_EQ(w.form.Sound.FramePos, 17640u);   // where the sound had got to
  ASSERT_EQ(w.services.Boxes().size(), 1u);
  EXPECT_EQ(w.services.Boxes()[0].caption, "ERROR");
  EXPECT_NE(w.services.Boxes()[0].text.find(AudioErrorText(AudioResult::DeviceLost)),
            std::string::npos);
  w.Advance(500'000);   // nothing more comes, nothing waits
  EXPECT_FALSE(w.form.Devices.IgnoreNextDone);
}

TEST(Playback, TheVolumeButtonsOpenTheVolumeControlWhenIdle) {
  struct Case {
    const char* name;
    bool playing, recording, installed;
    std::vector<ServiceCall> want;
  };
  const ServiceCall missing{"MessageBox",
                            "音量を調節するプログラム (pavucontrol) を起動できません。"
                            "インストールされているか確かめてください。",
                            "ERROR"};
  const Case cases[] = {
      {"idle", false, false, true,
       {{"Start", "pavucontrol --tab=3", ""}, {"Start", "pavucontrol --tab=4", ""}}},
      {"not installed", false, false, false,
       {{"Start", "pavucontrol --tab=3", ""}, missing, {"Start", "pavucontrol --tab=4", ""}, missing}},
      {"playing", true, false, true, {}},
      {"recording", false, true, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.services.startAnswers = {c.installed, c.installed};
    w.form.Devices.Playing = c.playing;
    w.form.Devices.Recording = c.recording;
    w.form.ButtonPlayLevelClick();
    w.form.ButtonRecLevelClick();
    EXPECT_EQ(w.services.calls, c.want);
  }
}

TEST(Playback, ClosingTheWindowWhilePlayingStopsIt) {
  Window w;
  w.form.show();
  w.form.PlayButtonClick();
  w.Advance(100'000);
  EXPECT_TRUE(w.form.close());
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_FALSE(w.form.Timer1.Enabled());
  EXPECT_EQ(w.sim.OpenOutputs(), 0);
  w.Advance(500'000);
  EXPECT_TRUE(w.services.calls.empty());
}

}  // namespace
}  // namespace tonamira

// The current sound through the window: play range, scrolling, ownership while the mixer's
// tone stands in, release and closing.

#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

#include "devices/absent_devices.h"
#include "main/form_main.h"
#include "test_support.h"

namespace tonamira {
namespace {

using testing::App;
using testing::ScriptedServices;
using testing::ServiceCall;

// Drags the play scroll bar's thumb to pos as a user would.
void DragThumb(ScrollBar* bar, int pos) {
  bar->setSliderDown(true);
  bar->setSliderPosition(pos);
  bar->setSliderDown(false);
}

void MakeFormat(FormMain& form, int bits, int channels, int32_t size) {
  form.Sound.RecBits = bits;
  form.Sound.RecChannels = channels;
  form.FillWaveFormat();
  form.Sound.WaveDataSize = size;
}

TEST(SoundState, ResetPlayRangeTable) {
  struct Case {
    const char* name;
    int bits, channels;
    int32_t size;
    int wantMax, wantLarge, wantSmall, wantFft, wantExp;
    bool wantWait, wantFits;
  };
  const Case cases[] = {
      {"startup sound", 16, 1, 44100, 40004, 1024, 204, 2048, 3, false, true},
      {"exact frame", 16, 1, 4096, 0, 1024, 204, 2048, 3, false, true},
      {"1000 frames", 16, 1, 2000, 1488, 128, 25, 256, 0, true, true},
      {"stereo second", 16, 2, 176400, 168208, 1024, 204, 2048, 3, false, true},
      {"below 256 frames", 16, 1, 300, 0, 128, 25, 256, 0, true, false},
      {"block align 0", 4, 1, 44100, 0, 1024, 204, 2048, 3, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App();
    ScriptedServices services;
    FormMain form(services);
    DragThumb(form.PlayScrollBar, 30000);
    MakeFormat(form, c.bits, c.channels, c.size);
    form.ResetPlayRange();
    EXPECT_EQ(form.Sound.FramePos, 0u);
    EXPECT_EQ(form.PlayScrollBar->Position(), 0);
    EXPECT_EQ(form.PlayScrollBar->Min(), 0);
    EXPECT_EQ(form.PlayScrollBar->Max(), c.wantMax);
    EXPECT_EQ(form.PlayScrollBar->LargeChange(), c.wantLarge);
    EXPECT_EQ(form.PlayScrollBar->SmallChange(), c.wantSmall);
    EXPECT_EQ(form.Analysis.FftSize, c.wantFft);
    EXPECT_EQ(form.Analysis.FftSizeExp, c.wantExp);
    EXPECT_EQ(form.CurrentFrameTaken(), c.wantFits);
    const std::vector<ServiceCall> wait = {{"MessageBox", "プログラムを閉じてください", "Wait"}};
    EXPECT_EQ(services.calls, c.wantWait ? wait : std::vector<ServiceCall>{});
  }
}

TEST(SoundState, ScrollingAlignsToWholeSampleFrames) {
  struct Case {
    const char* name;
    int bits, channels;
    int drag;
    uint32_t wantFramePos;
  };
  const Case cases[] = {
      {"stereo 16-bit", 16, 2, 4003, 4000},
      {"mono 16-bit", 16, 1, 4003, 4002},
      {"mono 8-bit", 8, 1, 4003, 4003},
      {"stereo 8-bit", 8, 2, 4003, 4002},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App();
    ScriptedServices services;
    FormMain form(services);
    MakeFormat(form, c.bits, c.channels, 176400);
    form.ResetPlayRange();
    DragThumb(form.PlayScrollBar, c.drag);
    EXPECT_EQ(form.Sound.FramePos, c.wantFramePos);
    EXPECT_TRUE(form.CurrentFrameTaken());
  }
}

TEST(SoundState, ArrowsAndPagesMoveByTheChangesOfTheFrameLength) {
  App();
  ScriptedServices services;
  FormMain form(services);
  form.PlayScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(form.Sound.FramePos, 204u);
  form.PlayScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(form.Sound.FramePos, 1228u);
  form.PlayScrollBar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(form.Sound.FramePos, 40004u);
  EXPECT_TRUE(form.CurrentFrameTaken());
  form.PlayScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);   // at the end
  EXPECT_EQ(form.Sound.FramePos, 40004u);
}

TEST(SoundState, NoSoundSnapsBackAndBusyDevicesLeaveFramePos) {
  App();
  ScriptedServices services;
  FormMain form(services);
  DragThumb(form.PlayScrollBar, 1000);
  ASSERT_EQ(form.Sound.FramePos, 1000u);

  form.Devices.HasSound = false;
  DragThumb(form.PlayScrollBar, 3000);
  EXPECT_EQ(form.PlayScrollBar->Position(), 0);
  EXPECT_EQ(form.Sound.FramePos, 1000u);   // nothing else changes

  form.Devices.HasSound = true;
  for (bool* flag : {&form.Devices.Playing, &form.Devices.Recording}) {
    *flag = true;
    DragThumb(form.PlayScrollBar, 5000);
    EXPECT_EQ(form.PlayScrollBar->Position(), 5000);   // the thumb moves
    EXPECT_EQ(form.Sound.FramePos, 1000u);             // the frame does not
    *flag = false;
  }
}

TEST(SoundState, BlockAlignZeroKeepsFramePosAtZero) {
  App();
  ScriptedServices services;
  FormMain form(services);
  MakeFormat(form, 4, 1, 44100);   // (4 / 8) * 1 = 0 bytes per frame
  form.ResetPlayRange();
  int pos = 777;
  form.PlayScrollBarScroll(pos);
  EXPECT_EQ(form.Sound.FramePos, 0u);
  EXPECT_FALSE(form.CurrentFrameTaken());
  DragThumb(form.PlayScrollBar, 10);
  EXPECT_EQ(form.PlayScrollBar->Position(), 0);
  EXPECT_EQ(form.Sound.FramePos, 0u);
}

TEST(SoundState, ClampPlayRangePullsFramePosDown) {
  App();
  ScriptedServices services;
  FormMain form(services);
  DragThumb(form.PlayScrollBar, 40004);
  ASSERT_EQ(form.Sound.FramePos, 40004u);
  form.Sound.WaveDataSize = 40000;   // shorter sound, same frame length
  form.ClampPlayRange();
  EXPECT_EQ(form.PlayScrollBar->Max(), 40000 - 4096);
  EXPECT_EQ(form.PlayScrollBar->Position(), 40000 - 4096);
  EXPECT_EQ(form.Sound.FramePos, static_cast<uint32_t>(40000 - 4096));
  EXPECT_TRUE(form.CurrentFrameTaken());

  // A sound shorter than the frame: pinned to 0, never a wrapped-around offset.
  form.Sound.WaveDataSize = 1000;
  form.ClampPlayRange();
  EXPECT_EQ(form.PlayScrollBar->Max(), 0);
  EXPECT_EQ(form.Sound.FramePos, 0u);
  EXPECT_FALSE(form.CurrentFrameTaken());
}

TEST(SoundState, SetAsidePutBackAndRelease) {
  App();
  ScriptedServices services;
  FormMain form(services);
  uint8_t* original = form.Sound.WaveData;
  uint8_t* mix = form.Mixer.MixBuffer.data.get();
  original[0] = 0x5a;

  form.SetSoundAside();
  EXPECT_TRUE(form.Sound.SoundSetAside);
  EXPECT_EQ(form.Sound.WaveData, mix);
  EXPECT_EQ(form.Sound.SavedWaveData.data.get(), original);
  EXPECT_EQ(form.Sound.SavedWaveDataSize, 44100);
  // Setting aside again keeps the first kept-aside sound.
  form.Sound.WaveDataSize = 8820;
  form.SetSoundAside();
  EXPECT_EQ(form.Sound.SavedWaveData.data.get(), original);
  EXPECT_EQ(form.Sound.SavedWaveDataSize, 44100);

  // Putting back restores the sound and the format of the last loaded or recorded sound.
  form.Sound.OutChannels = 2;
  form.PutSoundBack();
  EXPECT_FALSE(form.Sound.SoundSetAside);
  EXPECT_EQ(form.Sound.WaveData, original);
  EXPECT_EQ(form.Sound.WaveDataSize, 44100);
  EXPECT_EQ(form.Sound.RecChannels, 2);
  EXPECT_EQ(form.Sound.WaveFormat.nBlockAlign, 4);
  EXPECT_EQ(form.Sound.WaveFormat.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(form.PlayScrollBar->Max(), 44100 - 4 * 2048);
  EXPECT_EQ(form.Sound.WaveData[0], 0x5a);

  // Releasing while the tone is current frees the kept-aside sound, not MixBuffer.
  form.SetSoundAside();
  form.ReleaseSound();
  EXPECT_FALSE(form.Sound.SoundSetAside);
  EXPECT_EQ(form.Sound.WaveData, nullptr);
  EXPECT_FALSE(form.Sound.SavedWaveData);
  EXPECT_FALSE(form.Sound.OwnedWaveData);
  EXPECT_FALSE(form.Sound.PlayHeader);
  EXPECT_FALSE(form.SoundPresent());
  ASSERT_EQ(form.Mixer.MixBuffer.data.get(), mix);
  std::memset(mix, 0x11, form.Mixer.MixBuffer.size);   // still usable (ASan checks)
  EXPECT_EQ(mix[44099], 0x11);
}

TEST(SoundState, ReleaseDevicesAndSoundAndClearSoundRefs) {
  App();
  ScriptedServices services;
  FormMain form(services);
  form.Devices.HasSound = false;
  form.ReleaseDevicesAndSound();   // neither input open nor a sound: nothing
  EXPECT_TRUE(form.SoundPresent());
  form.Devices.HasSound = true;
  form.ReleaseDevicesAndSound();
  EXPECT_FALSE(form.SoundPresent());

  FormMain other(services);
  AbsentAudioDevices devices;
  other.Devices.hWaveOut = devices.CreateOutput();
  other.Devices.hWaveIn = devices.CreateInput();
  other.ClearSoundRefs();
  EXPECT_EQ(other.Devices.hWaveOut, nullptr);
  EXPECT_EQ(other.Devices.hWaveIn, nullptr);
  EXPECT_EQ(other.Sound.WaveData, nullptr);
  EXPECT_FALSE(other.Sound.PlayHeader);
  // Scrolling after the sound is gone never frames anything.
  EXPECT_FALSE(other.CurrentFrameTaken());
}

TEST(SoundState, ClosingTheWindowReleasesEverything) {
  struct Case {
    const char* name;
    bool setAside;
  };
  for (const Case c : {Case{"own sound", false}, Case{"tone current", true}}) {
    SCOPED_TRACE(c.name);
    App();
    ScriptedServices services;
    FormMain form(services);
    form.show();
    form.Timer1.SetEnabled(true);
    if (c.setAside) form.SetSoundAside();
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.Devices.Closing);
    EXPECT_FALSE(form.Timer1.Enabled());
    EXPECT_FALSE(form.SoundPresent());
    EXPECT_FALSE(form.Sound.SoundSetAside);
    EXPECT_FALSE(form.Sound.SavedWaveData);
    EXPECT_FALSE(form.Analysis.Fft.allocated());
    EXPECT_TRUE(services.calls.empty());
  }
}

}  // namespace
}  // namespace tonamira

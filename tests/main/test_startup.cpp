// The start-up sequence: every start value, and the three guarded allocations.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "main/form_main.h"
#include "test_support.h"

namespace tonamira {
namespace {

using testing::App;
using testing::ScriptedServices;
using testing::ServiceCall;

TEST(Startup, StartValues) {
  App();
  ScriptedServices services;
  FormMain form(services);

  EXPECT_TRUE(services.calls.empty());
  EXPECT_EQ(form.Analysis.FftSize, 2048);
  EXPECT_EQ(form.Analysis.FftSizeExp, 3);
  EXPECT_EQ(form.Analysis.CutoffFreq, 30);
  EXPECT_EQ(form.Analysis.CutoffBin, 1u);
  EXPECT_EQ(form.Analysis.VoiceprintBins, 186);
  EXPECT_EQ(form.Analysis.PeakThreshold, 10.0);
  EXPECT_FALSE(form.Analysis.CaptureNoise);
  EXPECT_TRUE(form.Analysis.Fft.allocated());
  EXPECT_EQ(form.Analysis.Fft.capacity, 2048);
  EXPECT_EQ(form.Display.FftZoom, 66.0);
  EXPECT_EQ(form.Display.MaxDisplayFreq, 2000.0);
  EXPECT_EQ(form.Display.WaveMinorGrid, 5);
  EXPECT_EQ(form.Display.WaveMajorGrid, 10);
  EXPECT_EQ(form.Display.SpecMinorGrid, 100);
  EXPECT_EQ(form.Display.SpecMajorGrid, 500);
  EXPECT_EQ(form.Display.VoiceprintColumn, 0);
  EXPECT_EQ(form.Display.VoiceprintWidth, 206);
  EXPECT_EQ(form.Mixer.FadeLength, 2205);
  EXPECT_DOUBLE_EQ(form.Mixer.MixTime, 0.5);
  EXPECT_EQ(form.Mixer.MixBuffer.size, 44100u);
  for (int k = 1; k <= kHarmonics; ++k) {
    EXPECT_EQ(form.Mixer.HarmonicLevel[k], 0);
    EXPECT_EQ(form.Mixer.HarmonicPhase[k], 0.0);
  }

  // The sound: half a second of 16-bit mono silence in a 30 x 44100-byte block.
  EXPECT_EQ(form.Sound.WaveDataSize, 44100);
  EXPECT_EQ(form.Sound.OwnedWaveData.size, 1323000u);
  ASSERT_NE(form.Sound.WaveData, nullptr);
  EXPECT_EQ(form.Sound.WaveData, form.Sound.OwnedWaveData.data.get());
  const std::string zeros(44100, '\0');
  EXPECT_EQ(std::memcmp(form.Sound.WaveData, zeros.data(), zeros.size()), 0);
  EXPECT_EQ(form.Sound.PlayHeader.size, 32u);
  EXPECT_EQ(form.Sound.FramePos, 0u);
  EXPECT_EQ(form.Sound.RecPos, 44100u);
  EXPECT_DOUBLE_EQ(form.Sound.RecChunkSeconds, 0.1);
  EXPECT_EQ(form.Sound.RecBits, 16);
  EXPECT_EQ(form.Sound.RecRate, 44100);
  EXPECT_EQ(form.Sound.RecChannels, 1);
  EXPECT_EQ(form.Sound.OutBits, 16);
  EXPECT_EQ(form.Sound.OutRate, 44100);
  EXPECT_EQ(form.Sound.OutChannels, 1);
  const WaveFormat want{1, 1, 44100, 88200, 2, 16, 0};
  EXPECT_EQ(form.Sound.WaveFormat, want);
  EXPECT_FALSE(form.Sound.SoundSetAside);
  EXPECT_TRUE(form.SoundPresent());
  EXPECT_TRUE(form.CurrentFrameTaken());

  // Flags.
  EXPECT_TRUE(form.Devices.HasSound);
  EXPECT_FALSE(form.Devices.Playing);
  EXPECT_FALSE(form.Devices.Recording);
  EXPECT_FALSE(form.Devices.InputOpen);
  EXPECT_FALSE(form.Devices.InputRunning);
  EXPECT_FALSE(form.Devices.RecStopRequested);
  EXPECT_FALSE(form.Devices.RecStopDone);
  EXPECT_FALSE(form.Devices.IgnoreNextDone);
  EXPECT_FALSE(form.Devices.Closing);
  EXPECT_FALSE(form.Devices.DetectionDrivesMixer);
  EXPECT_EQ(form.Devices.hWaveOut, nullptr);
  EXPECT_EQ(form.Devices.hWaveIn, nullptr);

  // Play scroll bar fitted to the sound.
  EXPECT_EQ(form.PlayScrollBar->Min(), 0);
  EXPECT_EQ(form.PlayScrollBar->Max(), 40004);
  EXPECT_EQ(form.PlayScrollBar->Position(), 0);
  EXPECT_EQ(form.PlayScrollBar->LargeChange(), 1024);
  EXPECT_EQ(form.PlayScrollBar->SmallChange(), 204);

  // Captions.
  EXPECT_EQ(form.LBmixtime->Caption(), "0.5");
  EXPECT_EQ(form.Lbamp->Caption(), "10");
  EXPECT_EQ(form.Label21->Caption(), "");
  EXPECT_EQ(form.freq->Max(), 2000);
  EXPECT_EQ(form.freq->Position(), 100);
  EXPECT_FALSE(form.Timer1.Enabled());

  // Tables and key colours.
  for (int k = 1; k <= kHarmonics; ++k) EXPECT_EQ(form.HarmonicBars[k], form.TrackBarsByNumber[k]);
  for (int j = 1; j <= kHarmonicLabelCount; ++j)
    EXPECT_EQ(form.HarmonicLabels[j], form.LabelsByNumber[j]);
  for (int i = 1; i <= kKeyCount; ++i) {
    EXPECT_EQ(form.KeyPanels[i], form.PanelsByNumber[i]);
    EXPECT_EQ(form.KeyPanels[i]->Color(), IsWhiteKey(i) ? kWhite : kBlack) << i;
  }
  EXPECT_EQ(form.Mixer.KeyFreq[1], 65);
  EXPECT_EQ(form.Mixer.KeyFreq[34], 440);
  EXPECT_EQ(form.Mixer.KeyFreq[60], 1976);
}

TEST(Startup, MixBufferFailureStopsBeforeTablesAndSound) {
  App();
  ScriptedServices services;
  FormMain form(services, [](std::string_view name) { return name == "MixBuffer"; });
  EXPECT_EQ(services.calls, (std::vector<ServiceCall>{{"MessageBox", "No Memory", "ERROR"}}));
  EXPECT_FALSE(form.Mixer.MixBuffer);
  // Steps before the allocation are done ...
  EXPECT_EQ(form.Analysis.FftSize, 2048);
  EXPECT_EQ(form.Mixer.FadeLength, 2205);
  EXPECT_EQ(form.LBmixtime->Caption(), "0.5");
  EXPECT_EQ(form.Lbamp->Caption(), "10");
  EXPECT_EQ(form.HarmonicBars[1], form.TrackBarsByNumber[1]);
  // ... every later one is not.
  EXPECT_EQ(form.Label21->Caption(), "8888");
  for (int i = 1; i <= kKeyCount; ++i) EXPECT_EQ(form.KeyPanels[i], nullptr);
  for (int j = 1; j <= kHarmonicLabelCount; ++j) EXPECT_EQ(form.HarmonicLabels[j], nullptr);
  EXPECT_EQ(form.Mixer.KeyFreq[34], 0);
  EXPECT_EQ(form.Sound.WaveData, nullptr);
  EXPECT_FALSE(form.Sound.PlayHeader);
  EXPECT_FALSE(form.Devices.HasSound);
  EXPECT_EQ(form.Sound.WaveDataSize, 0);
  EXPECT_EQ(form.Analysis.VoiceprintBins, 0);
  EXPECT_FALSE(form.SoundPresent());
  EXPECT_FALSE(form.CurrentFrameTaken());
}

TEST(Startup, WaveDataAndPlayHeaderFailures) {
  struct Case {
    const char* block;
    const char* message;
  };
  const Case cases[] = {{"WaveData", "No pwavedata"}, {"PlayHeader", "No pwaveheader"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.block);
    App();
    ScriptedServices services;
    const std::string block = c.block;
    FormMain form(services, [&](std::string_view name) { return name == block; });
    EXPECT_EQ(services.calls, (std::vector<ServiceCall>{{"MessageBox", c.message, "ERROR"}}));
    // The sound buffer is released again when its header fails.
    EXPECT_EQ(form.Sound.WaveData, nullptr);
    EXPECT_FALSE(form.Sound.OwnedWaveData);
    EXPECT_FALSE(form.Sound.PlayHeader);
    EXPECT_FALSE(form.SoundPresent());
    EXPECT_FALSE(form.Devices.HasSound);
    EXPECT_EQ(form.Sound.WaveDataSize, 0);
    // Everything before the sound buffer was set up.
    EXPECT_EQ(form.Mixer.MixBuffer.size, 44100u);
    EXPECT_EQ(form.KeyPanels[60], form.PanelsByNumber[60]);
    EXPECT_EQ(form.Mixer.KeyFreq[34], 440);
    EXPECT_EQ(form.Label21->Caption(), "");
    // The play range was never fitted.
    EXPECT_EQ(form.PlayScrollBar->Max(), 100);
    EXPECT_EQ(form.PlayScrollBar->LargeChange(), 10);
    EXPECT_EQ(form.PlayScrollBar->SmallChange(), 2);
    // Scrolling with no sound snaps back to 0.
    int pos = 50;
    form.PlayScrollBarScroll(pos);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(form.Sound.FramePos, 0u);
  }
}

TEST(Startup, FftArrayFailureIsReportedAndStartupGoesOn) {
  const char* names[] = {"FftMag", "NoiseSpectrum", "FftInput", "FftWork", "FftOut"};
  for (const char* n : names) {
    SCOPED_TRACE(n);
    App();
    ScriptedServices services;
    const std::string failing = n;
    FormMain form(services, [&](std::string_view name) { return name == failing; });
    EXPECT_EQ(services.calls, (std::vector<ServiceCall>{{"MessageBox", "No memory", "ERROR"}}));
    EXPECT_FALSE(form.Analysis.Fft.allocated());
    EXPECT_TRUE(form.SoundPresent());
    EXPECT_EQ(form.PlayScrollBar->Max(), 40004);
    EXPECT_EQ(form.Analysis.VoiceprintBins, 186);
  }
}

TEST(Startup, AllocationNamesAskedInOrder) {
  App();
  ScriptedServices services;
  std::vector<std::string> asked;
  FormMain form(services, [&](std::string_view name) {
    asked.emplace_back(name);
    return false;
  });
  const std::vector<std::string> want = {"FftMag",  "NoiseSpectrum", "FftInput",
                                         "FftWork", "FftOut",        "MixBuffer",
                                         "WaveData", "PlayHeader"};
  EXPECT_EQ(asked, want);
}

}  // namespace
}  // namespace tonamira

// The mixer and the piano keys in the window: what the bars, the fundamental, the volume and
// the length do, the tone that "ミキサー" makes the current sound, the analysed harmonics
// that move the bars, and the key clicks.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "analysis/rounding.h"
#include "synth/tone.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::ServiceCall;
using testing::Window;

// Sample n of the current sound, 16-bit mono.
int16_t SampleAt(const FormMain& form, int n) {
  int16_t v = 0;
  std::memcpy(&v, form.Sound.WaveData + 2 * n, 2);
  return v;
}

// Drags harmonic bar k to a level as a user would.
void SetLevel(FormMain& form, int k, int level) {
  form.HarmonicBars[k]->SetPosition(100 - level);
}

// Writes a tone of f0 with the given harmonic amplitudes into the start-up sound (16-bit
// mono, 44100 Hz) and redraws it, as scrolling to it would.
void ShowTone(FormMain& form, double f0, std::initializer_list<double> amplitudes,
              double secondPhase = 0.0) {
  for (int n = 0; n < 22050; ++n) {
    double v = 0.0;
    int h = 1;
    for (double a : amplitudes) {
      v += a * std::sin(kTwoPi * f0 * h * n / 44100.0 + (h == 2 ? secondPhase : 0.0));
      ++h;
    }
    const auto s = static_cast<int16_t>(std::lround(v));
    std::memcpy(form.Sound.WaveData + 2 * n, &s, 2);
  }
  form.RedrawAll();
}

TEST(Mixer, StartValuesShowOnTheControls) {
  Window w;
  EXPECT_EQ(w.form.Lbamp->Caption(), "10");
  EXPECT_EQ(w.form.LBmixtime->Caption(), "0.5");
  for (int j = 1; j <= kHarmonicLabelCount; ++j)
    EXPECT_EQ(w.form.HarmonicLabels[j]->Caption(), QString::number(100 * (2 * j - 1)));
}

TEST(Mixer, TheToneBecomesTheCurrentSound) {
  Window w;
  uint8_t* original = w.form.Sound.WaveData;
  SetLevel(w.form, 1, 100);
  w.form.TransmitClick();
  EXPECT_TRUE(w.form.Sound.SoundSetAside);
  EXPECT_EQ(w.form.Sound.WaveData, w.form.Mixer.MixBuffer.data.get());
  EXPECT_EQ(w.form.Sound.SavedWaveData.data.get(), original);
  EXPECT_EQ(w.form.Sound.WaveDataSize, 44100);
  EXPECT_FALSE(w.form.Devices.DetectionDrivesMixer);
  // 1000 sin(2 pi 100 n / 44100) in the body, faded by g^2 over the last 2204 samples.
  for (int n : {0, 1, 110, 221, 19845}) {
    EXPECT_EQ(SampleAt(w.form, n), RoundInt(10.0 * std::sin(kTwoPi * 100.0 * n / 44100.0) * 100.0))
        << n;
  }
  const int n = 22049;
  const double g = (22050.0 - n) / 2205.0;
  EXPECT_EQ(SampleAt(w.form, n),
            RoundInt(10.0 * g * g * std::sin(kTwoPi * 100.0 * n / 44100.0) * 100.0));
  // The tone's first frame is analysed: 100 Hz, its key marked.
  EXPECT_EQ(w.form.LbfftValue->Caption(), "100");
  // The tone plays: the device hears exactly its bytes, and the button stops it meanwhile.
  EXPECT_TRUE(w.form.Devices.Playing);
  EXPECT_EQ(w.form.PlayButton->Caption(), "停止");
  w.Advance(600'000);
  EXPECT_FALSE(w.form.Devices.Playing);
  EXPECT_EQ(w.sim.Played(), std::vector<uint8_t>(w.form.Mixer.MixBuffer.data.get(),
                                                 w.form.Mixer.MixBuffer.data.get() + 44100));

  // A second tone keeps the sound set aside by the first.
  w.form.TransmitClick();
  EXPECT_EQ(w.form.Sound.SavedWaveData.data.get(), original);
  EXPECT_EQ(w.form.Sound.SavedWaveDataSize, 44100);
}

TEST(Mixer, ALoudToneLowersTheVolumeTheUserSees) {
  Window w;
  SetLevel(w.form, 1, 100);
  w.form.volume->SetPosition(300);
  w.form.TransmitClick();
  EXPECT_EQ(w.form.volume->Position(), 240);
  EXPECT_EQ(w.form.Lbamp->Caption(), "240");
  int peak = 0;
  for (int n = 0; n < 22050; ++n) peak = std::max(peak, std::abs(int{SampleAt(w.form, n)}));
  EXPECT_EQ(peak, 24000);
}

TEST(Mixer, HarmonicsAboveTheCountSpringBack) {
  struct Case {
    int freq;
    int count;
  };
  for (const Case c : {Case{2000, 11}, Case{1102, 20}, Case{1103, 19}}) {
    SCOPED_TRACE(c.freq);
    Window w;
    w.form.freq->SetPosition(c.freq);
    EXPECT_EQ(w.form.HarmonicCount(), static_cast<uint32_t>(c.count));
    EXPECT_EQ(w.form.Mixer.HarmonicLimit, c.count);
    for (int k = 1; k <= kHarmonics; ++k) {
      SetLevel(w.form, k, 60);
      const bool fits = k <= c.count;
      EXPECT_EQ(w.form.Mixer.HarmonicLevel[k], fits ? 60 : 0) << k;
      EXPECT_EQ(w.form.HarmonicBars[k]->Position(), fits ? 40 : 100) << k;
      EXPECT_EQ(w.form.HarmonicBars[k]->SelStart(), fits ? 40 : 100) << k;
    }
  }
}

TEST(Mixer, TheLengthBarSizesTheToneAndItsFade) {
  struct Case {
    int tenths;
    size_t bytes;
    int fade;
    const char* caption;
  };
  for (const Case c : {Case{1, 8820, 441, "0.1"}, Case{30, 264600, 2205, "3"},
                       Case{5, 44100, 2205, "0.5"}, Case{3, 26460, 1323, "0.3"}}) {
    SCOPED_TRACE(c.tenths);
    Window w;
    w.form.TBmixtime->SetPosition(c.tenths == 5 ? 6 : c.tenths);
    w.form.TBmixtime->SetPosition(c.tenths);
    EXPECT_EQ(w.form.Mixer.MixBuffer.size, c.bytes);
    EXPECT_EQ(w.form.Mixer.FadeLength, c.fade);
    EXPECT_EQ(w.form.LBmixtime->Caption(), c.caption);
    SetLevel(w.form, 1, 100);
    w.form.TransmitClick();
    EXPECT_EQ(w.form.Sound.WaveDataSize, static_cast<int32_t>(c.bytes));
  }
  // While a device runs the bar goes back to the length in use.
  Window w;
  w.form.Devices.Playing = true;
  w.form.TBmixtime->SetPosition(20);
  EXPECT_EQ(w.form.TBmixtime->Position(), 5);
  EXPECT_EQ(w.form.Mixer.MixBuffer.size, 44100u);
}

TEST(Mixer, AFailedGrowthKeepsTheBufferAndTheToneWithinIt) {
  int allowed = 1;   // the start-up buffer may be made; the next one fails
  Window w([&](std::string_view name) { return name == "MixBuffer" && allowed-- <= 0; });
  w.form.TBmixtime->SetPosition(30);
  EXPECT_EQ(w.services.Boxes(), (std::vector<ServiceCall>{{"MessageBox", "No Memory", "ERROR"}}));
  EXPECT_EQ(w.form.Mixer.MixBuffer.size, 44100u);
  EXPECT_DOUBLE_EQ(w.form.Mixer.MixTime, 0.5);
  EXPECT_EQ(w.form.Mixer.FadeLength, 2205);
  EXPECT_EQ(w.form.LBmixtime->Caption(), "3");   // already showing the new length
  SetLevel(w.form, 1, 100);
  w.form.TransmitClick();   // the bar says 3 s; the tone is what the buffer holds
  EXPECT_EQ(w.form.Sound.WaveDataSize, 44100);
}

TEST(Mixer, ASilentToneFindsNoPitchAndTheLevelsGo) {
  Window w;
  SetLevel(w.form, 1, 100);
  SetLevel(w.form, 2, 50);
  w.form.Mixer.HarmonicPhase[2] = 1.5;
  w.form.volume->SetPosition(0);
  w.form.TransmitClick();
  EXPECT_TRUE(w.form.LbfftValue->Caption().isEmpty());
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[1], 0);
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[2], 0);
  EXPECT_EQ(w.form.Mixer.HarmonicPhase[2], 1.5);
}

TEST(Mixer, ResetClearsLevelsAndPhasesOnly) {
  Window w;
  SetLevel(w.form, 3, 70);
  w.form.Mixer.HarmonicPhase[3] = 0.7;
  w.form.freq->SetPosition(440);
  w.form.volume->SetPosition(50);
  w.form.resetClick();
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[3], 0);
  EXPECT_EQ(w.form.Mixer.HarmonicPhase[3], 0.0);
  EXPECT_EQ(w.form.HarmonicBars[3]->Position(), 100);
  EXPECT_EQ(w.form.freq->Position(), 440);
  EXPECT_EQ(w.form.volume->Position(), 50);
  EXPECT_EQ(w.form.TBmixtime->Position(), 5);
}

TEST(Mixer, DetectionsMoveTheBarsOnlyWhileTheMixerFollows) {
  struct Case {
    const char* name;
    bool follows;
    int want1, want2, want3, want7;
  };
  for (const Case c : {Case{"following", true, 100, 50, 25, 0},
                       Case{"not following", false, 0, 0, 0, 7}}) {
    SCOPED_TRACE(c.name);
    Window w;
    SetLevel(w.form, 7, 7);
    w.form.Devices.DetectionDrivesMixer = c.follows;
    ShowTone(w.form, 220.0, {8000.0, 4000.0, 2000.0});
    ASSERT_EQ(w.form.LbfftValue->Caption(), "220");
    // Heights of a windowed spectrum between bins: about the tone's 100, 50, 25.
    EXPECT_EQ(w.form.Mixer.HarmonicLevel[1], c.want1);
    EXPECT_NEAR(w.form.Mixer.HarmonicLevel[2], c.want2, 6);
    EXPECT_NEAR(w.form.Mixer.HarmonicLevel[3], c.want3, 6);
    // Harmonics the detection did not find end at level 0 while following.
    EXPECT_EQ(w.form.Mixer.HarmonicLevel[7], c.want7);
    EXPECT_EQ(w.form.HarmonicBars[7]->Position(), 100 - c.want7);
    EXPECT_EQ(w.form.freq->Position(), c.follows ? 220 : 100);
  }
}

TEST(Mixer, AHarmonicAboveTheOldCountWaitsForTheNextDetection) {
  Window w;
  w.form.freq->SetPosition(2000);   // 11 harmonics at 44100 Hz
  w.form.Devices.DetectionDrivesMixer = true;
  // About 200 Hz (bin 10 of a 2048-sample frame exactly) with its fifteenth harmonic.
  const double f0 = 10 * 44100.0 / 2048.0;
  ShowTone(w.form, f0, {8000.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4000.0});
  ASSERT_EQ(w.form.LbfftValue->Caption(), "215");
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[15], 0);   // measured against 2000 Hz
  EXPECT_EQ(w.form.freq->Position(), 215);
  w.form.RedrawAll();                              // the next frame, now at 215 Hz
  EXPECT_GT(w.form.Mixer.HarmonicLevel[15], 0);
}

TEST(Mixer, MixerAfterFollowingResynthesisesTheHeardHarmonicsWithTheirPhases) {
  Window w;
  w.form.Devices.DetectionDrivesMixer = true;
  // Harmonics on bins 10 and 20 of the frame, the second one a radian ahead.
  const double f0 = 10 * 44100.0 / 2048.0;
  ShowTone(w.form, f0, {8000.0, 4000.0}, 1.0);
  w.form.TransmitClick();
  EXPECT_FALSE(w.form.Devices.DetectionDrivesMixer);
  EXPECT_EQ(w.form.freq->Position(), 215);
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[1], 100);
  EXPECT_NEAR(w.form.Mixer.HarmonicLevel[2], 50, 2);
  // The phases: the fundamental's own, from the frame's first sample (the sine starts at 0),
  // and the second's relative to it.
  EXPECT_NEAR(w.form.Mixer.HarmonicPhase[1], 0.0, 0.05);
  EXPECT_NEAR(w.form.Mixer.HarmonicPhase[2], 1.0, 0.05);
  // The tone made from them shows the heard pitch.
  EXPECT_EQ(w.form.LbfftValue->Caption(), "215");
}

TEST(Keyboard, AKeyTunesTheMixerAndPlaysItsNote) {
  Window w;
  ASSERT_EQ(w.form.Mixer.HarmonicLevel[1], 0);
  w.form.Devices.DetectionDrivesMixer = true;
  w.form.Panel1Click(w.form.KeyPanels[34]);
  EXPECT_EQ(w.form.freq->Position(), 440);
  EXPECT_EQ(w.form.Mixer.HarmonicLevel[1], 100);
  EXPECT_EQ(w.form.HarmonicBars[1]->Position(), 0);
  EXPECT_FALSE(w.form.Devices.DetectionDrivesMixer);
  // The tone's first frame was analysed: the read-out shows the detected pitch and key 34
  // is marked.
  EXPECT_TRUE(w.form.Sound.SoundSetAside);
  EXPECT_EQ(w.form.LbfftValue->Caption(), "440");
  EXPECT_EQ(w.form.KeyPanels[34]->Color(), kRed);

  // A narrowed range holds freq at its maximum, though the read-out first shows the key.
  Window narrow;
  narrow.form.freq->SetMax(1000);
  narrow.form.Devices.Playing = true;   // nothing is played or analysed
  narrow.form.Panel1Click(narrow.form.KeyPanels[60]);
  EXPECT_EQ(narrow.form.freq->Position(), 1000);
  EXPECT_EQ(narrow.form.LbfftValue->Caption(), "1976");
  EXPECT_FALSE(narrow.form.Sound.SoundSetAside);
}

}  // namespace
}  // namespace tonamira

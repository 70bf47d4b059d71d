// The harmonic tone mixer and the piano keys: the twenty level bars, the fundamental, the
// volume and the length, "ミキサー" and "リセット", the key clicks, and the analysed
// harmonics that drive the mixer while a played or recorded sound is analysed. The rules are
// the synth core's (src/synth); these handlers apply them to the controls.

#include <QString>

#include <algorithm>
#include <span>

#include "main/form_main.h"
#include "synth/mixer.h"
#include "synth/peaks_to_mixer.h"
#include "synth/tone.h"

namespace tonamira {

uint32_t FormMain::HarmonicCount() const {
  return ::tonamira::HarmonicCount(Sound.WaveFormat.nSamplesPerSec, freq->Position());
}

void FormMain::UpdateHarmonicLabels() {
  const auto texts = HarmonicLabelFrequencies(freq->Position());
  for (int j = 1; j <= kHarmonicLabelCount; ++j)
    if (HarmonicLabels[j] != nullptr) HarmonicLabels[j]->SetCaption(QString::number(texts[j]));
}

void FormMain::ShowHarmonicBars() {
  for (int k = 1; k <= kHarmonics; ++k) {
    TrackBar* bar = HarmonicBars[k];
    if (bar == nullptr) continue;
    // Moving the bar runs TrackBar1Change, which may send it back to the bottom.
    bar->SetPosition(BarPositionForLevel(Mixer.HarmonicLevel[k]));
    bar->SetSelStart(bar->Position());
  }
}

void FormMain::TrackBar1Change(TrackBar* sender) {
  int k = 1;
  while (k <= kHarmonics && HarmonicBars[k] != sender) ++k;
  if (k > kHarmonics) return;
  const BarChange change = HarmonicBarChanged(k, sender->Position(), HarmonicCount());
  if (change.springBack) {
    // Runs this handler once more for the same bar, which then stands at the bottom.
    sender->SetPosition(kBarBottom);
    sender->SetSelStart(kBarBottom);
  } else {
    sender->SetSelStart(sender->Position());
  }
  Mixer.HarmonicLevel[k] = change.level;
}

void FormMain::freqChange() {
  if (Devices.Playing || Devices.Recording) return;
  Mixer.HarmonicLimit = static_cast<int32_t>(HarmonicCount());
  UpdateHarmonicLabels();
}

void FormMain::volumeChange() { Lbamp->SetCaption(QString::number(volume->Position())); }

void FormMain::TBmixtimeChange() {
  if (Devices.Playing || Devices.Recording) {
    TBmixtime->SetPosition(MixTimeTenths(Mixer.MixTime));
    return;
  }
  const MixLength m = MixLengthFor(TBmixtime->Position(), Sound.RecRate);
  LBmixtime->SetCaption(QString::fromStdString(m.caption));
  if (!ResizeMixBuffer(m.bufferBytes)) {
    MessageBox("No Memory", "ERROR");
    return;
  }
  Mixer.MixTime = m.mixTime;
  Mixer.FadeLength = m.fadeLength;
}

bool FormMain::ResizeMixBuffer(size_t bytes) {
  if (Mixer.MixBuffer.size == bytes) return true;
  ByteBlock grown;
  if (!Allocate(grown, bytes, "MixBuffer")) return false;
  std::copy_n(Mixer.MixBuffer.data.get(), std::min(bytes, Mixer.MixBuffer.size), grown.data.get());
  Mixer.MixBuffer = std::move(grown);
  // A tone that is the current sound moves with its buffer, and is no longer than it: its
  // size and play range follow a shorter buffer (a longer one adds only silence after it).
  if (Sound.SoundSetAside) {
    SetSoundAside();
    if (static_cast<size_t>(std::max(Sound.WaveDataSize, 0)) > bytes) {
      Sound.WaveDataSize = static_cast<int32_t>(bytes);
      const uint32_t before = Sound.FramePos;
      ClampPlayRange();
      if (Sound.FramePos != before) {
        PlayScrollBar->SetPosition(static_cast<int>(Sound.FramePos));
        RedrawAll();
      }
    }
  }
  return true;
}

void FormMain::resetClick() {
  ResetHarmonics(Mixer.HarmonicLevel, Mixer.HarmonicPhase);
  ShowHarmonicBars();
}

void FormMain::TransmitClick() {
  if (Devices.DetectionDrivesMixer) ComputeHarmonicPhases();
  MixAndPlay();
}

void FormMain::SynthesizeTone(uint32_t size, uint32_t rate) {
  ToneRecipe recipe;
  recipe.freq = freq->Position();
  recipe.volume = volume->Position();
  recipe.harmonicLimit = static_cast<uint32_t>(std::max(Mixer.HarmonicLimit, 0));
  recipe.fadeLength = Mixer.FadeLength;
  recipe.rate = rate;
  recipe.levels = Mixer.HarmonicLevel;
  recipe.phases = Mixer.HarmonicPhase;
  // Never more than the buffer holds, whatever size says.
  const size_t bytes = std::min<size_t>(size, Mixer.MixBuffer.size);
  const ToneOutcome outcome =
      ::tonamira::SynthesizeTone(recipe, std::span<uint8_t>(Mixer.MixBuffer.data.get(), bytes));
  // The volume the user sees follows a reduction (volumeChange updates its caption).
  if (outcome.VolumeReduced()) volume->SetPosition(outcome.volume);
}

void FormMain::MixAndPlay() {
  if (Devices.Playing || Devices.Recording) return;
  ShowCaption(PlayButton, QT_TR_NOOP("停止"));
  Sound.RecBits = 16;
  Sound.RecRate = static_cast<int32_t>(kToneRate);
  Sound.RecChannels = 1;
  Display.WaveMinorGrid = 5;
  FillWaveFormat();
  ResetFftSettings();
  SetSoundAside();
  Devices.DetectionDrivesMixer = false;
  Sound.WaveDataSize = static_cast<int32_t>(ToneBytes(TBmixtime->Position(), Mixer.MixBuffer.size));
  Mixer.HarmonicLimit = static_cast<int32_t>(HarmonicCount());
  SynthesizeTone(static_cast<uint32_t>(Sound.WaveDataSize), Sound.WaveFormat.nSamplesPerSec);
  PaintBoxSeimonScalePaint();
  ResetPlayRange();
  // A tone the device did not take is not playing: the button says so again.
  if (!PlayBuffer(Sound.WaveData, Sound.FramePos, static_cast<uint32_t>(Sound.WaveDataSize)))
    ShowCaption(PlayButton, QT_TR_NOOP("再生"));
}

// ---------------------------------------------------------------- analysed harmonics

void FormMain::LevelsFromPeaks() {
  const std::optional<int32_t> fundamental = ::tonamira::LevelsFromPeaks(
      Analysis.Detection.peaks, Analysis.Detection.detectedFreq, Mixer.HarmonicLevel);
  // The bars move against the fundamental before this detection; only then does it change.
  ShowHarmonicBars();
  if (fundamental) freq->SetPosition(*fundamental);
}

void FormMain::ClearHarmonicBars() {
  for (int k = 1; k <= kHarmonics; ++k) {
    TrackBar* bar = HarmonicBars[k];
    if (bar == nullptr) continue;
    bar->SetPosition(kBarBottom);
    bar->SetSelStart(bar->Position());
  }
}

void FormMain::ComputeHarmonicPhases() {
  ::tonamira::ComputeHarmonicPhases(Analysis.Detection.peaks, Mixer.HarmonicComplex,
                                    Mixer.HarmonicPhase);
}

// ---------------------------------------------------------------- piano keys

void FormMain::Panel1Click(Panel* sender) {
  int key = 1;
  while (key <= kKeyCount && KeyPanels[key] != sender) ++key;
  if (key > kKeyCount) return;
  RaiseSilentFundamental();
  SelectNote(Mixer.KeyFreq[key]);
}

void FormMain::RaiseSilentFundamental() {
  if (Mixer.HarmonicLevel[1] != 0 || HarmonicBars[1] == nullptr) return;
  HarmonicBars[1]->SetPosition(0);
  HarmonicBars[1]->SetSelStart(HarmonicBars[1]->Position());
  Mixer.HarmonicLevel[1] = kLevelMax;
}

void FormMain::SelectNote(int32_t frequency) {
  Devices.DetectionDrivesMixer = false;
  freq->SetPosition(frequency);
  ShowPitchReadout(frequency);
  UpdateHarmonicLabels();
  RaiseSilentFundamental();
  MixAndPlay();
}

}  // namespace tonamira

// Start-up sequence and shut-down of the window.

#include <QString>

#include <cstring>

#include "analysis/rounding.h"
#include "main/form_main.h"
#include "analysis/frame.h"

namespace tonamira {

void FormMain::FormCreate() {
  Sound.FramePos = 0;
  ClearSoundRefs();
  Devices.HasSound = false;
  Devices.Playing = false;
  Devices.InputOpen = false;
  Devices.Recording = false;
  Devices.InputRunning = false;
  Devices.RecStopRequested = false;
  Devices.RecStopDone = false;
  Devices.Closing = false;
  Sound.SoundSetAside = false;
  Analysis.CaptureNoise = false;

  Sound.RecBits = 16;
  Sound.RecRate = 44100;
  Sound.RecChannels = 1;
  Sound.OutBits = 16;
  Sound.OutRate = 44100;
  Sound.OutChannels = 1;
  Sound.RecChunkSeconds = 0.1;

  Display.WaveMinorGrid = 5;
  Display.WaveMajorGrid = 10;
  Display.SpecMinorGrid = 100;
  Display.SpecMajorGrid = 500;

  Analysis.FftSizeExp = kDefaultFftSizeExp;
  Analysis.FftSize = FftSizeFromExp(Analysis.FftSizeExp);
  // A failure is reported and start-up goes on: the spectrum routines check the arrays.
  if (!AllocFftArrays(Analysis.Fft, Analysis.FftSize, fault_)) MessageBox("No memory", "ERROR");

  Analysis.PeakThreshold = 10.0;
  Display.FftZoom = ScrollBarFftTimes->Max() - ScrollBarFftTimes->Position() + 1;
  Display.MaxDisplayFreq = 2000.0;
  Analysis.CutoffFreq = 30;
  // The divisor is FftSize - 1: 30 Hz maps to bin Round(30 * 2047 / 44100) = 1.
  Analysis.CutoffBin = CutoffBinFor(Analysis.CutoffFreq, Sound.RecRate, Analysis.FftSize);

  BuildHarmonicBarTable();
  for (int k = 1; k <= kHarmonics; ++k) {
    Mixer.HarmonicLevel[k] = 0;
    Mixer.HarmonicPhase[k] = 0.0;
  }
  Mixer.FadeLength = RoundInt(Sound.RecRate * 0.005 * 10.0);
  Mixer.MixTime = TBmixtime->Position() * 0.1;
  FillWaveFormat();
  // 'g' with 15 digits writes 0.5 as "0.5" and 1.0 as "1": no trailing zeros.
  LBmixtime->SetCaption(QString::number(Mixer.MixTime, 'g', 15));
  Lbamp->SetCaption(QString::number(volume->Position()));

  const int32_t mixBytes = RoundInt(TBmixtime->Position() * 88200 / 10.0);
  if (!Allocate(Mixer.MixBuffer, static_cast<size_t>(mixBytes), "MixBuffer")) {
    MessageBox("No Memory", "ERROR");
    return;
  }

  freq->SetMax(2000);
  BuildKeyPanelTable();
  BuildKeyFreqTable();
  ClearKeyMarks();
  BuildHarmonicLabelTable();
  UpdateHarmonicLabels();
  Label21->SetCaption(QString());

  if (!Allocate(Sound.OwnedWaveData, kWaveDataCapacity, "WaveData")) {
    Sound.WaveData = nullptr;
    MessageBox("No pwavedata", "ERROR");
    return;
  }
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  if (!Allocate(Sound.PlayHeader, "PlayHeader")) {
    Sound.OwnedWaveData.Reset();
    Sound.WaveData = nullptr;
    MessageBox("No pwaveheader", "ERROR");
    return;
  }

  Devices.HasSound = true;
  Sound.RecPos = kStartupSoundBytes;
  Sound.WaveDataSize = kStartupSoundBytes;
  std::memset(Sound.WaveData, 0, kStartupSoundBytes);  // half a second of silence
  ResetPlayRange();

  Sound.FramePos = 0;
  Display.VoiceprintColumn = 0;
  Display.VoiceprintWidth = PaintBoxSeimon->width();
  Analysis.VoiceprintBins = DisplayBins(Analysis.FftSize, Sound.RecRate, Display.MaxDisplayFreq);
}

void FormMain::Shutdown() {
  Devices.Closing = true;
  if (Devices.Recording && Devices.InputRunning) RecordToggle();
  if (Devices.Playing) StopPlayback();
  if (Devices.InputOpen || Devices.HasSound) {
    if (Devices.HasSound) CloseOutput();
    if (Devices.InputOpen) CloseInput();
    ReleaseSound();
  }
  FreeFftArrays(Analysis.Fft);
}

void FormMain::FormClose() {
  if (closed_) return;
  // From here on the devices' notifications still on their way change nothing.
  closed_ = true;
  Timer1.SetEnabled(false);
  Shutdown();
  // Whatever the shut-down leaves (a sound held without a device, a take in progress) goes
  // too; a set-aside sound is put back first, so MixBuffer is freed only as itself.
  ReleaseSound();
  Recording.RecBuffer.Take();
  Recording.RecChunk2.Reset();
  Recording.RecHeader2.Reset();
  Devices.hWaveIn.reset();
  Devices.hWaveOut.reset();
  Mixer.MixBuffer.Reset();
}

}  // namespace tonamira

// The current sound: its format, ownership, play range and scrolling.

#include <QString>

#include "main/form_main.h"
#include "sound/sound_buffer.h"

namespace tonamira {

void FormMain::FillWaveFormat() {
  Sound.WaveFormat = ::tonamira::FillWaveFormat(
      FormatSettings{Sound.RecBits, Sound.RecRate, Sound.RecChannels});
}

bool FormMain::SoundPresent() const {
  return Sound.WaveData != nullptr && static_cast<bool>(Sound.PlayHeader);
}

bool FormMain::CurrentFrameFits() const {
  if (!SoundPresent() || Sound.WaveDataSize < 0) return false;
  const size_t capacity =
      Sound.SoundSetAside ? Mixer.MixBuffer.size : Sound.OwnedWaveData.size;
  if (static_cast<size_t>(Sound.WaveDataSize) > capacity) return false;
  const uint16_t block = Sound.WaveFormat.nBlockAlign;
  return block != 0 && Analysis.FftSize > 0 &&
         FrameFits(static_cast<uint32_t>(Sound.WaveDataSize), Sound.FramePos, block,
                   static_cast<uint32_t>(Analysis.FftSize));
}

void FormMain::ResetPlayRange() {
  Sound.FramePos = 0;
  PlayScrollBar->SetPosition(0);
  const PlayRange r = ComputePlayRange(Sound.WaveDataSize, Sound.WaveFormat.nBlockAlign,
                                       Analysis.FftSize, Analysis.FftSizeExp);
  Analysis.FftSize = r.fftSize;
  Analysis.FftSizeExp = r.fftSizeExp;
  if (r.fellBack) MessageBox("プログラムを閉じてください", "Wait");
  // A sound too short for even a 256-sample frame (or with no block alignment) gets the
  // range 0..0 and no frame: the redraw shows the grids and analyses nothing.
  frameFits_ = r.frameFits;
  PlayScrollBar->SetMax(r.max);
  PlayScrollBar->SetLargeChange(r.largeChange);
  PlayScrollBar->SetSmallChange(r.smallChange);
  RedrawAll();
}

void FormMain::ClampPlayRange() {
  const ClampedRange c = ::tonamira::ClampPlayRange(Sound.WaveDataSize, Sound.WaveFormat.nBlockAlign,
                                        Analysis.FftSize, PlayScrollBar->Position());
  if (c.moveFramePos) Sound.FramePos = c.framePos;
  // The bar pulls its own position down to a maximum below it.
  PlayScrollBar->SetMax(c.max);
}

void FormMain::PlayScrollBarScroll(int& scrollPos) {
  if (Devices.Playing || Devices.Recording) return;
  if (!Devices.HasSound) {
    scrollPos = 0;
    return;
  }
  Sound.FramePos = AlignFramePos(scrollPos, Sound.WaveFormat.nBlockAlign);
  PlayScrollBar->SetPosition(static_cast<int>(Sound.FramePos));
  RedrawAll();
}

void FormMain::SetSoundAside() {
  if (!Sound.SoundSetAside) {
    Sound.SavedWaveData = std::move(Sound.OwnedWaveData);
    Sound.OwnedWaveData.Reset();
    Sound.SavedWaveDataSize = Sound.WaveDataSize;
    Sound.SoundSetAside = true;
  }
  Sound.WaveData = Mixer.MixBuffer.data.get();
}

void FormMain::PutSoundBack() {
  if (!Sound.SoundSetAside) return;
  Sound.SoundSetAside = false;
  Sound.OwnedWaveData = std::move(Sound.SavedWaveData);
  Sound.SavedWaveData.Reset();
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  Sound.WaveDataSize = Sound.SavedWaveDataSize;
  Sound.RecBits = Sound.OutBits;
  Sound.RecRate = Sound.OutRate;
  Sound.RecChannels = Sound.OutChannels;
  FillWaveFormat();
  ResetPlayRange();
  RedrawAll();
}

void FormMain::RestoreSetAsideForRelease() {
  if (!Sound.SoundSetAside) return;
  Sound.OwnedWaveData = std::move(Sound.SavedWaveData);
  Sound.SavedWaveData.Reset();
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  Sound.WaveDataSize = Sound.SavedWaveDataSize;
  Sound.SoundSetAside = false;
}

void FormMain::ReleaseSound() {
  RestoreSetAsideForRelease();
  Sound.PlayHeader.Reset();
  Sound.OwnedWaveData.Reset();
  Sound.WaveData = nullptr;
}

void FormMain::ReleaseDevicesAndSound() {
  if (!Devices.InputOpen && !Devices.HasSound) return;
  if (Devices.InputOpen && !Devices.InputRunning) CloseInput();
  if (Devices.HasSound) CloseOutput();
  ReleaseSound();
}

// Forgets the device handles and the sound. Nothing is closed; blocks still held are freed
// rather than dropped, so forgetting them never leaks.
void FormMain::ClearSoundRefs() {
  Devices.hWaveOut = 0;
  Devices.hWaveIn = 0;
  Sound.PlayHeader.Reset();
  Sound.OwnedWaveData.Reset();
  Sound.WaveData = nullptr;
}

}  // namespace tonamira

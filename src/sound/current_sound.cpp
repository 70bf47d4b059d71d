#include "sound/current_sound.h"

#include <algorithm>
#include <utility>

namespace tonamira {

void CurrentSound::FillWaveFormat() {
  WaveFormat = ::tonamira::FillWaveFormat(FormatSettings{RecBits, RecRate, RecChannels});
}

std::span<const uint8_t> CurrentSound::Bytes() const {
  if (!Present() || WaveDataSize <= 0) return {};
  const size_t capacity = SoundSetAside ? toneSize_ : OwnedWaveData.size;
  return {WaveData, std::min(capacity, static_cast<size_t>(WaveDataSize))};
}

PcmFrame CurrentSound::FrameAt(uint64_t pos, int32_t length) const {
  return PcmFrame{Bytes(), pos, length, WaveFormat.nChannels, WaveFormat.wBitsPerSample,
                  WaveFormat.nBlockAlign};
}

void CurrentSound::SetAside(std::span<uint8_t> tone) {
  if (!SoundSetAside) {
    SavedWaveData = std::move(OwnedWaveData);
    OwnedWaveData.Reset();
    SavedWaveDataSize = WaveDataSize;
    SoundSetAside = true;
  }
  WaveData = tone.data();
  toneSize_ = tone.size();
}

void CurrentSound::RestoreSetAsideForRelease() {
  if (!SoundSetAside) return;
  OwnedWaveData = std::move(SavedWaveData);
  SavedWaveData.Reset();
  WaveData = OwnedWaveData.data.get();
  WaveDataSize = SavedWaveDataSize;
  SoundSetAside = false;
  toneSize_ = 0;
}

bool CurrentSound::PutBack() {
  if (!SoundSetAside) return false;
  RestoreSetAsideForRelease();
  RecBits = OutBits;
  RecRate = OutRate;
  RecChannels = OutChannels;
  FillWaveFormat();
  return true;
}

void CurrentSound::Release() {
  RestoreSetAsideForRelease();
  PlayHeader.Reset();
  OwnedWaveData.Reset();
  WaveData = nullptr;
}

void CurrentSound::ClearRefs() {
  PlayHeader.Reset();
  OwnedWaveData.Reset();
  WaveData = nullptr;
}

PlayRange CurrentSound::ResetPlayRange(int32_t fftSize, int32_t fftSizeExp) {
  FramePos = 0;
  return ComputePlayRange(WaveDataSize, WaveFormat.nBlockAlign, fftSize, fftSizeExp);
}

ClampedRange CurrentSound::ClampPlayRange(int32_t fftSize, int32_t scrollPosition) {
  const ClampedRange c =
      ::tonamira::ClampPlayRange(WaveDataSize, WaveFormat.nBlockAlign, fftSize, scrollPosition);
  if (c.moveFramePos) FramePos = c.framePos;
  return c;
}

void CurrentSound::ScrollTo(int32_t scrollPos) {
  FramePos = AlignFramePos(scrollPos, WaveFormat.nBlockAlign);
}

}  // namespace tonamira

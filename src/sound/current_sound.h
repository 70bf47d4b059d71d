#pragma once
// The one current sound the program holds: its bytes, size and format, the position of the
// analysed frame, the format settings it was made with, and the sound kept aside while the
// tone mixer's tone stands in for it. The rules here are the whole of who owns which block
// and where the frame position may go; the window keeps one CurrentSound and applies the
// results to its controls.
//
// While the mixer's tone is current (SoundSetAside), WaveData points into a block the mixer
// owns and this object owns only the sound kept aside; every release first brings the kept
// sound back, so that it, and never the mixer's block, is what gets freed.

#include <cstdint>
#include <span>

#include "analysis/frame.h"
#include "sound/buffer_header.h"
#include "sound/byte_block.h"
#include "sound/sound_buffer.h"
#include "sound/wave_format.h"

namespace tonamira {

static_assert(kPlayHeaderBytes == 32, "a device buffer header is 32 bytes");

class CurrentSound {
 public:
  ByteBlock OwnedWaveData;          // the block WaveData points into while it owns the sound
  uint8_t* WaveData = nullptr;      // the current sound: OwnedWaveData or, set aside, the tone
  int32_t WaveDataSize = 0;         // bytes
  ::tonamira::WaveFormat WaveFormat;
  uint32_t FramePos = 0;            // byte offset of the analysed frame
  HeaderBlock PlayHeader;           // the device buffer header that goes with every sound
  int32_t RecBits = 0, RecRate = 0, RecChannels = 0;  // format of the current sound
  int32_t OutBits = 0, OutRate = 0, OutChannels = 0;  // the last loaded or recorded sound
  bool SoundSetAside = false;       // the mixer's tone is current; WaveData does not own it
  ByteBlock SavedWaveData;          // the sound kept aside (owned)
  int32_t SavedWaveDataSize = 0;
  uint32_t RecPos = 0;              // bytes recorded so far
  double RecChunkSeconds = 0.0;

  // WaveFormat from RecBits, RecRate and RecChannels.
  void FillWaveFormat();

  // A sound is held: its bytes and its device header both exist.
  bool Present() const { return WaveData != nullptr && static_cast<bool>(PlayHeader); }

  // The current sound's bytes: WaveDataSize of them, but never more than the block that holds
  // them, whatever WaveDataSize says. Empty without a sound.
  std::span<const uint8_t> Bytes() const;

  // The frame of `length` sample frames at byte position pos of the current sound, in its
  // format. Check Readable() before reading it.
  PcmFrame FrameAt(uint64_t pos, int32_t length) const;

  // Makes tone the current sound. The sound current before is kept aside unless one is
  // already kept (a second tone replaces the first; the kept sound stays).
  void SetAside(std::span<uint8_t> tone);
  // Brings the kept sound back in the format of the last loaded or recorded sound
  // (Out* -> Rec*, then FillWaveFormat). False when nothing was kept aside.
  bool PutBack();
  // Brings the kept sound back before a release, without touching the format.
  void RestoreSetAsideForRelease();
  // Frees the sound and its header (bringing a kept sound back first).
  void Release();
  // Forgets the sound and its header; blocks still held are freed, never leaked.
  void ClearRefs();

  // The play range of the sound for a frame length: FramePos goes to 0; the frame length may
  // fall back to 256 when the sound is shorter than one frame.
  PlayRange ResetPlayRange(int32_t fftSize, int32_t fftSizeExp);
  // Refits the range after the length or frame length changed; a frame position beyond the
  // new range is pulled down to it.
  ClampedRange ClampPlayRange(int32_t fftSize, int32_t scrollPosition);
  // FramePos for a scroll position: whole sample frames only.
  void ScrollTo(int32_t scrollPos);

 private:
  size_t toneSize_ = 0;   // size of the tone's block while it is current
};

}  // namespace tonamira

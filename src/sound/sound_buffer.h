#pragma once
// The rules that fit the play scroll bar and the analysed frame to the current sound. Pure
// functions over sizes and positions; the window applies the results to its controls.
//
// Sizes are bytes of sound data; a frame is fftSize sample frames of blockAlign bytes each.
// A frame is framed only when all of its bytes lie inside the sound: when not even a
// 256-sample frame fits, or the block alignment is 0 (a malformed format), the scroll range
// is pinned to 0..0 and `frameFits` is false, so the caller draws no frame and analyses
// nothing instead of reading before or past the buffer.

#include <cstdint>

#include "analysis/frame.h"

namespace tonamira {

struct PlayRange {
  int32_t fftSize = 0;        // frame length to use from now on (may have fallen back)
  int32_t fftSizeExp = 0;
  bool fellBack = false;      // the sound was shorter than one frame: show the "Wait" box
  int32_t max = 0;            // scroll bar maximum (minimum is 0); never negative
  int32_t largeChange = 0;    // fftSize / 2
  int32_t smallChange = 0;    // fftSize / 10
  bool frameFits = false;     // a whole frame fits at position 0
};

// The play range for a sound of waveDataSize bytes with the given block alignment and frame
// length: range = size - blockAlign * fftSize; when that is negative the frame length falls
// back to 256 (exponent 0) and the range is measured again.
PlayRange ComputePlayRange(int32_t waveDataSize, uint16_t blockAlign, int32_t fftSize,
                           int32_t fftSizeExp);

struct ClampedRange {
  int32_t max = 0;            // new scroll bar maximum, never negative
  bool moveFramePos = false;  // the frame position lay beyond the new range
  uint32_t framePos = 0;      // the frame position to take when moveFramePos is set
};

// Refits the scroll maximum after the frame length or size changed without resetting the
// position: range = size - blockAlign * fftSize; a position beyond it is pulled down to it.
ClampedRange ClampPlayRange(int32_t waveDataSize, uint16_t blockAlign, int32_t fftSize,
                            int32_t scrollPosition);

// The frame position of a scroll position: pos - pos mod blockAlign. Block align 0 has no
// whole frames, so the position stays at 0. Negative positions (a scroll bar never gives
// them) are treated as 0.
uint32_t AlignFramePos(int32_t scrollPos, uint16_t blockAlign);

}  // namespace tonamira

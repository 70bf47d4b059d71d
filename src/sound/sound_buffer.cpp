#include "sound/sound_buffer.h"

#include <algorithm>

namespace tonamira {

namespace {

// size - blockAlign * frameLen in 64 bits, so no operand combination can overflow.
int64_t RangeFor(int32_t waveDataSize, uint16_t blockAlign, int32_t frameLen) {
  return static_cast<int64_t>(waveDataSize) -
         static_cast<int64_t>(blockAlign) * static_cast<int64_t>(frameLen);
}

}  // namespace

PlayRange ComputePlayRange(int32_t waveDataSize, uint16_t blockAlign, int32_t fftSize,
                           int32_t fftSizeExp) {
  PlayRange r;
  r.fftSize = fftSize;
  r.fftSizeExp = fftSizeExp;
  int64_t range = RangeFor(waveDataSize, blockAlign, fftSize);
  if (range < 0) {
    r.fftSize = kMinFftSize;
    r.fftSizeExp = 0;
    r.fellBack = true;
    range = RangeFor(waveDataSize, blockAlign, kMinFftSize);
  }
  r.frameFits = blockAlign != 0 && range >= 0;
  r.max = r.frameFits ? static_cast<int32_t>(std::min<int64_t>(range, INT32_MAX)) : 0;
  r.largeChange = r.fftSize / 2;
  r.smallChange = r.fftSize / 10;
  return r;
}

ClampedRange ClampPlayRange(int32_t waveDataSize, uint16_t blockAlign, int32_t fftSize,
                            int32_t scrollPosition) {
  ClampedRange c;
  const int64_t range = RangeFor(waveDataSize, blockAlign, fftSize);
  const bool fits = blockAlign != 0 && range >= 0;
  c.max = fits ? static_cast<int32_t>(std::min<int64_t>(range, INT32_MAX)) : 0;
  if (c.max < scrollPosition) {
    c.moveFramePos = true;
    c.framePos = static_cast<uint32_t>(c.max);
  }
  return c;
}

uint32_t AlignFramePos(int32_t scrollPos, uint16_t blockAlign) {
  if (blockAlign == 0 || scrollPos <= 0) return 0;
  const uint32_t pos = static_cast<uint32_t>(scrollPos);
  return pos - pos % blockAlign;
}

}  // namespace tonamira

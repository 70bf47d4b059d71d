#include "analysis/frame.h"

#include <algorithm>
#include <limits>

namespace tonamira {

int32_t FftSizeFromExp(int32_t fftSizeExp) {
  return kMinFftSize << std::clamp(fftSizeExp, 0, kMaxFftSizeExp);
}

uint64_t FrameBytes(int n, int bits, int channels) {
  if (n <= 0 || bits <= 0 || channels <= 0) return 0;
  const uint64_t blockBits = static_cast<uint64_t>(channels) * static_cast<uint64_t>(bits);
  uint64_t total = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(n), blockBits / 8, &total))
    return std::numeric_limits<uint64_t>::max();
  return total;
}

bool FrameWithin(uint64_t dataSize, uint64_t offset, int32_t n, uint16_t blockAlign,
                 int32_t bits, int32_t channels) {
  if (n <= 0 || blockAlign == 0 || bits <= 0 || channels <= 0) return false;
  const uint64_t byBlocks = static_cast<uint64_t>(n) * blockAlign;
  const uint64_t byReader = FrameBytes(n, bits, channels);
  const uint64_t span = std::max(byBlocks, byReader);
  // The reader steps by whole bytes per sample; a width below 8 bits reads nothing sound.
  if (byReader == 0 || span > dataSize) return false;
  return offset <= dataSize - span;
}

}  // namespace tonamira

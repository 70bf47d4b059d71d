#pragma once
// One frame of PCM sound as the analysis reads it, the frame lengths the program uses, and
// the test that a frame lies wholly inside the sound it is taken from.
//
// A frame is `length` sample frames starting `offset` bytes into a block of sound (a whole
// sound, a recording chunk, a tone). Samples are 8-bit unsigned around 128 or 16-bit signed
// little-endian, channels interleaved, first channel first. The analysis reads 8- and 16-bit
// frames only, and only when every byte it steps through lies inside the block.

#include <cstdint>
#include <span>

namespace tonamira {

// Frame lengths are 256 * 2^exp sample frames for exp 0 .. 3: 256, 512, 1024, 2048.
inline constexpr int32_t kMinFftSize = 256;
inline constexpr int32_t kMaxFftSizeExp = 3;
inline constexpr int32_t kDefaultFftSizeExp = 3;

// 256 * 2^exp, the exponent held to 0 .. 3.
int32_t FftSizeFromExp(int32_t fftSizeExp);

// The signed 16-bit little-endian sample whose first byte is at p.
inline int16_t Sample16(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Whether bits are a sample width the analysis reads (8 or 16).
constexpr bool AnalysableBits(int bits) { return bits == 8 || bits == 16; }

// Bytes of one frame of n sample frames as the frame reader steps through it:
// n * (channels * bits / 8), in 64 bits. Zero when any argument is not positive; saturates
// at the largest 64-bit value instead of wrapping.
uint64_t FrameBytes(int n, int bits, int channels);

// True when a frame of n sample frames at byte offset lies wholly inside a sound of dataSize
// bytes, measured both by the block alignment (how positions step) and by the bytes the
// frame reader steps through (FrameBytes), in 64-bit arithmetic. A zero block alignment, n,
// channel count or sample width frames nothing.
bool FrameWithin(uint64_t dataSize, uint64_t offset, int32_t n, uint16_t blockAlign,
                 int32_t bits, int32_t channels);

struct PcmFrame {
  std::span<const uint8_t> bytes;  // the block the frame is taken from
  uint64_t offset = 0;             // byte offset of the frame's first sample frame
  int32_t length = 0;              // sample frames per channel
  int32_t channels = 1;
  int32_t bits = 16;
  uint16_t blockAlign = 2;         // bytes per sample frame, as the format says

  // True when the analysis may read the frame: 8- or 16-bit samples, wholly inside bytes.
  bool Readable() const {
    return AnalysableBits(bits) &&
           FrameWithin(bytes.size(), offset, length, blockAlign, bits, channels);
  }
  // The frame's first byte; only meaningful when Readable().
  const uint8_t* First() const { return bytes.data() + offset; }
};

}  // namespace tonamira

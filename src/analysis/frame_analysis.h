#pragma once
// One frame from PCM bytes to a detection, the way the window's redraw analyses it: every
// channel is windowed and transformed in turn (so a stereo frame leaves the second channel's
// spectrum behind), then the pitch and level are detected from the last spectrum.

#include <cstdint>

#include "analysis/detection.h"
#include "analysis/fft.h"
#include "analysis/spectrum.h"

namespace tonamira {

struct PcmFrame {
  const uint8_t* data = nullptr;  // first byte of the frame
  int32_t length = 0;             // sample frames
  int32_t bits = 16;              // 8 or 16
  int32_t channels = 1;           // 1 or 2 are analysed per channel; more use the first only
};

// Whether bits are a sample width the analysis reads (8 or 16).
constexpr bool AnalysableBits(int bits) { return bits == 8 || bits == 16; }

// True when a frame of n sample frames at byte offset lies wholly inside a sound of dataSize
// bytes, measured both by the block alignment (how positions step) and by the bytes the
// frame reader steps through (n * channels * bits / 8), in 64-bit arithmetic. A zero block
// alignment, n, channel count or sample width frames nothing.
bool FrameWithin(uint64_t dataSize, uint64_t offset, int32_t n, uint16_t blockAlign,
                 int32_t bits, int32_t channels);

// Windows and transforms the frame's channels into arrays (input, work, out, mag) with the
// plan for frame.length, then runs DetectPitch. The caller guarantees FrameBytes(length,
// bits, channels) readable bytes at frame.data, an accepted plan size and arrays of at least
// `length` entries. Returns DetectPitch's result.
bool AnalyzePcmFrame(const PcmFrame& frame, const FftPlan& plan, FftArrays& arrays,
                     const DetectionSettings& settings, DetectionState& state);

}  // namespace tonamira

// Whether a frame may be read from a sound, whatever its format claims.

#include "analysis/frame_analysis.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tonamira {
namespace {

TEST(FrameWithin, BothTheBlockAlignmentAndTheReaderMustFit) {
  struct Case {
    uint64_t size, offset;
    int32_t n;
    uint16_t block;
    int32_t bits, channels;
    bool want;
  };
  const Case cases[] = {
      {44100, 40004, 2048, 2, 16, 1, true},
      {44100, 40006, 2048, 2, 16, 1, false},
      {8192, 0, 2048, 2, 16, 2, true},     // the reader's 4 bytes per frame decide
      {8191, 0, 2048, 2, 16, 2, false},
      {8192, 0, 2048, 8, 16, 2, false},    // the block alignment decides
      {44100, 0, 2048, 0, 16, 1, false},
      {44100, 0, 2048, 2, 4, 1, false},    // below a byte per sample
      {0xFFFFFFFFull, 0xFFFFF000u, 2048, 2, 16, 1, false},
      {300 * 2, 0, 256, 2, 16, 1, true},
      {255 * 2, 0, 256, 2, 16, 1, false},
      // The playback timer's question: does a whole frame remain from this position?
      {44100, 39004, 2048, 2, 16, 1, true},    // 39004 + 4096 = 43100
      {44100, 40100, 2048, 2, 16, 1, false},   // 44196 > 44100
      {4096, 0, 2048, 2, 16, 1, true},
      {4095, 0, 2048, 2, 16, 1, false},
      // An end that would wrap in 32 bits must not pass as a small end offset.
      {44100, 0xFFFFF000u, 2048, 2, 16, 1, false},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 1, 1, 8, 1, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FrameWithin(c.size, c.offset, c.n, c.block, c.bits, c.channels), c.want)
        << c.size << " " << c.offset << " " << c.block << " " << c.bits << " " << c.channels;
  }
}

}  // namespace
}  // namespace tonamira

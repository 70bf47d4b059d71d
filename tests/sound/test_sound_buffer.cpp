#include "sound/sound_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tonamira {
namespace {

struct RangeCase {
  const char* name;
  int32_t size;
  uint16_t blockAlign;
  int32_t fftSize;
  int32_t fftSizeExp;
  PlayRange want;
};

TEST(ComputePlayRange, Table) {
  const RangeCase cases[] = {
      // The start-up half second of 16-bit mono silence with 2048-sample frames.
      {"startup", 44100, 2, 2048, 3, {2048, 3, false, 40004, 1024, 204, true}},
      // Exactly one frame: the frame fits at 0 and nowhere else.
      {"exact frame", 4096, 2, 2048, 3, {2048, 3, false, 0, 1024, 204, true}},
      // 1000 frames of 16-bit mono: falls back to 256-sample frames.
      {"short sound", 2000, 2, 2048, 3, {256, 0, true, 1488, 128, 25, true}},
      // Stereo: block align 4.
      {"stereo", 176400, 4, 2048, 3, {2048, 3, false, 168208, 1024, 204, true}},
      // A shorter frame length is kept when the sound is long enough.
      {"kept 512", 44100, 2, 512, 1, {512, 1, false, 43076, 256, 51, true}},
      // Shorter than 256 frames: even the fall-back frame does not fit.
      {"below 256 frames", 300, 2, 2048, 3, {256, 0, true, 0, 128, 25, false}},
      {"exactly 256 frames", 512, 2, 2048, 3, {256, 0, true, 0, 128, 25, true}},
      {"empty sound", 0, 2, 2048, 3, {256, 0, true, 0, 128, 25, false}},
      // Block align 0 (malformed format): no whole frame exists.
      {"block align 0", 44100, 0, 2048, 3, {2048, 3, false, 0, 1024, 204, false}},
      // Large block align cannot overflow the range arithmetic.
      {"huge block", 1000, 65535, 2048, 3, {256, 0, true, 0, 128, 25, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PlayRange r = ComputePlayRange(c.size, c.blockAlign, c.fftSize, c.fftSizeExp);
    EXPECT_EQ(r.fftSize, c.want.fftSize);
    EXPECT_EQ(r.fftSizeExp, c.want.fftSizeExp);
    EXPECT_EQ(r.fellBack, c.want.fellBack);
    EXPECT_EQ(r.max, c.want.max);
    EXPECT_EQ(r.largeChange, c.want.largeChange);
    EXPECT_EQ(r.smallChange, c.want.smallChange);
    EXPECT_EQ(r.frameFits, c.want.frameFits);
  }
}

TEST(ClampPlayRange, Table) {
  struct Case {
    const char* name;
    int32_t size;
    uint16_t blockAlign;
    int32_t fftSize;
    int32_t position;
    ClampedRange want;
  };
  const Case cases[] = {
      {"position inside", 44100, 2, 2048, 1000, {40004, false, 0}},
      {"position at max", 44100, 2, 2048, 40004, {40004, false, 0}},
      {"position beyond", 44100, 2, 2048, 42000, {40004, true, 40004}},
      {"longer frame shrinks range", 44100, 2, 2048, 43000, {40004, true, 40004}},
      // Negative range: pinned to 0 and the frame position pulled back to 0, never to a
      // wrapped-around offset.
      {"sound shorter than frame", 1000, 2, 2048, 10, {0, true, 0}},
      {"shorter, at 0", 1000, 2, 2048, 0, {0, false, 0}},
      {"block align 0", 44100, 0, 2048, 100, {0, true, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ClampedRange r = ClampPlayRange(c.size, c.blockAlign, c.fftSize, c.position);
    EXPECT_EQ(r.max, c.want.max);
    EXPECT_EQ(r.moveFramePos, c.want.moveFramePos);
    EXPECT_EQ(r.framePos, c.want.framePos);
  }
}

TEST(AlignFramePos, Table) {
  struct Case {
    int32_t pos;
    uint16_t blockAlign;
    uint32_t want;
  };
  const Case cases[] = {
      {4003, 4, 4000}, {4000, 4, 4000}, {4003, 2, 4002}, {4003, 1, 4003},
      {3, 4, 0},       {0, 2, 0},       {4003, 0, 0},    {-5, 2, 0},
      {40004, 2, 40004}, {7, 3, 6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AlignFramePos(c.pos, c.blockAlign), c.want)
        << "pos " << c.pos << " block " << c.blockAlign;
  }
}

}  // namespace
}  // namespace tonamira

// The loudness rule: which samples of a frame make it too loud to analyse.

#include "analysis/loudness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tonamira {
namespace {

// A 64-sample-frame 16-bit frame of `channels` channels, silent except for one sample.
std::vector<uint8_t> FrameWith(int channels, int channel, int point, int16_t value) {
  std::vector<uint8_t> bytes(static_cast<size_t>(64 * channels * 2), 0);
  const size_t at = static_cast<size_t>((point * channels + channel) * 2);
  bytes[at] = static_cast<uint8_t>(static_cast<uint16_t>(value) & 0xff);
  bytes[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8);
  return bytes;
}

TEST(Loudness, WhichSamplesCount) {
  struct Case {
    const char* name;
    int channels, channel, point;
    int16_t value;
    bool loud;
  };
  const Case cases[] = {
      {"third sample above the limit", 1, 0, 2, 32001, true},
      {"second sample", 1, 0, 1, 32767, true},
      {"twentieth sample", 1, 0, 19, 32001, true},
      {"first sample is never looked at", 1, 0, 0, 32767, false},
      {"from the twenty-first sample on", 1, 0, 20, 32767, false},
      {"exactly the limit", 1, 0, 5, 32000, false},
      {"negative full scale", 1, 0, 5, -32768, false},
      {"stereo first channel", 2, 0, 3, 32001, true},
      {"stereo second channel", 2, 1, 3, 32001, true},
      {"stereo second channel's first sample", 2, 1, 0, 32001, false},
      {"three channels are never refused", 3, 0, 3, 32767, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = FrameWith(c.channels, c.channel, c.point, c.value);
    const PcmFrame frame{bytes, 0, 64, c.channels, 16, static_cast<uint16_t>(2 * c.channels)};
    EXPECT_EQ(FrameTooLoud(frame), c.loud);
  }
}

TEST(Loudness, OnlyWholeSixteenBitFramesAreJudged) {
  const std::vector<uint8_t> bytes = FrameWith(1, 0, 2, 32767);
  // 8-bit frames: the same bytes are full-scale samples, never too loud.
  EXPECT_FALSE(FrameTooLoud(PcmFrame{bytes, 0, 64, 1, 8, 1}));
  // A frame that does not fit is not read at all.
  EXPECT_FALSE(FrameTooLoud(PcmFrame{bytes, 2, 64, 1, 16, 2}));
  // A frame shorter than twenty samples is judged only on the samples it has.
  EXPECT_TRUE(FrameTooLoud(PcmFrame{bytes, 0, 3, 1, 16, 2}));
  EXPECT_FALSE(FrameTooLoud(PcmFrame{bytes, 0, 2, 1, 16, 2}));
  // The frame's own offset: the loud sample is its first sample here.
  EXPECT_FALSE(FrameTooLoud(PcmFrame{bytes, 4, 20, 1, 16, 2}));
}

}  // namespace
}  // namespace tonamira

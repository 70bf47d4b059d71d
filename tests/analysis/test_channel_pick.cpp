// Tests of the channel choice: which samples each choice reads, and the mean of a mix.
#include "analysis/channel_pick.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tonamira {
namespace {

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& values) {
  std::vector<uint8_t> bytes;
  for (int16_t v : values) {
    const auto u = static_cast<uint16_t>(v);
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

std::vector<int16_t> Values16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> values;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    values.push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8))));
  return values;
}

TEST(ChannelChoice, WindowRuleReadsTheSecondOfStereoOnly) {
  EXPECT_EQ(WindowRuleChannel(1), 0);
  EXPECT_EQ(WindowRuleChannel(2), 1);
  EXPECT_EQ(WindowRuleChannel(6), 0);  // the window's reader takes the first of more
  EXPECT_TRUE(HasChannel(ChannelChoice::kSecond, 2));
  EXPECT_FALSE(HasChannel(ChannelChoice::kSecond, 1));
  EXPECT_TRUE(HasChannel(ChannelChoice::kMix, 1));
  EXPECT_FALSE(HasChannel(ChannelChoice::kFirst, 0));
}

TEST(PickPcmChannel, Stereo16BitEachChoice) {
  // Sample frames (left, right): (100, -7), (1, 2), (-1, -2), (32767, 32766), (1, 0).
  const auto frame = Pcm16({100, -7, 1, 2, -1, -2, 32767, 32766, 1, 0});
  struct Case {
    ChannelChoice choice;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {
      {ChannelChoice::kFirst, {100, 1, -1, 32767, 1}},
      {ChannelChoice::kSecond, {-7, 2, -2, 32766, 0}},
      {ChannelChoice::kWindowRule, {-7, 2, -2, 32766, 0}},
      // Means 46.5, 1.5, -1.5, 32766.5, 0.5 rounded half to even.
      {ChannelChoice::kMix, {46, 2, -2, 32766, 0}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(10, 0xEE);
    PickPcmChannel(frame.data(), 5, 16, 2, c.choice, out.data());
    EXPECT_EQ(Values16(out), c.expected) << static_cast<int>(c.choice);
  }
}

TEST(PickPcmChannel, EightBitMixAroundTheMiddle) {
  // Unsigned bytes around 128: (128 + 3, 128 - 4) has the mean -0.5 -> 0 -> 128;
  // (255, 0) has the mean (127 - 128) / 2 = -0.5 -> 0 -> 128; (130, 131) -> 2.5 -> 2 -> 130.
  const std::vector<uint8_t> frame = {131, 124, 255, 0, 130, 131};
  std::vector<uint8_t> out(3);
  PickPcmChannel(frame.data(), 3, 8, 2, ChannelChoice::kMix, out.data());
  EXPECT_EQ(out, (std::vector<uint8_t>{128, 128, 130}));
  PickPcmChannel(frame.data(), 3, 8, 2, ChannelChoice::kSecond, out.data());
  EXPECT_EQ(out, (std::vector<uint8_t>{124, 0, 131}));
}

TEST(PcmChannelToReal, FullScaleIsOneAndEveryLayoutAgrees) {
  // The same channel read from a mono frame (the fast path) and from the first channel of
  // a stereo frame (the general one) gives the same reals.
  const std::vector<int16_t> left = {0, 16384, -32768, 32767, -1, 12345};
  std::vector<int16_t> stereo;
  for (int16_t v : left) {
    stereo.push_back(v);
    stereo.push_back(static_cast<int16_t>(-v / 2));
  }
  const auto mono = Pcm16(left);
  const auto both = Pcm16(stereo);
  std::vector<double> fromMono(left.size()), fromStereo(left.size()), mix(left.size());
  PcmChannelToReal(mono.data(), 6, 16, 1, ChannelChoice::kFirst, fromMono.data());
  PcmChannelToReal(both.data(), 6, 16, 2, ChannelChoice::kFirst, fromStereo.data());
  PcmChannelToReal(both.data(), 6, 16, 2, ChannelChoice::kMix, mix.data());
  for (size_t i = 0; i < left.size(); ++i) {
    EXPECT_EQ(fromMono[i], left[i] / 32768.0) << i;
    EXPECT_EQ(fromStereo[i], fromMono[i]) << i;
    EXPECT_DOUBLE_EQ(mix[i], (left[i] + stereo[2 * i + 1]) / 2.0 / 32768.0) << i;
  }
  const std::vector<uint8_t> eight = {0, 128, 255};
  std::vector<double> e(3);
  PcmChannelToReal(eight.data(), 3, 8, 1, ChannelChoice::kFirst, e.data());
  EXPECT_EQ(e, (std::vector<double>{-1.0, 0.0, 127.0 / 128.0}));
}

TEST(FloatChannelToReal, ChoicesOverInterleavedFloats) {
  const std::vector<float> frames = {0.5f, -0.25f, 1.0f, 0.0f, -1.0f, 0.75f};  // 3 x stereo
  std::vector<double> out(3);
  FloatChannelToReal(frames.data(), 3, 2, ChannelChoice::kSecond, out.data());
  EXPECT_EQ(out, (std::vector<double>{-0.25, 0.0, 0.75}));
  FloatChannelToReal(frames.data(), 3, 2, ChannelChoice::kMix, out.data());
  EXPECT_EQ(out, (std::vector<double>{0.125, 0.5, -0.125}));
  FloatChannelToReal(frames.data(), 2, 3, ChannelChoice::kWindowRule, out.data());  // 3 ch
  EXPECT_EQ(out[0], 0.5);
  EXPECT_EQ(out[1], 0.0);
}

}  // namespace
}  // namespace tonamira

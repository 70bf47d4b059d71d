// Tests of the frame reader, the working arrays and the plan cache.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/spectrum.h"

namespace tonamira {
namespace {

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (int16_t s : samples) {
    const uint16_t u = static_cast<uint16_t>(s);
    bytes.push_back(static_cast<uint8_t>(u & 0xff));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

TEST(LoadWindowedChannel, SilenceGivesZeros) {
  const int n = 256;
  const FftPlan plan(n);
  const struct {
    int bits, channels, channel;
    std::vector<uint8_t> frame;
    double scale;
  } cases[] = {
      {8, 1, 0, std::vector<uint8_t>(n, 128), -1.0},
      {8, 2, 0, std::vector<uint8_t>(2 * n, 128), -1.0},
      {8, 2, 1, std::vector<uint8_t>(2 * n, 128), -1.0},
      {16, 1, 0, std::vector<uint8_t>(2 * n, 0), -1.0 / 255.0},
      {16, 2, 1, std::vector<uint8_t>(4 * n, 0), -1.0 / 255.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits, channel " << c.channel);
    std::vector<double> input(n, 99.0);
    EXPECT_EQ(LoadWindowedChannel(c.frame.data(), n, c.bits, c.channels, c.channel,
                                  plan.window(), input.data()),
              c.scale);
    for (double x : input) EXPECT_EQ(x, 0.0);
  }
}

TEST(LoadWindowedChannel, EightBitSamplesAreOffsetAndWindowed) {
  const int n = 8;
  const FftPlan plan(n);
  // Mono: byte - 128, times the weight.
  const std::vector<uint8_t> mono = {0, 255, 128, 129, 127, 200, 1, 64};
  std::vector<double> input(n);
  EXPECT_EQ(LoadWindowedChannel(mono.data(), n, 8, 1, 0, plan.window(), input.data()), -1.0);
  for (int j = 0; j < n; ++j)
    EXPECT_EQ(input[j], plan.window()[j] * (static_cast<int>(mono[j]) - 128)) << j;
  EXPECT_NEAR(input[0], 0.08 * -128.0, 1e-12);  // the first weight is the end weight
}

TEST(LoadWindowedChannel, StereoChannelsReadTheirOwnBytes) {
  const int n = 16;
  const FftPlan plan(n);
  // 8-bit stereo: left = 100 + j, right = 200 - j, interleaved.
  std::vector<uint8_t> frame8;
  // 16-bit stereo: left = 1000 * j - 7000, right = -300 * j + 1, interleaved.
  std::vector<int16_t> samples16;
  for (int j = 0; j < n; ++j) {
    frame8.push_back(static_cast<uint8_t>(100 + j));
    frame8.push_back(static_cast<uint8_t>(200 - j));
    samples16.push_back(static_cast<int16_t>(1000 * j - 7000));
    samples16.push_back(static_cast<int16_t>(-300 * j + 1));
  }
  const std::vector<uint8_t> frame16 = Pcm16(samples16);
  const struct {
    const std::vector<uint8_t>* frame;
    int bits, channel;
    double (*value)(int j);
  } cases[] = {
      {&frame8, 8, 0, [](int j) { return static_cast<double>(100 + j - 128); }},
      {&frame8, 8, 1, [](int j) { return static_cast<double>(200 - j - 128); }},
      {&frame16, 16, 0, [](int j) { return static_cast<double>(1000 * j - 7000); }},
      {&frame16, 16, 1, [](int j) { return static_cast<double>(-300 * j + 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits, channel " << c.channel);
    std::vector<double> input(n);
    LoadWindowedChannel(c.frame->data(), n, c.bits, 2, c.channel, plan.window(), input.data());
    for (int j = 0; j < n; ++j) EXPECT_EQ(input[j], plan.window()[j] * c.value(j)) << j;
  }
}

TEST(LoadWindowedChannel, SixteenBitExtremesAndOddAlignment) {
  const int n = 4;
  const FftPlan plan(n);
  // One leading byte puts every sample at an odd address; the reader goes by bytes.
  std::vector<uint8_t> storage = {0xEE};
  const std::vector<uint8_t> pcm = Pcm16({-32768, 32767, -1, 256});
  storage.insert(storage.end(), pcm.begin(), pcm.end());
  std::vector<double> input(n);
  EXPECT_EQ(LoadWindowedChannel(storage.data() + 1, n, 16, 1, 0, plan.window(), input.data()),
            -1.0 / 255.0);
  const double want[] = {-32768.0, 32767.0, -1.0, 256.0};
  for (int j = 0; j < n; ++j) EXPECT_EQ(input[j], plan.window()[j] * want[j]) << j;
}

TEST(LoadWindowedChannel, MoreChannelsStepOverTheOthers) {
  const int n = 4;
  const FftPlan plan(n);
  const std::vector<uint8_t> frame = Pcm16({10, -1, -1, 20, -1, -1, 30, -1, -1, 40, -1, -1});
  std::vector<double> input(n);
  LoadWindowedChannel(frame.data(), n, 16, 3, 0, plan.window(), input.data());
  for (int j = 0; j < n; ++j) EXPECT_EQ(input[j], plan.window()[j] * 10.0 * (j + 1)) << j;
}

TEST(LoadWindowedChannel, UnreadableRequestsLeaveInputUntouched) {
  const int n = 8;
  const FftPlan plan(n);
  const std::vector<uint8_t> frame(64, 77);
  const struct {
    int bits, channels, channel;
  } cases[] = {{24, 1, 0}, {32, 2, 0}, {0, 1, 0}, {4, 1, 0}, {-16, 1, 0},
               {16, 1, 1}, {8, 3, 1}, {16, 2, 2}, {16, 2, -1}, {8, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits " << c.channels << " ch " << c.channel);
    std::vector<double> input(n, -5.5);
    EXPECT_EQ(LoadWindowedChannel(frame.data(), n, c.bits, c.channels, c.channel, plan.window(),
                                  input.data()),
              0.0);
    for (double x : input) EXPECT_EQ(x, -5.5);
  }
}

TEST(FrameBytes, CountsAllChannels) {
  const struct {
    int n, bits, channels;
    uint64_t want;
  } cases[] = {
      {2048, 16, 1, 4096},
      {2048, 16, 2, 8192},
      {2048, 8, 1, 2048},
      {256, 8, 2, 512},
      {0, 16, 1, 0},
      {-5, 16, 1, 0},
      {16, 0, 1, 0},
      {16, 16, -2, 0},
      {std::numeric_limits<int>::max(), 16, 2, uint64_t{std::numeric_limits<int>::max()} * 4},
      {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(),
       std::numeric_limits<int>::max(), std::numeric_limits<uint64_t>::max()},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FrameBytes(c.n, c.bits, c.channels), c.want) << c.n << " " << c.bits << " " << c.channels;
}

TEST(FftArrays, AllocatesFiveZeroFilledArrays) {
  FftArrays arrays;
  ASSERT_TRUE(AllocFftArrays(arrays, 2048));
  EXPECT_TRUE(arrays.allocated());
  EXPECT_EQ(arrays.capacity, 2048);
  for (int i = 0; i < 2048; ++i) {
    ASSERT_EQ(arrays.mag[i], 0.0);
    ASSERT_EQ(arrays.noise[i], 0.0);
    ASSERT_EQ(arrays.input[i], 0.0);
    ASSERT_EQ(arrays.work[i], Complex{});
    ASSERT_EQ(arrays.out[i], Complex{});
  }
  FreeFftArrays(arrays);
  EXPECT_FALSE(arrays.mag || arrays.noise || arrays.input || arrays.work || arrays.out);
  EXPECT_EQ(arrays.capacity, 0);
  FreeFftArrays(arrays);  // releasing empty arrays does nothing
  EXPECT_FALSE(arrays.allocated());
}

TEST(FftArrays, InjectedFailureAtEachBlockLeavesNothing) {
  const std::string blocks[] = {"FftMag", "NoiseSpectrum", "FftInput", "FftWork", "FftOut"};
  for (std::size_t failing = 0; failing < std::size(blocks); ++failing) {
    SCOPED_TRACE(blocks[failing]);
    std::vector<std::string> asked;
    FftArrays arrays;
    ASSERT_TRUE(AllocFftArrays(arrays, 64));  // a failed call must also drop earlier arrays
    const bool ok = AllocFftArrays(arrays, 2048, [&](std::string_view block) {
      asked.emplace_back(block);
      return block == blocks[failing];
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(arrays.mag || arrays.noise || arrays.input || arrays.work || arrays.out);
    EXPECT_EQ(arrays.capacity, 0);
    // Blocks are asked for in order and nothing after the failing one is attempted.
    ASSERT_EQ(asked.size(), failing + 1);
    for (std::size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], blocks[i]);
  }
}

TEST(FftArrays, NonPositiveLengthIsRefused) {
  for (int n : {0, -1, -2048}) {
    FftArrays arrays;
    EXPECT_FALSE(AllocFftArrays(arrays, n)) << n;
    EXPECT_FALSE(arrays.mag || arrays.noise || arrays.input || arrays.work || arrays.out);
  }
}

TEST(FftPlanCache, BuildsOnePlanPerLength) {
  FftPlanCache cache;
  const FftPlan& a = cache.For(2048);
  const FftPlan& b = cache.For(256);
  EXPECT_EQ(&cache.For(2048), &a);
  EXPECT_EQ(&cache.For(256), &b);
  EXPECT_EQ(a.size(), 2048);
  EXPECT_EQ(b.size(), 256);
  EXPECT_TRUE(a.valid());
  EXPECT_FALSE(cache.For(1000).valid());
}

TEST(Spectrum, StereoFrameThroughWindowAndTransform) {
  // A loud 16-bit tone in the second channel and silence in the first: the second channel's
  // spectrum peaks at its bin with the expected windowed height, the first is all zero.
  const int n = 2048;
  const int bin = 40;
  const double amplitude = 20000.0;
  std::vector<int16_t> samples;
  for (int j = 0; j < n; ++j) {
    samples.push_back(0);
    samples.push_back(static_cast<int16_t>(std::lround(amplitude * std::sin(kTwoPi * bin * j / n))));
  }
  const std::vector<uint8_t> frame = Pcm16(samples);
  FftPlanCache cache;
  const FftPlan& plan = cache.For(n);
  FftArrays arrays;
  ASSERT_TRUE(AllocFftArrays(arrays, n));
  for (int channel : {0, 1}) {
    LoadWindowedChannel(frame.data(), n, 16, 2, channel, plan.window(), arrays.input.get());
    ASSERT_TRUE(plan.Run(arrays.input.get(), arrays.out.get(), arrays.work.get(), arrays.mag.get()));
    if (channel == 0) {
      for (int k = 0; k < n / 2; ++k) ASSERT_EQ(arrays.mag[k], 0.0) << k;
    }
  }
  int top = 0;
  for (int k = 1; k < n / 2; ++k)
    if (arrays.mag[k] > arrays.mag[top]) top = k;
  EXPECT_EQ(top, bin);
  // Height A/2 times the window's mean weight (0.54 minus the end correction).
  EXPECT_NEAR(arrays.mag[bin], amplitude / 2 * 0.54, amplitude * 0.001);
}

}  // namespace
}  // namespace tonamira

#include "sound/wave_format.h"

#include <gtest/gtest.h>

namespace tonamira {
namespace {

struct FillCase {
  FormatSettings settings;
  uint16_t channels, align, bits;
  uint32_t rate, avg;
};

TEST(FillWaveFormat, BuildsPcmRecordFromSettings) {
  const FillCase cases[] = {
      {{16, 44100, 1}, 1, 2, 16, 44100, 88200},     // the start-up format
      {{16, 44100, 2}, 2, 4, 16, 44100, 176400},    // stereo recording
      {{8, 22050, 1}, 1, 1, 8, 22050, 22050},
      {{8, 8000, 2}, 2, 2, 8, 8000, 16000},
      {{24, 48000, 6}, 6, 18, 24, 48000, 864000},
      {{12, 1000, 3}, 3, 3, 12, 1000, 3000},        // integer division of the bits
      {{16, 44100, 40000}, 40000, 14464, 16, 44100, 44100u * 14464u},  // align cut to 16 bits
  };
  for (const auto& c : cases) {
    const WaveFormat f = FillWaveFormat(c.settings);
    SCOPED_TRACE(c.settings.bits * 1000000 + c.settings.channels);
    EXPECT_EQ(f.wFormatTag, kFormatPcm);
    EXPECT_EQ(f.nChannels, c.channels);
    EXPECT_EQ(f.nSamplesPerSec, c.rate);
    EXPECT_EQ(f.nAvgBytesPerSec, c.avg);
    EXPECT_EQ(f.nBlockAlign, c.align);
    EXPECT_EQ(f.wBitsPerSample, c.bits);
    EXPECT_EQ(f.cbSize, 0);
  }
}

TEST(WaveFormatBytes, EncodesLittleEndianInFieldOrder) {
  WaveFormat f{0x0201, 0x0403, 0x08070605, 0x0c0b0a09, 0x0e0d, 0x100f, 0x1211};
  const auto bytes = EncodeWaveFormat(f);
  for (int i = 0; i < kWaveFormatBytes; ++i) EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
  EXPECT_EQ(DecodeWaveFormat(bytes.data()), f);
}

TEST(WaveFormatBytes, OverlayReplacesOnlyTheLeadingBytes) {
  const WaveFormat before{1, 2, 44100, 176400, 4, 16, 0};
  const WaveFormat incoming{7, 6, 48000, 576000, 12, 24, 99};
  const auto in = EncodeWaveFormat(incoming);
  struct Case { int count; WaveFormat expected; };
  const Case cases[] = {
      {0, before},
      {-3, before},
      {2, {7, 2, 44100, 176400, 4, 16, 0}},
      {14, {7, 6, 48000, 576000, 12, 16, 0}},   // bits stay as they were
      {16, {7, 6, 48000, 576000, 12, 24, 0}},   // cbSize stays as it was
      {18, incoming},
      {40, incoming},                           // never more than the record
  };
  for (const auto& c : cases) {
    WaveFormat f = before;
    OverlayWaveFormat(f, in.data(), c.count);
    EXPECT_EQ(f, c.expected) << "count " << c.count;
  }
  // A split inside a field takes the low byte only.
  WaveFormat f = before;
  OverlayWaveFormat(f, in.data(), 5);
  EXPECT_EQ(f.nSamplesPerSec, (44100u & 0xFFFFFF00u) | 0x80u);
}

}  // namespace
}  // namespace tonamira

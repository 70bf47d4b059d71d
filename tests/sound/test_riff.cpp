#include "sound/riff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/wav_bytes.h"

namespace tonamira {
namespace {

using testing::Bytes;

TEST(FourCC, MatchesTheBytesInAFile) {
  const uint8_t riff[] = {'R', 'I', 'F', 'F'};
  EXPECT_EQ(kFourCCRiff, riff[0] | riff[1] << 8 | riff[2] << 16 | uint32_t{riff[3]} << 24);
  EXPECT_EQ(kFourCCFmt, MakeFourCC("fmt "));
  EXPECT_NE(kFourCCFmt, MakeFourCC("fmt\0"));
}

TEST(SpanByteSource, ReadsOnlyWhatIsThere) {
  const std::vector<uint8_t> v = {1, 2, 3, 4, 5};
  SpanByteSource s(v);
  uint8_t out[8] = {};
  struct Case { uint64_t offset, count, expected; };
  const Case cases[] = {{0, 5, 5}, {0, 8, 5}, {3, 8, 2}, {5, 1, 0}, {9, 1, 0},
                        {UINT64_MAX, 4, 0}, {2, UINT64_MAX, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(s.ReadAt(c.offset, out, c.count), c.expected) << c.offset << "+" << c.count;
  }
  EXPECT_EQ(out[0], 3);  // from the last case
}

// Offsets of the chunks found by FindChunk over the inner bytes of a buffer.
std::optional<uint64_t> FindIn(const std::vector<uint8_t>& v, const char (&id)[5],
                               uint64_t begin = 0, uint64_t end = UINT64_MAX) {
  SpanByteSource s(v);
  const auto c = FindChunk(s, MakeFourCC(id), begin, end);
  if (!c) return std::nullopt;
  return c->headerOffset;
}

TEST(FindChunk, StaysWithinTheGivenRange) {
  const std::vector<uint8_t> v = Bytes().Chunk("LIST", {1, 2, 3, 4}).Chunk("data", {5, 6});
  EXPECT_EQ(FindIn(v, "data", 0, 20), 12u);   // header [12, 20) fits
  EXPECT_EQ(FindIn(v, "data", 0, 19), std::nullopt);
  EXPECT_EQ(FindIn(v, "data", 12, 20), 12u);
  EXPECT_EQ(FindIn(v, "data", 25, 1000), std::nullopt);
  EXPECT_EQ(FindIn(v, "LIST", 1, 1000), std::nullopt);  // misaligned start reads garbage ids
}

TEST(FindChunk, ThousandsOfTinyChunksEndWithTheTarget) {
  Bytes b;
  for (int i = 0; i < 5000; ++i) b.Chunk("JUNK", {});
  b.Chunk("data", {9});
  EXPECT_EQ(FindIn(b, "data"), 5000u * 8u);
}

TEST(FindRiffForm, InnerRangeIsClippedToTheSource) {
  std::vector<uint8_t> v = Bytes().Id("RIFF").U32(0xFFFFFFFF).Id("WAVE").Fill(10, 0);
  SpanByteSource s(v);
  const auto r = FindRiffForm(s, kFourCCWave);
  ASSERT_TRUE(r);
  EXPECT_EQ(RiffInnerBegin(*r), 12u);
  EXPECT_EQ(RiffInnerEnd(*r, s), v.size());
  EXPECT_EQ(r->ContentEnd(), 8u + 0xFFFFFFFFull);  // no 32-bit wrap
  EXPECT_EQ(r->NextOffset(), 8u + 0x100000000ull);
}

TEST(FileByteSource, OpensOnlyRegularFiles) {
  const auto dir = std::filesystem::temp_directory_path() / "tonamira-riff-test";
  std::filesystem::create_directories(dir);
  const auto file = dir / "bytes.bin";
  { std::ofstream(file, std::ios::binary) << "ABCDEFGH"; }

  FileByteSource ok(file);
  ASSERT_TRUE(ok.IsOpen());
  EXPECT_EQ(ok.Size(), 8u);
  uint8_t out[16] = {};
  EXPECT_EQ(ok.ReadAt(6, out, 16), 2u);
  EXPECT_EQ(out[0], 'G');
  EXPECT_EQ(ok.ReadAt(8, out, 1), 0u);

  EXPECT_FALSE(FileByteSource(dir).IsOpen());
  EXPECT_FALSE(FileByteSource(dir / "missing.wav").IsOpen());
  EXPECT_FALSE(FileByteSource(file / "below-a-file.wav").IsOpen());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tonamira

#include "sound/wav_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/wav_bytes.h"

namespace tonamira {
namespace {

using testing::Bytes;
using testing::CanonicalWav;
using testing::FmtContent;
using testing::FmtFields;
using testing::Ramp;
using testing::Riff;

const WaveFormat kStartupFormat = FillWaveFormat({16, 44100, 1});

std::vector<uint8_t> Samples(const WavReadResult& r) {
  if (!r.data) return {};
  return {r.data.get(), r.data.get() + r.size};
}

WaveFormat FormatOf(const FmtFields& f, uint16_t cbSize = 0) {
  return {f.tag, f.channels, f.rate, f.avg, f.align, f.bits, cbSize};
}

// Files whose load must succeed: the format and samples the reader must give.
struct GoodCase {
  const char* name;
  std::vector<uint8_t> file;
  WaveFormat previous;
  WaveFormat format;
  std::vector<uint8_t> samples;
};

TEST(ReadWav, LoadsAcceptedLayouts) {
  const FmtFields mono16;
  const FmtFields stereo8{1, 2, 8000, 16000, 2, 8};
  const FmtFields pcm24{1, 2, 48000, 288000, 6, 24};
  const FmtFields six{1, 6, 48000, 576000, 12, 16};
  const FmtFields odd{1, 3, 11025, 33075, 3, 8};
  const auto samples = Ramp(64);
  const WaveFormat previous{1, 9, 1, 2, 3, 12, 77};  // shows what the file does not set

  const GoodCase cases[] = {
      {"canonical 44-byte header", CanonicalWav(mono16, samples), kStartupFormat,
       FormatOf(mono16), samples},
      {"8-bit stereo", CanonicalWav(stereo8, samples), kStartupFormat, FormatOf(stereo8),
       samples},
      {"24-bit PCM", CanonicalWav(pcm24, Ramp(60)), kStartupFormat, FormatOf(pcm24), Ramp(60)},
      {"six channels", CanonicalWav(six, Ramp(48)), kStartupFormat, FormatOf(six), Ramp(48)},
      {"18-byte fmt: cbSize not read",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16, {0x22, 0x11})).Chunk("data", samples)),
       previous, FormatOf(mono16, 77), samples},
      {"odd 17-byte fmt with pad",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16, {5})).Chunk("data", samples)),
       kStartupFormat, FormatOf(mono16), samples},
      {"LIST before fmt",
       Riff(Bytes().Chunk("LIST", Ramp(26)).Chunk("fmt ", FmtContent(mono16)).Chunk("data", samples)),
       kStartupFormat, FormatOf(mono16), samples},
      {"LIST between fmt and data",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16)).Chunk("LIST", Ramp(26)).Chunk("data", samples)),
       kStartupFormat, FormatOf(mono16), samples},
      {"odd chunk with pad between",
       Riff(Bytes().Chunk("fmt ", FmtContent(odd)).Chunk("fact", {1, 2, 3}).Chunk("data", Ramp(9))),
       kStartupFormat, FormatOf(odd), Ramp(9)},
      {"odd data at end without pad",
       Riff(Bytes().Chunk("fmt ", FmtContent(odd)).Chunk("data", Ramp(9), false)),
       kStartupFormat, FormatOf(odd), Ramp(9)},
      {"chunks after data", Riff(Bytes().Chunk("fmt ", FmtContent(mono16))
                                      .Chunk("data", samples).Chunk("LIST", Ramp(10))),
       kStartupFormat, FormatOf(mono16), samples},
      {"14-byte fmt keeps the old bits",
       Riff(Bytes().Chunk("fmt ", Bytes().U16(1).U16(2).U32(22050).U32(88200).U16(4))
                .Chunk("data", samples)),
       previous, {1, 2, 22050, 88200, 4, 12, 77}, samples},
      {"0-byte fmt keeps everything", Riff(Bytes().Chunk("fmt ", {}).Chunk("data", samples)),
       previous, previous, samples},
      {"another RIFF form first, then WAVE",
       [&] {
         std::vector<uint8_t> v = Riff(Bytes().Chunk("fmt ", FmtContent(stereo8)), "AVI ");
         const auto w = CanonicalWav(mono16, samples);
         v.insert(v.end(), w.begin(), w.end());
         return v;
       }(),
       kStartupFormat, FormatOf(mono16), samples},
      {"other top-level chunk first",
       [&] {
         std::vector<uint8_t> v = Bytes().Chunk("JUNK", {1, 2, 3});
         const auto w = CanonicalWav(mono16, samples);
         v.insert(v.end(), w.begin(), w.end());
         return v;
       }(),
       kStartupFormat, FormatOf(mono16), samples},
      {"second data chunk ignored",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16)).Chunk("data", {1, 2}).Chunk("data", {3, 4})),
       kStartupFormat, FormatOf(mono16), {1, 2}},
      {"trailing garbage after RIFF",
       [&] { auto v = CanonicalWav(mono16, samples); v.insert(v.end(), 5, 0xEE); return v; }(),
       kStartupFormat, FormatOf(mono16), samples},
  };
  for (const auto& c : cases) {
    const auto r = ReadWavBytes(c.file, c.previous);
    EXPECT_TRUE(r.ok) << c.name << ": " << r.message;
    EXPECT_EQ(r.message, "") << c.name;
    EXPECT_EQ(r.format, c.format) << c.name;
    EXPECT_EQ(r.size, c.samples.size()) << c.name;
    EXPECT_EQ(Samples(r), c.samples) << c.name;
  }
}

// Files whose load must fail: the message and the format the reader leaves.
struct BadCase {
  const char* name;
  std::vector<uint8_t> file;
  std::string message;
  WaveFormat format;  // kStartupFormat is the previous format of every case
};

TEST(ReadWav, RefusesWithTheMessageOfTheFirstFailedCheck) {
  const FmtFields mono16;
  const auto samples = Ramp(32);
  auto with = [](FmtFields f, auto change) { change(f); return f; };
  const FmtFields float32 = with(mono16, [](FmtFields& f) { f.tag = 3; f.bits = 32; f.align = 4; });
  const FmtFields extensible = with(mono16, [](FmtFields& f) { f.tag = 65534; });
  const FmtFields noChannels = with(mono16, [](FmtFields& f) { f.channels = 0; });
  const FmtFields noAlign = with(mono16, [](FmtFields& f) { f.align = 0; });
  const FmtFields noRate = with(mono16, [](FmtFields& f) { f.rate = 0; });
  const FmtFields allZero{1, 0, 0, 0, 0, 0};

  const BadCase cases[] = {
      {"empty file", {}, "No Wave", kStartupFormat},
      {"not RIFF", Bytes().Id("OggS").Fill(60, 0), "No Wave", kStartupFormat},
      {"big-endian RIFX", [] { auto v = CanonicalWav({}, {1, 2}); v[3] = 'X'; return v; }(),
       "No Wave", kStartupFormat},
      {"huge top-level chunk hides the RIFF",
       [&] {
         std::vector<uint8_t> v = Bytes().Id("JUNK").U32(0xFFFFFFFF);
         const auto w = CanonicalWav(mono16, samples);
         v.insert(v.end(), w.begin(), w.end());
         return v;
       }(),
       "No Wave", kStartupFormat},
      {"RIFF of another form", Riff(Bytes().Chunk("fmt ", FmtContent(mono16)), "AVI "),
       "No Wave", kStartupFormat},
      {"no fmt", Riff(Bytes().Chunk("data", samples)), "No fmt", kStartupFormat},
      {"fmt outside the RIFF size",
       Bytes().Id("RIFF").U32(4).Id("WAVE").Chunk("fmt ", FmtContent(mono16)).Chunk("data", samples),
       "No fmt", kStartupFormat},
      {"huge LIST before fmt",
       Riff(Bytes().Id("LIST").U32(0xFFFFFFFF).Chunk("fmt ", FmtContent(mono16))), "No fmt",
       kStartupFormat},
      {"fmt cut short", Riff(Bytes().Id("fmt ").U32(16).U16(1).U16(1)), "No fmtSize",
       kStartupFormat},
      {"data before fmt",
       Riff(Bytes().Chunk("data", samples).Chunk("fmt ", FmtContent(mono16))), "No data",
       FormatOf(mono16)},
      {"float tag 3", CanonicalWav(float32, samples), "No fmttag", FormatOf(float32)},
      {"extensible tag 65534", CanonicalWav(extensible, samples), "No fmttag",
       FormatOf(extensible)},
      {"no channels", CanonicalWav(noChannels, samples), "No channels", FormatOf(noChannels)},
      {"no block align", CanonicalWav(noAlign, samples), "No blockalign", FormatOf(noAlign)},
      {"no sample rate", CanonicalWav(noRate, samples), "No samplerate", FormatOf(noRate)},
      {"all zero: channels checked first", CanonicalWav(allZero, samples), "No channels",
       FormatOf(allZero)},
      {"no data", Riff(Bytes().Chunk("fmt ", FmtContent(mono16)).Chunk("LIST", Ramp(8))),
       "No data", FormatOf(mono16)},
      {"huge fmt hides data",
       Riff(Bytes().Id("fmt ").U32(0xFFFFFFFF).Raw(FmtContent(mono16)).Chunk("data", samples)),
       "No data", FormatOf(mono16)},
      {"huge LIST hides data",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16)).Id("LIST").U32(0xFFFFFFFF).Chunk("data", samples)),
       "No data", FormatOf(mono16)},
      {"data outside the RIFF size",
       Bytes().Id("RIFF").U32(4 + 24).Id("WAVE").Chunk("fmt ", FmtContent(mono16)).Chunk("data", samples),
       "No data", FormatOf(mono16)},
      {"odd chunk missing its pad", Riff(Bytes().Chunk("fmt ", FmtContent(mono16))
                                             .Chunk("LIST", {1, 2, 3}, false).Chunk("data", samples)),
       "No data", FormatOf(mono16)},
      {"zero-size data", CanonicalWav(mono16, {}), "No read", FormatOf(mono16)},
      {"data header at the very end",
       Riff(Bytes().Chunk("fmt ", FmtContent(mono16)).Id("data").U32(100)), "No read",
       FormatOf(mono16)},
      {"0-byte fmt over a non-PCM record", Riff(Bytes().Chunk("fmt ", {}).Chunk("data", samples)),
       "No fmttag", {}},
  };
  for (const auto& c : cases) {
    // The last case starts from a zero record, whose tag is not PCM.
    const WaveFormat previous = std::string(c.name).starts_with("0-byte") ? WaveFormat{} : kStartupFormat;
    const auto r = ReadWavBytes(c.file, previous);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_EQ(r.format, c.format) << c.name;
    EXPECT_EQ(r.data, nullptr) << c.name;
    EXPECT_EQ(r.size, 0u) << c.name;
  }
}

TEST(ReadWav, DeclaredDataLongerThanTheFileGivesTheBytesPresent) {
  const FmtFields mono16;
  const auto samples = Ramp(100);
  for (uint32_t declared : {101u, 4096u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    auto file = CanonicalWav(mono16, samples);
    file[40] = static_cast<uint8_t>(declared);
    file[41] = static_cast<uint8_t>(declared >> 8);
    file[42] = static_cast<uint8_t>(declared >> 16);
    file[43] = static_cast<uint8_t>(declared >> 24);
    const auto r = ReadWavBytes(file, kStartupFormat);
    ASSERT_TRUE(r.ok) << declared << ": " << r.message;
    EXPECT_EQ(r.size, 100u) << declared;
    EXPECT_EQ(Samples(r), samples) << declared;
  }
}

TEST(ReadWav, HugeRiffSizeIsClippedToTheFile) {
  auto file = CanonicalWav(FmtFields{}, Ramp(10));
  for (int i = 4; i < 8; ++i) file[i] = 0xFF;
  const auto r = ReadWavBytes(file, kStartupFormat);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(Samples(r), Ramp(10));
}

TEST(ReadWav, EveryTruncationOfACanonicalFileFailsCleanlyOrLoadsWhatIsThere) {
  const auto file = CanonicalWav(FmtFields{}, Ramp(20));
  for (size_t length = 0; length < file.size(); ++length) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + length);
    const auto r = ReadWavBytes(cut, kStartupFormat);
    std::string expected = length < 12   ? "No Wave"
                           : length < 20 ? "No fmt"
                           : length < 36 ? "No fmtSize"
                           : length < 44 ? "No data"
                           : length == 44 ? "No read"
                                          : "";
    EXPECT_EQ(r.message, expected) << "length " << length;
    EXPECT_EQ(r.ok, expected.empty()) << "length " << length;
    if (r.ok) {
      EXPECT_EQ(r.size, length - 44);
      EXPECT_EQ(Samples(r), std::vector<uint8_t>(cut.begin() + 44, cut.end()));
    }
  }
}

TEST(ReadWav, AllocationFaultOfTheSampleBlock) {
  const auto file = CanonicalWav(FmtFields{}, Ramp(16));
  std::vector<std::string> asked;
  const auto r = ReadWavBytes(file, kStartupFormat, [&](std::string_view block) {
    asked.emplace_back(block);
    return block == "WaveData";
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "No pwavedata");
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(r.format, FormatOf(FmtFields{}));
  EXPECT_EQ(asked, std::vector<std::string>{"WaveData"});

  const auto other = ReadWavBytes(file, kStartupFormat, [](std::string_view b) { return b != "WaveData"; });
  EXPECT_TRUE(other.ok) << other.message;
}

class ReadWavFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tonamira-reader-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(ReadWavFileTest, ReadsFromDiskLikeFromMemory) {
  const FmtFields stereo{1, 2, 44100, 176400, 4, 16};
  const auto bytes = Riff(Bytes().Chunk("LIST", Ramp(7)).Chunk("fmt ", FmtContent(stereo, {0, 0}))
                              .Chunk("data", Ramp(4000)));
  const auto path = Put("take 1 — ä.wav", bytes);
  const auto fromFile = ReadWavFile(path, kStartupFormat);
  const auto fromBytes = ReadWavBytes(bytes, kStartupFormat);
  ASSERT_TRUE(fromFile.ok) << fromFile.message;
  EXPECT_EQ(fromFile.format, fromBytes.format);
  EXPECT_EQ(Samples(fromFile), Samples(fromBytes));
  EXPECT_EQ(fromFile.format, FormatOf(stereo));
}

TEST_F(ReadWavFileTest, FileThatCannotBeOpened) {
  const auto regular = Put("plain.bin", {1, 2, 3});
  const std::filesystem::path paths[] = {dir_ / "missing.wav", dir_, regular / "inside.wav"};
  for (const auto& p : paths) {
    const auto r = ReadWavFile(p, kStartupFormat);
    EXPECT_FALSE(r.ok) << p;
    EXPECT_EQ(r.message, "No File") << p;
    EXPECT_EQ(r.format, kStartupFormat) << p;
  }
  EXPECT_EQ(ReadWavFile(regular, kStartupFormat).message, "No Wave");
}

TEST_F(ReadWavFileTest, DeclaredDataLongerThanTheFileOnDisk) {
  auto bytes = CanonicalWav(FmtFields{}, Ramp(300));
  bytes[40] = bytes[41] = bytes[42] = bytes[43] = 0xFF;
  const auto r = ReadWavFile(Put("long.wav", bytes), kStartupFormat);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(Samples(r), Ramp(300));
}

// LocateWavData is ReadWav without the reading: on every truncation of a file and every
// declared data size, it fails with ReadWav's message (up to "No data") or finds exactly the
// bytes ReadWav reads.
TEST(LocateWavData, AgreesWithReadWavOnEveryTruncationAndDeclaredSize) {
  for (uint32_t declared : {40u, 41u, 4096u, 0xFFFFFFFFu}) {
    auto file = CanonicalWav(FmtFields{}, Ramp(40));
    for (int i = 0; i < 4; ++i) file[40 + i] = static_cast<uint8_t>(declared >> (8 * i));
    for (size_t length = 0; length <= file.size(); ++length) {
      const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
      const auto read = ReadWavBytes(cut, kStartupFormat);
      SpanByteSource source(cut);
      const auto where = LocateWavData(source, kStartupFormat);
      EXPECT_EQ(where.format, read.format) << declared << " " << length;
      if (!where.ok) {
        EXPECT_EQ(where.message, read.message) << declared << " " << length;
        EXPECT_FALSE(read.ok);
        continue;
      }
      EXPECT_EQ(where.offset, 44u);
      EXPECT_EQ(where.size, read.ok ? read.size : 0u) << declared << " " << length;
      EXPECT_EQ(read.ok, where.size > 0) << declared << " " << length;  // else "No read"
    }
  }
}

}  // namespace
}  // namespace tonamira

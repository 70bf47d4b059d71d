// The decoder of the files the own reader does not keep: which decoder reads which format,
// the 16-bit conversion, the first two channels (every channel in the command-line tool's
// float form), headers that claim more than the file holds,
// the limit, a failed allocation and samples that are not numbers. (The samples each format
// gives back, and a cancelled decode, are tested through the window: test_open_formats.cpp.)

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "sound/decoder.h"
#include "support/sound_tools.h"
#include "support/wav_bytes.h"

namespace tonamira {
namespace {

using testing::Bytes;
using testing::FmtContent;
using testing::FmtFields;
using testing::Riff;

std::string Write(const QTemporaryDir& dir, const std::string& name,
                  const std::vector<uint8_t>& bytes) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// frames of a 440 Hz sine in 16-bit PCM, channel c at 1 / (c + 1) of the level.
std::vector<uint8_t> Sine16(int frames, int channels) {
  Bytes b;
  for (int n = 0; n < frames; ++n)
    for (int c = 0; c < channels; ++c)
      b.U16(static_cast<uint16_t>(static_cast<int16_t>(
          std::lround(12000.0 / (c + 1) * std::sin(2.0 * M_PI * 440.0 * n / 44100.0)))));
  return b;
}

std::vector<uint8_t> Wav(const FmtFields& f, const std::vector<uint8_t>& data) {
  return Riff(Bytes().Chunk("fmt ", FmtContent(f)).Chunk("data", data));
}

FmtFields Pcm(int channels, int bits, uint16_t tag = 1) {
  FmtFields f;
  f.tag = tag;
  f.channels = static_cast<uint16_t>(channels);
  f.bits = static_cast<uint16_t>(bits);
  f.align = static_cast<uint16_t>(channels * bits / 8);
  f.avg = 44100u * f.align;
  return f;
}

TEST(Decoder, SixteenBitSamplesOfAUnitScale) {
  struct Case {
    float x;
    int16_t want;
  };
  const Case cases[] = {
      {0.0f, 0},
      {1.0f / 32768, 1},
      {-1.0f, -32768},
      {1.0f, 32767},          // clamped
      {2.5f, 32767},
      {-7.0f, -32768},
      {0.5f / 32768, 0},      // half to even
      {1.5f / 32768, 2},
      {-2.5f / 32768, -2},
  };
  for (const Case& c : cases) EXPECT_EQ(Pcm16Sample(c.x), c.want) << c.x;
}

TEST(Decoder, WhichFilesGoToTheDecoders) {
  for (const char* m : {"No Wave", "No fmttag"}) EXPECT_TRUE(DecodersMayTake(m)) << m;
  for (const char* m : {"No File", "No fmt", "No fmtSize", "No data", "No read", "No channels",
                        "No blockalign", "No samplerate", "No pwavedata", ""})
    EXPECT_FALSE(DecodersMayTake(m)) << m;
  for (int bits : {24, 32, 64}) EXPECT_TRUE(DecodedRatherThanOwn(bits)) << bits;
  for (int bits : {0, 4, 8, 12, 16}) EXPECT_FALSE(DecodedRatherThanOwn(bits)) << bits;
}

TEST(Decoder, EachFormatByItsDecoderAtItsOwnRate) {
  QTemporaryDir dir;
  const std::vector<uint8_t> pcm = Sine16(44100, 2);
  const std::string source = Write(dir, "source.wav", Wav(Pcm(2, 16), pcm));
  for (size_t i = 0; i < testing::CommonFormats().size(); ++i) {
    const testing::FormatRecipe& r = testing::CommonFormats()[i];
    SCOPED_TRACE(r.name);
    const std::string path = dir.filePath(QString("f%1%2").arg(i).arg(r.suffix)).toStdString();
    ASSERT_TRUE(testing::MakeWith(r, source, path));
    int calls = 0;
    const DecodedPcm d = DecodeToPcm16(path, [&](double) { return ++calls > 0; });
    ASSERT_TRUE(d.ok) << d.message;
    // libsndfile reads every format but the M4A, which is FFmpeg's.
    EXPECT_EQ(d.decoder, std::string(r.name) == "M4A/AAC" ? "FFmpeg" : "libsndfile");
    EXPECT_FALSE(d.description.empty());
    EXPECT_GT(calls, 0);
    const uint32_t rate = std::string(r.name) == "Opus" ? 48000 : 44100;
    EXPECT_EQ(d.format, FillWaveFormat(FormatSettings{16, static_cast<int32_t>(rate), 2}));
    EXPECT_EQ(d.fileChannels, 2);
    EXPECT_GE(d.size, uint64_t{rate} * 4);
    // The command-line tool's float form is read by the same decoder.
    std::string decoder;
    const SndfileSound f = DecodeToFloat(path, &decoder);
    ASSERT_TRUE(f.ok) << f.message;
    EXPECT_EQ(decoder, d.decoder);
    EXPECT_EQ(f.channels, 2);
    EXPECT_GE(f.frames, int64_t{rate});
  }
}

// 16-bit samples as 24-bit ones with a zero low byte.
std::vector<uint8_t> Widen24(const std::vector<uint8_t>& pcm16) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < pcm16.size(); i += 2) out.insert(out.end(), {0, pcm16[i], pcm16[i + 1]});
  return out;
}

TEST(Decoder, FirstTwoOfManyChannels) {
  QTemporaryDir dir;
  const std::vector<uint8_t> eight = Sine16(5000, 8);
  const std::vector<uint8_t> twelve = Sine16(5000, 12);
  // FLAC holds at most eight channels; the WAV twelve, in 24 bits.
  const std::string flac = dir.filePath("eight.flac").toStdString();
  ASSERT_TRUE(testing::RunTool({"sox", Write(dir, "eight.wav", Wav(Pcm(8, 16), eight)), flac}));
  const std::string wav = Write(dir, "twelve.wav", Wav(Pcm(12, 24), Widen24(twelve)));
  for (const auto& [path, all, n, bits] :
       {std::tuple{flac, eight, 8, 16}, std::tuple{wav, twelve, 12, 24}}) {
    SCOPED_TRACE(n);
    const DecodedPcm d = DecodeToPcm16(path);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.fileChannels, n);
    EXPECT_EQ(d.format.nChannels, 2);
    ASSERT_EQ(d.size, 5000u * 4);
    for (size_t f = 0; f < 5000; ++f)
      ASSERT_EQ(std::memcmp(d.data.data.get() + f * 4, all.data() + f * 2 * static_cast<size_t>(n), 4), 0)
          << f;
    // The float form keeps every channel, with the stored width.
    const SndfileSound s = DecodeToFloat(path);
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_EQ(s.channels, n);
    EXPECT_EQ(s.frames, 5000);
    EXPECT_EQ(s.bits, bits);
    EXPECT_EQ(s.samples.size(), 5000u * static_cast<size_t>(n));
  }
}

// The room for the samples follows what is decoded, whatever length a header declares.
TEST(Decoder, AHeaderThatClaimsMoreCostsNothing) {
  QTemporaryDir dir;
  // A 24-bit WAV whose data chunk declares 4 GB and holds 300 bytes (100 sample frames).
  std::vector<uint8_t> wav = Riff(Bytes()
                                      .Chunk("fmt ", FmtContent(Pcm(1, 24)))
                                      .Id("data")
                                      .U32(0xFFFFFFF0u)
                                      .Fill(300, 0x40));
  // A FLAC whose stream info declares 2^36 - 1 sample frames and holds one second.
  const std::string source = Write(dir, "s.wav", Wav(Pcm(2, 16), Sine16(44100, 2)));
  const std::string flacPath = dir.filePath("s.flac").toStdString();
  ASSERT_TRUE(testing::RunTool({"sox", source, flacPath}));
  std::vector<uint8_t> flac = ReadAll(flacPath);
  ASSERT_EQ(std::string(flac.begin(), flac.begin() + 4), "fLaC");
  // Stream info: 4-byte block header at 4, then 10 bytes, then rate (20 bits), channels (3),
  // bits (5) and the 36-bit total.
  flac[8 + 13] |= 0x0F;
  for (int i = 14; i < 18; ++i) flac[static_cast<size_t>(8 + i)] = 0xFF;
  struct Case {
    const char* name;
    std::string path;
    uint64_t bytes;   // of the 16-bit sound
  };
  const Case cases[] = {
      {"WAV", Write(dir, "lie.wav", wav), 200},
      {"FLAC", Write(dir, "lie.flac", flac), 44100u * 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedPcm d = DecodeToPcm16(c.path);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.size, c.bytes);
    EXPECT_LE(d.data.size, c.bytes + kPcmGrowthBytes + 4096);
    const SndfileSound f = DecodeToFloat(c.path);
    ASSERT_TRUE(f.ok) << f.message;
    EXPECT_EQ(static_cast<uint64_t>(f.frames) * static_cast<uint64_t>(f.channels) * 2, c.bytes);
    EXPECT_LE(f.samples.capacity(), 2 * f.samples.size() + 2 * 32768);
  }
}

TEST(Decoder, TheLimitAndTheMemorySayWhy) {
  QTemporaryDir dir;
  const std::string path = Write(dir, "a.wav", Wav(Pcm(1, 24), std::vector<uint8_t>(3 * 1000, 0)));
  DecodedPcm d = DecodeToPcm16(path, {}, 1999);
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.message, "Too large");
  EXPECT_FALSE(d.data);
  d = DecodeToPcm16(path, {}, 2000);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.size, 2000u);
  d = DecodeToPcm16(path, {}, kMaxSoundBytes,
                    [](std::string_view name) { return name == "Decoded"; });
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.message, "No Memory");
}

TEST(Decoder, SamplesThatAreNoNumbersAreSilence) {
  QTemporaryDir dir;
  Bytes data;
  const float values[] = {0.25f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(), -0.5f};
  for (float v : values) {
    uint32_t u = 0;
    std::memcpy(&u, &v, 4);
    data.U32(u);
  }
  const std::string path = Write(dir, "f.wav", Wav(Pcm(1, 32, 3), data));
  const DecodedPcm d = DecodeToPcm16(path);
  ASSERT_TRUE(d.ok) << d.message;
  ASSERT_EQ(d.size, 8u);
  const uint8_t want[] = {0x00, 0x20, 0, 0, 0, 0, 0x00, 0xC0};
  EXPECT_EQ(std::memcmp(d.data.data.get(), want, 8), 0);
}

}  // namespace
}  // namespace tonamira

// The command-line tool on what musicians bring: files written by libsndfile in every common
// format, stereo recordings with the voice on one channel, note names and cents, and the
// precise method's columns.

#include <sndfile.h>

#include <algorithm>

#include "cli/analyze_precise.h"
#include "cli/cli_fixture.h"
#include "cli/pcm_bytes.h"
#include "cli/precise_track.h"
#include "sound/wav_reader.h"
#include "support/sound_tools.h"

namespace tonamira {
namespace cli_test {
namespace {

// One second of a sine, `channels` identical channels.
std::vector<double> Sine(double hz, double amplitude, int channels = 1, int rate = 44100) {
  std::vector<double> v;
  for (int n = 0; n < rate; ++n)
    for (int c = 0; c < channels; ++c) v.push_back(amplitude * std::sin(2.0 * M_PI * hz * n / rate));
  return v;
}

TEST_F(CliTest, EveryCommonFormatAnalysesWithBothMethods) {
  struct Case {
    const char* name;
    int format;
    // Start of info's format line; empty for a PCM WAV, whose record info shows from the own
    // reader (which takes any bit depth) even though the analysis reads it through libsndfile.
    const char* description;
    double preciseTolerance;  // hertz
  };
  const Case cases[] = {
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "", 0.05},
      {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, "", 0.05},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "WAV", 0.05},
      {"ext16.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, "WAVEX", 0.05},
      {"ext24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, "WAVEX", 0.05},
      {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "FLAC", 0.05},
      {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC", 0.05},
      {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "OGG", 0.5},
      {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF", 0.05},
      {"pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "AIFF", 0.05},
  };
  for (const auto& c : cases) {
    const std::string path = (dir_ / c.name).string();
    WriteSndfile(path, c.format, Sine(440.0, 0.5));

    ASSERT_EQ(Run({"info", path}), 0) << c.name << ": " << err_.str();
    const std::string info = out_.str();
    if (*c.description)
      EXPECT_EQ(info.rfind("reader: libsndfile\nformat: " + std::string(c.description), 0), 0u)
          << info;
    else
      EXPECT_EQ(info.rfind("wFormatTag: 1\n", 0), 0u) << info;
    EXPECT_NE(info.find("nChannels: 1\nnSamplesPerSec: 44100\n"), std::string::npos) << info;
    EXPECT_NE(info.find("frames: 44100\nduration_s: 1.000000\n"), std::string::npos) << info;

    ASSERT_EQ(Run({"analyze", path}), 0) << c.name << ": " << err_.str();
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 1u + (44100 - 2048) / 1024 + 1) << c.name;
    auto f = Fields(lines[20]);
    ASSERT_EQ(f.size(), 6u) << lines[20];
    EXPECT_EQ(f[1], std::to_string(19 * 1024 * 2));  // bytes of the 16-bit form
    EXPECT_NEAR(std::stoi(f[2]), 440, 1) << c.name;
    EXPECT_EQ(f[4], "A4") << c.name;

    ASSERT_EQ(Run({"analyze", path, "--method", "precise"}), 0) << c.name << ": " << err_.str();
    lines = Lines();
    f = Fields(lines[20]);
    ASSERT_EQ(f.size(), 7u) << lines[20];
    EXPECT_NEAR(std::stod(f[2]), 440.0, c.preciseTolerance) << c.name;
    EXPECT_NEAR(std::stod(f[3]), -9.0, 0.1) << c.name;  // a sine of 0.5: -9.03 dB
    EXPECT_EQ(f[4], "A4") << c.name;
    EXPECT_GT(std::stod(f[6]), 0.95) << c.name;
  }
}

TEST_F(CliTest, WhatLibsndfileDoesNotReadFfmpegDoes) {
  // A phone's M4A (AAC): no RIFF WAVE for the own reader, not libsndfile's; FFmpeg decodes it.
  const std::string wav = (dir_ / "a440.wav").string();
  WriteSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Sine(440.0, 0.5));
  const std::string m4a = (dir_ / "a440.m4a").string();
  ASSERT_TRUE(testing::MakeWith(testing::CommonFormats()[7], wav, m4a)) << "is ffmpeg installed?";
  for (const char* method : {"window", "precise"}) {
    ASSERT_EQ(Run({"analyze", m4a, "--method", method}), 0) << method << ": " << err_.str();
    const auto lines = Lines();
    ASSERT_GT(lines.size(), 30u);
    const auto f = Fields(lines[20]);
    EXPECT_NEAR(std::stod(f[2]), 440.0, 1.0) << method;
    EXPECT_EQ(f[4], "A4") << method;
  }
  // info names the decoder that read it.
  ASSERT_EQ(Run({"info", m4a}), 0) << err_.str();
  EXPECT_EQ(Lines().at(0), "reader: FFmpeg");
  // A file no decoder reads names both: the own reader's refusal, then each decoder's.
  const auto text = Write("notes.m4a", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(Run({"analyze", text}), 2);
  EXPECT_EQ(err_.str(), "tonamira-cli: " + text +
                            ": No Wave (libsndfile: Format not recognised.; FFmpeg: Invalid data "
                            "found when processing input)\n");
}

TEST_F(CliTest, WindowMethodSeesDeepFilesAsTheir16BitSamples) {
  // 24-bit samples that are 16-bit values times 256 come back as exactly those values: the
  // window's method gives the very rows of the 16-bit file.
  const auto tone = Tone16(16384, {{{261.63, 7000.0}, {523.25, 3000.0}}});
  const auto reference = Write("ref16.wav", MakeWav({}, tone));
  std::vector<double> samples;
  for (size_t i = 0; i + 1 < tone.size(); i += 2)
    samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(tone[i] | (tone[i + 1] << 8))) /
                      32768.0);
  const std::string deep = (dir_ / "deep24.wav").string();
  WriteSndfile(deep, SF_FORMAT_WAV | SF_FORMAT_PCM_24, samples);
  ASSERT_EQ(Run({"analyze", reference}), 0);
  const std::string expected = out_.str();
  ASSERT_EQ(Run({"analyze", deep}), 0) << err_.str();
  EXPECT_EQ(out_.str(), expected);
}

TEST_F(CliTest, NoteAndCentsFollowTheReference) {
  const auto path = Write("a440.wav", MakeWav({}, Tone16(8192, {{{440.0, 8000.0}}})));
  struct Case {
    std::vector<std::string> extra;
    std::string columns;  // note,cents of the first row
  };
  const Case cases[] = {
      {{}, "A4,0.0"},
      {{"--a4", "440"}, "A4,0.0"},
      {{"--a4", "442"}, "A4,-7.9"},     // 1200 log2(440/442) = -7.85
      {{"--a4", "415"}, "A#4,1.3"},     // 440 Hz lies 1.013 semitones above 415 Hz
      {{"--a4", "466.1638"}, "G#4,0.0"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"analyze", path};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    const auto f = Fields(Lines()[1]);
    ASSERT_EQ(f.size(), 6u);
    ASSERT_EQ(f[2], "440");
    EXPECT_EQ(f[4] + "," + f[5], c.columns) << ::testing::PrintToString(c.extra);
  }
}

TEST_F(CliTest, LeftChannelSingerNeedsChannelFirst) {
  // A singer on input 1 of a stereo interface: the tone on the left, silence on the right.
  Fmt stereo;
  stereo.channels = 2;
  const auto path = Write("left.wav", MakeWav(stereo, Tone16(16384, {{{330.0, 9000.0}, {660.0, 3000.0}}, {}})));
  for (const char* method : {"window", "precise"}) {
    ASSERT_EQ(Run({"analyze", path, "--method", method}), 0) << method;
    for (size_t i = 1; i < Lines().size(); ++i)
      EXPECT_EQ(Fields(Lines()[i])[2], "") << method << ": the window's rule reads the right";
    for (const char* choice : {"first", "mix"}) {
      ASSERT_EQ(Run({"analyze", path, "--method", method, "--channel", choice}), 0);
      const auto lines = Lines();
      ASSERT_GT(lines.size(), 5u);
      for (size_t i = 1; i < lines.size(); ++i) {
        const auto f = Fields(lines[i]);
        ASSERT_FALSE(f[2].empty()) << method << " " << choice << ": " << lines[i];
        EXPECT_NEAR(std::stod(f[2]), 330.0, 1.0) << method << " " << choice;
        EXPECT_EQ(f[4], "E4") << method << " " << choice;
        EXPECT_EQ(f[1], std::to_string((i - 1) * 1024 * 4));  // stereo block align
      }
    }
  }
}

TEST_F(CliTest, ChannelSecondIsTheWindowsOwnChoice) {
  Fmt stereo;
  stereo.channels = 2;
  const auto path = Write("two.wav", MakeWav(stereo, Tone16(16384, {{{220.0, 8000.0}}, {{587.0, 6000.0}}})));
  ASSERT_EQ(Run({"analyze", path}), 0);
  const std::string byDefault = out_.str();
  ASSERT_EQ(Run({"analyze", path, "--channel", "second"}), 0);
  EXPECT_EQ(out_.str(), byDefault);
  ASSERT_EQ(Run({"analyze", path, "--channel", "first"}), 0);
  EXPECT_NEAR(std::stoi(Fields(Lines()[1])[2]), 220, 1);
}

TEST_F(CliTest, PreciseColumnsOnSilenceAndTone) {
  std::vector<uint8_t> samples(2 * 4096, 0);  // silence, then A3
  const auto tone = Tone16(8192, {{{220.0, 8000.0}, {440.0, 4000.0}}});
  samples.insert(samples.end(), tone.begin(), tone.end());
  const auto path = Write("silence-tone.wav", MakeWav({}, samples));
  ASSERT_EQ(Run({"analyze", path, "--method", "precise"}), 0);
  const auto lines = Lines();
  EXPECT_EQ(lines[0], "time_s,frame_pos,pitch_hz,level,note,cents,confidence");
  EXPECT_EQ(lines[1], "0.0000,0,,-120.0,,,0.000");
  const auto f = Fields(lines.back());
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[2].size() - f[2].find('.'), 3u) << "two decimals: " << f[2];
  EXPECT_NEAR(std::stod(f[2]), 220.0, 0.05);
  EXPECT_EQ(f[4], "A3");
  EXPECT_NEAR(std::stod(f[5]), 0.0, 0.5);
  EXPECT_GT(std::stod(f[6]), 0.99);
  EXPECT_LE(std::stod(f[6]), 1.0);
}

TEST_F(CliTest, HelpExplainsEveryColumnAndTheChannelRule) {
  ASSERT_EQ(Run({"--help"}), 0);
  const std::string help = out_.str();
  for (const char* word : {"time_s", "frame_pos", "pitch_hz", "level", "note", "cents",
                           "confidence", "--a4", "--channel", "--method", "second channel",
                           "usage:"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

TEST_F(CliTest, PreciseMethodStreamsTheSamplesItTracks) {
  // The tool streams an own-reader WAV through a sliding window; with a window of a few
  // kilobytes (many slides, frames straddling them) the rows equal those of the whole block
  // in memory, for stereo 16-bit and mono 8-bit sound and an odd hop.
  Fmt stereo;
  stereo.channels = 2;
  Fmt eight;
  eight.bits = 8;
  std::vector<uint8_t> eightBit;
  for (int n = 0; n < 30000; ++n)
    eightBit.push_back(static_cast<uint8_t>(128 + std::lround(90.0 * std::sin(2.0 * M_PI * 196.0 * n / 44100.0))));
  const struct {
    std::vector<uint8_t> file;
    ChannelChoice channel;
  } cases[] = {
      {MakeWav(stereo, Tone16(30000, {{{220.0, 8000.0}}, {{330.0, 6000.0}, {660.0, 2000.0}}})),
       ChannelChoice::kMix},
      {MakeWav(eight, eightBit), ChannelChoice::kWindowRule},
  };
  for (const auto& c : cases) {
    const auto read = ReadWavBytes(c.file, WaveFormat{});
    ASSERT_TRUE(read.ok);
    AnalyzeOptions options;
    options.hop = 777;
    options.channel = c.channel;
    auto rows = [&](PcmBytes& bytes) {
      PreciseInput input;
      input.pcm = &bytes;
      input.format = read.format;
      std::string text;
      EXPECT_EQ(AnalyzeSoundPrecise(input, options,
                                    [&](const PreciseRow& row) { AppendPreciseRow(text, row, 440.0); }),
                "");
      return text;
    };
    SpanPcmBytes whole(std::span<const uint8_t>(read.data.get(), read.size));
    SpanByteSource file(c.file);
    StreamedPcmBytes streamed(file, 44, read.size, 5000);
    const std::string expected = rows(whole);
    EXPECT_GT(std::count(expected.begin(), expected.end(), '\n'), 30);
    EXPECT_EQ(rows(streamed), expected);
  }
}

TEST_F(CliTest, PreciseMethodTakesTheBytesATruncatedFileHolds) {
  // The data chunk declares a second more than the file holds: both methods analyse the
  // frames that fit in what is there, as the window's reader would load it.
  auto file = MakeWav({}, Tone16(20000, {{{440.0, 8000.0}}}));
  const uint32_t declared = 2 * (20000 + 44100);
  for (int i = 0; i < 4; ++i) file[40 + static_cast<size_t>(i)] = static_cast<uint8_t>(declared >> (8 * i));
  const auto path = Write("truncated.wav", file);
  ASSERT_EQ(Run({"analyze", path}), 0) << err_.str();
  const size_t windowRows = Lines().size();
  ASSERT_EQ(Run({"analyze", path, "--method", "precise"}), 0) << err_.str();
  EXPECT_EQ(Lines().size(), windowRows);
  EXPECT_EQ(windowRows, 1u + (20000 - 2048) / 1024 + 1);
}

TEST(PreciseTrack, FrameLengthHoldsTwoPeriodsOfTheLowestPitch) {
  const struct {
    uint32_t rate;
    int32_t frame;
  } cases[] = {{44100, 2048}, {48000, 2048}, {96000, 2048}, {22050, 1024},
               {11025, 512},  {8000, 512},   {7000, 256}, {7681, 512}};
  for (const auto& c : cases) EXPECT_EQ(PreciseFrameLength(c.rate), c.frame) << c.rate;
}

TEST(PreciseTrack, PointsAtFrameCentresWithSubHertzPitchAndGapsInSilence) {
  std::vector<uint8_t> sound = Tone16(22050, {{{440.0, 8000.0}}});
  sound.resize(sound.size() + 2 * 13230, 0);  // 0.3 s of silence
  const auto second = Tone16(22050, {{{523.25, 8000.0}}});
  sound.insert(sound.end(), second.begin(), second.end());
  PitchTrack track;
  ASSERT_EQ(BuildPreciseTrack(sound, FillWaveFormat({16, 44100, 1}), {}, track), "");
  EXPECT_DOUBLE_EQ(track.stepSeconds, 441.0 / 44100.0);
  EXPECT_NEAR(track.points.front().timeSeconds, 1024.0 / 44100.0, 1e-12);
  int voiced = 0;
  for (const PitchPoint& p : track.points) {
    const double t = p.timeSeconds;
    if (t > 0.05 && t < 0.45) {
      ASSERT_TRUE(p.hz) << t;
      EXPECT_NEAR(*p.hz, 440.0, 0.05) << t;
      EXPECT_NEAR(p.level, 8000.0 / 32768.0 / std::sqrt(2.0), 0.01) << t;
      ++voiced;
    } else if (t > 0.55 && t < 0.75) {
      EXPECT_FALSE(p.hz) << t;
    } else if (t > 0.85 && t < 1.25) {
      ASSERT_TRUE(p.hz) << t;
      EXPECT_NEAR(*p.hz, 523.25, 0.05) << t;
    }
  }
  EXPECT_GT(voiced, 35);
}

}  // namespace
}  // namespace cli_test
}  // namespace tonamira

// The command-line tool, run in-process on WAV files written to a temporary directory: the
// window's method, its four columns, framing, and the tool's usage and failures.

#include "cli/cli_fixture.h"

namespace tonamira {
namespace cli_test {
namespace {

TEST_F(CliTest, AnalyzesEveryWholeFrameAtHopSpacing) {
  const int frames = 44100;  // one second
  const auto path = Write("a440.wav", MakeWav({}, Tone16(frames, {{{440.0, 8000.0}}})));
  ASSERT_EQ(Run({"analyze", path}), 0) << err_.str();
  const auto lines = Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "time_s,frame_pos,pitch_hz,level,note,cents");
  // Frames of 2048 at a hop of 1024 sample frames, while a whole frame fits.
  const size_t expected = (frames - 2048) / 1024 + 1;
  ASSERT_EQ(lines.size(), expected + 1);
  for (size_t i = 1; i < lines.size(); ++i) {
    const Row r = ParseRow(lines[i]);
    EXPECT_EQ(r.pos, (i - 1) * 2048u);
    EXPECT_NEAR(r.time, static_cast<double>((i - 1) * 1024) / 44100.0, 0.00005);
    ASSERT_FALSE(r.pitch.empty()) << lines[i];
    EXPECT_NEAR(std::stoi(r.pitch), 440, 2) << lines[i];
    // A sine of amplitude A centred on a bin shows a level of about 0.27 A; 440 Hz lies
    // 0.43 bin off-centre, where the window's main lobe has fallen by about 15 %.
    EXPECT_GT(std::stoi(r.level), 0.20 * 8000) << lines[i];
    EXPECT_LT(std::stoi(r.level), 0.28 * 8000) << lines[i];
  }
  EXPECT_EQ(lines[2].substr(0, 7), "0.0232,");  // 1024 / 44100 = 0.02322 s, four decimals
}

TEST_F(CliTest, SilenceGivesEmptyPitchAndLevel) {
  const auto path = Write("silence.wav", MakeWav({}, std::vector<uint8_t>(4096 * 2, 0)));
  ASSERT_EQ(Run({"analyze", path, "--frame", "1024", "--hop", "1024"}), 0);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u + 4u);
  EXPECT_EQ(lines[1], "0.0000,0,,,,");
  EXPECT_EQ(lines[4], "0.0697,6144,,,,");
}

TEST_F(CliTest, StereoIsDetectedFromTheSecondChannel) {
  Fmt stereo;
  stereo.channels = 2;
  const auto path =
      Write("stereo.wav", MakeWav(stereo, Tone16(8192, {{{440.0, 8000.0}}, {{660.0, 8000.0}}})));
  ASSERT_EQ(Run({"analyze", path}), 0) << err_.str();
  const auto lines = Lines();
  ASSERT_GT(lines.size(), 2u);
  const Row r = ParseRow(lines[1]);
  EXPECT_NEAR(std::stoi(r.pitch), 660, 2);
  EXPECT_EQ(ParseRow(lines[2]).pos, 4096u);  // hop 1024 x block align 4
}

TEST_F(CliTest, EightBitSoundUsesItsOwnDefaultThreshold) {
  Fmt eight;
  eight.bits = 8;
  std::vector<uint8_t> samples;
  for (int n = 0; n < 8192; ++n)
    samples.push_back(static_cast<uint8_t>(128 + std::lround(20.0 * std::sin(2.0 * M_PI * 330.0 * n / 44100.0))));
  const auto path = Write("eight.wav", MakeWav(eight, samples));
  // A sine of amplitude 20 peaks near 5.4: above the 8-bit default of 0.1, below 10.
  ASSERT_EQ(Run({"analyze", path}), 0);
  EXPECT_NEAR(std::stoi(ParseRow(Lines()[1]).pitch), 330, 2);
  ASSERT_EQ(Run({"analyze", path, "--threshold", "10"}), 0);
  EXPECT_EQ(ParseRow(Lines()[1]).pitch, "");
}

TEST_F(CliTest, CutoffHidesTheFundamental) {
  // 220 Hz with its 5th harmonic (1100 Hz); a 600 Hz cut-off leaves only the harmonic.
  const auto path =
      Write("cut.wav", MakeWav({}, Tone16(8192, {{{220.0, 8000.0}, {1100.0, 6000.0}}})));
  ASSERT_EQ(Run({"analyze", path}), 0);
  EXPECT_NEAR(std::stoi(ParseRow(Lines()[1]).pitch), 220, 2);
  ASSERT_EQ(Run({"analyze", path, "--cutoff", "600"}), 0);
  EXPECT_NEAR(std::stoi(ParseRow(Lines()[1]).pitch), 1100, 3);
}

TEST_F(CliTest, SoundShorterThanOneFrameGivesTheHeaderAndANote) {
  const auto path = Write("short.wav", MakeWav({}, Tone16(2047, {{{440.0, 8000.0}}})));
  const std::string note = "tonamira-cli: " + path +
                           ": note: the sound has 2047 sample frames, fewer than one analysis "
                           "frame of 2048; no rows\n";
  for (const char* method : {"window", "precise"}) {
    ASSERT_EQ(Run({"analyze", path, "--method", method}), 0) << method;
    EXPECT_EQ(Lines().size(), 1u) << method;
    EXPECT_EQ(err_.str(), note) << method;
  }
  ASSERT_EQ(Run({"analyze", path, "--frame", "256"}), 0);
  EXPECT_EQ(Lines().size(), 1u + (2047 - 256) / 128 + 1);
  EXPECT_EQ(err_.str(), "");
  ASSERT_EQ(Run({"info", path}), 0);
  EXPECT_EQ(err_.str(), "tonamira-cli: " + path +
                            ": note: the sound has 2047 sample frames, fewer than one analysis "
                            "frame of 2048\n");
}

TEST_F(CliTest, MismatchedBlockAlignNeverReadsPastTheEnd) {
  // Block align 1 for 16-bit mono: frames step by one byte but read two per sample.
  Fmt odd;
  odd.blockAlign = 1;
  const auto path = Write("odd.wav", MakeWav(odd, Tone16(1500, {{{440.0, 8000.0}}})));
  ASSERT_EQ(Run({"analyze", path, "--frame", "256", "--hop", "256"}), 0);
  const auto lines = Lines();
  ASSERT_GT(lines.size(), 1u);
  // The last frame's 512 bytes still lie inside the 3000-byte sound.
  EXPECT_LE(ParseRow(lines.back()).pos + 512, 3000u);
}

TEST_F(CliTest, InfoPrintsTheFormatRecord) {
  Fmt stereo;
  stereo.channels = 2;
  const auto path = Write("info.wav", MakeWav(stereo, std::vector<uint8_t>(400, 0)));
  ASSERT_EQ(Run({"info", path}), 0);
  EXPECT_EQ(out_.str(),
            "wFormatTag: 1\nnChannels: 2\nnSamplesPerSec: 44100\nnAvgBytesPerSec: 176400\n"
            "nBlockAlign: 4\nwBitsPerSample: 16\ncbSize: 0\ndata_bytes: 400\n"
            "frames: 100\nduration_s: 0.002268\n");
}

TEST_F(CliTest, RejectedFilesExitTwoWithTheReadersMessage) {
  // A damaged 16-bit WAV keeps the own reader's message: libsndfile is not asked.
  const auto noData = Write("nodata.wav", testing::Bytes()
                                              .Id("RIFF")
                                              .U32(28)
                                              .Id("WAVE")
                                              .Chunk("fmt ", testing::FmtContent({}))
                                              .bytes());
  const auto text = Write("notes.txt", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
  const std::string missing = (dir_ / "missing.wav").string();
  const auto mono = Write("mono.wav", MakeWav({}, std::vector<uint8_t>(8192, 0)));
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"analyze", noData}, "tonamira-cli: " + noData + ": No data\n"},
      {{"info", noData}, "tonamira-cli: " + noData + ": No data\n"},
      {{"analyze", missing}, "tonamira-cli: " + missing + ": No File\n"},
      {{"analyze", mono, "--channel", "second"},
       "tonamira-cli: " + mono + ": the sound has no second channel\n"},
      {{"analyze", mono, "--channel", "second", "--method", "precise"},
       "tonamira-cli: " + mono + ": the sound has no second channel\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), 2) << c.message;
    EXPECT_EQ(err_.str(), c.message);
  }
  // Neither reader knows a text file: the own reader's message, then libsndfile's.
  EXPECT_EQ(Run({"analyze", text}), 2);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: " + text + ": No Wave (libsndfile: ", 0), 0u)
      << err_.str();
}

TEST_F(CliTest, UsageErrorsExitOne) {
  const auto path = Write("ok.wav", MakeWav({}, std::vector<uint8_t>(8192, 0)));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"analyze"},
      {"transcribe", path},
      {"info", path, "extra"},
      {"analyze", path, "--frame", "1000"},
      {"analyze", path, "--frame", "4096"},
      {"analyze", path, "--hop", "0"},
      {"analyze", path, "--hop", "x"},
      {"analyze", path, "--threshold", "-1"},
      {"analyze", path, "--cutoff", "nan"},
      {"analyze", path, "--bogus"},
      {"analyze", path, "--method", "yin"},
      {"analyze", path, "--channel", "third"},
      {"analyze", path, "--channel", "0"},
      {"analyze", path, "--a4", "0"},
      {"analyze", path, "--a4", "-440"},
      {"analyze", path, "--a4", "inf"},
  };
  for (const auto& args : cases) {
    EXPECT_EQ(Run(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(err_.str().find("usage:"), std::string::npos);
    EXPECT_TRUE(out_.str().empty());
  }
}

}  // namespace
}  // namespace cli_test
}  // namespace tonamira

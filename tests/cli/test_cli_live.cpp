// `tonamira-cli analyze --method live`: the live trace's tracker over a whole file. Its rows
// have the precise method's columns; on the precise method's frame layout they are its rows
// wherever the voicing's look-ahead reaches; by default a frame every 256 sample frames at
// 44100 Hz, as long as the trace's frame.

#include <sndfile.h>

#include "cli/cli_fixture.h"

namespace tonamira {
namespace cli_test {
namespace {

const std::string kData = TONAMIRA_TRACKER_DATA;

TEST_F(CliTest, LiveMethodOnThePreciseLayoutGivesThePreciseRows) {
  // The excerpts' onsets settle within the look-ahead at this hop: every row the same.
  for (const char* name : {"notes.flac", "noise.flac"}) {
    const std::string path = kData + "/" + name;
    ASSERT_EQ(Run({"analyze", path, "--method", "precise", "--hop", "1024"}), 0) << err_.str();
    const std::string precise = out_.str();
    ASSERT_GT(std::count(precise.begin(), precise.end(), '\n'), 90) << name;
    ASSERT_EQ(Run({"analyze", path, "--method", "live", "--hop", "1024"}), 0) << err_.str();
    EXPECT_EQ(out_.str(), precise) << name;
  }
}

TEST_F(CliTest, LiveMethodRowsFollowTheTracesHopAndFrame) {
  struct Case {
    uint32_t rate;
    int frames;
    std::vector<std::string> extra;
    int frame, hop;  // the layout expected
  };
  const Case cases[] = {
      {44100, 20000, {}, 2048, 256},
      {22050, 20000, {}, 1024, 128},              // the precise tracker's frame at this rate
      {44100, 20000, {"--frame", "1024"}, 1024, 256},
      {44100, 20000, {"--hop", "441"}, 2048, 441},
      {44100, 2000, {}, 2048, 256},               // shorter than a frame: no rows
  };
  for (const auto& c : cases) {
    Fmt fmt;
    fmt.rate = c.rate;
    // Tone16 counts time at 44100 Hz: 440 Hz there, 220 Hz at 22050 Hz.
    const auto path = Write("tone.wav", MakeWav(fmt, Tone16(c.frames, {{{440.0, 8000.0}}})));
    std::vector<std::string> args = {"analyze", path, "--method", "live"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    const auto lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "time_s,frame_pos,pitch_hz,level,note,cents,confidence");
    const size_t rows = c.frames < c.frame ? 0 : static_cast<size_t>((c.frames - c.frame) / c.hop + 1);
    ASSERT_EQ(lines.size(), rows + 1) << c.rate << " " << ::testing::PrintToString(c.extra);
    if (rows == 0) {
      EXPECT_NE(err_.str().find("fewer than one analysis frame of 2048"), std::string::npos);
      continue;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
      const auto f = Fields(lines[i]);
      ASSERT_EQ(f.size(), 7u) << lines[i];
      EXPECT_EQ(f[1], std::to_string((i - 1) * static_cast<size_t>(c.hop) * 2));
      EXPECT_NEAR(std::stod(f[0]), static_cast<double>((i - 1) * static_cast<size_t>(c.hop)) / c.rate, 0.00005);
      ASSERT_FALSE(f[2].empty()) << lines[i];
      EXPECT_NEAR(std::stod(f[2]), 440.0 * c.rate / 44100.0, 0.05) << lines[i];
    }
  }
}

TEST_F(CliTest, LiveMethodTakesItsChannelAndRefusesWhatItCannotStream) {
  Fmt stereo;
  stereo.channels = 2;
  const auto two = Write("two.wav", MakeWav(stereo, Tone16(12000, {{{220.0, 8000.0}}, {{587.33, 6000.0}}})));
  const struct {
    const char* channel;
    double hz;
  } choices[] = {{"first", 220.0}, {"second", 587.33}};
  for (const auto& c : choices) {
    ASSERT_EQ(Run({"analyze", two, "--method", "live", "--channel", c.channel}), 0) << err_.str();
    const auto f = Fields(Lines().back());
    EXPECT_NEAR(std::stod(f[2]), c.hz, 0.05) << c.channel;
    EXPECT_EQ(Fields(Lines()[2])[1], "1024");  // hop 256 x block align 4
  }
  Fmt odd;
  odd.blockAlign = 1;
  const auto misaligned = Write("odd.wav", MakeWav(odd, Tone16(5000, {{{440.0, 8000.0}}})));
  EXPECT_EQ(Run({"analyze", misaligned, "--method", "live"}), 2);
  EXPECT_EQ(err_.str(), "tonamira-cli: " + misaligned +
                            ": the block alignment does not match the channels and the sample "
                            "width\n");
  const auto mono = Write("mono.wav", MakeWav({}, Tone16(5000, {{{440.0, 8000.0}}})));
  EXPECT_EQ(Run({"analyze", mono, "--method", "live", "--channel", "second"}), 2);
  EXPECT_EQ(Run({"analyze", mono, "--method", "lively"}), 1);
  ASSERT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("--method live"), std::string::npos);
}

TEST_F(CliTest, LiveMethodReadsDeepFilesAtFullResolution) {
  // A 24-bit FLAC through libsndfile: the same pitch as the precise method's, to the
  // hundredth, on the frames the two share.
  const std::string path = (dir_ / "deep.flac").string();
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<double> samples(30000);
  for (size_t n = 0; n < samples.size(); ++n)
    samples[n] = 0.4 * std::sin(2.0 * M_PI * 311.13 * static_cast<double>(n) / 44100.0);
  sf_writef_double(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
  ASSERT_EQ(Run({"analyze", path, "--method", "precise", "--hop", "1024"}), 0) << err_.str();
  const std::string precise = out_.str();
  ASSERT_EQ(Run({"analyze", path, "--method", "live"}), 0) << err_.str();
  const auto live = Lines();
  ASSERT_EQ(live.size(), 1u + (30000 - 2048) / 256 + 1);
  std::istringstream rows(precise);
  std::string line;
  std::getline(rows, line);
  for (size_t i = 1; std::getline(rows, line); ++i) EXPECT_EQ(live[1 + 4 * (i - 1)], line);
}

}  // namespace
}  // namespace cli_test
}  // namespace tonamira

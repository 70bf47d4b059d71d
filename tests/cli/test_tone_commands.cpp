// The tone commands of the command-line tool, run in-process: the written tones against the
// restarting definition, the resynthesis of analysed frames, and the refusals.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli_fixture.h"
#include "sound/wav_reader.h"
#include "support/wav_bytes.h"
#include "synth/mixer.h"
#include "synth/tone.h"
#include "synth/tone_reference.h"

namespace tonamira {
namespace {

namespace fs = std::filesystem;

// 16-bit mono samples at 44100 Hz of a sum of sines (frequency, amplitude).
std::vector<uint8_t> Tone16(int frames, const std::vector<std::pair<double, double>>& partials) {
  return cli_test::Tone16(frames, {partials});
}

class ToneCommandTest : public cli_test::CliTest {
 protected:
  std::string WriteWav(const std::string& name, const std::vector<uint8_t>& samples) {
    return Write(name, testing::CanonicalWav({}, samples));
  }

  // The samples of a tone file the tool wrote, checking its format on the way.
  std::vector<uint8_t> ReadTone(const std::string& path) {
    const WavReadResult read = ReadWavFile(path, WaveFormat{});
    EXPECT_TRUE(read.ok) << read.message;
    if (!read.ok) return {};
    EXPECT_EQ(read.format.wFormatTag, 1);
    EXPECT_EQ(read.format.nChannels, 1);
    EXPECT_EQ(read.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(read.format.wBitsPerSample, 16);
    return {read.data.get(), read.data.get() + read.size};
  }

  // A resynthesis line "key: value" of the summary.
  std::string Summary(const std::string& key) const {
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);)
      if (line.rfind(key + ": ", 0) == 0) return line.substr(key.size() + 2);
    return {};
  }
};

std::vector<int> Numbers(const std::string& list) {
  std::vector<int> v;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) v.push_back(std::stoi(item));
  return v;
}

TEST_F(ToneCommandTest, SynthWritesTheDefinitionsTone) {
  struct Case {
    std::vector<std::string> args;
    int32_t freq;
    std::vector<int32_t> levels;
    std::vector<double> phases;
    int32_t volume;
    int32_t tenths;
    std::string err;
  };
  const std::string twenty = "100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100,100";
  const std::vector<int32_t> all100(20, 100);
  const std::vector<Case> cases = {
      {{"--freq", "100", "--levels", "100"}, 100, {100}, {}, 10, 5, ""},
      {{"--freq", "100", "--levels", "100", "--volume", "300"}, 100, {100}, {}, 300, 5,
       "tonamira-cli: volume reduced to 240\n"},
      {{"--freq", "50", "--levels", twenty, "--volume", "300", "--length", "30"}, 50, all100, {},
       300, 30, "tonamira-cli: volume reduced to 17\n"},
      {{"--freq", "440", "--levels", "100,50,25", "--phases", "0.5,-1,2", "--length", "1"}, 440,
       {100, 50, 25}, {0.5, -1.0, 2.0}, 10, 1, ""},
      // Eleven harmonics fit at 2000 Hz; their sum needs seven cuts.
      {{"--freq", "2000", "--levels", twenty, "--volume", "150", "--length", "2"}, 2000, all100, {},
       150, 2, "tonamira-cli: volume reduced to 32\n"},
      {{"--freq", "11025", "--levels", "100", "--volume", "300", "--length", "30"}, 11025, {100},
       {}, 300, 30, "tonamira-cli: volume reduced to 240\n"},
      // Half the rate: every sample lies on a zero of the sine.
      {{"--freq", "22050", "--levels", "100", "--volume", "300", "--length", "3"}, 22050, {100},
       {}, 300, 3, ""},
      {{"--freq", "1", "--levels", "100,0,40", "--volume", "200", "--length", "1"}, 1,
       {100, 0, 40}, {}, 200, 1, ""},
      {{"--freq", "300", "--levels", "100", "--volume", "0"}, 300, {100}, {}, 0, 5, ""},
      {{"--freq", "777", "--levels", "0,0,90", "--phases", "0,0,-3.1", "-o"}, 777, {0, 0, 90},
       {0, 0, -3.1}, 10, 5, ""},  // -o written first below: order does not matter
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string out = Path("tone" + std::to_string(i++) + ".wav");
    std::vector<std::string> args = {"synth"};
    if (c.args.back() == "-o") {
      args.insert(args.end(), {"-o", out});
      args.insert(args.end(), c.args.begin(), c.args.end() - 1);
    } else {
      args.insert(args.end(), c.args.begin(), c.args.end());
      args.insert(args.end(), {"-o", out});
    }
    ASSERT_EQ(Run(args), 0) << err_.str();
    EXPECT_EQ(err_.str(), c.err) << c.freq;
    EXPECT_TRUE(out_.str().empty());

    // The mixer's tone at 44100 Hz: its harmonic count and its fade for that length.
    ToneRecipe recipe;
    recipe.freq = c.freq;
    recipe.volume = c.volume;
    recipe.rate = 44100;
    recipe.harmonicLimit = HarmonicCount(44100, c.freq);
    recipe.fadeLength = FadeLength(44100, c.tenths * 0.1);
    for (size_t k = 0; k < c.levels.size(); ++k) recipe.levels[k + 1] = c.levels[k];
    for (size_t k = 0; k < c.phases.size(); ++k) recipe.phases[k + 1] = c.phases[k];
    std::vector<uint8_t> expected(static_cast<size_t>(c.tenths) * 8820);
    SynthesizeToneRestarting(recipe, expected);
    EXPECT_EQ(ReadTone(out), expected) << c.freq << " Hz, volume " << c.volume;
  }
}

TEST_F(ToneCommandTest, UsageErrorsExitOneAndWriteNothing) {
  const std::string out = Path("never.wav");
  const std::string in = WriteWav("in.wav", Tone16(8192, {{220.0, 8000.0}}));
  const std::string s21 = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1";
  const std::vector<std::vector<std::string>> cases = {
      {"synth", "--levels", "100", "-o", out},
      {"synth", "--freq", "0", "--levels", "100", "-o", out},
      {"synth", "--freq", "22051", "--levels", "100", "-o", out},
      {"synth", "--freq", "1.5", "--levels", "100", "-o", out},
      {"synth", "--freq", "abc", "--levels", "100", "-o", out},
      {"synth", "--freq", "440", "-o", out},
      {"synth", "--freq", "440", "--levels", "101", "-o", out},
      {"synth", "--freq", "440", "--levels", "-1", "-o", out},
      {"synth", "--freq", "440", "--levels", "1,,2", "-o", out},
      {"synth", "--freq", "440", "--levels", "", "-o", out},
      {"synth", "--freq", "440", "--levels", s21, "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--phases", "nan", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--phases", "inf", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--phases", "x", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--phases", s21, "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--volume", "301", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--volume", "-1", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--length", "0", "-o", out},
      {"synth", "--freq", "440", "--levels", "100", "--length", "31", "-o", out},
      {"synth", "--freq", "440", "--levels", "100"},
      {"synth", "--freq", "440", "--levels", "100", "-o", out, "extra"},
      {"synth", "--freq", "440", "--levels", "100", "--bogus", "-o", out},
      {"resynth", "--at", "0", "-o", out},
      {"resynth", in, "-o", out},
      {"resynth", in, "--at", "-0.1", "-o", out},
      {"resynth", in, "--at", "nan", "-o", out},
      {"resynth", in, "--at", "0", "--volume", "400", "-o", out},
      {"resynth", in, "--at", "0", "--length", "40", "-o", out},
      {"resynth", in, "--at", "0"},
      {"resynth", in, in, "--at", "0", "-o", out},
  };
  for (const auto& args : cases) {
    EXPECT_EQ(Run(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(err_.str().find("usage:"), std::string::npos) << ::testing::PrintToString(args);
    EXPECT_TRUE(out_.str().empty());
    EXPECT_FALSE(fs::exists(out)) << ::testing::PrintToString(args);
  }
}

TEST_F(ToneCommandTest, ResynthGivesAToneWithTheDetectedHarmonics) {
  // 220 Hz with falling overtones; the tone made from its analysis, analysed again, shows
  // the same harmonic levels within 2 dB and the same pitch.
  const std::string in = WriteWav(
      "voice.wav", Tone16(22050, {{220.0, 9000.0}, {440.0, 6000.0}, {660.0, 3500.0},
                                  {880.0, 2000.0}, {1100.0, 1000.0}}));
  const std::string out = Path("resynth.wav");
  ASSERT_EQ(Run({"resynth", in, "--at", "0.1", "-o", out, "--length", "10"}), 0) << err_.str();
  EXPECT_EQ(Summary("pitch"), "220");
  EXPECT_EQ(Summary("freq"), "220");
  const std::vector<int> heard = Numbers(Summary("levels"));
  ASSERT_EQ(heard.size(), 20u);
  EXPECT_EQ(ReadTone(out).size(), 10u * 8820u);

  const std::string again = Path("again.wav");
  ASSERT_EQ(Run({"resynth", out, "--at", "0.2", "-o", again}), 0) << err_.str();
  EXPECT_EQ(Summary("freq"), "220");
  const std::vector<int> reheard = Numbers(Summary("levels"));
  ASSERT_EQ(reheard.size(), 20u);
  for (int k = 0; k < 5; ++k) {
    ASSERT_GT(heard[k], 0) << k + 1;
    EXPECT_LT(std::fabs(20.0 * std::log10(reheard[k] / static_cast<double>(heard[k]))), 2.0)
        << "harmonic " << k + 1 << ": " << heard[k] << " then " << reheard[k];
  }
}

TEST_F(ToneCommandTest, ResynthAboveTheMixersRangeKeepsItsFundamental) {
  const std::string in = WriteWav("high.wav", Tone16(8192, {{3000.0, 8000.0}}));
  const std::string out = Path("high-out.wav");
  ASSERT_EQ(Run({"resynth", in, "--at", "0", "-o", out}), 0) << err_.str();
  EXPECT_EQ(Summary("freq"), "100");
  EXPECT_NE(err_.str().find("keeps its fundamental of 100 Hz"), std::string::npos) << err_.str();
  EXPECT_TRUE(fs::exists(out));
}

TEST_F(ToneCommandTest, ResynthRefusalsExitTwoAndLeaveNoFile) {
  const std::string silence = WriteWav("silence.wav", std::vector<uint8_t>(2 * 8192, 0));
  const std::string tone = WriteWav("tone.wav", Tone16(8192, {{220.0, 8000.0}}));
  const std::string out = Path("out.wav");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"resynth", silence, "--at", "0.05", "-o", out},
       "tonamira-cli: " + silence + " at 0.05 s: no pitch detected there\n"},
      // 8192 samples: the last whole frame starts at 6144 (0.1393 s).
      {{"resynth", tone, "--at", "0.14", "-o", out},
       "tonamira-cli: " + tone + " at 0.14 s: no whole frame of 2048 samples starts there\n"},
      {{"resynth", Path("missing.wav"), "--at", "0", "-o", out},
       "tonamira-cli: " + Path("missing.wav") + ": No File\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), 2) << c.message;
    EXPECT_EQ(err_.str(), c.message);
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(Run({"resynth", tone, "--at", "0.139", "-o", out}), 0) << err_.str();

  // A failed resynthesis leaves an existing file as it was.
  std::ofstream(Path("keep.wav")) << "keep";
  EXPECT_EQ(Run({"resynth", silence, "--at", "0", "-o", Path("keep.wav")}), 2);
  std::ifstream kept(Path("keep.wav"));
  std::string content;
  kept >> content;
  EXPECT_EQ(content, "keep");
}

TEST_F(ToneCommandTest, HelpPrintsTheUsage) {
  for (const char* command : {"synth", "resynth"}) {
    EXPECT_EQ(Run({command, "--help"}), 0);
    EXPECT_NE(out_.str().find("tonamira-cli resynth FILE --at SECONDS"), std::string::npos);
    EXPECT_TRUE(err_.str().empty());
  }
}

TEST_F(ToneCommandTest, UnwritableOutputExitsTwo) {
  // What is not a regular file is never replaced: a pipe stays a pipe, a folder a folder.
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  fs::create_directories(Path("folder"));
  struct Case {
    std::string out;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Path("no-such-dir/tone.wav"), "No File"},
      {Path("pipe"), "Not a regular file"},
      {Path("folder"), "Not a regular file"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run({"synth", "--freq", "440", "--levels", "100", "-o", c.out}), 2) << c.out;
    EXPECT_EQ(err_.str(), "tonamira-cli: " + c.out + ": " + c.message + "\n");
  }
  EXPECT_FALSE(fs::exists(Path("no-such-dir/tone.wav")));
  EXPECT_TRUE(fs::is_fifo(Path("pipe")));
  EXPECT_TRUE(fs::is_directory(Path("folder")));
}

}  // namespace
}  // namespace tonamira

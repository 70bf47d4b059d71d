// --min-hz and --max-hz: the pitch range the precise tracker searches, checked as usage
// errors and carried to the precise and live methods.

#include <cstdio>

#include "analysis/pitch_tracker.h"
#include "cli/cli_fixture.h"

namespace tonamira {
namespace cli_test {
namespace {

std::string Hertz(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g Hz", hz);
  return text;
}

TEST_F(CliTest, PitchRangeFlagsAreCheckedBeforeAnyFileIsRead) {
  const std::string ok = Write("ok.wav", MakeWav({}, Tone16(8192, {{{440.0, 8000.0}}})));
  const std::string missing = Path("missing.wav");  // never opened: the usage fails first
  const std::string png = Path("out.png");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"analyze", missing, "--method", "precise", "--min-hz", "0"}, "--min-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "precise", "--min-hz", "-50"}, "--min-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "precise", "--min-hz", "x"}, "--min-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "precise", "--min-hz", "nan"}, "--min-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "live", "--max-hz", "inf"}, "--max-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "live", "--max-hz", "0"}, "--max-hz must be a positive number of hertz"},
      {{"analyze", missing, "--method", "precise", "--min-hz", "500", "--max-hz", "400"},
       "--min-hz (500 Hz) must lie below --max-hz (400 Hz)"},
      {{"analyze", missing, "--method", "precise", "--min-hz", "300", "--max-hz", "300"},
       "--min-hz (300 Hz) must lie below --max-hz (300 Hz)"},
      // One bound given: the other is the tracker's own.
      {{"analyze", missing, "--method", "precise", "--max-hz", "1"},
       "--min-hz (" + Hertz(TrackerSettings{}.minHz) + ") must lie below --max-hz (1 Hz)"},
      {{"analyze", missing, "--min-hz", "100"}, "--min-hz and --max-hz are for the precise and live methods"},
      {{"analyze", missing, "--method", "window", "--max-hz", "900"},
       "--min-hz and --max-hz are for the precise and live methods"},
      {{"plot", missing, "-o", png, "--method", "window", "--min-hz", "100"},
       "--min-hz and --max-hz are for the precise method"},
      {{"plot", missing, "-o", png, "--min-hz", "abc"}, "--min-hz must be a positive number of hertz"},
      {{"plot", missing, "-o", png, "--min-hz", "900", "--max-hz", "100"},
       "--min-hz (900 Hz) must lie below --max-hz (100 Hz)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), 1) << ::testing::PrintToString(c.args);
    EXPECT_EQ(err_.str().rfind("tonamira-cli: " + c.message + "\nusage: ", 0), 0u) << err_.str();
    EXPECT_EQ(out_.str(), "");
  }
  EXPECT_FALSE(fs::exists(png));
  // Within the range a file is analysed as usual.
  EXPECT_EQ(Run({"analyze", ok, "--method", "precise", "--min-hz", "100", "--max-hz", "1000"}), 0)
      << err_.str();
}

TEST_F(CliTest, PitchRangeReachesTheTracker) {
  // 880 Hz: a period of 50 samples. Below a ceiling of 500 Hz the tracker can only take the
  // period twice over (440 Hz) or call the frame unvoiced; above a floor of 1000 Hz, nothing
  // of a 440 Hz tone is found.
  const std::string high = Write("a880.wav", MakeWav({}, Tone16(20000, {{{880.0, 8000.0}}})));
  const std::string low = Write("a440.wav", MakeWav({}, Tone16(20000, {{{440.0, 8000.0}}})));
  for (const char* method : {"precise", "live"}) {
    ASSERT_EQ(Run({"analyze", high, "--method", method}), 0) << err_.str();
    const auto lines = Lines();
    ASSERT_GT(lines.size(), 5u);
    EXPECT_NEAR(std::stod(Fields(lines[3])[2]), 880.0, 0.05) << method;

    // Each row's pitch, where one is found, through `check`.
    const auto eachPitch = [&](const std::vector<std::string>& args, const auto& check) {
      ASSERT_EQ(Run(args), 0) << err_.str();
      const auto rows = Lines();
      ASSERT_GT(rows.size(), 5u);
      for (size_t i = 1; i < rows.size(); ++i)
        if (const std::string pitch = Fields(rows[i])[2]; !pitch.empty())
          check(std::stod(pitch), method + std::string(": ") + rows[i]);
    };
    eachPitch({"analyze", high, "--method", method, "--max-hz", "500"},
              [](double hz, const std::string& row) { EXPECT_NEAR(hz, 440.0, 0.05) << row; });
    eachPitch({"analyze", low, "--method", method, "--min-hz", "1000"},
              [](double hz, const std::string& row) { EXPECT_GT(hz, 999.0) << row; });
  }
}

TEST_F(CliTest, ARangeTooNarrowForTheRateIsRefusedAsSuch) {
  // 1005 to 1010 Hz at 44100 Hz: periods of 43.9 to 43.7 samples, fewer lags than the
  // tracker needs around its dip.
  const std::string ok = Write("ok.wav", MakeWav({}, Tone16(8192, {{{1007.0, 8000.0}}})));
  for (const char* method : {"precise", "live"}) {
    EXPECT_EQ(Run({"analyze", ok, "--method", method, "--min-hz", "1005", "--max-hz", "1010"}), 2);
    EXPECT_EQ(err_.str(), "tonamira-cli: " + ok + ": the pitch range 1005 to 1010 Hz is too " +
                              "narrow for the " + method + " method at this rate\n");
  }
  // A hop longer than the frame is the live method's old refusal, whatever the range.
  EXPECT_EQ(Run({"analyze", ok, "--method", "live", "--hop", "4096", "--max-hz", "1500"}), 2);
  EXPECT_EQ(err_.str(), "tonamira-cli: " + ok + ": the frame is too short for the live method at this rate\n");
}

}  // namespace
}  // namespace cli_test
}  // namespace tonamira

// The command table of the tool: every command's exit status for a usage error, a file it
// cannot read (or write) and a success, through the one dispatch; each command's usage after
// an error and for --help; and the option parsers every command shares.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_table.h"
#include "cli/options.h"
#include "cli_fixture.h"
#include "plot_app.h"

namespace tonamira {
namespace {

namespace fs = std::filesystem;

using CommandTableTest = plot_test::PlotCliTest;  // plot draws text

TEST_F(CommandTableTest, EveryCommandEndsWithTheToolsStatuses) {
  const std::string ok = Write("ok.wav", cli_test::MakeWav({}, cli_test::Tone16(8192, {{{440.0, 8000.0}}})));
  const std::string text = Write("notes.txt", std::vector<uint8_t>{'h', 'i', '\n'});
  const std::string missing = Path("missing.wav");
  const std::string png = Path("out.png");
  const std::string wav = Path("out.wav");
  enum Kind { kUsage, kUnreadable, kSuccess };
  const struct {
    Kind kind;
    std::vector<std::string> args;
    // The start of standard error for a refusal or a usage error, of standard output for a
    // success (synth prints nothing).
    std::string text;
  } cases[] = {
      {kUsage, {"analyze", ok, "--frame", "1000"}, "tonamira-cli: --frame must be 256, 512, 1024 or 2048\nusage:"},
      {kUnreadable, {"analyze", missing}, "tonamira-cli: " + missing + ": No File\n"},
      {kSuccess, {"analyze", ok}, "time_s,frame_pos,"},
      {kUsage, {"info", ok, ok}, "tonamira-cli: expected a command and one file\nusage:"},
      {kUnreadable, {"info", text}, "tonamira-cli: " + text + ": No Wave (libsndfile: "},
      {kSuccess, {"info", ok}, "wFormatTag: 1\n"},
      {kUsage, {"plot", ok, "-o", Path("out.jpg")}, "tonamira-cli: -o must name a .png or .svg file\nusage:"},
      {kUnreadable, {"plot", missing, "-o", png}, "tonamira-cli: " + missing + ": No File\n"},
      {kSuccess, {"plot", ok, "-o", png}, png + "\n"},
      {kUsage, {"synth", "--freq", "0", "--levels", "100", "-o", wav},
       "tonamira-cli: --freq must be a whole number of hertz from 1 to 22050\nusage:"},
      {kUnreadable, {"synth", "--freq", "440", "--levels", "100", "-o", Path("no/dir.wav")},
       "tonamira-cli: " + Path("no/dir.wav") + ": No File\n"},
      {kSuccess, {"synth", "--freq", "440", "--levels", "100", "-o", wav}, ""},
      {kUsage, {"resynth", ok, "-o", wav}, "tonamira-cli: --at must be a time in seconds, at least 0\nusage:"},
      {kUnreadable, {"resynth", text, "--at", "0", "-o", wav}, "tonamira-cli: " + text + ": No Wave (libsndfile: "},
      {kSuccess, {"resynth", ok, "--at", "0", "-o", wav}, "pitch: "},
      // Before any command.
      {kUsage, {}, "tonamira-cli: expected a command and one file\nusage:"},
      {kUsage, {"transcribe", ok}, "tonamira-cli: unknown command 'transcribe'\nusage:"},
      {kUsage, {"--bogus"}, "tonamira-cli: Unknown option 'bogus'.\nusage:"},
      {kUsage, {"-"}, "tonamira-cli: unknown command '-'\nusage:"},
      {kSuccess, {"--help"}, "tonamira-cli: the pitch of every frame"},
      {kSuccess, {"-h"}, "tonamira-cli: the pitch of every frame"},
  };
  for (const auto& c : cases) {
    const std::string name = ::testing::PrintToString(c.args);
    switch (c.kind) {
      case kUsage:
        EXPECT_EQ(Run(c.args), 1) << name;
        EXPECT_EQ(err_.str().rfind(c.text, 0), 0u) << name << "\n" << err_.str();
        EXPECT_EQ(out_.str(), "") << name;
        break;
      case kUnreadable:
        EXPECT_EQ(Run(c.args), 2) << name;
        EXPECT_EQ(err_.str().rfind(c.text, 0), 0u) << name << "\n" << err_.str();
        EXPECT_EQ(err_.str().find("usage:"), std::string::npos) << name;
        break;
      case kSuccess:
        EXPECT_EQ(Run(c.args), 0) << name << "\n" << err_.str();
        EXPECT_EQ(err_.str(), "") << name;
        EXPECT_EQ(out_.str().rfind(c.text, 0), 0u) << name << "\n" << out_.str();
        break;
    }
  }
  EXPECT_FALSE(fs::exists(Path("out.jpg")));
  EXPECT_TRUE(fs::exists(png));
  EXPECT_TRUE(fs::exists(wav));
}

TEST_F(CommandTableTest, EachCommandShowsItsUsageAfterAnErrorAndForHelp) {
  // Every line of the tool's usage fits a terminal.
  const std::string usage = ToolUsage();
  for (size_t start = 0, end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u) << usage.substr(start, end - start);
  for (const Command& command : Commands()) {
    const std::string synopsis(command.usage);
    EXPECT_EQ(Run({std::string(command.name), "--bogus"}), 1) << command.name;
    EXPECT_EQ(err_.str().rfind("tonamira-cli: Unknown option 'bogus'.\nusage: ", 0), 0u)
        << err_.str();
    EXPECT_NE(err_.str().find(synopsis), std::string::npos) << command.name;
    EXPECT_EQ(Run({std::string(command.name), "--help"}), 0) << command.name;
    EXPECT_NE(out_.str().find(synopsis), std::string::npos) << command.name;
    EXPECT_EQ(err_.str(), "");
  }
}

TEST(CommandOptions, WholeAndRealNumbers) {
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } wholes[] = {{"12", true, 12}, {" 12 ", true, 12}, {"+7", true, 7},   {"0", true, 0},
                {"-1", false, 0}, {"1.5", false, 0},  {"0x10", false, 0}, {"", false, 0},
                {"101", false, 0}, {"abc", false, 0}, {"99999999999", false, 0}};
  for (const auto& w : wholes) {
    int32_t value = -99;
    EXPECT_EQ(ParseWhole(w.text, 0, 100, value), w.ok) << w.text;
    EXPECT_EQ(value, w.ok ? w.value : -99) << w.text << ": a refused text leaves the value";
  }
  const struct {
    const char* text;
    bool ok;
    double value;
  } reals[] = {{"1.5", true, 1.5}, {"-2", true, -2.0}, {"1e3", true, 1000.0}, {" 3 ", true, 3.0},
               {"nan", false, 0}, {"inf", false, 0},  {"-inf", false, 0},    {"1,5", false, 0},
               {"", false, 0}};
  for (const auto& r : reals) {
    double value = -99.0;
    EXPECT_EQ(ParseReal(r.text, value), r.ok) << r.text;
    EXPECT_EQ(value, r.ok ? r.value : -99.0) << r.text;
  }
}

TEST(CommandOptions, ChoicesAndLists) {
  enum class Colour { kRed, kBlue };
  const Choice<Colour> colours[] = {{"red", Colour::kRed}, {"blue", Colour::kBlue}};
  Colour colour = Colour::kRed;
  EXPECT_TRUE(ParseChoice("blue", colours, colour));
  EXPECT_EQ(colour, Colour::kBlue);
  EXPECT_FALSE(ParseChoice("Blue", colours, colour));
  EXPECT_FALSE(ParseChoice("", colours, colour));
  EXPECT_EQ(colour, Colour::kBlue);

  const auto whole = [](const QString& text, int32_t& v) { return ParseWhole(text, 0, 9, v); };
  const struct {
    const char* text;
    bool ok;
    std::vector<int32_t> values;
  } lists[] = {{"1", true, {1}},          {"1,2,3", true, {1, 2, 3}}, {"1, 2", true, {1, 2}},
               {"1,,2", false, {}},       {"", false, {}},            {"1,2,3,4", false, {}},
               {"1,2,", false, {}},       {"1,10", false, {}}};
  for (const auto& l : lists) {
    std::vector<int32_t> values;
    EXPECT_EQ(ParseList<int32_t>(l.text, 3, whole, values), l.ok) << l.text;
    if (l.ok) {
      EXPECT_EQ(values, l.values) << l.text;
    }
  }
}

}  // namespace
}  // namespace tonamira

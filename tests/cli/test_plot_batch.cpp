// plot and resynth read every sound through the tool's input (FLAC and 24-bit WAV as their
// 16-bit samples), plot draws a batch of files with the same pictures whatever the jobs, and
// plot's --max-hz reaches the precise tracker.

#include <gtest/gtest.h>

#include <QImage>

#include "cli/pitch_plot.h"
#include "cli/pitch_track.h"
#include "cli/precise_track.h"
#include "cli_fixture.h"
#include "plot_app.h"

namespace tonamira {
namespace {

namespace fs = std::filesystem;

class PlotInputTest : public plot_test::PlotCliTest {
 protected:
  void SetUp() override {
    PlotCliTest::SetUp();
    // Two notes with overtones, 16-bit samples.
    std::vector<uint8_t> samples = cli_test::Tone16(30000, {{{330.0, 7000.0}, {660.0, 2500.0}}});
    const auto second = cli_test::Tone16(30000, {{{392.0, 7000.0}, {784.0, 2000.0}}});
    samples.insert(samples.end(), second.begin(), second.end());
    pcm16_ = samples;
    for (size_t i = 0; i + 1 < samples.size(); i += 2)
      values_.push_back(static_cast<int16_t>(static_cast<uint16_t>(samples[i] | (samples[i + 1] << 8))) /
                        32768.0);
  }

  // The melody in another format; every format here holds the 16-bit values exactly.
  std::string WriteAs(const std::string& name, int format) {
    const std::string path = Path(name);
    cli_test::WriteSndfile(path, format, values_);
    return path;
  }

  std::vector<uint8_t> pcm16_;
  std::vector<double> values_;
};

TEST_F(PlotInputTest, PlotAndResynthTakeFlacAnd24BitWavAsThe16BitSound) {
  const std::string reference = Write("ref.wav", cli_test::MakeWav({}, pcm16_));
  const std::string refPng = Path("ref.png");
  ASSERT_EQ(Run({"plot", reference, "-o", refPng}), 0) << err_.str();
  const QImage expected(QString::fromStdString(refPng));
  PitchTrack track;
  ASSERT_EQ(BuildPreciseTrack(pcm16_, FillWaveFormat({16, 44100, 1}), {}, track), "");
  const PitchPlotLayout layout(track, kPlotSize);
  const QRect lane = layout.pitchArea().toAlignedRect();
  ASSERT_EQ(Run({"resynth", reference, "--at", "0.9", "-o", Path("ref-tone.wav")}), 0);
  const std::string summary = out_.str();
  ASSERT_EQ(summary.rfind("pitch: ", 0), 0u) << summary;
  EXPECT_NEAR(std::stoi(summary.substr(7)), 392, 2) << summary;  // the second note, whole hertz

  const struct {
    const char* name;
    int format;
  } cases[] = {
      {"take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"take24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"take24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"take32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
      {"takex.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
  };
  for (const auto& c : cases) {
    const std::string in = WriteAs(c.name, c.format);
    for (const char* method : {"precise", "window"}) {
      const std::string png = Path(std::string(c.name) + "." + method + ".png");
      ASSERT_EQ(Run({"plot", in, "-o", png, "--method", method}), 0) << c.name << ": " << err_.str();
      EXPECT_EQ(out_.str(), png + "\n");
      if (std::string(method) == "precise") {
        // The same contour, grid and level pixel for pixel (the title names the file).
        const QImage image(QString::fromStdString(png));
        ASSERT_EQ(image.size(), kPlotSize) << c.name;
        EXPECT_EQ(image.copy(lane), expected.copy(lane)) << c.name;
      }
    }
    const std::string tone = Path(std::string(c.name) + ".tone.wav");
    ASSERT_EQ(Run({"resynth", in, "--at", "0.9", "-o", tone}), 0) << c.name << ": " << err_.str();
    EXPECT_EQ(out_.str(), summary) << c.name;
    EXPECT_EQ(Read(tone), Read(Path("ref-tone.wav"))) << c.name;
  }
}

TEST_F(PlotInputTest, ABatchDrawsEveryFileNextToItsSoundWhateverTheJobs) {
  const std::string a = Write("a.wav", cli_test::MakeWav({}, pcm16_));
  const std::string b = WriteAs("b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  const std::string quiet = Write("quiet.wav", cli_test::MakeWav({}, std::vector<uint8_t>(20000, 0)));
  const std::string missing = Path("missing.wav");
  std::vector<std::string> pictures;
  for (const char* jobs : {"1", "2", "3"}) {
    for (const char* png : {"a.png", "b.png", "quiet.png"}) fs::remove(Path(png));
    EXPECT_EQ(Run({"plot", a, missing, b, quiet, "--jobs", jobs}), 2) << jobs;
    EXPECT_EQ(out_.str(), Path("a.png") + "\n" + Path("b.png") + "\n" + Path("quiet.png") + "\n");
    EXPECT_EQ(err_.str(), "tonamira-cli: " + missing + ": No File\ntonamira-cli: " + quiet +
                              ": no pitch found; the plot shows the level only\n");
    std::string all;
    for (const char* png : {"a.png", "b.png", "quiet.png"}) all += Read(Path(png)) + "|";
    pictures.push_back(all);
  }
  EXPECT_GT(pictures[0].size(), 3000u);
  EXPECT_EQ(pictures[1], pictures[0]);
  EXPECT_EQ(pictures[2], pictures[0]);
  // Without the missing file the batch succeeds.
  EXPECT_EQ(Run({"plot", a, b, "--jobs", "2"}), 0) << err_.str();

  const struct {
    std::vector<std::string> args;
    std::string message;
  } refusals[] = {
      {{"plot", a, b, "-o", Path("both.png")},
       "-o names the picture of one file; several are each drawn next to their sound"},
      {{"plot", a, a}, a + " and " + a + " would both write " + Path("a.png")},
      {{"plot", a, Path("a.flac")}, a + " and " + Path("a.flac") + " would both write " + Path("a.png")},
      {{"plot", a, "--jobs", "0"}, "--jobs must be a whole number, at least 1"},
  };
  for (const auto& r : refusals) {
    EXPECT_EQ(Run(r.args), 1) << ::testing::PrintToString(r.args);
    EXPECT_EQ(err_.str().rfind("tonamira-cli: " + r.message + "\nusage: tonamira-cli plot ", 0), 0u)
        << err_.str();
  }
  EXPECT_FALSE(fs::exists(Path("both.png")));
}

TEST_F(PlotInputTest, MaxHzLeavesAToneAboveTheRangeOutOfTheContour) {
  // An 880 Hz tone searched only up to 500 Hz is not drawn at all, rather than at the octave
  // below, where its doubled period lies inside the range; searched up to 1000 Hz, it is.
  const std::vector<uint8_t> high = cli_test::Tone16(44100, {{{880.0, 8000.0}}});
  const std::string in = Write("high.wav", cli_test::MakeWav({}, high));
  TrackOptions wide;
  wide.maxHz = 1000.0;
  PitchTrack seen;
  ASSERT_EQ(BuildPreciseTrack(high, FillWaveFormat({16, 44100, 1}), wide, seen), "");
  size_t voiced = 0;
  for (const PitchPoint& p : seen.points)
    if (p.hz) {
      EXPECT_NEAR(*p.hz, 880.0, 0.1) << p.timeSeconds;
      ++voiced;
    }
  EXPECT_GT(voiced, seen.points.size() / 2);

  TrackOptions options;
  options.maxHz = 500.0;
  PitchTrack track;
  ASSERT_EQ(BuildPreciseTrack(high, FillWaveFormat({16, 44100, 1}), options, track), "");
  ASSERT_FALSE(track.points.empty());
  for (const PitchPoint& p : track.points) EXPECT_FALSE(p.hz) << p.timeSeconds;

  // The command draws that track: the same picture as one drawn from it.
  const std::string png = Path("high.png");
  ASSERT_EQ(Run({"plot", in, "--max-hz", "500"}), 0) << err_.str();
  const PitchPlotLayout layout(track, kPlotSize);
  const QImage drawn = RenderPitchPlot(track, layout, "high.wav");
  EXPECT_EQ(QImage(QString::fromStdString(png)).convertToFormat(drawn.format()), drawn);
}

}  // namespace
}  // namespace tonamira

// The pitch plot: the track built from the frame analysis, the drawing checked pixel by
// pixel, and `tonamira-cli plot` run in-process on WAV files in a temporary directory.

#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "plot_app.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/pitch_plot.h"
#include "cli/pitch_track.h"
#include "cli/precise_track.h"
#include "support/wav_bytes.h"

namespace tonamira {
namespace {

namespace fs = std::filesystem;

using plot_test::EnsureApp;

// 16-bit mono samples at 44100 Hz: (frequency, seconds) pieces, frequency 0 for silence.
std::vector<uint8_t> Melody(const std::vector<std::pair<double, double>>& pieces,
                            double amplitude = 8000.0) {
  std::vector<uint8_t> v;
  for (auto [freq, seconds] : pieces) {
    const int n = static_cast<int>(seconds * 44100.0);
    for (int i = 0; i < n; ++i) {
      const double s = freq > 0.0 ? amplitude * std::sin(2.0 * M_PI * freq * i / 44100.0) : 0.0;
      const auto x = static_cast<uint16_t>(static_cast<int16_t>(std::lround(s)));
      v.push_back(static_cast<uint8_t>(x));
      v.push_back(static_cast<uint8_t>(x >> 8));
    }
  }
  return v;
}

std::vector<uint8_t> Wav(const std::vector<uint8_t>& samples, uint16_t bits = 16) {
  testing::FmtFields f;
  f.bits = bits;
  f.align = static_cast<uint16_t>(bits / 8);
  f.avg = 44100u * f.align;
  return testing::CanonicalWav(f, samples);
}

WaveFormat Mono16() { return FillWaveFormat({16, 44100, 1}); }

// Colours match within a small tolerance (fills and line centres are exact; edges blend).
bool Near(QRgb pixel, const QColor& colour, int tolerance = 6) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
         std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

QRgb At(const QImage& image, double x, double y) {
  return image.pixel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

// Rows of the column at x (inside the pitch lane) drawn in the contour's colour.
std::vector<int> ContourRows(const QImage& image, const PitchPlotLayout& layout, double x) {
  std::vector<int> rows;
  const QRectF lane = layout.pitchArea();
  for (int y = static_cast<int>(lane.top()); y < static_cast<int>(lane.bottom()); ++y)
    if (Near(At(image, x, y), kContour, 40)) rows.push_back(y);
  return rows;
}

TEST(NoteNames, ScientificNamesWithSharpsAcrossOctaveBoundaries) {
  const struct {
    int midi;
    const char* name;
  } cases[] = {{60, "C4"}, {61, "C#4"}, {69, "A4"}, {70, "A#4"}, {59, "B3"},
               {71, "B4"}, {72, "C5"},  {21, "A0"}, {0, "C-1"},  {127, "G9"}};
  for (const auto& c : cases) EXPECT_EQ(NoteName(c.midi), c.name) << c.midi;
  EXPECT_DOUBLE_EQ(MidiFromHz(440.0), 69.0);
  EXPECT_NEAR(MidiFromHz(261.6256), 60.0, 1e-4);
  EXPECT_NEAR(MidiFromHz(466.1638), 70.0, 1e-4);
}

TEST(PlotFrame, SpansAtLeastFortyMillisecondsWhereTheSizesAllow) {
  const struct {
    uint32_t rate;
    int32_t frame;
  } cases[] = {{44100, 2048}, {48000, 2048}, {96000, 2048}, {22050, 1024},
               {11025, 512},  {8000, 512},   {6000, 256}};
  for (const auto& c : cases) EXPECT_EQ(PlotFrameLength(c.rate), c.frame) << c.rate;
}

TEST(FrameLevel, RmsAsAFractionOfFullScale) {
  const std::vector<uint8_t> sine = Melody({{441.0, 0.1}}, 16384.0);
  EXPECT_NEAR(FrameRmsLevel(sine.data(), 2000, 16, 1), 0.5 / std::sqrt(2.0), 1e-3);
  const std::vector<uint8_t> quietEight(512, 128);
  EXPECT_EQ(FrameRmsLevel(quietEight.data(), 512, 8, 1), 0.0);
  const std::vector<uint8_t> squareEight = {0, 255, 0, 255};  // -128 and +127 around 128
  EXPECT_NEAR(FrameRmsLevel(squareEight.data(), 2, 8, 2), 0.996, 0.005);
}

TEST(WindowTrack, PointsEveryTenMillisecondsAtFrameCentresWithPitchAndLevel) {
  const std::vector<uint8_t> sound = Melody({{440.0, 0.5}, {0.0, 0.3}, {523.25, 0.5}});
  PitchTrack track;
  ASSERT_EQ(BuildWindowTrack(sound, Mono16(), {}, track), "");
  EXPECT_DOUBLE_EQ(track.stepSeconds, 441.0 / 44100.0);
  EXPECT_EQ(track.startSeconds, 0.0);
  EXPECT_NEAR(track.endSeconds, 1.3, 1e-9);
  ASSERT_GT(track.points.size(), 100u);
  // The first frame starts at the sound's start, so its centre is half a frame in.
  EXPECT_NEAR(track.points.front().timeSeconds, 1024.0 / 44100.0, 1e-12);
  for (const PitchPoint& p : track.points) {
    const double t = p.timeSeconds;
    if (t > 0.05 && t < 0.45) {
      ASSERT_TRUE(p.hz) << t;
      EXPECT_NEAR(*p.hz, 440.0, 2.0) << t;
      EXPECT_NEAR(p.level, 8000.0 / 32768.0 / std::sqrt(2.0), 0.01) << t;
    } else if (t > 0.55 && t < 0.75) {
      EXPECT_FALSE(p.hz) << t;
      EXPECT_EQ(p.level, 0.0) << t;
    } else if (t > 0.85 && t < 1.25) {
      ASSERT_TRUE(p.hz) << t;
      EXPECT_NEAR(*p.hz, 523.0, 2.0) << t;
    }
  }
}

TEST(WindowTrack, FromAndToKeepTheFramesCentredInTheStretch) {
  const std::vector<uint8_t> sound = Melody({{440.0, 2.0}});
  TrackOptions options;
  options.fromSeconds = 0.5;
  options.toSeconds = 1.25;
  PitchTrack track;
  ASSERT_EQ(BuildWindowTrack(sound, Mono16(), options, track), "");
  EXPECT_EQ(track.startSeconds, 0.5);
  EXPECT_EQ(track.endSeconds, 1.25);
  ASSERT_FALSE(track.points.empty());
  EXPECT_GE(track.points.front().timeSeconds, 0.5);
  EXPECT_LT(track.points.front().timeSeconds, 0.5 + track.stepSeconds);
  EXPECT_LE(track.points.back().timeSeconds, 1.25);
  EXPECT_GT(track.points.back().timeSeconds, 1.25 - track.stepSeconds);
  EXPECT_TRUE(track.points.front().hz);  // frames reach back before --from for their data

  options.toSeconds = 60.0;  // past the end: the stretch ends with the sound
  ASSERT_EQ(BuildWindowTrack(sound, Mono16(), options, track), "");
  EXPECT_NEAR(track.endSeconds, 2.0, 1e-9);
  options.fromSeconds = 2.5;
  EXPECT_NE(BuildWindowTrack(sound, Mono16(), options, track), "");
}

PitchTrack Steady(std::initializer_list<std::pair<double, double>> pieces) {
  // (hz, seconds) pieces at 10 ms steps, hz 0 unvoiced; level 0.5 where voiced.
  PitchTrack track;
  track.stepSeconds = 0.01;
  double t = 0.0;
  for (auto [hz, seconds] : pieces) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds / 0.01)); ++i, t += 0.01) {
      PitchPoint p;
      p.timeSeconds = t;
      if (hz > 0.0) p.hz = hz;
      p.level = hz > 0.0 ? 0.5 : 0.0;
      track.points.push_back(p);
    }
  }
  track.endSeconds = t;
  return track;
}

TEST(SemitoneRange, PaddedStableSpanOfAtLeastAnOctave) {
  const struct {
    const char* intent;
    PitchTrack track;
    int low, high;
  } cases[] = {
      {"one note is centred in an octave", Steady({{440.0, 1.0}}), 63, 75},
      {"two octaves are padded by a semitone", Steady({{110.0, 0.5}, {440.0, 0.5}}), 44, 70},
      {"a stray point does not stretch the grid",
       Steady({{220.0, 0.5}, {2093.0, 0.01}, {220.0, 0.5}, {220.0 * 1.5, 0.5}}), 55, 67},
      {"nothing voiced gives an octave below A4", Steady({{0.0, 1.0}}), 57, 69},
  };
  for (const auto& c : cases) {
    const SemitoneRange r = ChooseSemitoneRange(c.track);
    EXPECT_EQ(r.low, c.low) << c.intent;
    EXPECT_EQ(r.high, c.high) << c.intent;
  }
}

// A4 for 0.2-1.0 s, nothing for 1.0-1.6 s, A4 again for 1.6-2.0 s, C5 for 2.0-2.4 s.
PitchTrack TwoNotes() {
  return Steady({{0.0, 0.2}, {440.0, 0.8}, {0.0, 0.6}, {440.0, 0.4}, {523.2511, 0.4}});
}

TEST(PitchPlotDrawing, GridContourGapAndLevelBandLandWhereTheLayoutSays) {
  EnsureApp();
  const PitchTrack track = TwoNotes();
  const PitchPlotLayout layout(track, kPlotSize);
  ASSERT_EQ(layout.range().low, 65);  // A4 .. C5 padded and widened to an octave
  ASSERT_EQ(layout.range().high, 77);
  const QImage image = RenderPitchPlot(track, layout, "two notes.wav");
  ASSERT_EQ(image.size(), kPlotSize);
  const double row = layout.RowHeight();
  const double gapX = layout.XForTime(1.33);  // inside the gap, off the time lines

  // The grid: C5's line is the strong one, D5's a plain semitone line, black-key rows are
  // shaded and white-key rows are not.
  EXPECT_TRUE(Near(At(image, gapX, layout.YForMidi(72)), kCLine)) << layout.YForMidi(72);
  EXPECT_TRUE(Near(At(image, gapX, layout.YForMidi(74)), kSemitoneLine));
  EXPECT_TRUE(Near(At(image, gapX, layout.YForMidi(70) - row / 4), kSharpRowShade, 0));
  EXPECT_TRUE(Near(At(image, gapX, layout.YForMidi(71) - row / 4), kPlotBackground, 0));
  // C5 carries its label on the left and its frequency on the right.
  auto inkLeftOf = [&](double x0, double x1, double y) {
    int dark = 0;
    for (double x = x0; x < x1; x += 1.0) dark += qGray(At(image, x, y)) < 128;
    return dark;
  };
  EXPECT_GT(inkLeftOf(4.0, layout.pitchArea().left() - 2.0, layout.YForMidi(72)), 2);
  EXPECT_GT(inkLeftOf(layout.pitchArea().right() + 4.0, layout.size().width() - 2.0,
                      layout.YForMidi(72)),
            0);

  // The contour: on A4's line while A4 sounds, on C5's while C5 sounds, nothing between
  // (not even a line joining the two A4s across the gap).
  for (double t : {0.4, 0.6, 0.9, 1.7}) {
    const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(t));
    ASSERT_FALSE(rows.empty()) << t;
    EXPECT_NEAR(rows.front(), layout.YForMidi(69), 3.0) << t;
    EXPECT_NEAR(rows.back(), layout.YForMidi(69), 3.0) << t;
  }
  for (double t : {2.1, 2.3}) {
    const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(t));
    ASSERT_FALSE(rows.empty()) << t;
    EXPECT_NEAR(rows.front(), layout.YForMidi(72), 3.0) << t;
    EXPECT_NEAR(rows.back(), layout.YForMidi(72), 3.0) << t;
  }
  for (double t : {0.1, 1.1, 1.33, 1.5}) EXPECT_TRUE(ContourRows(image, layout, layout.XForTime(t)).empty()) << t;

  // The level band: full height while the notes sound, empty in the silent gap.
  const QRectF band = layout.levelArea();
  EXPECT_TRUE(Near(At(image, layout.XForTime(0.63), band.top() + 2.0), kLevelBand, 0));
  EXPECT_TRUE(Near(At(image, layout.XForTime(0.63), band.bottom() - 3.0), kLevelBand, 0));
  EXPECT_TRUE(Near(At(image, gapX, band.bottom() - 3.0), kPlotBackground, 0));
}

TEST(PitchPlotDrawing, StraysShorterThanFiftyMillisecondsAreNotDrawn) {
  EnsureApp();
  // A4 with a 40 ms excursion to E5 inside it and a 40 ms blip of C5 in silence after it;
  // a 60 ms C5 is a note and is drawn.
  const PitchTrack track = Steady({{440.0, 0.5}, {659.26, 0.04}, {440.0, 0.5}, {0.0, 0.2},
                                   {523.25, 0.04}, {0.0, 0.2}, {523.25, 0.06}, {0.0, 0.2}});
  const PitchPlotLayout layout(track, kPlotSize);
  const QImage image = RenderPitchPlot(track, layout, "strays");
  for (double t : {0.51, 0.52, 1.26, 1.27})
    EXPECT_TRUE(ContourRows(image, layout, layout.XForTime(t)).empty()) << t;
  EXPECT_FALSE(ContourRows(image, layout, layout.XForTime(0.4)).empty());
  EXPECT_FALSE(ContourRows(image, layout, layout.XForTime(0.6)).empty());
  EXPECT_FALSE(ContourRows(image, layout, layout.XForTime(1.51)).empty());
}

TEST(PitchPlotDrawing, LongTracksDrawOneMedianPointPerColumn) {
  EnsureApp();
  // Ten minutes of A4 whose every fourth point strays an octave up: the columns' medians
  // stay on A4, so the contour is one thin line there and never reaches A5.
  PitchTrack track = Steady({{440.0, 600.0}});
  for (size_t i = 0; i < track.points.size(); i += 4) track.points[i].hz = 880.0;
  const PitchPlotLayout layout(track, kPlotSize);
  const QImage image = RenderPitchPlot(track, layout, "long");
  for (double t : {100.0, 300.0, 550.0}) {
    const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(t));
    ASSERT_FALSE(rows.empty()) << t;
    EXPECT_NEAR(rows.front(), layout.YForMidi(69), 3.0) << t;
    EXPECT_NEAR(rows.back(), layout.YForMidi(69), 3.0) << t;
  }
}

class PlotCommandTest : public plot_test::PlotCliTest {
 protected:
  // The layout the command drew with, rebuilt from the same track.
  using Builder = std::string (*)(std::span<const uint8_t>, const WaveFormat&,
                                  const TrackOptions&, PitchTrack&);
  PitchPlotLayout LayoutFor(const std::vector<uint8_t>& samples, TrackOptions options = {},
                            Builder build = &BuildWindowTrack) {
    EXPECT_EQ(build(samples, Mono16(), options, track_), "");
    return PitchPlotLayout(track_, kPlotSize);
  }
  // Where the contour must pass at time t: the detected pitch of the nearest point (the
  // window's detector reports whole hertz, a few cents off the note).
  double ContourY(const PitchPlotLayout& layout, double t) const {
    const PitchPoint* nearest = &track_.points.front();
    for (const PitchPoint& p : track_.points)
      if (std::abs(p.timeSeconds - t) < std::abs(nearest->timeSeconds - t)) nearest = &p;
    EXPECT_TRUE(nearest->hz) << t;
    return layout.YForMidi(MidiFromHz(nearest->hz.value_or(1.0)));
  }

  PitchTrack track_;
};

TEST_F(PlotCommandTest, WritesAPngNextToTheSoundByDefault) {
  const auto samples = Melody({{440.0, 1.0}, {0.0, 0.3}, {523.25, 1.0}});
  const std::string in = Write("phrase.wav", Wav(samples));
  ASSERT_EQ(Run({"plot", in}), 0) << err_.str();
  const std::string png = (dir_ / "phrase.png").string();
  EXPECT_EQ(out_.str(), png + "\n");
  const QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), kPlotSize);
  const PitchPlotLayout layout = LayoutFor(samples);
  const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(0.5));
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), ContourY(layout, 0.5), 3.0);
  EXPECT_NEAR(rows.back(), ContourY(layout, 0.5), 3.0);
  EXPECT_TRUE(ContourRows(image, layout, layout.XForTime(1.15)).empty());
}

TEST_F(PlotCommandTest, PreciseMethodDrawsTheSameMelody) {
  const auto samples = Melody({{440.0, 1.0}, {0.0, 0.3}, {523.25, 1.0}});
  const std::string in = Write("phrase.wav", Wav(samples));
  const std::string png = (dir_ / "precise.png").string();
  ASSERT_EQ(Run({"plot", in, "-o", png, "--method", "precise"}), 0) << err_.str();
  const QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), kPlotSize);
  const PitchPlotLayout layout = LayoutFor(samples, {}, &BuildPreciseTrack);
  const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(0.5));
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), ContourY(layout, 0.5), 3.0);
  EXPECT_TRUE(ContourRows(image, layout, layout.XForTime(1.15)).empty());  // the silence
}

TEST_F(PlotCommandTest, SvgParsesAndDrawsTheSameContour) {
  const auto samples = Melody({{440.0, 1.0}, {0.0, 0.3}, {523.25, 1.0}});
  const std::string in = Write("phrase.wav", Wav(samples));
  const std::string svg = (dir_ / "phrase.svg").string();
  ASSERT_EQ(Run({"plot", in, "-o", svg}), 0) << err_.str();
  QSvgRenderer renderer(QString::fromStdString(svg));
  ASSERT_TRUE(renderer.isValid());
  EXPECT_EQ(renderer.viewBox(), QRect(QPoint(0, 0), kPlotSize));
  QImage image(kPlotSize, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  const PitchPlotLayout layout = LayoutFor(samples);
  const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(1.8));
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), ContourY(layout, 1.8), 3.0);
  EXPECT_NEAR(rows.back(), ContourY(layout, 1.8), 3.0);
}

TEST_F(PlotCommandTest, FromAndToPlotOnlyTheStretch) {
  const auto samples = Melody({{440.0, 1.0}, {0.0, 0.3}, {523.25, 1.0}});
  const std::string in = Write("phrase.wav", Wav(samples));
  const std::string png = (dir_ / "late.png").string();
  ASSERT_EQ(Run({"plot", in, "-o", png, "--from", "1.4", "--to", "2.2"}), 0) << err_.str();
  TrackOptions options;
  options.fromSeconds = 1.4;
  options.toSeconds = 2.2;
  const PitchPlotLayout layout = LayoutFor(samples, options);
  EXPECT_EQ(layout.startSeconds(), 1.4);
  const QImage image(QString::fromStdString(png));
  // C5 fills the plot's width; A4, before --from, appears nowhere.
  for (double t : {1.5, 1.8, 2.1}) {
    const std::vector<int> rows = ContourRows(image, layout, layout.XForTime(t));
    ASSERT_FALSE(rows.empty()) << t;
    EXPECT_NEAR(rows.front(), ContourY(layout, t), 3.0) << t;
  }
  for (double x = layout.pitchArea().left(); x < layout.pitchArea().right(); x += 1.0)
    EXPECT_FALSE(Near(At(image, x, layout.YForMidi(69)), kContour, 40)) << x;
}

TEST_F(PlotCommandTest, SilenceStillPlotsAndSaysNoPitchWasFound) {
  const std::string in = Write("quiet.wav", Wav(Melody({{0.0, 0.5}})));
  ASSERT_EQ(Run({"plot", in}), 0);
  EXPECT_NE(err_.str().find("no pitch found"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "quiet.png"));
}

TEST_F(PlotCommandTest, ErrorsWriteNothing) {
  const std::string ok = Write("ok.wav", Wav(Melody({{440.0, 0.5}})));
  // A WAV whose data chunk is missing: the own reader's refusal, which no other reader
  // overrides.
  const std::string noData = Write("nodata.wav", testing::Bytes()
                                                     .Id("RIFF")
                                                     .U32(28)
                                                     .Id("WAVE")
                                                     .Chunk("fmt ", testing::FmtContent({}))
                                                     .bytes());
  const std::string missing = (dir_ / "missing.wav").string();
  const std::string out = (dir_ / "out.png").string();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;  // part of stderr
  } cases[] = {
      {{"plot"}, 1, "usage:"},
      {{"plot", ok, ok}, 1, "usage:"},
      {{"plot", ok, "-o", (dir_ / "out.jpg").string()}, 1, ".png or .svg"},
      {{"plot", ok, "-o", out, "--method", "guess"}, 1, "window or precise"},
      {{"plot", ok, "-o", out, "--from", "-1"}, 1, "--from"},
      {{"plot", ok, "-o", out, "--from", "x"}, 1, "--from"},
      {{"plot", ok, "-o", out, "--from", "0.3", "--to", "0.2"}, 1, "--to"},
      {{"plot", ok, "-o", out, "--from", "0.5"}, 1, "past the end"},
      {{"plot", missing, "-o", out}, 2, missing + ": No File"},
      {{"plot", noData, "-o", out}, 2, noData + ": No data"},
      {{"plot", ok, "-o", (dir_ / "no" / "such" / "dir.png").string()}, 2, "dir.png: "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << ::testing::PrintToString(c.args);
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty()) << out_.str();
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_FALSE(fs::exists(dir_ / "ok.png"));
}

}  // namespace
}  // namespace tonamira

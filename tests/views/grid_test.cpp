// The shared grid: blanking, the start-up time grid, the frequency grid at every range.
#include "views/grid.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "recording_canvas.h"

namespace tonamira {
namespace {

using testing_views::LineCall;
using testing_views::PixelsOf;
using testing_views::RecordingCanvas;

std::vector<int> Columns(const std::vector<LineCall>& lines) {
  std::vector<int> xs;
  for (const auto& l : lines) {
    EXPECT_EQ(l.x0, l.x1);
    EXPECT_EQ(l.y0, 0);
    EXPECT_EQ(l.pen, kGreen);
    xs.push_back(l.x0);
  }
  return xs;
}

TEST(Grid, ClearBoxBlanksToBlackAndLeavesBrushBlack) {
  RecordingCanvas c(20, 10);
  c.SetBrushColor(kRed);
  ClearBox(c);
  EXPECT_EQ(PixelsOf(c.raster, kBlack).size(), 200u);
  EXPECT_EQ(c.BrushColor(), kBlack);
}

TEST(Grid, StartupWaveGrid) {
  RecordingCanvas c(545, 171);
  ClearBox(c);
  DrawWaveGrid(c, 44100, 2048, 5, 10);
  const std::vector<int> dotted = {59, 117, 176, 235, 293, 352, 411, 469};
  const std::vector<int> solid = {117, 235, 352, 469};
  EXPECT_EQ(Columns(c.LinesIn(PenStyle::Dot)), dotted);
  EXPECT_EQ(Columns(c.LinesIn(PenStyle::Solid)), solid);
  for (const auto& l : c.lines) EXPECT_EQ(l.y1, 171);

  ASSERT_EQ(c.texts.size(), 4u);
  const char* labels[] = {"10", "20", "30", "40"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(c.texts[i].text, labels[i]);
    EXPECT_EQ(c.texts[i].x, solid[i] - 5);
    EXPECT_EQ(c.texts[i].y, 0);
    EXPECT_EQ(c.texts[i].font, kRed);
    EXPECT_EQ(c.texts[i].brush, kBlack);
  }

  // Below the labels: solid columns are green throughout, dotted ones every other row,
  // starting on row 0, and nothing else is green.
  for (int x = 0; x < 545; ++x) {
    const bool isSolid = std::find(solid.begin(), solid.end(), x) != solid.end();
    const bool isDotted = std::find(dotted.begin(), dotted.end(), x) != dotted.end();
    for (int y = 12; y < 171; ++y) {
      const bool green = c.raster.Pixel(x, y) == kGreen;
      const bool expected = isSolid || (isDotted && y % 2 == 0);
      ASSERT_EQ(green, expected) << x << "," << y;
    }
  }
}

TEST(Grid, StartupSpectrumGrid) {
  RecordingCanvas c(545, 169);
  ClearBox(c);
  DrawSpectrumGrid(c, 100, 500, 2000.0);
  const std::vector<int> dotted = {27,  54,  82,  109, 136, 164, 191, 218, 245, 272,
                                   300, 327, 354, 382, 409, 436, 463, 490, 518};
  EXPECT_EQ(Columns(c.LinesIn(PenStyle::Dot)), dotted);
  EXPECT_EQ(Columns(c.LinesIn(PenStyle::Solid)), (std::vector<int>{136, 272, 409}));
  ASSERT_EQ(c.texts.size(), 3u);
  EXPECT_EQ(c.texts[0].text, "500");
  EXPECT_EQ(c.texts[0].x, 136 - 8);
  EXPECT_EQ(c.texts[1].text, "1000");
  EXPECT_EQ(c.texts[1].x, 272 - 10);
  EXPECT_EQ(c.texts[2].text, "1500");
  EXPECT_EQ(c.texts[2].x, 409 - 10);
}

TEST(Grid, LineCountsFollowTheRoundedQuotient) {
  struct Case {
    double span;
    int32_t minor, major;
    size_t dotted, solid;
  };
  const std::vector<Case> cases = {
      {250.0, 100, 500, 1, 0},     // Round(2.5) = 2
      {500.0, 100, 500, 4, 0},
      {1000.0, 100, 500, 9, 1},
      {4000.0, 100, 500, 39, 7},
      {8000.0, 100, 500, 79, 15},
      {46.439909297052154, 5, 10, 8, 4},  // 2048 samples at 44100: no line at 45 ms
      {5.804988662131519, 1, 10, 5, 0},   // 256 samples: no solid line
      {11.609977324263038, 1, 10, 11, 0}, // 512 samples: Round(1.16) = 1, no solid line
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.span);
    RecordingCanvas c(545, 169);
    DrawGridLines(c, t.minor, t.major, t.span);
    EXPECT_EQ(c.LinesIn(PenStyle::Dot).size(), t.dotted);
    EXPECT_EQ(c.LinesIn(PenStyle::Solid).size(), t.solid);
    EXPECT_EQ(c.texts.size(), t.solid);
  }
}

TEST(Grid, DegenerateStepsOrSpanDrawNothing) {
  struct Case {
    int32_t minor, major;
    double span;
  };
  const std::vector<Case> cases = {
      {0, 10, 46.4},
      {5, 0, 46.4},
      {-5, 10, 46.4},
      {5, 10, 0.0},
      {5, 10, -3.0},
      {5, 10, std::numeric_limits<double>::infinity()},
      {5, 10, std::numeric_limits<double>::quiet_NaN()},
  };
  for (const auto& t : cases) {
    RecordingCanvas c(545, 171);
    DrawGridLines(c, t.minor, t.major, t.span);
    EXPECT_TRUE(c.lines.empty());
    EXPECT_TRUE(c.texts.empty());
  }
  RecordingCanvas c(545, 171);
  DrawWaveGrid(c, 0, 2048, 5, 10);  // no rate: infinite span
  EXPECT_TRUE(c.lines.empty());
}

}  // namespace
}  // namespace tonamira

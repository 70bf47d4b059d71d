// Pixel rules of RasterCanvas: fills, lines in every octant, dotted pens, rectangles,
// text backgrounds and clipping at every edge.
#include "views/raster_canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tonamira {
namespace {

using Points = std::set<std::pair<int, int>>;

constexpr Rgb kBackground = MakeRgb(1, 2, 3);

RasterCanvas Blank(int w, int h) {
  RasterCanvas c(w, h);
  c.SetBrushColor(kBackground);
  c.FillRect(0, 0, w, h);
  return c;
}

Points PixelsOf(const RasterCanvas& c, Rgb color) {
  Points p;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x)
      if (c.Pixel(x, y) == color) p.insert({x, y});
  return p;
}

Points Box(int x1, int y1, int x2, int y2) {
  Points p;
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x) p.insert({x, y});
  return p;
}

TEST(RasterCanvas, NewCanvasIsWhiteAndOpaque) {
  RasterCanvas c(3, 2);
  EXPECT_EQ(PixelsOf(c, kWhite).size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(c.Bits()[i], 0xffffffffu);
}

TEST(RasterCanvas, NegativeSizeGivesEmptyCanvas) {
  RasterCanvas c(-5, 4);
  EXPECT_EQ(c.Width(), 0);
  c.SetBrushColor(kRed);
  c.FillRect(0, 0, 10, 10);
  c.MoveTo(0, 0);
  c.LineTo(10, 10);
  c.Rectangle(0, 0, 5, 5);
  c.TextOut(0, 0, "abc");
}

TEST(RasterCanvas, FillRectCoversHalfOpenRangeAndClips) {
  struct Case {
    int x1, y1, x2, y2;
    Points expected;
  };
  const std::vector<Case> cases = {
      {2, 1, 5, 3, Box(2, 1, 5, 3)},
      {0, 0, 10, 8, Box(0, 0, 10, 8)},
      {-4, -4, 2, 3, Box(0, 0, 2, 3)},              // left and top edges
      {8, 6, 20, 20, Box(8, 6, 10, 8)},             // right and bottom edges
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, Box(0, 0, 10, 8)},
      {3, 3, 3, 6, {}},                             // empty
      {5, 2, 4, 6, {}},                             // inverted
      {12, 0, 15, 4, {}},                           // wholly outside
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.x1 << "," << t.y1 << "," << t.x2 << "," << t.y2);
    RasterCanvas c = Blank(10, 8);
    c.SetBrushColor(kRed);
    c.FillRect(t.x1, t.y1, t.x2, t.y2);
    EXPECT_EQ(PixelsOf(c, kRed), t.expected);
    EXPECT_EQ(PixelsOf(c, kBackground).size(), 80u - t.expected.size());
  }
}

TEST(RasterCanvas, LinesExactInTheEightOctants) {
  struct Case {
    int x0, y0, x1, y1;
    Points expected;
  };
  // A 4-by-2 slope in all eight octants about (10, 10): the start is drawn, the end is not,
  // and the half-way minor step is taken away from the start.
  const std::vector<Case> cases = {
      {10, 10, 14, 12, {{10, 10}, {11, 11}, {12, 11}, {13, 12}}},
      {10, 10, 12, 14, {{10, 10}, {11, 11}, {11, 12}, {12, 13}}},
      {10, 10, 8, 14, {{10, 10}, {9, 11}, {9, 12}, {8, 13}}},
      {10, 10, 6, 12, {{10, 10}, {9, 11}, {8, 11}, {7, 12}}},
      {10, 10, 6, 8, {{10, 10}, {9, 9}, {8, 9}, {7, 8}}},
      {10, 10, 8, 6, {{10, 10}, {9, 9}, {9, 8}, {8, 7}}},
      {10, 10, 12, 6, {{10, 10}, {11, 9}, {11, 8}, {12, 7}}},
      {10, 10, 14, 8, {{10, 10}, {11, 9}, {12, 9}, {13, 8}}},
      {3, 5, 8, 5, Box(3, 5, 8, 6)},     // horizontal, rightwards
      {8, 5, 3, 5, Box(4, 5, 9, 6)},     // horizontal, leftwards
      {4, 2, 4, 7, Box(4, 2, 5, 7)},     // vertical, downwards
      {4, 7, 4, 2, Box(4, 3, 5, 8)},     // vertical, upwards
      {2, 2, 6, 6, {{2, 2}, {3, 3}, {4, 4}, {5, 5}}},
      {6, 6, 2, 2, {{6, 6}, {5, 5}, {4, 4}, {3, 3}}},
      {5, 5, 5, 5, {}},                  // zero length draws nothing
      {0, 0, 1, 0, {{0, 0}}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.x0 << "," << t.y0 << " -> " << t.x1 << "," << t.y1);
    RasterCanvas c = Blank(20, 20);
    c.SetPenColor(kYellow);
    c.MoveTo(t.x0, t.y0);
    c.LineTo(t.x1, t.y1);
    EXPECT_EQ(PixelsOf(c, kYellow), t.expected);
  }
}

// Every line, whatever its direction: the start is drawn, the end is not, there is one
// pixel per step of the longer axis, steps are 8-connected and no pixel lies more than half
// a pixel off the ideal line.
TEST(RasterCanvas, LinePropertiesHoldForAllDirections) {
  const int cx = 40, cy = 40;
  for (int dx = -30; dx <= 30; dx += 3) {
    for (int dy = -30; dy <= 30; dy += 7) {
      if (dx == 0 && dy == 0) continue;
      SCOPED_TRACE(testing::Message() << "dx=" << dx << " dy=" << dy);
      RasterCanvas c = Blank(81, 81);
      c.SetPenColor(kRed);
      c.MoveTo(cx, cy);
      c.LineTo(cx + dx, cy + dy);
      const Points p = PixelsOf(c, kRed);
      const int steps = std::max(std::abs(dx), std::abs(dy));
      ASSERT_EQ(static_cast<int>(p.size()), steps);
      EXPECT_TRUE(p.count({cx, cy}));
      EXPECT_FALSE(p.count({cx + dx, cy + dy}));
      for (const auto& [x, y] : p) {
        // Distance along the minor axis from the ideal line.
        double off;
        if (std::abs(dx) >= std::abs(dy))
          off = (y - cy) - static_cast<double>(dy) * (x - cx) / dx;
        else
          off = (x - cx) - static_cast<double>(dx) * (y - cy) / dy;
        EXPECT_LE(std::abs(off), 0.5 + 1e-9) << x << "," << y;
      }
    }
  }
}

TEST(RasterCanvas, LineToMovesTheCurrentPoint) {
  RasterCanvas c = Blank(10, 10);
  c.SetPenColor(kRed);
  c.MoveTo(1, 1);
  c.LineTo(4, 1);
  c.LineTo(4, 4);
  c.LineTo(1, 4);
  const Points expected = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 4}, {2, 4}};
  EXPECT_EQ(PixelsOf(c, kRed), expected);
}

TEST(RasterCanvas, DottedPenAlternatesFromTheStartAndLeavesGaps) {
  struct Case {
    int x0, y0, x1, y1;
    Points expected;
  };
  const std::vector<Case> cases = {
      {0, 0, 7, 0, {{0, 0}, {2, 0}, {4, 0}, {6, 0}}},
      {7, 1, 0, 1, {{7, 1}, {5, 1}, {3, 1}, {1, 1}}},
      {3, 0, 3, 5, {{3, 0}, {3, 2}, {3, 4}}},
      {0, 0, 4, 4, {{0, 0}, {2, 2}}},
      // The pattern is counted from the start even when the start lies outside the box.
      {-3, 2, 9, 2, {{1, 2}, {3, 2}, {5, 2}, {7, 2}}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.x0 << "," << t.y0 << " -> " << t.x1 << "," << t.y1);
    RasterCanvas c = Blank(8, 6);
    c.SetPenColor(kGreen);
    c.SetPenStyle(PenStyle::Dot);
    c.MoveTo(t.x0, t.y0);
    c.LineTo(t.x1, t.y1);
    EXPECT_EQ(PixelsOf(c, kGreen), t.expected);
    EXPECT_EQ(PixelsOf(c, kBackground).size(), 48u - t.expected.size());
  }
}

TEST(RasterCanvas, LinesClipAtEveryEdgeIncludingHugeCoordinates) {
  struct Case {
    int x0, y0, x1, y1;
    Points expected;
  };
  const std::vector<Case> cases = {
      {-1000000000, 3, 1000000000, 3, Box(0, 3, 12, 4)},
      {1000000000, 4, -1000000000, 4, Box(0, 4, 12, 5)},
      {2, INT_MIN, 2, INT_MAX, Box(2, 0, 3, 9)},
      {5, INT_MAX, 5, INT_MIN, Box(5, 0, 6, 9)},
      {-1000000000, -1000000000, 1000000000, 1000000000,
       {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}}},
      {-5, 2, 3, 2, Box(0, 2, 3, 3)},
      {11, 8, 20, 8, {{11, 8}}},
      {0, -4, 0, 0, {}},              // ends at the box without entering it
      {INT_MIN, INT_MIN, INT_MIN, INT_MAX, {}},
      {INT_MAX, INT_MAX, INT_MIN, INT_MIN, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                                            {6, 6}, {7, 7}, {8, 8}}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.x0 << "," << t.y0 << " -> " << t.x1 << "," << t.y1);
    RasterCanvas c = Blank(12, 9);
    c.SetPenColor(kBlue);
    c.MoveTo(t.x0, t.y0);
    c.LineTo(t.x1, t.y1);
    EXPECT_EQ(PixelsOf(c, kBlue), t.expected);
  }
}

TEST(RasterCanvas, RectangleDrawsOutlineWithBrushInside) {
  struct Case {
    int x1, y1, x2, y2;
    Points outline, interior;
  };
  auto frame = [](int x1, int y1, int x2, int y2) {
    Points all = Box(x1, y1, x2, y2), inner = Box(x1 + 1, y1 + 1, x2 - 1, y2 - 1), out;
    for (const auto& p : all)
      if (!inner.count(p)) out.insert(p);
    return out;
  };
  const std::vector<Case> cases = {
      {2, 1, 7, 5, frame(2, 1, 7, 5), Box(3, 2, 6, 4)},
      {3, 3, 5, 5, Box(3, 3, 5, 5), {}},            // 2 x 2: all outline
      {4, 1, 5, 6, Box(4, 1, 5, 6), {}},            // one pixel wide
      {1, 2, 8, 3, Box(1, 2, 8, 3), {}},            // one pixel tall
      {6, 6, 6, 9, {}, {}},                         // empty
      {6, 6, 2, 2, {}, {}},                         // inverted
      // Clipped: only the visible sides appear, the interior reaches the edges.
      {-3, -3, 4, 4, {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 0}, {3, 1}, {3, 2}}, Box(0, 0, 3, 3)},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, {}, Box(0, 0, 10, 8)},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.x1 << "," << t.y1 << "," << t.x2 << "," << t.y2);
    RasterCanvas c = Blank(10, 8);
    c.SetPenColor(kWhite);
    c.SetPenStyle(PenStyle::Dot);  // outlines stay solid
    c.SetBrushColor(kRed);
    c.Rectangle(t.x1, t.y1, t.x2, t.y2);
    EXPECT_EQ(PixelsOf(c, kWhite), t.outline);
    EXPECT_EQ(PixelsOf(c, kRed), t.interior);
    EXPECT_EQ(c.BrushColor(), kRed);
  }
}

TEST(RasterCanvas, TextWithoutRendererFillsItsBackgroundBox) {
  struct Case {
    int x, y;
    std::string text;
    Points expected;
  };
  const std::vector<Case> cases = {
      {2, 3, "40", Box(2, 3, 14, 15)},
      {0, 0, "\xe9\x9f\xb3\xe3\x82\x92", Box(0, 0, 12, 12)},  // two UTF-8 characters
      {-4, -5, "1", Box(0, 0, 2, 7)},
      {25, 15, "12345", Box(25, 15, 30, 20)},
      {1, 1, "", {}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.text);
    RasterCanvas c = Blank(30, 20);
    c.SetBrushColor(kYellow);
    c.TextOut(t.x, t.y, t.text);
    EXPECT_EQ(PixelsOf(c, kYellow), t.expected);
  }
}

class RecordingRenderer : public TextRenderer {
 public:
  void Draw(uint32_t* pixels, int width, int height, int atX, int atY, std::string_view drawn,
            Rgb inkColor, Rgb paperColor) override {
    pixelsSeen = pixels;
    w = width;
    h = height;
    x = atX;
    y = atY;
    text = std::string(drawn);
    ink = inkColor;
    paper = paperColor;
    ++calls;
  }
  uint32_t* pixelsSeen = nullptr;
  int w = 0, h = 0, x = 0, y = 0, calls = 0;
  std::string text;
  Rgb ink = 0, paper = 0;
};

TEST(RasterCanvas, TextGoesThroughTheRendererWithFontAndBrush) {
  RasterCanvas c = Blank(30, 20);
  RecordingRenderer r;
  c.SetTextRenderer(&r);
  c.SetFontColor(kRed);
  c.SetBrushColor(kBlue);
  c.TextOut(7, -2, "25.563");
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(r.pixelsSeen, c.Bits());
  EXPECT_EQ(r.w, 30);
  EXPECT_EQ(r.h, 20);
  EXPECT_EQ(r.x, 7);
  EXPECT_EQ(r.y, -2);
  EXPECT_EQ(r.text, "25.563");
  EXPECT_EQ(r.ink, kRed);
  EXPECT_EQ(r.paper, kBlue);
  EXPECT_EQ(PixelsOf(c, kBackground).size(), 600u);  // the renderer drew nothing itself
}

}  // namespace
}  // namespace tonamira

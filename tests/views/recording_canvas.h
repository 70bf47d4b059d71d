#pragma once
// Test helpers: a canvas decorator that records the lines, rectangles and texts drawn through
// it (with the pen, brush and font in effect) and forwards everything to a RasterCanvas, and
// pixel queries over a RasterCanvas.

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "views/raster_canvas.h"

namespace tonamira::testing_views {

struct LineCall {
  int x0, y0, x1, y1;
  Rgb pen;
  PenStyle style;
};

struct RectCall {
  int x1, y1, x2, y2;
  Rgb pen, brush;
};

struct TextCall {
  int x, y;
  std::string text;
  Rgb font, brush;
};

class RecordingCanvas final : public Canvas {
 public:
  RecordingCanvas(int width, int height) : raster(width, height) {}

  int Width() const override { return raster.Width(); }
  int Height() const override { return raster.Height(); }
  void SetPenColor(Rgb c) override { raster.SetPenColor(c); }
  void SetPenStyle(PenStyle s) override { raster.SetPenStyle(s); }
  void SetBrushColor(Rgb c) override { raster.SetBrushColor(c); }
  Rgb BrushColor() const override { return raster.BrushColor(); }
  void SetFontColor(Rgb c) override { raster.SetFontColor(c); }
  void FillRect(int x1, int y1, int x2, int y2) override {
    ++fills;
    raster.FillRect(x1, y1, x2, y2);
  }
  void MoveTo(int x, int y) override {
    curX = x;
    curY = y;
    raster.MoveTo(x, y);
  }
  void LineTo(int x, int y) override {
    lines.push_back({curX, curY, x, y, raster.PenColor(), raster.GetPenStyle()});
    curX = x;
    curY = y;
    raster.LineTo(x, y);
  }
  void Rectangle(int x1, int y1, int x2, int y2) override {
    rects.push_back({x1, y1, x2, y2, raster.PenColor(), raster.BrushColor()});
    raster.Rectangle(x1, y1, x2, y2);
  }
  void TextOut(int x, int y, std::string_view text) override {
    texts.push_back({x, y, std::string(text), raster.FontColor(), raster.BrushColor()});
    raster.TextOut(x, y, text);
  }

  std::vector<LineCall> LinesIn(PenStyle style) const {
    std::vector<LineCall> out;
    for (const auto& l : lines)
      if (l.style == style) out.push_back(l);
    return out;
  }

  RasterCanvas raster;
  std::vector<LineCall> lines;
  std::vector<RectCall> rects;
  std::vector<TextCall> texts;
  int fills = 0;
  int curX = 0, curY = 0;
};

using Points = std::set<std::pair<int, int>>;

inline Points PixelsOf(const RasterCanvas& c, Rgb color) {
  Points p;
  for (int y = 0; y < c.Height(); ++y)
    for (int x = 0; x < c.Width(); ++x)
      if (c.Pixel(x, y) == color) p.insert({x, y});
  return p;
}

inline Points Box(int x1, int y1, int x2, int y2) {
  Points p;
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x) p.insert({x, y});
  return p;
}

}  // namespace tonamira::testing_views

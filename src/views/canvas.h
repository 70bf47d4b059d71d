#pragma once
// The drawing surface of a paint box. Width and Height in pixels, origin top left, y down.
//
// Pixel rules every implementation keeps:
//  - FillRect(x1, y1, x2, y2) fills columns x1 .. x2-1 and rows y1 .. y2-1 with the brush.
//  - MoveTo/LineTo: a line includes its start point and excludes its end point; LineTo moves
//    the current point. Pens are one pixel wide, solid or dotted.
//  - Rectangle(x1, y1, x2, y2): one-pixel outline in the pen colour around columns x1 .. x2-1
//    and rows y1 .. y2-1, interior in the brush colour.
//  - TextOut(x, y, text): the text's top-left corner at (x, y), opaque: drawn in the font
//    colour on a background of the current brush colour.
//  - Everything is clipped to the box.

#include <cstdint>
#include <string_view>

#include "common/rgb.h"

namespace tonamira {

enum class PenStyle { Solid, Dot };

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  virtual void SetPenColor(Rgb color) = 0;
  virtual void SetPenStyle(PenStyle style) = 0;
  virtual void SetBrushColor(Rgb color) = 0;
  virtual Rgb BrushColor() const = 0;
  virtual void SetFontColor(Rgb color) = 0;

  virtual void FillRect(int x1, int y1, int x2, int y2) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  // UTF-8 text.
  virtual void TextOut(int x, int y, std::string_view text) = 0;
};

}  // namespace tonamira

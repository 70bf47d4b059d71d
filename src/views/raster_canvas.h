#pragma once
// A canvas that draws into its own retained pixel buffer with the exact pixel rules of
// canvas.h. The buffer is 32-bit 0xFFRRGGBB per pixel, rows top to bottom, with no padding,
// so the window can show it as an image without copying. Text is drawn by a TextRenderer
// (the window supplies one over its font); without one, TextOut only fills the background
// box of the text, estimated at 6 pixels per character and 12 pixels high. A new canvas is
// white. Rectangle outlines are always drawn solid, whatever the pen style.

#include <cstdint>
#include <string_view>
#include <vector>

#include "views/canvas.h"

namespace tonamira {

class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  // Draws text opaquely with its top-left corner at (x, y) into the pixels (width x height,
  // 0xFFRRGGBB), clipped to them: font colour `ink` on background `paper`.
  virtual void Draw(uint32_t* pixels, int width, int height, int x, int y,
                    std::string_view text, Rgb ink, Rgb paper) = 0;
};

class RasterCanvas final : public Canvas {
 public:
  RasterCanvas(int width, int height);

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void SetPenColor(Rgb color) override { pen_ = color; }
  void SetPenStyle(PenStyle style) override { penStyle_ = style; }
  void SetBrushColor(Rgb color) override { brush_ = color; }
  Rgb BrushColor() const override { return brush_; }
  void SetFontColor(Rgb color) override { font_ = color; }
  Rgb PenColor() const { return pen_; }
  PenStyle GetPenStyle() const { return penStyle_; }
  Rgb FontColor() const { return font_; }

  void FillRect(int x1, int y1, int x2, int y2) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Rectangle(int x1, int y1, int x2, int y2) override;
  void TextOut(int x, int y, std::string_view text) override;

  void SetTextRenderer(TextRenderer* renderer) { text_ = renderer; }

  // Colour at (x, y) as 0xRRGGBB; the caller keeps inside the box.
  Rgb Pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x] & 0xffffffu; }
  const uint32_t* Bits() const { return pixels_.data(); }
  uint32_t* Bits() { return pixels_.data(); }

 private:
  void Plot(int x, int y, Rgb color);

  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
  Rgb pen_ = kBlack;
  PenStyle penStyle_ = PenStyle::Solid;
  Rgb brush_ = kWhite;
  Rgb font_ = kBlack;
  int curX_ = 0;
  int curY_ = 0;
  TextRenderer* text_ = nullptr;
};

}  // namespace tonamira

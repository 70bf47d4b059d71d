#include "views/raster_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tonamira {

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

// Advance and height of the background box that TextOut fills when no renderer is set.
constexpr int kFallbackAdvance = 6;
constexpr int kFallbackLineHeight = 12;

// Number of characters (code points) in UTF-8 text: every byte that does not continue a
// multi-byte sequence starts a character.
int CountCodePoints(std::string_view text) {
  int n = 0;
  for (unsigned char c : text)
    if ((c & 0xc0u) != 0x80u) ++n;
  return n;
}

// Minor-axis offset of step i of a line with the given extents: i * minor / major rounded
// half up, i.e. floor((2 * i * minor + major) / (2 * major)). Everything is non-negative;
// the product needs more than 64 bits for lines spanning the whole 32-bit range.
int64_t MinorOffset(int64_t i, int64_t minor, int64_t major) {
  const __int128 num = static_cast<__int128>(2 * i) * minor + major;
  return static_cast<int64_t>(num / (static_cast<__int128>(2) * major));
}

}  // namespace

RasterCanvas::RasterCanvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), kOpaque | kWhite) {}

void RasterCanvas::Plot(int x, int y, Rgb color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * width_ + x] = kOpaque | (color & 0xffffffu);
}

void RasterCanvas::FillRect(int x1, int y1, int x2, int y2) {
  const int left = std::max(x1, 0);
  const int top = std::max(y1, 0);
  const int right = std::min(x2, width_);
  const int bottom = std::min(y2, height_);
  if (left >= right || top >= bottom) return;
  const uint32_t value = kOpaque | (brush_ & 0xffffffu);
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = pixels_.data() + static_cast<size_t>(y) * width_;
    std::fill(row + left, row + right, value);
  }
}

void RasterCanvas::MoveTo(int x, int y) {
  curX_ = x;
  curY_ = y;
}

// The line from the current point to (x, y), start included and end excluded. Step i along
// the major axis (the longer of |dx|, |dy|) puts the pixel at
//   major = start + sign * i,  minor = start + sign * floor((2 * i * |dminor| + |dmajor|) / (2 * |dmajor|)),
// that is the minor offset rounded half away from the start. The formula is the same in every
// octant, so a line and its mirror images are mirror images pixel for pixel, and it lets the
// loop start and stop at the box's edges: huge coordinates cost no more than the visible part.
void RasterCanvas::LineTo(int x, int y) {
  const int64_t x0 = curX_;
  const int64_t y0 = curY_;
  curX_ = x;
  curY_ = y;

  const int64_t dx = static_cast<int64_t>(x) - x0;
  const int64_t dy = static_cast<int64_t>(y) - y0;
  const int64_t adx = dx < 0 ? -dx : dx;
  const int64_t ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t steps = xMajor ? adx : ady;  // pixels drawn: 0 .. steps-1
  if (steps == 0) return;                    // a zero-length line draws nothing

  const int64_t major0 = xMajor ? x0 : y0;
  const int64_t minor0 = xMajor ? y0 : x0;
  const int64_t majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t aMinor = xMajor ? ady : adx;
  const int64_t majorLimit = xMajor ? width_ : height_;

  // Steps whose major coordinate lies inside 0 .. majorLimit-1.
  int64_t first = 0;
  int64_t last = steps - 1;
  if (majorSign > 0) {
    first = std::max<int64_t>(first, -major0);
    last = std::min<int64_t>(last, majorLimit - 1 - major0);
  } else {
    first = std::max<int64_t>(first, major0 - (majorLimit - 1));
    last = std::min<int64_t>(last, major0);
  }
  if (first > last) return;

  const bool dotted = penStyle_ == PenStyle::Dot;
  for (int64_t i = first; i <= last; ++i) {
    if (dotted && (i & 1) != 0) continue;
    const int64_t major = major0 + majorSign * i;
    const int64_t minor = minor0 + minorSign * MinorOffset(i, aMinor, steps);
    const int64_t px = xMajor ? major : minor;
    const int64_t py = xMajor ? minor : major;
    if (py < 0 || py >= height_ || px < 0 || px >= width_) continue;
    Plot(static_cast<int>(px), static_cast<int>(py), pen_);
  }
}

void RasterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  // Interior first, then the outline over its edge.
  const Rgb savedBrush = brush_;
  FillRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1);
  brush_ = pen_;
  FillRect(x1, y1, x2, y1 + 1);      // top row
  FillRect(x1, y2 - 1, x2, y2);      // bottom row
  FillRect(x1, y1, x1 + 1, y2);      // left column
  FillRect(x2 - 1, y1, x2, y2);      // right column
  brush_ = savedBrush;
}

void RasterCanvas::TextOut(int x, int y, std::string_view text) {
  if (text.empty()) return;
  if (text_ != nullptr) {
    text_->Draw(pixels_.data(), width_, height_, x, y, text, font_, brush_);
    return;
  }
  const int64_t right = static_cast<int64_t>(x) + int64_t{kFallbackAdvance} * CountCodePoints(text);
  const int64_t bottom = static_cast<int64_t>(y) + kFallbackLineHeight;
  FillRect(x, y, static_cast<int>(std::min<int64_t>(right, INT32_MAX)),
           static_cast<int>(std::min<int64_t>(bottom, INT32_MAX)));
}

}  // namespace tonamira

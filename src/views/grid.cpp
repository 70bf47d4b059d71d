#include "views/grid.h"

#include <cmath>
#include <string>

#include "analysis/rounding.h"

namespace tonamira {

void ClearBox(Canvas& box) {
  box.SetBrushColor(kBlack);
  box.FillRect(0, 0, box.Width(), box.Height());
}

namespace {

// x of grid line i: i * width * step / span, the product formed in integers.
int GridX(int32_t i, int width, int32_t step, double span) {
  const int64_t product = static_cast<int64_t>(i) * width * step;
  return RoundInt(static_cast<double>(product) / span);
}

}  // namespace

void DrawGridLines(Canvas& box, int32_t minorStep, int32_t majorStep, double span) {
  if (minorStep <= 0 || majorStep <= 0 || !(span > 0.0) || !std::isfinite(span)) return;
  const int width = box.Width();
  const int height = box.Height();

  box.SetPenColor(kGreen);
  box.SetPenStyle(PenStyle::Dot);
  const int32_t minorCount = RoundInt(span / minorStep);
  for (int32_t i = 1; i < minorCount; ++i) {
    const int x = GridX(i, width, minorStep, span);
    box.MoveTo(x, 0);
    box.LineTo(x, height);
  }

  box.SetPenColor(kGreen);
  box.SetPenStyle(PenStyle::Solid);
  box.SetFontColor(kRed);
  const int32_t majorCount = RoundInt(span / majorStep);
  for (int32_t i = 1; i < majorCount; ++i) {
    const int x = GridX(i, width, majorStep, span);
    box.MoveTo(x, 0);
    box.LineTo(x, height);
    const std::string label = std::to_string(static_cast<int64_t>(i) * majorStep);
    const int shift = RoundInt(static_cast<double>(label.size()) / 2.0 * 5.0);
    box.TextOut(x - shift, 0, label);
  }
}

void DrawWaveGrid(Canvas& box, uint32_t rate, int32_t fftSize, int32_t minorStep,
                  int32_t majorStep) {
  const double span = static_cast<double>(fftSize) * 1000.0 / static_cast<double>(rate);
  DrawGridLines(box, minorStep, majorStep, span);
}

void DrawSpectrumGrid(Canvas& box, int32_t minorStep, int32_t majorStep, double maxDisplayFreq) {
  DrawGridLines(box, minorStep, majorStep, maxDisplayFreq);
}

}  // namespace tonamira

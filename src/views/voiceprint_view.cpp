#include "views/voiceprint_view.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/rounding.h"
#include "views/grid.h"

namespace tonamira {

Rgb VoiceprintDotColor(double amp) {
  const uint32_t c = static_cast<uint32_t>(RoundInt(amp * 255.0)) & 0xffffu;
  return MakeRgb(static_cast<int>(c & 0xffu), static_cast<int>(c >> 8), 0);
}

int32_t VoiceprintDotY(int32_t bin, int32_t binsDenominator, int32_t height) {
  return RoundInt((1.0 - 2.0 * bin / binsDenominator) * height);
}

void DrawVoiceprintColumn(Canvas& print, VoiceprintState& state, int32_t count,
                          std::span<const double> amps, std::span<const int32_t> bins,
                          int32_t binsDenominator) {
  ++state.column;
  if (count <= 0) return;
  const size_t n = std::min({static_cast<size_t>(count), amps.size(), bins.size()});
  for (size_t k = 0; k < n; ++k) {
    if (state.column > state.width) {
      state.column = 0;
      ClearBox(print);
    }
    if (binsDenominator == 0) continue;
    // Rows far outside the box are held just outside it, so that y + 2 cannot overflow.
    const int32_t y = std::clamp(VoiceprintDotY(bins[k], binsDenominator, print.Height()), -4,
                                 std::max(print.Height(), 0) + 4);
    print.SetPenColor(VoiceprintDotColor(amps[k]));
    print.Rectangle(state.column, y, state.column + 2, y + 2);
  }
}

namespace {

void DrawScaleLines(Canvas& scale, int32_t step, double top, double bottom, bool minor) {
  const double range = top - bottom;
  const int32_t lo = RoundInt(bottom / step);
  const int32_t hi = RoundInt(top / step);
  const bool labelled = !minor || static_cast<int64_t>(hi) - lo < 10;
  for (int64_t j = static_cast<int64_t>(lo) + 1; j < hi; ++j) {
    const double value = static_cast<double>(j * step);
    const int y = RoundInt((1.0 - (value - bottom) / range) * scale.Height());
    scale.MoveTo(0, y);
    scale.LineTo(scale.Width(), y);
    if (labelled) scale.TextOut(1, y - 5, std::to_string(j * step));
  }
}

}  // namespace

void DrawFreqScale(Canvas& scale, int32_t minorStep, int32_t majorStep, double top,
                   double bottom) {
  const double range = top - bottom;
  if (minorStep <= 0 || majorStep <= 0 || range == 0.0 || !std::isfinite(range)) return;
  scale.SetPenColor(kGreen);
  scale.SetPenStyle(PenStyle::Dot);
  scale.SetFontColor(kRed);
  DrawScaleLines(scale, minorStep, top, bottom, true);
  scale.SetPenColor(kGreen);
  scale.SetPenStyle(PenStyle::Solid);
  DrawScaleLines(scale, majorStep, top, bottom, false);
}

void ResetVoiceprint(Canvas& print, Canvas& scale, VoiceprintState& state, int32_t minorStep,
                     int32_t majorStep, double maxDisplayFreq) {
  ClearBox(print);
  ClearBox(scale);
  state.column = 0;
  DrawFreqScale(scale, minorStep, majorStep, maxDisplayFreq, 0.0);
}

}  // namespace tonamira

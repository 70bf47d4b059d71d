#include "views/spectrum_view.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/detection.h"
#include "analysis/rounding.h"

namespace tonamira {

double SpectrumScale(int32_t bits) {
  if (bits == 8) return -1.0;
  if (bits == 16) return -1.0 / 255.0;
  return 0.0;
}

void DrawSpectrumPeaks(Canvas& box, std::span<const SpectrumPeak> peaks, int32_t displayBins,
                       double baseline, double scale, double zoom) {
  const double dx = 2.0 * box.Width() / displayBins;
  const double k = zoom * scale;
  box.SetPenColor(kWhite);
  box.SetPenStyle(PenStyle::Solid);
  for (const SpectrumPeak& p : peaks) {
    const int x = RoundInt(static_cast<double>(p.bin) * dx);
    const int top = RoundInt(k * p.height + baseline);
    const int base = RoundInt(baseline);
    if (p.aboveThreshold) {
      box.Rectangle(x, top, x + 4, base);
    } else {
      box.MoveTo(x, top);
      box.LineTo(x, base);
    }
  }
}

void DrawThresholdLine(Canvas& box, double baseline, double scale, double threshold,
                       double zoom) {
  const int y = RoundInt(scale * threshold * zoom + baseline);
  box.SetPenColor(kGreen);
  box.SetPenStyle(PenStyle::Solid);
  box.MoveTo(0, y);
  box.LineTo(box.Width(), y);
}

void DrawCutoffLine(Canvas& box, int32_t x) {
  box.SetPenColor(kGreen);
  box.SetPenStyle(PenStyle::Solid);
  box.MoveTo(x, 0);
  box.LineTo(x, box.Height());
}

void DrawCutoffLabel(Canvas& box, int32_t x, int32_t cutoffFreq) {
  box.SetFontColor(kGreen);
  box.TextOut(x + 1, 0, std::to_string(cutoffFreq));
}

std::optional<double> ThresholdFromClick(int32_t y, int32_t height, int32_t bits, double zoom) {
  const double divisor = SpectrumScale(bits) * zoom;
  if (divisor == 0.0 || !std::isfinite(divisor)) return std::nullopt;
  const int32_t baseline = height - 1;
  return static_cast<double>(y - baseline) / divisor;
}

std::optional<Cutoff> CutoffFromClick(int32_t x, int32_t width, double maxDisplayFreq,
                                      int32_t recRate, int32_t fftSize) {
  if (width == 0) return std::nullopt;
  Cutoff c;
  c.freq = RoundInt(x * maxDisplayFreq / width);
  c.bin = CutoffBinFor(c.freq, recRate, fftSize);
  return c;
}

double StepDisplayRange(double maxDisplayFreq, UpDownButton button, int32_t recRate) {
  if (button == UpDownButton::Next) {
    const double halved = maxDisplayFreq / 2.0;
    return halved < kMinDisplayFreq ? maxDisplayFreq : halved;
  }
  const double doubled = maxDisplayFreq * 2.0;
  if (doubled > kMaxDisplayFreq || doubled > recRate / 2.0) return maxDisplayFreq;
  return doubled;
}

int32_t StepFftSizeExp(int32_t fftSizeExp, UpDownButton button) {
  if (button == UpDownButton::Next) return std::max(fftSizeExp - 1, 0);
  return std::min(fftSizeExp + 1, kMaxFftSizeExp);
}

int32_t WaveMinorGridFor(int32_t fftSize, uint32_t rate) {
  const double ms = static_cast<double>(fftSize) / static_cast<double>(rate) * 1000.0;
  if (ms > 30.0) return 5;
  if (ms > 20.0) return 2;
  return 1;
}

}  // namespace tonamira

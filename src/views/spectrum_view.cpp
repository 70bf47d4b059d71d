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

int32_t DisplayBins(int32_t count, int32_t rate, double maxDisplayFreq) {
  const double bins = count / (rate / 2.0 / maxDisplayFreq);
  // No rate or no range gives no bins rather than a saturated count.
  return std::isfinite(bins) ? RoundInt(bins) : 0;
}

void DrawSpectrum(Canvas& box, int32_t rate, int32_t count, double baseline, double scale,
                  std::span<const double> mags, std::span<double> noise, double maxDisplayFreq,
                  double zoom, SpectrumPeakState& state) {
  const int32_t n = DisplayBins(count, rate, maxDisplayFreq);
  const double dx = 2.0 * box.Width() / n;
  const double k = zoom * scale;
  box.SetPenColor(kWhite);
  box.SetPenStyle(PenStyle::Solid);
  state.spectrumPeakMax = 0.0;

  // Bin i + 1 must be a computed magnitude (below count / 2) and present in both arrays.
  const int64_t computed = count > 0 ? count / 2 : 0;
  const int64_t limit =
      std::min({computed, static_cast<int64_t>(mags.size()), static_cast<int64_t>(noise.size())});

  for (int64_t i = 1; i < n && i + 1 < limit; ++i) {
    if (state.captureNoise) noise[i - 1] = mags[i - 1];
    const double before = mags[i - 1] - noise[i - 1];
    const double here = mags[i] - noise[i];
    const double after = mags[i + 1] - noise[i + 1];
    if (!(before < here && here > after) || i <= static_cast<int64_t>(state.cutoffBin)) continue;

    if (here > state.spectrumPeakMax) state.spectrumPeakMax = here;
    const int x = RoundInt(static_cast<double>(i) * dx);
    const int top = RoundInt(k * here + baseline);
    const int base = RoundInt(baseline);
    if (here > state.peakThreshold) {
      box.Rectangle(x, top, x + 4, base);
    } else {
      box.MoveTo(x, top);
      box.LineTo(x, base);
    }
  }

  if (state.captureNoise) {
    state.peakThreshold = std::max(state.spectrumPeakMax, kMinCapturedThreshold);
    state.captureNoise = false;
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

int32_t FftSizeFromExp(int32_t fftSizeExp) {
  return RoundInt(std::pow(2.0, std::clamp(fftSizeExp, 0, kMaxFftSizeExp))) * 256;
}

int32_t WaveMinorGridFor(int32_t fftSize, uint32_t rate) {
  const double ms = static_cast<double>(fftSize) / static_cast<double>(rate) * 1000.0;
  if (ms > 30.0) return 5;
  if (ms > 20.0) return 2;
  return 1;
}

}  // namespace tonamira

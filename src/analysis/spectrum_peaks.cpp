#include "analysis/spectrum_peaks.h"

#include <algorithm>
#include <cmath>

#include "analysis/rounding.h"

namespace tonamira {

int32_t DisplayBins(int32_t count, int32_t rate, double maxDisplayFreq) {
  // A zero rate or display range makes the quotient infinite or NaN (IEEE division, well
  // defined): no bins, so neither the view nor the detection scans anything. Finite counts
  // beyond the 32-bit range saturate.
  const double bins = static_cast<double>(count) / (static_cast<double>(rate) / 2.0 / maxDisplayFreq);
  return std::isfinite(bins) ? RoundInt(bins) : 0;
}

void ScanSpectrumPeaks(int32_t count, int32_t displayBins, std::span<const double> mags,
                       std::span<double> noise, SpectrumPeakState& state,
                       std::vector<SpectrumPeak>& peaks) {
  peaks.clear();
  state.spectrumPeakMax = 0.0;

  // Bin i + 1 must be a computed magnitude (below count / 2) and present in both arrays.
  const int64_t computed = count > 0 ? count / 2 : 0;
  const int64_t limit = std::min({computed, static_cast<int64_t>(mags.size()),
                                  static_cast<int64_t>(noise.size())});

  for (int64_t i = 1; i < displayBins && i + 1 < limit; ++i) {
    const auto at = static_cast<size_t>(i);
    if (state.captureNoise) noise[at - 1] = mags[at - 1];
    const double before = mags[at - 1] - noise[at - 1];
    const double here = mags[at] - noise[at];
    const double after = mags[at + 1] - noise[at + 1];
    if (!(before < here && here > after) || i <= static_cast<int64_t>(state.cutoffBin)) continue;
    if (here > state.spectrumPeakMax) state.spectrumPeakMax = here;
    peaks.push_back({static_cast<int32_t>(i), here, here > state.peakThreshold});
  }

  if (state.captureNoise) {
    state.peakThreshold = std::max(state.spectrumPeakMax, kMinCapturedThreshold);
    state.captureNoise = false;
  }
}

}  // namespace tonamira

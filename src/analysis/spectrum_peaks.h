#pragma once
// The peaks the spectrum view shows for one channel, and the capture of a noise spectrum,
// which happens during that same pass over the bins.

#include <cstdint>
#include <span>
#include <vector>

namespace tonamira {

// The number of bins from 0 Hz to twice the display range:
// Round(count / (rate / 2.0 / maxDisplayFreq)), saturated to the 32-bit range; 0 when the
// quotient is not finite (no rate or no range). With the defaults (2048, 44100, 2000 Hz) 186. The spectrum view spreads
// these bins over twice its width, and the detection scans the bins below it.
int32_t DisplayBins(int32_t count, int32_t rate, double maxDisplayFreq);

// The peak-picking settings the spectrum view shares with the detection, and what a pass
// leaves behind.
struct SpectrumPeakState {
  double peakThreshold = 10.0;  // peaks strictly above it stand out (drawn as boxes)
  uint32_t cutoffBin = 1;       // bins at or below it are never peaks
  bool captureNoise = false;    // the next pass stores its magnitudes as the noise spectrum
  double spectrumPeakMax = 0.0; // largest peak height of the last pass
};

// A captured noise spectrum never sets the threshold below this: a quiet room would
// otherwise let every small ripple count as a peak.
inline constexpr double kMinCapturedThreshold = 10.0;

struct SpectrumPeak {
  int32_t bin = 0;
  double height = 0.0;          // magnitude minus noise
  bool aboveThreshold = false;  // strictly above the threshold in effect during the pass
};

// One pass over a channel's magnitudes (count = frame length; mags holds bins 0 ..
// count/2 - 1). Bin i (1 .. displayBins - 1) is a peak when its noise-subtracted height d(i)
// is strictly above both neighbours and i > cutoffBin. The pass stops where bin i + 1 would
// reach count/2 (or the end of mags or noise): nothing beyond is read. peaks is cleared and
// filled in bin order (its storage is reused from frame to frame). state.spectrumPeakMax
// becomes the largest peak height.
//
// While state.captureNoise is set, each mags[i - 1] is copied into noise[i - 1] as the pass
// reaches bin i, before bin i is judged, so the noise spectrum becomes this frame's; at the
// end the threshold becomes the largest peak height (at least kMinCapturedThreshold) and the
// flag is cleared. Peaks of that pass are judged against the threshold that held before.
void ScanSpectrumPeaks(int32_t count, int32_t displayBins, std::span<const double> mags,
                       std::span<double> noise, SpectrumPeakState& state,
                       std::vector<SpectrumPeak>& peaks);

}  // namespace tonamira

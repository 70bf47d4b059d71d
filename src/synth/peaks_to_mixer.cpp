#include "synth/peaks_to_mixer.h"

#include <algorithm>
#include <cmath>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// The highest harmonic the mixer takes from a detection: its bar 20 is never filled from
// the analysis.
constexpr int32_t kFirstDroppedHarmonic = 20;

bool IsMixerHarmonic(int32_t h) { return h >= 1 && h <= kHarmonics; }

}  // namespace

void TrimHarmonicPeaks(PeakList& peaks) {
  while (peaks.count >= 1 && peaks.harmonic[peaks.count] >= kFirstDroppedHarmonic)
    --peaks.count;
}

std::optional<int32_t> LevelsFromPeaks(PeakList& peaks, int32_t detectedFreq,
                                       HarmonicLevels& levels) {
  TrimHarmonicPeaks(peaks);
  for (int k = 1; k <= kHarmonics; ++k) levels[k] = 0;
  const int count = std::min(peaks.count, kMaxPeaks);
  for (int j = 1; j <= count; ++j) {
    const int32_t h = peaks.harmonic[j];
    if (!IsMixerHarmonic(h)) continue;
    levels[h] = std::clamp(RoundInt(peaks.amp[j] * 100.0), 0, kLevelMax);
  }
  if (detectedFreq <= kMixerFollowLimit) return detectedFreq;
  return std::nullopt;
}

void ComputeHarmonicPhases(const PeakList& peaks, HarmonicComplexes& complexes,
                           HarmonicPhases& phases) {
  double ref = 0.0;
  // A phase exists for positions 1 .. 20 only; after the trimming the count is at most 19,
  // but a list that was not trimmed (a failed detection) may hold many more.
  const int count = std::min(peaks.count, kHarmonics);
  for (int j = 1; j <= count; ++j) {
    const int32_t h = peaks.harmonic[j];
    if (IsMixerHarmonic(h)) complexes[h] = peaks.complex[j];
    const Complex value = complexes[j];
    if (value.re != 0.0 || value.im != 0.0) {
      phases[j] = std::atan2(value.re, value.im) - ref;
    } else {
      phases[j] = -ref;
    }
    if (j == 1) ref = phases[1];
  }
}

}  // namespace tonamira

#include "analysis/detection.h"

#include <algorithm>
#include <cstdlib>

#include "analysis/rounding.h"
#include "analysis/spectrum_peaks.h"

namespace tonamira {
namespace {

// Below this fraction of the tallest height a peak is too weak to keep.
constexpr double kWeakPeakRatio = 0.05;
// A first peak whose bin times this factor is still below the mean bin ratio is dropped.
constexpr double kLowFirstPeakFactor = 2.2;
// Largest distance, in bins, from a multiple of the fundamental's bin that still counts
// as a harmonic.
constexpr int64_t kHarmonicTolerance = 3;

// Removes entry `index` (1-based) and moves every later entry of every list down by one,
// so that entry k of each list keeps describing the same peak.
void RemovePeak(PeakList& peaks, int index) {
  for (int k = index; k < peaks.count; ++k) {
    peaks.bin[k] = peaks.bin[k + 1];
    peaks.amp[k] = peaks.amp[k + 1];
    peaks.complex[k] = peaks.complex[k + 1];
    peaks.harmonic[k] = peaks.harmonic[k + 1];
  }
  --peaks.count;
}

// Round(bin / base): the multiple of the base bin nearest to bin.
int64_t NearestMultiple(int32_t bin, int32_t base) {
  return RoundInt64(static_cast<double>(bin) / static_cast<double>(base));
}

// Distance in bins of `bin` from the nearest multiple of `base`, in 64-bit integers so the
// product can never overflow.
int64_t DistanceFromMultiple(int32_t bin, int32_t base) {
  const int64_t multiple = NearestMultiple(bin, base) * static_cast<int64_t>(base);
  const int64_t d = static_cast<int64_t>(bin) - multiple;
  return d < 0 ? -d : d;
}

// Pass over the list removing every peak for which `drop` holds. Each peak is looked at
// exactly once: after a removal the next peak has moved into the current slot, so the
// index only advances past peaks that stay.
template <typename Drop>
void RemoveWhere(PeakList& peaks, int first, Drop drop) {
  int k = first;
  while (k <= peaks.count) {
    if (drop(k)) {
      RemovePeak(peaks, k);
    } else {
      ++k;
    }
  }
}

// Gives each peak its harmonic number and keeps one peak per harmonic. The first peak is
// the fundamental; peaks more than a few bins off a multiple of it are discarded.
void LabelHarmonics(PeakList& peaks) {
  const int32_t base = peaks.bin[1];
  RemoveWhere(peaks, 2, [&](int k) {
    return DistanceFromMultiple(peaks.bin[k], base) > kHarmonicTolerance;
  });

  // Harmonic numbers are at least 1 (bins rise along the list) and, with bins below
  // 2^31, at most 2^31 - 1, so they fit the 32-bit list.
  for (int k = 1; k <= peaks.count; ++k) {
    peaks.harmonic[k] = static_cast<int32_t>(NearestMultiple(peaks.bin[k], base));
  }

  // In each run of consecutive peaks sharing a harmonic number only the tallest (the
  // earliest among equal heights) keeps its height; the others are zeroed for removal.
  int runStart = 1;
  while (runStart <= peaks.count) {
    int runEnd = runStart;
    while (runEnd + 1 <= peaks.count && peaks.harmonic[runEnd + 1] == peaks.harmonic[runStart]) {
      ++runEnd;
    }
    int tallest = runStart;
    for (int k = runStart + 1; k <= runEnd; ++k) {
      if (peaks.amp[k] > peaks.amp[tallest]) tallest = k;
    }
    for (int k = runStart; k <= runEnd; ++k) {
      if (k == tallest) continue;
      peaks.amp[k] = 0.0;
      peaks.complex[k] = Complex{};
    }
    runStart = runEnd + 1;
  }

  RemoveWhere(peaks, 1, [&](int k) { return peaks.amp[k] == 0.0; });
}

}  // namespace

uint32_t CutoffBinFor(double cutoffHz, double rate, int32_t fftSize) {
  const int32_t bin = RoundInt(cutoffHz / (rate / (fftSize - 1)));
  return bin < 0 ? 0u : static_cast<uint32_t>(bin);
}

double InterpolatePeak(double x0, double y0, double x1, double y1, double x2, double y2) {
  if (y0 > y2) {
    // Line through the middle point and the right neighbour, mirrored through the left.
    const double denom = y2 - y1;
    if (denom == 0.0) return x1;  // no slope to intersect: the middle bin itself
    const double t = x1 + (x2 - x1) * (y0 - y1) / denom;
    return (x0 + t) / 2.0;
  }
  const double denom = y1 - y0;
  if (denom == 0.0) return x1;
  const double t = x1 + (x1 - x0) * (y2 - y1) / denom;
  return (x2 + t) / 2.0;
}

bool DetectPitch(const double* mag, const double* noise, const Complex* out,
                 const DetectionSettings& settings, DetectionState& state) {
  if (mag == nullptr) return false;

  const int32_t n = DisplayBins(settings.fftSize, settings.recRate, settings.maxDisplayFreq);
  state.voiceprintBins = n;

  // Only bins 0 .. fftSize/2 - 1 carry magnitudes. The scan compares each bin with its
  // right neighbour, so it stops at the last bin whose neighbour is still computed: past
  // fftSize/2 - 2, even when the display range asks for more. Bounds are taken in 64 bits
  // because n may be saturated to either end of the 32-bit range.
  const int64_t half = settings.fftSize / 2;
  const int64_t last = std::min<int64_t>(static_cast<int64_t>(n) - 1, half - 2);

  auto subtracted = [&](int64_t i) { return noise ? mag[i] - noise[i] : mag[i]; };

  PeakList& peaks = state.peaks;
  peaks.count = 0;
  double tallest = 0.0;
  for (int64_t i = 1; i <= last; ++i) {
    if (static_cast<uint64_t>(i) <= settings.cutoffBin) continue;
    const double s = subtracted(i);
    if (!(subtracted(i - 1) < s)) continue;
    if (!(s > subtracted(i + 1))) continue;
    if (peaks.count >= kMaxPeaks) continue;
    if (!(s > settings.peakThreshold)) continue;
    const int k = ++peaks.count;
    peaks.amp[k] = s;
    peaks.complex[k] = out ? out[i] : Complex{};
    peaks.bin[k] = static_cast<int32_t>(i);
    if (s > tallest) tallest = s;
  }

  if (tallest == 0.0) return false;

  RemoveWhere(peaks, 1, [&](int k) { return peaks.amp[k] / tallest < kWeakPeakRatio; });

  // A first peak far below the others (a hum or rumble under a higher voice) is not the
  // fundamental. Its bin is at least 1, being above the cut-off.
  if (peaks.count > 3) {
    const double base = peaks.bin[1];
    double sum = 0.0;
    for (int k = 1; k <= peaks.count; ++k) sum += peaks.bin[k] / base;
    const double meanRatio = sum / peaks.count;
    if (kLowFirstPeakFactor * base < meanRatio) RemovePeak(peaks, 1);
  }

  // Two peaks that are not harmonically related: the taller one is the pitch.
  if (peaks.count == 2) {
    const int64_t d = DistanceFromMultiple(peaks.bin[2], peaks.bin[1]);
    if (d > kHarmonicTolerance && peaks.amp[1] < peaks.amp[2]) RemovePeak(peaks, 1);
  }

  // The scan bounds keep k - 1 >= 0 and k + 1 <= fftSize/2 - 1, and fftSize >= 6 here.
  const int32_t k = peaks.bin[1];
  const double position = InterpolatePeak(k - 1.0, mag[k - 1], k, mag[k], k + 1.0, mag[k + 1]);
  state.detectedFreq = RoundInt(position * settings.sampleRate / settings.fftSize);
  // The level is the tallest recorded height, even if that peak has since been dropped.
  state.detectedLevel = RoundInt(tallest);

  for (int j = 1; j <= peaks.count; ++j) peaks.amp[j] = peaks.amp[j] / tallest;

  if (!settings.drivesMixer) return true;
  LabelHarmonics(peaks);
  return true;
}

}  // namespace tonamira

#pragma once
// Pitch and level detection by peak picking over the noise-subtracted magnitude spectrum.

#include <array>
#include <cstdint>

#include "analysis/fft.h"

namespace tonamira {

inline constexpr int kPeakListRoom = 120;   // entries 1 .. 119 are ever used
inline constexpr int kMaxPeaks = 119;
inline constexpr int kHarmonics = 20;

// Parallel 1-based peak lists (index 0 unused). Removing a peak moves every later entry of
// every list down by one.
struct PeakList {
  int count = 0;
  std::array<int32_t, kPeakListRoom + 1> bin{};
  std::array<double, kPeakListRoom + 1> amp{};
  std::array<Complex, kPeakListRoom + 1> complex{};
  std::array<int32_t, kPeakListRoom + 1> harmonic{};
};

struct DetectionSettings {
  double peakThreshold = 10.0;    // a peak must be strictly higher (after noise subtraction)
  uint32_t cutoffBin = 1;         // bins at or below are never peaks
  int32_t fftSize = 2048;         // frame length in samples
  int32_t recRate = 44100;        // the rate the display range is measured with
  double maxDisplayFreq = 2000.0;
  uint32_t sampleRate = 44100;    // the sound's own rate (WaveFormat.nSamplesPerSec): bins -> Hz
  bool drivesMixer = false;       // label harmonics for the tone mixer
};

// What a detection leaves behind. detectedFreq and detectedLevel keep their previous values
// when a detection fails.
struct DetectionState {
  int32_t voiceprintBins = 0;
  PeakList peaks;
  int32_t detectedFreq = 0;
  int32_t detectedLevel = 0;
};

// The low cut-off bin of a frequency: Round(cutoffHz / (rate / (fftSize - 1))), never below 0.
// The bin width is measured with fftSize - 1, as the cut-off has always been converted.
uint32_t CutoffBinFor(double cutoffHz, double rate, int32_t fftSize);

// Triangle fit of a peak through three equally spaced points. When the denominator of the
// fit is zero (possible only with a captured noise spectrum), the position is x1 itself.
double InterpolatePeak(double x0, double y0, double x1, double y1, double x2, double y2);

// mag and noise hold at least fftSize/2 entries (bins 0 .. fftSize/2 - 1); out the complex
// transform. Returns true when a pitch was found. The scan never reads a bin at or beyond
// fftSize/2: it stops where bin i + 1 would reach it. A null mag (no spectrum) gives false
// with nothing touched; a null noise counts as all zero and a null out as all (0, 0).
// On false, voiceprintBins and the peak lists are already rewritten; detectedFreq and
// detectedLevel keep their values.
bool DetectPitch(const double* mag, const double* noise, const Complex* out,
                 const DetectionSettings& settings, DetectionState& state);

}  // namespace tonamira

#pragma once
// Drawing of the spectrum view (the peaks of one channel's magnitude spectrum after noise
// subtraction, the threshold and cut-off marks) and the pure rules behind its controls.

#include <cstdint>
#include <optional>
#include <span>

#include "views/canvas.h"

namespace tonamira {

// The peak-picking settings the view shares with the detection, and what a drawing pass
// leaves behind.
struct SpectrumPeakState {
  double peakThreshold = 10.0;  // peaks strictly above it are drawn as boxes
  uint32_t cutoffBin = 1;       // bins at or below it are never peaks
  bool captureNoise = false;    // the next pass stores its magnitudes as the noise
  double spectrumPeakMax = 0.0; // largest peak height of the last pass
};

// The threshold a noise capture never goes below.
inline constexpr double kMinCapturedThreshold = 10.0;

// Pixels per magnitude unit before zoom, negative so that peaks grow upwards: -1 for 8-bit
// samples, -1/255 for 16-bit; 0 for any other sample width.
double SpectrumScale(int32_t bits);

// Number of bins from 0 Hz to maxDisplayFreq times two:
// Round(count / (rate / 2 / maxDisplayFreq)); 0 when that is not a finite number (no rate).
int32_t DisplayBins(int32_t count, int32_t rate, double maxDisplayFreq);

// Draws the peaks of one channel. Bin i (1 .. n-1, n = DisplayBins) is a peak when its
// noise-subtracted height d(i) is strictly above both neighbours and i > cutoffBin; it is
// drawn at x = Round(i * 2 * Width / n) from the baseline up to Round(zoom * scale * d(i) +
// baseline): as a 4-pixel box with a white outline filled with the current brush when d(i) >
// peakThreshold, otherwise as a white line. The scan stops where bin i+1 would reach count/2
// (or the end of mags or noise): no magnitude beyond those is read. While
// state.captureNoise is set, each mags[i-1] is copied into noise[i-1] as the scan passes it,
// and at the end the threshold becomes the largest peak height (at least 10.0) and the flag
// is cleared.
void DrawSpectrum(Canvas& box, int32_t rate, int32_t count, double baseline, double scale,
                  std::span<const double> mags, std::span<double> noise, double maxDisplayFreq,
                  double zoom, SpectrumPeakState& state);

// Green horizontal line at the height of the threshold: y = Round(scale * threshold * zoom +
// baseline).
void DrawThresholdLine(Canvas& box, double baseline, double scale, double threshold,
                       double zoom);

// Green vertical line at column x over the whole height.
void DrawCutoffLine(Canvas& box, int32_t x);

// The cut-off frequency in green at (x + 1, 0).
void DrawCutoffLabel(Canvas& box, int32_t x, int32_t cutoffFreq);

// Threshold from a Shift + left click on row y: the height whose bar on the bottom baseline
// (height - 1) reaches the row, (y - b) / (SpectrumScale(bits) * zoom). Empty when that
// divisor is 0 (a sample width other than 8 or 16 bits, or zoom 0): the threshold stays.
std::optional<double> ThresholdFromClick(int32_t y, int32_t height, int32_t bits, double zoom);

struct Cutoff {
  int32_t freq = 30;
  uint32_t bin = 1;
};

// Cut-off from a Shift + right click at column x: freq = Round(x * maxDisplayFreq / width),
// bin = CutoffBinFor(freq). Empty for a zero width.
std::optional<Cutoff> CutoffFromClick(int32_t x, int32_t width, double maxDisplayFreq,
                                      int32_t recRate, int32_t fftSize);

// The two arrows of an up-down control: Next is the right arrow, Prev the left one.
enum class UpDownButton { Next, Prev };

// The frequency range after a click of its up-down control: Next halves it, Prev doubles
// it; a result below 250 Hz, above 8000 Hz or above recRate / 2 leaves the old value.
double StepDisplayRange(double maxDisplayFreq, UpDownButton button, int32_t recRate);

inline constexpr double kMinDisplayFreq = 250.0;
inline constexpr double kMaxDisplayFreq = 8000.0;

// The frame-length exponent after a click: Next lowers it (not below 0), Prev raises it (not
// above 3).
int32_t StepFftSizeExp(int32_t fftSizeExp, UpDownButton button);
inline constexpr int32_t kMaxFftSizeExp = 3;

// 256 * 2^exp, the exponent held to 0 .. 3.
int32_t FftSizeFromExp(int32_t fftSizeExp);

// Step of the waveform view's dotted grid for a frame length: 5 ms when the frame lasts more
// than 30 ms, 2 ms when more than 20 ms, otherwise 1 ms.
int32_t WaveMinorGridFor(int32_t fftSize, uint32_t rate);

}  // namespace tonamira

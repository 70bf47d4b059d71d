#pragma once
// Drawing of the spectrum view (the peaks of one channel's magnitude spectrum after noise
// subtraction, the threshold and cut-off marks) and the pure rules behind its controls. The
// peaks themselves are found by the analysis (analysis/spectrum_peaks.h); this only draws.

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/frame.h"
#include "analysis/spectrum_peaks.h"
#include "common/up_down.h"
#include "views/canvas.h"

namespace tonamira {

// Pixels per magnitude unit before zoom, negative so that peaks grow upwards: -1 for 8-bit
// samples, -1/255 for 16-bit; 0 for any other sample width.
double SpectrumScale(int32_t bits);

// Draws the peaks of one channel found by ScanSpectrumPeaks over displayBins bins. Peak i
// is drawn at x = Round(bin * 2 * Width / displayBins) from the baseline up to
// Round(zoom * scale * height + baseline): as a 4-pixel box with a white outline filled with
// the current brush when it stood above the threshold, otherwise as a white line.
void DrawSpectrumPeaks(Canvas& box, std::span<const SpectrumPeak> peaks, int32_t displayBins,
                       double baseline, double scale, double zoom);

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

// The frequency range after a click of its up-down control: Next halves it, Previous doubles
// it; a result below 250 Hz, above 8000 Hz or above recRate / 2 leaves the old value.
double StepDisplayRange(double maxDisplayFreq, UpDownButton button, int32_t recRate);

inline constexpr double kMinDisplayFreq = 250.0;
inline constexpr double kMaxDisplayFreq = 8000.0;

// The frame-length exponent after a click: Next lowers it (not below 0), Previous raises it (not
// above 3).
int32_t StepFftSizeExp(int32_t fftSizeExp, UpDownButton button);

// Step of the waveform view's dotted grid for a frame length: 5 ms when the frame lasts more
// than 30 ms, 2 ms when more than 20 ms, otherwise 1 ms.
int32_t WaveMinorGridFor(int32_t fftSize, uint32_t rate);

}  // namespace tonamira

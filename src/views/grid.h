#pragma once
// Blanking of a paint box and the labelled vertical grid shared by the waveform view (in
// milliseconds) and the spectrum view (in hertz).

#include <cstdint>

#include "views/canvas.h"

namespace tonamira {

// Sets the brush to black and fills the whole box with it. The brush stays black, which
// later text backgrounds and rectangle fills rely on.
void ClearBox(Canvas& box);

// Vertical grid over a horizontal axis running from 0 at the left edge to `span` at the
// right edge (steps and span in the same unit): dotted green lines every minorStep, solid
// green lines every majorStep, each solid line labelled in red with its value, centred on
// the line assuming 5 pixels per character. The line counts are rounded quotients, so a line
// that would fall just inside the right edge may be missing. Leaves the pen solid green and
// the font red. Non-positive steps or a span that is not a positive finite number draw
// nothing (they would divide by zero).
void DrawGridLines(Canvas& box, int32_t minorStep, int32_t majorStep, double span);

// The waveform view's time grid: span = fftSize * 1000 / rate milliseconds.
void DrawWaveGrid(Canvas& box, uint32_t rate, int32_t fftSize, int32_t minorStep,
                  int32_t majorStep);

// The spectrum view's frequency grid: span = maxDisplayFreq hertz.
void DrawSpectrumGrid(Canvas& box, int32_t minorStep, int32_t majorStep, double maxDisplayFreq);

}  // namespace tonamira

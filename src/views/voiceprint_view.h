#pragma once
// Drawing of the voiceprint: one column of 2 x 2 red dots per detection, one dot per kept
// peak, advancing one pixel per column and wiping the view when it is full; and the
// frequency scale beside it.

#include <cstdint>
#include <span>

#include "views/canvas.h"

namespace tonamira {

struct VoiceprintState {
  int32_t column = 0;   // x of the last column drawn; 0 after a reset
  int32_t width = 206;  // width of the voiceprint box, taken once at start-up
};

// Colour of a dot of relative height amp (0 .. 1): Round(amp * 255) taken as an unsigned
// 16-bit value whose low byte is red and high byte green, so RGB(c, 0, 0) within range.
Rgb VoiceprintDotColor(double amp);

// Row of a bin: Round((1 - 2 * bin / binsDenominator) * height).
int32_t VoiceprintDotY(int32_t bin, int32_t binsDenominator, int32_t height);

// Advances the column by one and, for each of the first `count` peaks, draws a 2 x 2 block
// in the peak's colour at (column, y). The first peak of a column beyond the width wipes the
// box and restarts at column 0. A count of 0 or less only advances the column. Only peaks
// present in both spans are drawn; with a zero denominator the dots have no place and are
// skipped.
void DrawVoiceprintColumn(Canvas& print, VoiceprintState& state, int32_t count,
                          std::span<const double> amps, std::span<const int32_t> bins,
                          int32_t binsDenominator);

// Horizontal scale over a vertical axis from `bottom` hertz at the lower edge to `top` at the
// upper edge: dotted green lines every minorStep, labelled in red only when there are fewer
// than ten steps; solid green lines every majorStep, always labelled. Labels at (1, y - 5).
// Non-positive steps or an empty range draw nothing.
void DrawFreqScale(Canvas& scale, int32_t minorStep, int32_t majorStep, double top,
                   double bottom);

// Wipes the voiceprint and its scale, restarts at column 0 and redraws the scale from 0 Hz
// to maxDisplayFreq.
void ResetVoiceprint(Canvas& print, Canvas& scale, VoiceprintState& state, int32_t minorStep,
                     int32_t majorStep, double maxDisplayFreq);

}  // namespace tonamira

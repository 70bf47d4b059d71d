#pragma once
// Drawing of the waveform view: one polyline per channel of a frame of 8- or 16-bit PCM,
// the click read-out of the time under the cursor and the warning written over a frame that
// is too loud to analyse (the rule itself is analysis/loudness.h).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "views/canvas.h"

namespace tonamira {

// Amplitude zoom from the zoom scroll bar: max - position + 1.
constexpr int32_t WaveZoom(int32_t scrollMax, int32_t scrollPosition) {
  return scrollMax - scrollPosition + 1;
}

// Draws one channel with the current pen. `samples` starts at the channel's first sample;
// consecutive samples of the channel lie `step` samples apart (the channel count). Point i
// goes to (Round(i * Width / count), Round(baseline - v * zoom * scale)). Points whose bytes
// lie beyond `samples` are not drawn (the trace ends there). DrawTrace8 reads unsigned bytes
// around 128; DrawTrace16 signed little-endian values and ends the trace just before a loud
// point (FirstLoudPoint): it returns false when it stopped there, true otherwise.
void DrawTrace8(Canvas& box, int32_t count, std::span<const uint8_t> samples, int32_t step,
                double baseline, double scale, int32_t zoom);
bool DrawTrace16(Canvas& box, int32_t count, std::span<const uint8_t> samples, int32_t step,
                 double baseline, double scale, int32_t zoom);

// Draws `count` sample frames of `data` starting `offset` bytes in: mono in red about the
// middle, stereo with the first channel in red about Height/3 and the second in blue about
// 2*Height/3. Empty data (no sound), an offset beyond the data, or a format other than 1 or
// 2 channels of 8 or 16 bits draws nothing. Returns false when a 16-bit trace ended at a
// loud point (see DrawTrace16), true when every trace was drawn whole.
bool DrawWaveform(Canvas& box, int32_t count, std::span<const uint8_t> data, int32_t bits,
                  int32_t channels, size_t offset, int32_t zoom);

// Milliseconds from the frame's start to column x: x * (fftSize / rate * 1000) / width.
double TimeAtColumn(int32_t x, int32_t fftSize, uint32_t rate, int32_t width);

// A time rounded to 5 significant digits and shown with exactly 3 decimals ("25.563").
std::string TimeReadoutText(double ms);

// Writes the time under column x in red at (x + 1, 0). Nothing for a zero rate or width.
void DrawTimeReadout(Canvas& box, int32_t x, int32_t fftSize, uint32_t rate);

// The warning over a frame that is too loud to analyse, in red with its top-left corner at
// the box's centre (Width div 2, Height div 2); the window passes it in the user's language.
inline constexpr const char* kLoudWarning = "音を小さくしてください。";
void DrawLoudWarning(Canvas& box, std::string_view text = kLoudWarning);

}  // namespace tonamira

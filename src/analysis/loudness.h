#pragma once
// Whether a 16-bit frame is too loud to analyse. A sample above 32000 near the start of a
// channel means the input is at or near clipping, where the spectrum is full of distortion
// products and the detected pitch cannot be trusted; the window then asks the singer to sing
// more softly instead of showing a pitch.

#include <cstdint>
#include <span>

#include "analysis/frame.h"

namespace tonamira {

// Samples above this count as loud.
inline constexpr int32_t kLoudSample = 32000;
// Only points 1 .. 19 of a channel (its second to twentieth sample) are looked at: the first
// sample is not, and neither is anything from point 20 on. Negative samples never count.
inline constexpr int32_t kLoudCheckPoints = 20;

// The first loud point (1 .. 19, below count) of a 16-bit channel whose first sample starts
// `samples` and whose samples lie `step` samples apart, or 0 when there is none. Points whose
// two bytes lie beyond `samples` are not looked at.
int32_t FirstLoudPoint(std::span<const uint8_t> samples, int32_t step, int32_t count);

// True when a readable 16-bit frame of one or two channels has a loud point in either
// channel. Other widths and channel counts are never too loud.
bool FrameTooLoud(const PcmFrame& frame);

}  // namespace tonamira

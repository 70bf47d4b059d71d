#pragma once
// The vibrato of a sung note from its pitch curve: the rate and the extent of the curve's
// periodic oscillation around its mean.

#include <span>

namespace tonamira {

struct Vibrato {
  bool present = false;
  double rateHz = 0.0;       // cycles per second, 3 .. 9 when present
  double extentCents = 0.0;  // +- cents: the RMS of the oscillation times sqrt(2)
  double periodicity = 0.0;  // the normalised autocorrelation at the period, -1 .. 1
};

// The vibrato of a pitch curve in cents (any offset) sampled every stepSeconds, at least
// 0.77 s long (twice the longest period searched; a shorter curve has none). The curve less its least-squares line (the mean and any slow
// drift) is the oscillation. The rate is that of the first peak of its normalised
// autocorrelation among the periods of 3 to 9 Hz, a singer's vibrato, refined between lags;
// the vibrato is present when that peak reaches 0.5 (the curve repeats itself more than it
// wanders), the curve does not also repeat at half that period (an oscillation faster than
// 9 Hz, whose second peak falls in the range), and the extent is at least +-10 cents. The
// rate, the extent and the periodicity are filled in even when no vibrato is present, as
// far as they were measured.
//
// The extent is the RMS of the oscillation times sqrt(2): the amplitude of a sinusoidal
// vibrato exactly (the usual shape of a sung one), about 0.82 of the half peak-to-peak of a
// triangular one, and far less disturbed by the tracker's frame-to-frame scatter or a
// single stray point than the peaks themselves.
Vibrato EstimateVibrato(std::span<const double> cents, double stepSeconds);

}  // namespace tonamira

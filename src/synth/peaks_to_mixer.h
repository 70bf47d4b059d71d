#pragma once
// From a detection's labelled peaks to the mixer: the levels and fundamental the bars follow
// while a played or recorded sound is analysed, and the phases the mixer resynthesises with.

#include <cstdint>
#include <optional>

#include "analysis/detection.h"
#include "synth/mixer.h"

namespace tonamira {

// Detected pitches above this leave the mixer's fundamental where it is.
inline constexpr int32_t kMixerFollowLimit = 2000;

// Drops every trailing peak of harmonic 20 or above from the list (the count shrinks, so
// whatever reads the same detection afterwards sees harmonics 1 .. 19 only). Harmonic
// numbers rise along the list, so the trimming stops at the first peak at the latest; it
// never goes below an empty list.
void TrimHarmonicPeaks(PeakList& peaks);

// After a successful detection with harmonic labelling, while the mixer follows the
// analysis: trims the peaks, sets all twenty levels to 0 (harmonics not found end at 0)
// and then level[harmonic of peak j] := Round(amplitude of peak j x 100) for every kept
// peak (the strongest, of amplitude 1.0, gets 100). Peaks with a harmonic number outside
// 1 .. 20 are skipped and levels are kept within 0 .. 100.
// Returns the fundamental the mixer is to take (detectedFreq when it is at most 2000 Hz),
// or nothing. The caller then moves the bars to the levels (SettleHarmonicBars states what
// that does, measured against the fundamental before this detection) and only then sets
// the fundamental.
std::optional<int32_t> LevelsFromPeaks(PeakList& peaks, int32_t detectedFreq,
                                       HarmonicLevels& levels);

// The phases of the harmonics, from the complex transform values of the peaks (the
// transform's positive exponent makes a frame holding A sin(2 pi k n / N + phi) give a
// value at bin k whose real part goes with sin phi and whose imaginary part with cos phi):
// for each list position j = 1 .. min(count, 20) in order, the peak's value is kept for
// its harmonic (numbers outside 1 .. 20 are not kept), then
//   phase[j] := atan2(re, im) of the value kept for harmonic j, minus the fundamental's
//               phase (just -ref when that value is zero),
// the fundamental's own phase being phase[1]. The kept values (`complexes`, zero at
// start-up) persist between calls. Entries above the peak count keep their phases.
void ComputeHarmonicPhases(const PeakList& peaks, HarmonicComplexes& complexes,
                           HarmonicPhases& phases);

}  // namespace tonamira

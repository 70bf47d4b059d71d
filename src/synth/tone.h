#pragma once
// The mixer's tone: a sum of up to twenty harmonics of a fundamental, each with its level and
// phase, scaled by a volume, with a fade-out at the end, as 16-bit little-endian samples.
//
// The tone is defined sample by sample. With N samples, fade length F and volume v, the
// harmonic sum is
//   s(n) = sum over k = 1 .. K with level[k] != 0, in rising k, of
//          sin(2pi * freq * k * n / rate + phase[k]) * level[k]
// and
//   body, n = 0 .. N - F:  w = v * s(n); when |w| > 28672 (seven eighths of full scale) the
//                          volume is cut by a fifth and the whole tone starts again at n = 0;
//                          otherwise sample n = Round(w);
//   fade, n = N - F + 1 .. N - 1:  sample n = Round(v * g^2 * s(n)) with g = (N - n) / F,
//                          no limit test, clamped to the 16-bit range.
// The volume a tone ends with is the one the user sees afterwards.

#include <cstdint>
#include <span>

#include "synth/mixer.h"

namespace tonamira {

// A body sample louder than this makes the volume drop by a fifth.
inline constexpr double kBodyLimit = 28672.0;

struct ToneRecipe {
  int32_t freq = 100;          // fundamental, whole hertz
  int32_t volume = 10;         // 0 .. 300
  uint32_t harmonicLimit = 0;  // K: harmonics 1 .. K are summed (at most 20)
  int32_t fadeLength = 2205;   // F: samples of the fade-out
  uint32_t rate = kToneRate;   // samples per second
  HarmonicLevels levels{};     // 1-based, 0 .. 100
  HarmonicPhases phases{};     // 1-based, radians
};

struct ToneOutcome {
  int32_t volume = 0;      // the volume the tone was made with
  int32_t reductions = 0;  // times the volume was cut by a fifth on the way
  // Samples whose harmonic sum was evaluated term by term as defined (the loudest ones and
  // those close to a rounding boundary; all of them when no fast evaluation applies). For
  // checks and measurements.
  int64_t exactSums = 0;
  bool VolumeReduced() const { return reductions > 0; }
};

// The recipe with every value in the range of its control: levels 0 .. 100, volume 0 .. 300,
// at most 20 harmonics, fade length at least 0. Within these ranges |s(n)| <= 2000, so a
// volume of 14 or less is never cut and the cutting always ends.
ToneRecipe NormalisedTone(const ToneRecipe& recipe);

// Where the body ends: the last body sample index of an N-sample tone with fade length F,
// N - F, but never past the last sample (F = 0 leaves no sample to fade). -1 when the fade
// covers the whole tone.
int64_t ToneBodyEnd(int64_t sampleCount, int32_t fadeLength);

// s(n) of a normalised recipe, summed exactly as defined above.
double HarmonicSum(const ToneRecipe& recipe, int64_t n);

// The factor v * g^2 of fade sample n (g = (N - n) / F), the way the definition multiplies it.
double FadeGain(int32_t volume, int64_t n, int64_t sampleCount, int32_t fadeLength);

// Round(w) held in 16 bits: values beyond the range are clamped, NaN gives 0.
int16_t ToneSample(double w);

// Writes the tone into out: out.size() / 2 little-endian 16-bit samples (a trailing odd byte
// is left as it is), so the tone is never longer than the buffer. The samples are those of
// the definition bit for bit; the volume cuts are found from the loudest body sample instead
// of by synthesising again. Returns the volume the tone ended with.
ToneOutcome SynthesizeTone(const ToneRecipe& recipe, std::span<uint8_t> out);

}  // namespace tonamira

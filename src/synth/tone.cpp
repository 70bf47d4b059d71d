#include "synth/tone.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// How the one-pass synthesis gets the definition's samples without re-synthesising:
//
// 1. The harmonic sum of every sample is approximated once, fast: s(n) is the imaginary part
//    of P(w) = sum z_k w^k with z_k = level[k] e^(i phase[k]) and w = e^(i theta_n), which
//    Horner's rule evaluates with a few multiplications per harmonic instead of a sine each.
//    Alongside comes a proven bound E on how far any approximation may lie from the exact
//    s(n) of the definition (argument rounding of the definition, the sine's own error, the
//    summation, and the error of the fast evaluation), with a safety factor.
// 2. A sample whose approximation is within E of the loudest one is summed exactly, so the
//    loudest body value M is exact. The restarts of the definition cut the volume while any
//    body sample has |v s(n)| > 28672; since v >= 0 and rounding is monotonic, that holds
//    exactly when v M > 28672, so the final volume follows from M alone.
// 3. Each sample is rounded from its approximation unless the approximation lies so close
//    to a rounding boundary (a half) that the exact value could round the other way; such a
//    sample is summed exactly. Every sample thus equals the definition's bit for bit.

constexpr double kUnitRoundoff = 0x1p-53;
// Factor over the error analysis: the bound is only used to decide when to sum exactly, so
// being generous costs a few exact samples and nothing else.
constexpr double kBoundSafety = 8.0;
// With an error, in sample units, this large the fast path would sum a good share of the
// samples exactly anyway (huge phases or fundamentals, a zero rate): sum them all exactly.
constexpr double kExactModeError = 0.01;
// Samples per block of the fast evaluation: long enough for the vector units, short enough
// for the block's arrays to stay in the first-level cache.
constexpr int kBlock = 256;

// The highest harmonic the definition sums with a non-zero level; 0 when there is none.
uint32_t HighestSounding(const ToneRecipe& t) {
  uint32_t highest = 0;
  for (uint32_t k = 1; k <= t.harmonicLimit; ++k)
    if (t.levels[k] != 0) highest = k;
  return highest;
}

// Bound on |approximation - HarmonicSum(t, n)| for every n below sampleCount.
double ApproximationBound(const ToneRecipe& t, uint32_t highest, int64_t sampleCount) {
  const double u = kUnitRoundoff;
  // The largest base angle 2pi f n / rate reached, a little generously.
  const double thetaMax = std::fabs(kTwoPi * t.freq) * static_cast<double>(sampleCount) /
                          static_cast<double>(t.rate) * (1.0 + 0x1p-40);
  double sumL = 0.0, sumKL = 0.0, argTerm = 0.0;
  for (uint32_t k = 1; k <= highest; ++k) {
    const double level = t.levels[k];
    if (level == 0.0) continue;
    sumL += level;
    sumKL += k * level;
    argTerm += level * (k * thetaMax + std::fabs(t.phases[k]));
  }
  const double terms = static_cast<double>(t.harmonicLimit);
  // The definition: its argument (four products and an addition) is within 6u of the exact
  // angle's size; the sine adds at most an ulp, the product with the level and each step of
  // the summation half an ulp of at most sumL.
  const double definition = 6.0 * u * argTerm + (terms + 3.0) * u * sumL;
  // The approximation: the base angle's sine and cosine (angle products, library functions
  // and the block rotation) within 8u (thetaMax + 2), which harmonic k multiplies by k; each
  // Horner step within 8u of sumL; the coefficients within 2u of each level.
  const double fast = 8.0 * u * (thetaMax + 2.0) * sumKL + (8.0 * terms + 10.0) * u * sumL;
  return kBoundSafety * (definition + fast);
}

// Approximates s(n) for n = 0 .. s.size() - 1 as described above.
void ApproximateSums(const ToneRecipe& t, uint32_t highest, std::span<double> s) {
  const double c = kTwoPi * t.freq;
  const double rate = t.rate;
  std::array<double, kHarmonics + 1> zr{}, zi{};
  for (uint32_t k = 1; k <= highest; ++k) {
    zr[k] = t.levels[k] * std::cos(t.phases[k]);
    zi[k] = t.levels[k] * std::sin(t.phases[k]);
  }
  // e^(i theta_j) for the offsets inside a block; each block turns it by its first angle.
  std::array<double, kBlock> stepCos, stepSin;
  for (int j = 0; j < kBlock; ++j) {
    const double a = c * j / rate;
    stepCos[j] = std::cos(a);
    stepSin[j] = std::sin(a);
  }
  std::array<double, kBlock> wr, wi, ar, ai;
  const auto count = static_cast<int64_t>(s.size());
  for (int64_t n0 = 0; n0 < count; n0 += kBlock) {
    const double a0 = c * static_cast<double>(n0) / rate;
    const double c0 = std::cos(a0);
    const double s0 = std::sin(a0);
    for (int j = 0; j < kBlock; ++j) {
      wr[j] = c0 * stepCos[j] - s0 * stepSin[j];
      wi[j] = c0 * stepSin[j] + s0 * stepCos[j];
      ar[j] = zr[highest];
      ai[j] = zi[highest];
    }
    for (uint32_t k = highest - 1; k >= 1; --k) {
      const double re0 = zr[k], im0 = zi[k];
      for (int j = 0; j < kBlock; ++j) {
        const double re = ar[j] * wr[j] - ai[j] * wi[j] + re0;
        const double im = ar[j] * wi[j] + ai[j] * wr[j] + im0;
        ar[j] = re;
        ai[j] = im;
      }
    }
    const auto m = static_cast<int>(std::min<int64_t>(kBlock, count - n0));
    double* block = s.data() + n0;
    for (int j = 0; j < m; ++j) block[j] = ar[j] * wi[j] + ai[j] * wr[j];
  }
}

void PutSample(std::span<uint8_t> out, int64_t n, int16_t sample) {
  const auto bits = static_cast<uint16_t>(sample);
  const auto at = static_cast<size_t>(2 * n);
  out[at] = static_cast<uint8_t>(bits & 0xffu);
  out[at + 1] = static_cast<uint8_t>(bits >> 8);
}

// True when w, within delta of the exact value, might round to another integer than the
// exact value does: it lies within delta of a half.
bool NearHalf(double w, double delta) {
  return std::fabs(w - RoundEven(w)) >= 0.5 - delta;
}

// The margin that covers the difference between gain x approximation and gain x s(n).
double Margin(double gain, double bound) { return gain * bound * (1.0 + 1e-6) + 1e-9; }

}  // namespace

ToneRecipe NormalisedTone(const ToneRecipe& recipe) {
  ToneRecipe t = recipe;
  t.volume = std::clamp(t.volume, 0, kVolumeMax);
  t.harmonicLimit = std::min<uint32_t>(t.harmonicLimit, kHarmonics);
  t.fadeLength = std::max(t.fadeLength, 0);
  for (int k = 1; k <= kHarmonics; ++k) t.levels[k] = std::clamp(t.levels[k], 0, kLevelMax);
  return t;
}

int64_t ToneBodyEnd(int64_t sampleCount, int32_t fadeLength) {
  return std::min(sampleCount - fadeLength, sampleCount - 1);
}

double HarmonicSum(const ToneRecipe& recipe, int64_t n) {
  double s = 0.0;
  for (uint32_t k = 1; k <= recipe.harmonicLimit; ++k) {
    if (recipe.levels[k] == 0) continue;
    const double angle = kTwoPi * static_cast<double>(recipe.freq) * static_cast<double>(k) *
                             static_cast<double>(n) / static_cast<double>(recipe.rate) +
                         recipe.phases[k];
    s += std::sin(angle) * static_cast<double>(recipe.levels[k]);
  }
  return s;
}

double FadeGain(int32_t volume, int64_t n, int64_t sampleCount, int32_t fadeLength) {
  const double g = static_cast<double>(sampleCount - n) / static_cast<double>(fadeLength);
  return static_cast<double>(volume) * (g * g);
}

int16_t ToneSample(double w) {
  const int32_t r = RoundInt(w);
  return static_cast<int16_t>(std::clamp<int32_t>(r, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

ToneOutcome SynthesizeTone(const ToneRecipe& recipe, std::span<uint8_t> out) {
  const ToneRecipe t = NormalisedTone(recipe);
  const auto count = static_cast<int64_t>(out.size() / 2);
  ToneOutcome outcome{t.volume, 0, 0};
  if (count == 0) return outcome;

  // 1. Every harmonic sum once: approximated with a bound, or exactly when no useful bound
  //    exists.
  auto sums = std::make_unique_for_overwrite<double[]>(static_cast<size_t>(count));
  const std::span<double> s(sums.get(), static_cast<size_t>(count));
  const uint32_t highest = HighestSounding(t);
  double bound = 0.0;
  if (highest == 0) {
    std::fill(s.begin(), s.end(), 0.0);  // no term: the sum is 0.0
  } else {
    bound = ApproximationBound(t, highest, count);
    if (std::isfinite(bound) && Margin(t.volume, bound) < kExactModeError) {
      ApproximateSums(t, highest, s);
    } else {
      for (int64_t n = 0; n < count; ++n) s[static_cast<size_t>(n)] = HarmonicSum(t, n);
      outcome.exactSums = count;
      bound = 0.0;
    }
  }
  const auto exact = [&](int64_t n) {
    ++outcome.exactSums;
    return HarmonicSum(t, n);
  };
  const auto at = [&](int64_t n) -> double& { return s[static_cast<size_t>(n)]; };

  // 2. The loudest body value, exactly, and the volume the restarts would end with. A NaN
  //    sum (never with a normalised recipe and finite phases) fails every comparison, as it
  //    fails the definition's limit test.
  const int64_t bodyEnd = ToneBodyEnd(count, t.fadeLength);
  double loudest = 0.0;
  for (int64_t n = 0; n <= bodyEnd; ++n)
    if (std::fabs(at(n)) > loudest) loudest = std::fabs(at(n));
  if (bound > 0.0) {
    const double floor = loudest - 2.0 * bound;
    loudest = 0.0;
    for (int64_t n = 0; n <= bodyEnd; ++n) {
      if (!(std::fabs(at(n)) >= floor)) continue;
      at(n) = exact(n);
      if (std::fabs(at(n)) > loudest) loudest = std::fabs(at(n));
    }
  }
  int32_t v = t.volume;
  while (static_cast<double>(v) * loudest > kBodyLimit) {
    const int32_t next = ReducedVolume(v);
    if (next == v) break;  // cannot happen within the normalised ranges
    v = next;
    ++outcome.reductions;
  }
  outcome.volume = v;

  // 3. The samples.
  const double volume = v;
  const double bodyMargin = Margin(volume, bound);
  for (int64_t n = 0; n <= bodyEnd; ++n) {
    double w = volume * at(n);
    if (bound > 0.0 && NearHalf(w, bodyMargin)) w = volume * exact(n);
    PutSample(out, n, ToneSample(w));
  }
  for (int64_t n = std::max<int64_t>(bodyEnd + 1, 0); n < count; ++n) {
    const double gain = FadeGain(v, n, count, t.fadeLength);
    double w = gain * at(n);
    if (bound > 0.0 && NearHalf(w, Margin(gain, bound))) w = gain * exact(n);
    PutSample(out, n, ToneSample(w));
  }
  return outcome;
}

}  // namespace tonamira

#include "analysis/period_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/rounding.h"
#include "analysis/vector_clones.h"

namespace tonamira {
namespace {

// A dip of d' can be the period when it comes within this much of the deepest dip in the
// lag range. Subharmonic dips (two, three periods) are about as deep as the period's own, so
// the earliest dip near the deepest is the period. The margin is wide enough for the first
// frames of a note, whose changing waveform makes the dips at one, two and three periods
// differ by a tenth or more.
constexpr double kDipMargin = 0.15;
// Half-width, in lags, of the neighbourhood searched for the dip at a multiple of a period.
constexpr int kMultipleReach = 2;
// A candidate period is an octave too high (half the true period, the fundamental being
// weak) when the dips at its odd multiples are clearly shallower than those at its even
// multiples, which are the true period's: the odd ones' mean exceeds this many times the
// even ones' mean plus the floor below.
constexpr double kOddEvenRatio = 3.0;
constexpr double kOddEvenFloor = 0.01;
// Refinement at a multiple of the period is kept only when it agrees with the period found
// at the period itself to within this many samples, and within this many cents: on a fast
// glide of a high pitch (tens of periods in the frame) the dips at the far multiples smear
// and drift, while a steady tone's agree to a small fraction of a cent.
constexpr double kRefineAgreement = 0.5;
constexpr double kRefineAgreementCents = 3.0;
// How many lags the refinement's parabola may move downhill from the lag it is given: the
// dip seen from the middle of the frame lies within two lags of the transform's on a glide
// of two octaves a second.
constexpr int kExactSteps = 4;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// out[0] = 0 and out[j + 1] = term(v[0]) + ... + term(v[j]) for j < count. A single running
// sum waits on each addition in turn; four quarters summed side by side and then offset keep
// four additions in flight.
template <typename Term>
void PrefixSumsOf(const double* v, size_t count, double* out, Term term) {
  const size_t q = count / 4;
  double acc[4] = {0.0, 0.0, 0.0, 0.0};
  out[0] = 0.0;
  for (size_t i = 0; i < q; ++i)
    for (size_t b = 0; b < 4; ++b) {
      acc[b] += term(v[b * q + i]);
      out[b * q + i + 1] = acc[b];
    }
  double offset = 0.0;
  for (size_t b = 1; b < 4; ++b) {
    offset += acc[b - 1];
    for (size_t i = 0; i < q; ++i) out[b * q + i + 1] += offset;
  }
  for (size_t j = 4 * q; j < count; ++j) out[j + 1] = out[j] + term(v[j]);
}

void PrefixSums(const double* v, size_t count, double* out) {
  PrefixSumsOf(v, count, out, [](double x) { return x; });
}

void PrefixSumsOfSquares(const double* x, size_t count, double* out) {
  PrefixSumsOf(x, count, out, [](double v) { return v * v; });
}

// cmnd[tau] = diff[tau] * tau / cmnd[tau] for tau = 1 .. lags, where cmnd holds the running
// sums on entry; 1 where a running sum is 0 (nothing but silence so far). Four lags at a
// time: the divisions are the slowest part of the loop.
typedef double Lanes __attribute__((vector_size(32)));
typedef long long LaneMask __attribute__((vector_size(32)));

TONAMIRA_VECTOR_CLONES void NormalizeByRunningMean(
    const double* diff, double* cmnd, size_t lags) {
  size_t tau = 1;
  const Lanes ones = {1.0, 1.0, 1.0, 1.0};
  const Lanes zeros = {0.0, 0.0, 0.0, 0.0};
  for (; tau + 3 <= lags; tau += 4) {
    Lanes running, d;
    std::memcpy(&running, cmnd + tau, sizeof running);
    std::memcpy(&d, diff + tau, sizeof d);
    const double t = static_cast<double>(tau);
    const Lanes lag = {t, t + 1.0, t + 2.0, t + 3.0};
    const LaneMask positive = running > zeros;
    const Lanes safe = positive ? running : ones;
    const Lanes ratio = d * lag / safe;
    const Lanes result = positive ? ratio : ones;
    std::memcpy(cmnd + tau, &result, sizeof result);
  }
  for (; tau <= lags; ++tau) {
    const double running = cmnd[tau];
    cmnd[tau] = running > 0.0 ? diff[tau] * static_cast<double>(tau) / running : 1.0;
  }
}

// Offset of the vertex of the parabola through (-1, y0), (0, y1), (1, y2), within [-1, 1];
// 0 when the three points do not open upwards.
double ParabolaVertex(double y0, double y1, double y2) {
  const double curvature = y0 - 2.0 * y1 + y2;
  if (!(curvature > 0.0)) return 0.0;
  return std::clamp(0.5 * (y0 - y2) / curvature, -1.0, 1.0);
}

}  // namespace

PeriodSearch::PeriodSearch(int frameLength, int minLag, int maxLag)
    : fft_(PowerOfTwo(frameLength) ? frameLength : 0) {
  if (frameLength < 64 || !fft_.valid() || minLag < 2 || minLag + 2 > maxLag ||
      maxLag >= frameLength)
    return;
  n_ = frameLength;
  minLag_ = minLag;
  maxLag_ = maxLag;
  window_ = n_ - maxLag_;
  energy_.resize(static_cast<size_t>(n_) + 1);
  frame_.assign(static_cast<size_t>(n_), 0.0f);
  padded_.assign(static_cast<size_t>(n_), 0.0f);
  const auto bins = static_cast<size_t>(n_ / 2 + 1);
  specARe_.resize(bins);
  specAIm_.resize(bins);
  specBRe_.resize(bins);
  specBIm_.resize(bins);
  corr_.resize(static_cast<size_t>(n_));
  diff_.resize(static_cast<size_t>(maxLag_) + 1);
  cmnd_.resize(static_cast<size_t>(maxLag_) + 1);
  valid_ = true;
}

void PeriodSearch::Analyze(const double* x) {
  x_ = x;
  DifferenceFunction(x);
}

double PeriodSearch::DipMargin() { return kDipMargin; }

double PeriodSearch::MeanSquare() const {
  return energy_[static_cast<size_t>(n_)] / n_;
}

void PeriodSearch::DifferenceFunction(const double* x) {
  const auto n = static_cast<size_t>(n_);
  const auto w = static_cast<size_t>(window_);
  const auto lags = static_cast<size_t>(maxLag_);
  PrefixSumsOfSquares(x, n, energy_.data());

  // c(tau) = sum over j < W of x[j] x[j + tau]: the correlation of the first W samples with
  // the whole frame. With W + maxLag = n the circular correlation does not wrap for the
  // lags used.
  // In single precision: the correlation comes out to about seven digits of the energy,
  // ample for choosing a period; the period itself is refined from the samples.
  for (size_t j = 0; j < n; ++j) frame_[j] = static_cast<float>(x[j]);
  std::copy(frame_.begin(), frame_.begin() + static_cast<std::ptrdiff_t>(w), padded_.begin());
  fft_.Forward(padded_.data(), specARe_.data(), specAIm_.data());
  fft_.Forward(frame_.data(), specBRe_.data(), specBIm_.data());
  for (size_t k = 0; k < specARe_.size(); ++k) {
    const float ar = specARe_[k], ai = specAIm_[k];
    const float br = specBRe_[k], bi = specBIm_[k];
    specARe_[k] = ar * br + ai * bi;  // conj(A) B
    specAIm_[k] = ar * bi - ai * br;
  }
  fft_.Inverse(specARe_.data(), specAIm_.data(), corr_.data());

  // d(tau) = sum over j < W of (x[j] - x[j + tau])^2, expanded into the two windows'
  // energies and the correlation (rounding can take a perfect repetition a hair below 0).
  const double head = energy_[w];
  diff_[0] = 0.0;
  for (size_t tau = 1; tau <= lags; ++tau)
    diff_[tau] = std::max(0.0, head + (energy_[tau + w] - energy_[tau]) - 2.0 * static_cast<double>(corr_[tau]));
  // d'(tau) = d(tau) / (mean of d(1) .. d(tau)); the running sums go into cmnd_ first.
  PrefixSums(diff_.data() + 1, lags, cmnd_.data());
  cmnd_[0] = 1.0;
  NormalizeByRunningMean(diff_.data(), cmnd_.data(), lags);
}

double PeriodSearch::DipNear(int lag) const {
  double best = cmnd_[static_cast<size_t>(std::min(lag, maxLag_))];
  for (int t = std::max(1, lag - kMultipleReach); t <= std::min(maxLag_, lag + kMultipleReach); ++t)
    best = std::min(best, cmnd_[static_cast<size_t>(t)]);
  return best;
}

int PeriodSearch::DeepestDip(int from, int to) const {
  from = std::max(from, minLag_ + 1);
  to = std::min(to, maxLag_ - 1);
  int best = -1;
  for (int t = from; t <= to; ++t) {
    const double here = cmnd_[static_cast<size_t>(t)];
    if (here <= cmnd_[static_cast<size_t>(t - 1)] && here <= cmnd_[static_cast<size_t>(t + 1)] &&
        (best < 0 || here < cmnd_[static_cast<size_t>(best)]))
      best = t;
  }
  return best;
}

int PeriodSearch::DeepestDips(int* lags, int count) const {
  int found = 0;
  for (int t = minLag_ + 1; t < maxLag_; ++t) {
    const double here = cmnd_[static_cast<size_t>(t)];
    if (here > cmnd_[static_cast<size_t>(t - 1)] || here > cmnd_[static_cast<size_t>(t + 1)])
      continue;
    // Insertion into the list kept sorted by depth; a dip shallower than all of a full list
    // is dropped.
    int at = found;
    while (at > 0 && here < cmnd_[static_cast<size_t>(lags[at - 1])]) --at;
    if (at >= count) continue;
    for (int k = std::min(found, count - 1); k > at; --k) lags[k] = lags[k - 1];
    lags[at] = t;
    found = std::min(found + 1, count);
  }
  return found;
}

int PeriodSearch::BottomNear(int lag) const {
  int best = std::min(lag, maxLag_);
  for (int t = std::max(1, lag - kMultipleReach); t <= std::min(maxLag_, lag + kMultipleReach); ++t)
    if (cmnd_[static_cast<size_t>(t)] < cmnd_[static_cast<size_t>(best)]) best = t;
  return best;
}

int PeriodSearch::ChoosePeriod(int from) const {
  from = std::clamp(from, minLag_, maxLag_);
  auto at = [&](int t) { return cmnd_[static_cast<size_t>(t)]; };
  double deepest = at(from);
  for (int tau = from; tau <= maxLag_; ++tau) deepest = std::min(deepest, at(tau));
  const double accept = deepest + kDipMargin;

  // The first dip near the deepest whose double (when it is in range) is a dip too: the
  // repetition of a period repeats, a formant's ringing does not.
  int chosen = -1;
  for (int tau = from; tau <= maxLag_; ++tau) {
    if (at(tau) > accept) continue;
    while (tau < maxLag_ && at(tau + 1) <= at(tau)) ++tau;
    if (2 * tau > maxLag_ || DipNear(2 * tau) <= accept) {
      chosen = tau;
      break;
    }
  }
  if (chosen < 0) {
    chosen = from;
    for (int tau = from; tau <= maxLag_; ++tau)
      if (at(tau) < at(chosen)) chosen = tau;
  }

  // Octave corrections, when at least two odd and two even multiples fit the lag range: while the odd multiples of the candidate are clearly shallower than
  // its even ones, the true period is twice as long.
  while (4 * chosen <= maxLag_) {
    // The multiples of the period between lags, so the far ones do not drift off their dips.
    const double period =
        chosen > 1 && chosen < maxLag_
            ? chosen + ParabolaVertex(at(chosen - 1), at(chosen), at(chosen + 1))
            : chosen;
    double odd = 0.0, even = 0.0;
    int oddCount = 0, evenCount = 0;
    for (int k = 1; RoundInt(k * period) <= maxLag_; ++k) {
      const double depth = k == 1 ? at(chosen) : DipNear(RoundInt(k * period));
      if (k % 2) {
        odd += depth;
        ++oddCount;
      } else {
        even += depth;
        ++evenCount;
      }
    }
    odd /= oddCount;
    even /= evenCount;
    if (odd <= kOddEvenRatio * even + kOddEvenFloor) break;
    const int doubled = BottomNear(RoundInt(2 * period));
    if (doubled <= chosen) break;
    chosen = doubled;
  }
  return chosen;
}

void PeriodSearch::ExactDifferences(int lag, double out[3]) const {
  // The window of W samples and its copy lag + 1 later lie in the middle of the frame, so
  // that the period refined is the frame's own at its centre: with the window at the start
  // of the frame, the period of a glide was the one some 5 ms before the centre (12 cents
  // off on a glide of two octaves a second), the time the frame's pitch is reported for.
  const double* x = x_ + std::max(0, (maxLag_ - 1 - lag) / 2);
  // Four running sums per lag: one sum would wait on every addition in turn.
  const auto w = static_cast<size_t>(window_);
  const auto t = static_cast<size_t>(lag);
  double sums[3][4] = {};
  size_t j = 0;
  for (; j + 4 <= w; j += 4)
    for (size_t i = 0; i < 4; ++i)
      for (size_t d = 0; d < 3; ++d) {
        const double e = x[j + i] - x[j + i + t - 1 + d];
        sums[d][i] += e * e;
      }
  for (size_t d = 0; d < 3; ++d) {
    double total = (sums[d][0] + sums[d][1]) + (sums[d][2] + sums[d][3]);
    for (size_t k = j; k < w; ++k) {
      const double e = x[k] - x[k + t - 1 + d];
      total += e * e;
    }
    out[d] = total;
  }
}

double PeriodSearch::RefinePeriod(int lag) const {
  auto at = [&](int t) { return diff_[static_cast<size_t>(t)]; };
  auto vertexAt = [&](int t) {
    if (t <= 1 || t >= maxLag_) return static_cast<double>(t);
    return t + ParabolaVertex(at(t - 1), at(t), at(t + 1));
  };
  // From the middle of the frame the dip may lie a lag or two from where the transform's
  // differences put it (on a glide): the parabola is drawn at the bottom, found downhill.
  auto exactVertexAt = [&](int t) {
    if (t <= 1 || t >= maxLag_) return static_cast<double>(t);
    double d[3];
    ExactDifferences(t, d);
    for (int step = 0; step < kExactSteps; ++step) {
      const int next = d[0] < d[1] ? t - 1 : d[2] < d[1] ? t + 1 : t;
      if (next == t || next <= 1 || next >= maxLag_) break;
      t = next;
      ExactDifferences(t, d);
    }
    return t + ParabolaVertex(d[0], d[1], d[2]);
  };
  // The period at the period itself, from the middle of the frame (ExactDifferences): the
  // transform's differences compare the start of the frame with what follows it, and on a
  // glide their dip lies where the period was then.
  const double base = exactVertexAt(lag);
  // The dip at k periods lies k times further out; the same error of the parabola there is
  // k times smaller in the period. The multiple is found on the transform's differences
  // (which for lags near maxLag span the whole frame): from k times the period downhill to
  // the bottom of its dip, which on a glide lies some lags away from it, but within half a
  // period. Its parabola is drawn through differences summed from the samples.
  const int reach = std::max(1, lag / 2);
  const double agreement =
      std::min(kRefineAgreement, base * (std::exp2(kRefineAgreementCents / 1200.0) - 1.0));
  // A multiple whose refined period disagrees is one whose dip has drifted (a glide); the
  // refinement then tries half as many periods, where the drift is half as large, so that
  // at most a few multiples are summed from the samples.
  for (int k = maxLag_ / std::max(lag, 1); k >= 2;) {
    int t = RoundInt(k * base);
    if (t - 1 < 1 || t + 1 > maxLag_) {
      --k;
      continue;
    }
    for (int step = 0; step < reach; ++step) {
      if (t - 2 >= 1 && at(t - 1) < at(t)) --t;
      else if (t + 2 <= maxLag_ && at(t + 1) < at(t)) ++t;
      else break;
    }
    if (std::abs(vertexAt(t) / k - base) > kRefineAgreement) {
      --k;
      continue;
    }
    const double refined = exactVertexAt(t) / k;
    if (std::abs(refined - base) <= agreement) return refined;
    k /= 2;
  }
  return base;
}

double PeriodSearch::Confidence(int lag) const {
  const int t = std::clamp(lag, 1, maxLag_);
  const auto w = static_cast<size_t>(window_);
  const auto tt = static_cast<size_t>(t);
  const double energies = energy_[w] + (energy_[tt + w] - energy_[tt]);
  if (!(energies > 0.0)) return 0.0;
  // MPM's clarity: the correlation at the period against the two windows' energies. Dark
  // noise (brown, rumble) keeps it high at every short lag, because it barely changes within
  // one lag; YIN's cumulative-mean normalisation sees through that (its d' stays near or
  // above 1 for noise of any colour), so the lower of the two is taken.
  const double clarity = 1.0 - diff_[tt] / energies;
  const double aperiodicity = cmnd_[tt];
  return std::clamp(std::min(clarity, 1.0 - aperiodicity), 0.0, 1.0);
}

}  // namespace tonamira

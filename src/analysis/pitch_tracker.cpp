#include "analysis/pitch_tracker.h"

#include <algorithm>
#include <cmath>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// A dip of d' is taken as the period when it comes within this much of the deepest dip in
// the lag range. Subharmonic dips (two, three periods) are about as deep as the period's
// own, so the earliest dip near the deepest is the period; a margin that is too wide takes
// the dip of a strong upper harmonic instead (an octave too high).
constexpr double kDipMargin = 0.10;
// Every dip below this absolute depth is good enough to be the period (YIN's threshold).
constexpr double kAbsoluteDip = 0.10;
// Refinement at a multiple of the period is kept only when it agrees with the period found
// at the period itself to within this many samples.
constexpr double kRefineAgreement = 0.5;
// A pitch continues the previous frame's when it lies within this many semitones of it.
constexpr double kContinuationSemitones = 1.0;
// Lowest level reported, in dB: digital silence has no logarithm.
constexpr double kFloorDb = -120.0;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Offset of the vertex of the parabola through (-1, y0), (0, y1), (1, y2), within [-1, 1];
// 0 when the three points do not open upwards.
double ParabolaVertex(double y0, double y1, double y2) {
  const double curvature = y0 - 2.0 * y1 + y2;
  if (!(curvature > 0.0)) return 0.0;
  return std::clamp(0.5 * (y0 - y2) / curvature, -1.0, 1.0);
}

}  // namespace

PitchTracker::PitchTracker(int frameLength, const TrackerSettings& settings)
    : settings_(settings), fft_(PowerOfTwo(frameLength) ? frameLength : 0) {
  const bool settingsOk = settings.sampleRate > 0.0 && settings.minHz > 0.0 &&
                          settings.maxHz > settings.minHz && std::isfinite(settings.sampleRate) &&
                          std::isfinite(settings.maxHz);
  if (frameLength < 64 || !fft_.valid() || !settingsOk) return;
  n_ = frameLength;
  maxLag_ = std::min(static_cast<int>(std::ceil(settings.sampleRate / settings.minHz)), n_ / 2);
  minLag_ = std::max(2, static_cast<int>(std::floor(settings.sampleRate / settings.maxHz)));
  if (minLag_ + 2 > maxLag_) return;
  window_ = n_ - maxLag_;
  energy_.resize(static_cast<size_t>(n_) + 1);
  padded_.assign(static_cast<size_t>(n_), 0.0);
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

void PitchTracker::DifferenceFunction(const double* x) {
  const auto n = static_cast<size_t>(n_);
  const auto w = static_cast<size_t>(window_);
  energy_[0] = 0.0;
  for (size_t j = 0; j < n; ++j) energy_[j + 1] = energy_[j] + x[j] * x[j];

  // c(tau) = sum over j < W of x[j] x[j + tau]: the correlation of the first W samples with
  // the whole frame. With W + maxLag = n the circular correlation does not wrap for the
  // lags used.
  std::copy(x, x + w, padded_.begin());
  std::fill(padded_.begin() + static_cast<std::ptrdiff_t>(w), padded_.end(), 0.0);
  fft_.Forward(padded_.data(), specARe_.data(), specAIm_.data());
  fft_.Forward(x, specBRe_.data(), specBIm_.data());
  for (size_t k = 0; k < specARe_.size(); ++k) {
    const double ar = specARe_[k], ai = specAIm_[k];
    const double br = specBRe_[k], bi = specBIm_[k];
    specARe_[k] = ar * br + ai * bi;  // conj(A) B
    specAIm_[k] = ar * bi - ai * br;
  }
  fft_.Inverse(specARe_.data(), specAIm_.data(), corr_.data());

  const double head = energy_[w];
  double running = 0.0;
  diff_[0] = 0.0;
  cmnd_[0] = 1.0;
  for (size_t tau = 1; tau <= static_cast<size_t>(maxLag_); ++tau) {
    const double d = std::max(0.0, head + (energy_[tau + w] - energy_[tau]) - 2.0 * corr_[tau]);
    diff_[tau] = d;
    running += d;
    cmnd_[tau] = running > 0.0 ? d * static_cast<double>(tau) / running : 1.0;
  }
}

int PitchTracker::ChoosePeriod() const {
  double deepest = cmnd_[static_cast<size_t>(minLag_)];
  for (int tau = minLag_; tau <= maxLag_; ++tau) deepest = std::min(deepest, cmnd_[static_cast<size_t>(tau)]);
  const double accept = std::max(kAbsoluteDip, deepest + kDipMargin);
  for (int tau = minLag_; tau <= maxLag_; ++tau) {
    const double v = cmnd_[static_cast<size_t>(tau)];
    if (v > accept) continue;
    // Walk down to the bottom of this dip.
    while (tau < maxLag_ && cmnd_[static_cast<size_t>(tau) + 1] <= cmnd_[static_cast<size_t>(tau)]) ++tau;
    return tau;
  }
  return maxLag_;  // not reached: the deepest value always passes
}

double PitchTracker::RefinePeriod(int lag) const {
  auto at = [&](int t) { return diff_[static_cast<size_t>(t)]; };
  auto vertexAt = [&](int t) {
    if (t <= 1 || t >= maxLag_) return static_cast<double>(t);
    return t + ParabolaVertex(at(t - 1), at(t), at(t + 1));
  };
  const double base = vertexAt(lag);
  // The dip at k periods lies k times further out; the same error of the parabola there is
  // k times smaller in the period.
  for (int k = maxLag_ / std::max(lag, 1); k >= 2; --k) {
    int t = RoundInt(k * base);
    if (t - 1 < 1 || t + 1 > maxLag_) continue;
    if (at(t - 1) < at(t) && t - 2 >= 1) --t;
    else if (at(t + 1) < at(t) && t + 2 <= maxLag_) ++t;
    if (t - 1 < 1 || t + 1 > maxLag_) continue;
    const double period = vertexAt(t) / k;
    if (std::abs(period - base) <= kRefineAgreement) return period;
  }
  return base;
}

double PitchTracker::Clarity(double lag) const {
  const int t = std::clamp(RoundInt(lag), 1, maxLag_);
  const auto w = static_cast<size_t>(window_);
  const auto tt = static_cast<size_t>(t);
  const double energies = energy_[w] + (energy_[tt + w] - energy_[tt]);
  if (!(energies > 0.0)) return 0.0;
  return std::clamp(1.0 - diff_[tt] / energies, 0.0, 1.0);
}

PitchEstimate PitchTracker::Analyze(const double* frame) {
  PitchEstimate estimate;
  if (!valid_) return estimate;
  DifferenceFunction(frame);
  const double meanSquare = energy_[static_cast<size_t>(n_)] / n_;
  estimate.levelDb =
      meanSquare > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(meanSquare)) : kFloorDb;

  const int lag = ChoosePeriod();
  const double period = RefinePeriod(lag);
  estimate.confidence = Clarity(lag);
  const double hz = settings_.sampleRate / period;

  bool voiced = estimate.levelDb >= settings_.silenceDb;
  if (voiced) {
    const bool continues =
        previousHz_ > 0.0 &&
        std::abs(12.0 * std::log2(hz / previousHz_)) <= kContinuationSemitones;
    voiced = estimate.confidence >= settings_.voicedConfidence ||
             (continues && estimate.confidence >= settings_.continuedConfidence);
  }
  estimate.voiced = voiced;
  estimate.hz = voiced ? hz : 0.0;
  previousHz_ = estimate.hz;
  return estimate;
}

}  // namespace tonamira

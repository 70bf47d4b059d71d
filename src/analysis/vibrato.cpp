#include "analysis/vibrato.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tonamira {
namespace {

// A singer's vibrato: 3 to 9 cycles a second (most lie between 5 and 7).
constexpr double kSlowestHz = 3.0;
constexpr double kFastestHz = 9.0;
// A rate measured this little outside the range (a share of it) still counts as inside: the
// refined peak of a vibrato of exactly 3 or 9 Hz falls a hair either side.
constexpr double kRateTolerance = 0.02;
// The periods searched reach this factor past both ends, so a peak at an end of the range
// still has a neighbour on either side and can be refined.
constexpr double kSearchMargin = 1.15;
// The curve must last this many of the longest periods searched, so the autocorrelation
// there still sums over half of it.
constexpr double kPeriodsNeeded = 2.0;
// The normalised autocorrelation a peak must reach: a curve that repeats itself more than it
// wanders.
constexpr double kMinPeriodicity = 0.5;
// The smallest extent reported as vibrato, in +- cents: a note sung straight wobbles by a
// few cents, well under it.
constexpr double kMinExtentCents = 10.0;

// The normalised autocorrelation of x at lag k over the overlap, -1 .. 1 (0 without energy).
double Correlation(const std::vector<double>& x, size_t k) {
  double xy = 0.0, xx = 0.0, yy = 0.0;
  for (size_t i = 0; i + k < x.size(); ++i) {
    xy += x[i] * x[i + k];
    xx += x[i] * x[i];
    yy += x[i + k] * x[i + k];
  }
  const double energy = std::sqrt(xx * yy);
  return energy > 0.0 ? xy / energy : 0.0;
}

// Offset of the vertex of the parabola through (-1, y0), (0, y1), (1, y2), within [-1, 1];
// 0 when the three points do not open downwards.
double PeakOffset(double y0, double y1, double y2) {
  const double curvature = y0 - 2.0 * y1 + y2;
  if (!(curvature < 0.0)) return 0.0;
  return std::clamp(0.5 * (y0 - y2) / curvature, -1.0, 1.0);
}

}  // namespace

Vibrato EstimateVibrato(std::span<const double> cents, double stepSeconds) {
  Vibrato v;
  const size_t n = cents.size();
  const double longestPeriod = kSearchMargin / kSlowestHz;
  if (!(stepSeconds > 0.0) || static_cast<double>(n) * stepSeconds < kPeriodsNeeded * longestPeriod)
    return v;

  // The oscillation: the curve less its least-squares line over the sample index.
  const double count = static_cast<double>(n);
  const double meanIndex = 0.5 * (count - 1.0);
  double mean = 0.0;
  for (double c : cents) mean += c / count;
  double covariance = 0.0, spread = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double di = static_cast<double>(i) - meanIndex;
    covariance += di * (cents[i] - mean);
    spread += di * di;
  }
  const double slope = spread > 0.0 ? covariance / spread : 0.0;
  std::vector<double> x(n);
  double power = 0.0;
  for (size_t i = 0; i < n; ++i) {
    x[i] = cents[i] - (mean + slope * (static_cast<double>(i) - meanIndex));
    power += x[i] * x[i] / count;
  }
  v.extentCents = std::sqrt(2.0 * power);

  // The first peak of the autocorrelation among the periods searched.
  const auto shortest =
      std::max<size_t>(2, static_cast<size_t>(1.0 / (kFastestHz * kSearchMargin) / stepSeconds));
  const auto longest = std::min<size_t>(
      n / 2, static_cast<size_t>(std::ceil(longestPeriod / stepSeconds)));
  double before = Correlation(x, shortest - 1);
  double here = Correlation(x, shortest);
  for (size_t k = shortest; k < longest; ++k) {
    const double after = Correlation(x, k + 1);
    if (here > before && here >= after && here >= kMinPeriodicity) {
      const double lag = static_cast<double>(k) + PeakOffset(before, here, after);
      v.rateHz = 1.0 / (lag * stepSeconds);
      v.periodicity = here;
      // A curve that repeats itself at half the lag too oscillates twice as fast, faster
      // than any vibrato (a trill): its peak here is only its second.
      const double half = Correlation(x, static_cast<size_t>(std::lround(0.5 * lag)));
      v.present = v.rateHz >= kSlowestHz * (1.0 - kRateTolerance) &&
                  v.rateHz <= kFastestHz * (1.0 + kRateTolerance) &&
                  v.extentCents >= kMinExtentCents && half < kMinPeriodicity;
      return v;
    }
    before = here;
    here = after;
  }
  return v;
}

}  // namespace tonamira

#include "analysis/real_fft.h"

#include <cmath>

namespace tonamira {
namespace {

constexpr double kPi = 3.141592653589793238462643383279502884;
constexpr int kMinSize = 4;
constexpr int kMaxSize = 65536;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

RealFft::RealFft(int n) {
  if (n < kMinSize || n > kMaxSize || !PowerOfTwo(n)) return;
  n_ = n;
  m_ = n / 2;
  const auto m = static_cast<size_t>(m_);
  int bits = 0;
  while ((1 << bits) < m_) ++bits;
  reversed_.resize(m);
  for (uint32_t i = 0; i < m; ++i) {
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    reversed_[i] = r;
  }
  stageCos_.assign(m, 1.0);
  stageSin_.assign(m, 0.0);
  for (size_t half = 1; half < m; half *= 2) {
    for (size_t j = 0; j < half; ++j) {
      const double angle = -kPi * static_cast<double>(j) / static_cast<double>(half);
      stageCos_[half + j] = std::cos(angle);
      stageSin_[half + j] = std::sin(angle);
    }
  }
  splitCos_.resize(m + 1);
  splitSin_.resize(m + 1);
  for (size_t k = 0; k <= m; ++k) {
    const double angle = -2.0 * kPi * static_cast<double>(k) / static_cast<double>(n);
    splitCos_[k] = std::cos(angle);
    splitSin_[k] = std::sin(angle);
  }
  zr_.resize(m + 1);
  zi_.resize(m + 1);
}

void RealFft::Butterflies(double* __restrict re, double* __restrict im) const {
  const auto m = static_cast<size_t>(m_);
  // First two stages as one radix-4 pass: twiddles 1 and -i need no multiplication.
  size_t half = 1;
  if (m >= 4) {
    for (size_t s = 0; s < m; s += 4) {
      const double a0r = re[s] + re[s + 1], a0i = im[s] + im[s + 1];
      const double a1r = re[s] - re[s + 1], a1i = im[s] - im[s + 1];
      const double b0r = re[s + 2] + re[s + 3], b0i = im[s + 2] + im[s + 3];
      const double b1r = re[s + 2] - re[s + 3], b1i = im[s + 2] - im[s + 3];
      re[s] = a0r + b0r;
      im[s] = a0i + b0i;
      re[s + 2] = a0r - b0r;
      im[s + 2] = a0i - b0i;
      // b1 times -i is (b1i, -b1r).
      re[s + 1] = a1r + b1i;
      im[s + 1] = a1i - b1r;
      re[s + 3] = a1r - b1i;
      im[s + 3] = a1i + b1r;
    }
    half = 4;
  }
  for (; half < m; half *= 2) {
    const double* __restrict wr = stageCos_.data() + half;
    const double* __restrict wi = stageSin_.data() + half;
    for (size_t start = 0; start < m; start += 2 * half) {
      double* __restrict ar = re + start;
      double* __restrict ai = im + start;
      double* __restrict br = re + start + half;
      double* __restrict bi = im + start + half;
      for (size_t j = 0; j < half; ++j) {
        const double tr = wr[j] * br[j] - wi[j] * bi[j];
        const double ti = wr[j] * bi[j] + wi[j] * br[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
      }
    }
  }
  if (m == 2) {
    const double r0 = re[0], i0 = im[0];
    re[0] = r0 + re[1];
    im[0] = i0 + im[1];
    re[1] = r0 - re[1];
    im[1] = i0 - im[1];
  }
}

void RealFft::Forward(const double* x, double* re, double* im) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  double* zr = zr_.data();
  double* zi = zi_.data();
  for (size_t k = 0; k < m; ++k) {
    zr[reversed_[k]] = x[2 * k];
    zi[reversed_[k]] = x[2 * k + 1];
  }
  Butterflies(zr, zi);
  // Even and odd halves: E[k] = (Z[k] + conj Z[m-k]) / 2, O[k] = (Z[k] - conj Z[m-k]) / 2i,
  // X[k] = E[k] + w^k O[k] with w = exp(-2 pi i / n); Z[m] is Z[0].
  zr[m] = zr[0];
  zi[m] = zi[0];
  for (size_t k = 0; k <= m; ++k) {
    const double pr = zr[k], pi = zi[k];
    const double qr = zr[m - k], qi = -zi[m - k];
    const double er = 0.5 * (pr + qr), ei = 0.5 * (pi + qi);
    // (p - q) / 2i = (im, -re) / 2
    const double or_ = 0.5 * (pi - qi), oi = -0.5 * (pr - qr);
    const double c = splitCos_[k], s = splitSin_[k];
    re[k] = er + (c * or_ - s * oi);
    im[k] = ei + (c * oi + s * or_);
  }
  im[0] = 0.0;
  im[m] = 0.0;
}

void RealFft::Inverse(const double* re, const double* im, double* x) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  double* zr = zr_.data();
  double* zi = zi_.data();
  // E[k] = (X[k] + conj X[m-k]) / 2, O[k] = (X[k] - conj X[m-k]) / (2 w^k), Z[k] = E + i O.
  // The inverse of Z is taken as the forward transform of Z with re and im swapped.
  for (size_t k = 0; k < m; ++k) {
    const double xr = re[k], xi = k == 0 ? 0.0 : im[k];
    const double yr = re[m - k], yi = (k == 0) ? 0.0 : -im[m - k];
    const double er = 0.5 * (xr + yr), ei = 0.5 * (xi + yi);
    const double dr = 0.5 * (xr - yr), di = 0.5 * (xi - yi);
    // divide by w^k: multiply by conj(w^k) = (c, -s)
    const double c = splitCos_[k], s = splitSin_[k];
    const double or_ = dr * c + di * s, oi = di * c - dr * s;
    const double zkr = er - oi, zki = ei + or_;  // E + i O
    zi[reversed_[k]] = zkr;                       // swapped
    zr[reversed_[k]] = zki;
  }
  Butterflies(zr, zi);
  const double scale = 1.0 / static_cast<double>(m);
  for (size_t k = 0; k < m; ++k) {
    x[2 * k] = zi[k] * scale;
    x[2 * k + 1] = zr[k] * scale;
  }
}

}  // namespace tonamira

#include "analysis/real_fft.h"

#include <cmath>
#include <cstring>

namespace tonamira {
namespace {

constexpr double kPi = 3.141592653589793238462643383279502884;
constexpr int kMinSize = 4;
constexpr int kMaxSize = 65536;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Four doubles processed together: one AVX register where the processor has it (the hot
// loops are compiled twice and chosen at load time), two SSE registers otherwise. Both
// builds do the same IEEE operations in the same order (no contraction into fused
// multiply-adds), so they give the same doubles.
typedef double Pair __attribute__((vector_size(32)));

// Loads and stores through references: a vector of this size must not cross a call boundary
// by value, whose passing would differ between the two builds.
[[gnu::always_inline]] inline void Load(Pair& v, const double* p) { std::memcpy(&v, p, sizeof v); }
[[gnu::always_inline]] inline void Store(double* p, const Pair& v) { std::memcpy(p, &v, sizeof v); }

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

namespace {

// In-place complex transform of length m (exponent -) of data already in bit-reversed order;
// twiddle tables as RealFft keeps them.
__attribute__((target_clones("avx2", "default"))) void Butterflies(
    size_t m, const double* stageCos, const double* stageSin, double* __restrict re,
    double* __restrict im) {
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
  // Two stages per pass (halves h and 2h): a group of four elements j, j + h, j + 2h, j + 3h
  // depends only on itself through both, so it stays in registers. The second stage's
  // twiddle for the upper pair is the first one's times exp(-i pi / 2) = -i. Four
  // neighbouring j go together in one vector (h is at least 4 here).
  for (; 4 * half <= m; half *= 4) {
    const double* wr1 = stageCos + half;
    const double* wi1 = stageSin + half;
    const double* wr2 = stageCos + 2 * half;
    const double* wi2 = stageSin + 2 * half;
    for (size_t start = 0; start < m; start += 4 * half) {
      double* r0 = re + start;
      double* i0 = im + start;
      double* r1 = r0 + half;
      double* i1 = i0 + half;
      double* r2 = r0 + 2 * half;
      double* i2 = i0 + 2 * half;
      double* r3 = r0 + 3 * half;
      double* i3 = i0 + 3 * half;
      for (size_t j = 0; j < half; j += 4) {
        Pair c1, s1;
        Load(c1, wr1 + j);
        Load(s1, wi1 + j);
        Pair c2, s2;
        Load(c2, wr2 + j);
        Load(s2, wi2 + j);
        Pair x0r, x0i;
        Load(x0r, r0 + j);
        Load(x0i, i0 + j);
        Pair x1r, x1i;
        Load(x1r, r1 + j);
        Load(x1i, i1 + j);
        Pair x2r, x2i;
        Load(x2r, r2 + j);
        Load(x2i, i2 + j);
        Pair x3r, x3i;
        Load(x3r, r3 + j);
        Load(x3i, i3 + j);
        const Pair t1r = c1 * x1r - s1 * x1i, t1i = c1 * x1i + s1 * x1r;
        const Pair t3r = c1 * x3r - s1 * x3i, t3i = c1 * x3i + s1 * x3r;
        const Pair a0r = x0r + t1r, a0i = x0i + t1i;
        const Pair a1r = x0r - t1r, a1i = x0i - t1i;
        const Pair a2r = x2r + t3r, a2i = x2i + t3i;
        const Pair a3r = x2r - t3r, a3i = x2i - t3i;
        const Pair u2r = c2 * a2r - s2 * a2i, u2i = c2 * a2i + s2 * a2r;
        // (c2 + i s2)(-i) = s2 - i c2
        const Pair u3r = s2 * a3r + c2 * a3i, u3i = s2 * a3i - c2 * a3r;
        Store(r0 + j, a0r + u2r);
        Store(i0 + j, a0i + u2i);
        Store(r2 + j, a0r - u2r);
        Store(i2 + j, a0i - u2i);
        Store(r1 + j, a1r + u3r);
        Store(i1 + j, a1i + u3i);
        Store(r3 + j, a1r - u3r);
        Store(i3 + j, a1i - u3i);
      }
    }
  }
  for (; half < m; half *= 2) {
    const double* __restrict wr = stageCos + half;
    const double* __restrict wi = stageSin + half;
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
}

}  // namespace

void RealFft::Forward(const double* x, double* re, double* im) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  double* zr = zr_.data();
  double* zi = zi_.data();
  for (size_t k = 0; k < m; ++k) {
    zr[reversed_[k]] = x[2 * k];
    zi[reversed_[k]] = x[2 * k + 1];
  }
  Butterflies(m, stageCos_.data(), stageSin_.data(), zr, zi);
  // Even and odd halves: E[k] = (Z[k] + conj Z[m-k]) / 2, O[k] = (Z[k] - conj Z[m-k]) / 2i,
  // X[k] = E[k] + w^k O[k] with w = exp(-2 pi i / n). Bin m - k shares E and O:
  // X[m-k] = conj(E[k] - w^k O[k]), so each pass gives both.
  re[0] = zr[0] + zi[0];
  im[0] = 0.0;
  re[m] = zr[0] - zi[0];
  im[m] = 0.0;
  const size_t half = m / 2;
  const double* c = splitCos_.data();
  const double* s = splitSin_.data();
  size_t k = 1;
  for (; k + 3 < half; k += 4) {
    Pair pr, pi, qr, qi, wc, ws;
    Load(pr, zr + k);
    Load(pi, zi + k);
    Load(qr, zr + m - k - 3);
    Load(qi, zi + m - k - 3);
    Load(wc, c + k);
    Load(ws, s + k);
    qr = Pair{qr[3], qr[2], qr[1], qr[0]};
    qi = -Pair{qi[3], qi[2], qi[1], qi[0]};
    const Pair er = 0.5 * (pr + qr), ei = 0.5 * (pi + qi);
    const Pair or_ = 0.5 * (pi - qi), oi = -0.5 * (pr - qr);
    const Pair tr = wc * or_ - ws * oi, ti = wc * oi + ws * or_;
    Store(re + k, er + tr);
    Store(im + k, ei + ti);
    const Pair mr = er - tr, mi = ti - ei;
    Store(re + m - k - 3, Pair{mr[3], mr[2], mr[1], mr[0]});
    Store(im + m - k - 3, Pair{mi[3], mi[2], mi[1], mi[0]});
  }
  for (; k <= half; ++k) {
    const double pr = zr[k], pi = zi[k];
    const double qr = zr[m - k], qi = -zi[m - k];
    const double er = 0.5 * (pr + qr), ei = 0.5 * (pi + qi);
    // (p - q) / 2i = (im, -re) / 2
    const double or_ = 0.5 * (pi - qi), oi = -0.5 * (pr - qr);
    const double tr = c[k] * or_ - s[k] * oi, ti = c[k] * oi + s[k] * or_;
    if (k == m - k) {  // the middle bin is its own mirror
      re[k] = er + tr;
      im[k] = ei + ti;
      break;
    }
    re[k] = er + tr;
    im[k] = ei + ti;
    re[m - k] = er - tr;
    im[m - k] = ti - ei;
  }
}

void RealFft::Inverse(const double* re, const double* im, double* x) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  double* zr = zr_.data();
  double* zi = zi_.data();
  const uint32_t* rev = reversed_.data();
  // E[k] = (X[k] + conj X[m-k]) / 2, O[k] = (X[k] - conj X[m-k]) / (2 w^k), Z[k] = E + i O,
  // and Z[m-k] = conj E[k] + i conj O[k]. The inverse of Z is taken as the forward
  // transform of Z with re and im swapped, so Z goes in swapped and bit-reversed.
  {
    const double er = 0.5 * (re[0] + re[m]), or_ = 0.5 * (re[0] - re[m]);
    zi[rev[0]] = er;
    zr[rev[0]] = or_;
  }
  const double* c = splitCos_.data();
  const double* s = splitSin_.data();
  for (size_t k = 1; k <= m / 2; ++k) {
    const double xr = re[k], xi = im[k];
    const double yr = re[m - k], yi = -im[m - k];
    const double er = 0.5 * (xr + yr), ei = 0.5 * (xi + yi);
    const double dr = 0.5 * (xr - yr), di = 0.5 * (xi - yi);
    // divide by w^k: multiply by conj(w^k) = (c, -s)
    const double or_ = dr * c[k] + di * s[k], oi = di * c[k] - dr * s[k];
    zi[rev[k]] = er - oi;  // Re(E + i O), swapped
    zr[rev[k]] = ei + or_;
    if (k == m - k) break;  // the middle bin is its own mirror
    zi[rev[m - k]] = er + oi;  // Re(conj E + i conj O)
    zr[rev[m - k]] = or_ - ei;
  }
  Butterflies(m, stageCos_.data(), stageSin_.data(), zr, zi);
  const double scale = 1.0 / static_cast<double>(m);
  for (size_t j = 0; j < m; ++j) {
    x[2 * j] = zi[j] * scale;
    x[2 * j + 1] = zr[j] * scale;
  }
}

}  // namespace tonamira

#include "analysis/real_fft.h"
#include "analysis/vector_clones.h"

#include <cmath>
#include <cstring>

namespace tonamira {
namespace {

constexpr double kPi = 3.141592653589793238462643383279502884;
constexpr int kMinSize = 4;
constexpr int kMaxSize = 65536;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Eight floats processed together: one AVX register where the processor has it (the hot
// loops are compiled twice and chosen at load time), two SSE registers otherwise; four
// floats for the one pass whose groups are only four wide. Both builds do the same IEEE
// operations in the same order (no contraction into fused multiply-adds), so they give the
// same floats.
typedef float Oct __attribute__((vector_size(32)));
typedef float Quad __attribute__((vector_size(16)));

// Loads and stores through references: a vector of this size must not cross a call boundary
// by value, whose passing would differ between the two builds.
template <typename V>
[[gnu::always_inline]] inline void Load(V& v, const float* p) { std::memcpy(&v, p, sizeof v); }
template <typename V>
[[gnu::always_inline]] inline void Store(float* p, const V& v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline void Reverse(Oct& v) {
  v = Oct{v[7], v[6], v[5], v[4], v[3], v[2], v[1], v[0]};
}

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
  stageCos_.assign(m, 1.0f);
  stageSin_.assign(m, 0.0f);
  for (size_t half = 1; half < m; half *= 2) {
    for (size_t j = 0; j < half; ++j) {
      const double angle = -kPi * static_cast<double>(j) / static_cast<double>(half);
      stageCos_[half + j] = static_cast<float>(std::cos(angle));
      stageSin_[half + j] = static_cast<float>(std::sin(angle));
    }
  }
  splitCos_.resize(m + 1);
  splitSin_.resize(m + 1);
  for (size_t k = 0; k <= m; ++k) {
    const double angle = -2.0 * kPi * static_cast<double>(k) / static_cast<double>(n);
    splitCos_[k] = static_cast<float>(std::cos(angle));
    splitSin_[k] = static_cast<float>(std::sin(angle));
  }
  zr_.resize(m + 1);
  zi_.resize(m + 1);
}

namespace {

// Two stages (halves h and 2h) in one pass: a group of four elements j, j + h, j + 2h,
// j + 3h depends only on itself through both, so it stays in registers. The second stage's
// twiddle for the upper pair is the first one's times exp(-i pi / 2) = -i. The lanes of V
// take neighbouring j together; h must be a multiple of their count.
template <typename V>
[[gnu::always_inline]] inline void PairedStages(size_t m, size_t half, const float* stageCos,
                                                const float* stageSin, float* re, float* im) {
  constexpr size_t kLanes = sizeof(V) / sizeof(float);
  const float* wr1 = stageCos + half;
  const float* wi1 = stageSin + half;
  const float* wr2 = stageCos + 2 * half;
  const float* wi2 = stageSin + 2 * half;
  for (size_t start = 0; start < m; start += 4 * half) {
    float* r0 = re + start;
    float* i0 = im + start;
    float* r1 = r0 + half;
    float* i1 = i0 + half;
    float* r2 = r0 + 2 * half;
    float* i2 = i0 + 2 * half;
    float* r3 = r0 + 3 * half;
    float* i3 = i0 + 3 * half;
    for (size_t j = 0; j < half; j += kLanes) {
      V c1, s1, c2, s2, x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i;
      Load(c1, wr1 + j);
      Load(s1, wi1 + j);
      Load(c2, wr2 + j);
      Load(s2, wi2 + j);
      Load(x0r, r0 + j);
      Load(x0i, i0 + j);
      Load(x1r, r1 + j);
      Load(x1i, i1 + j);
      Load(x2r, r2 + j);
      Load(x2i, i2 + j);
      Load(x3r, r3 + j);
      Load(x3i, i3 + j);
      const V t1r = c1 * x1r - s1 * x1i, t1i = c1 * x1i + s1 * x1r;
      const V t3r = c1 * x3r - s1 * x3i, t3i = c1 * x3i + s1 * x3r;
      const V a0r = x0r + t1r, a0i = x0i + t1i;
      const V a1r = x0r - t1r, a1i = x0i - t1i;
      const V a2r = x2r + t3r, a2i = x2i + t3i;
      const V a3r = x2r - t3r, a3i = x2i - t3i;
      const V u2r = c2 * a2r - s2 * a2i, u2i = c2 * a2i + s2 * a2r;
      // (c2 + i s2)(-i) = s2 - i c2
      const V u3r = s2 * a3r + c2 * a3i, u3i = s2 * a3i - c2 * a3r;
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

// In-place complex transform of length m (exponent -) of data already in bit-reversed order;
// twiddle tables as RealFft keeps them.
TONAMIRA_VECTOR_CLONES void Butterflies(
    size_t m, const float* stageCos, const float* stageSin, float* __restrict re,
    float* __restrict im) {
  // First two stages as one radix-4 pass: twiddles 1 and -i need no multiplication.
  size_t half = 1;
  if (m >= 4) {
    for (size_t s = 0; s < m; s += 4) {
      const float a0r = re[s] + re[s + 1], a0i = im[s] + im[s + 1];
      const float a1r = re[s] - re[s + 1], a1i = im[s] - im[s + 1];
      const float b0r = re[s + 2] + re[s + 3], b0i = im[s + 2] + im[s + 3];
      const float b1r = re[s + 2] - re[s + 3], b1i = im[s + 2] - im[s + 3];
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
  for (; 4 * half <= m; half *= 4) {
    if (half % 8 == 0)
      PairedStages<Oct>(m, half, stageCos, stageSin, re, im);
    else
      PairedStages<Quad>(m, half, stageCos, stageSin, re, im);
  }
  for (; half < m; half *= 2) {
    const float* __restrict wr = stageCos + half;
    const float* __restrict wi = stageSin + half;
    for (size_t start = 0; start < m; start += 2 * half) {
      float* __restrict ar = re + start;
      float* __restrict ai = im + start;
      float* __restrict br = re + start + half;
      float* __restrict bi = im + start + half;
      for (size_t j = 0; j < half; ++j) {
        const float tr = wr[j] * br[j] - wi[j] * bi[j];
        const float ti = wr[j] * bi[j] + wi[j] * br[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
      }
    }
  }
}

}  // namespace

void RealFft::Forward(const float* x, float* re, float* im) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  float* zr = zr_.data();
  float* zi = zi_.data();
  for (size_t k = 0; k < m; ++k) {
    zr[reversed_[k]] = x[2 * k];
    zi[reversed_[k]] = x[2 * k + 1];
  }
  Butterflies(m, stageCos_.data(), stageSin_.data(), zr, zi);
  // Even and odd halves: E[k] = (Z[k] + conj Z[m-k]) / 2, O[k] = (Z[k] - conj Z[m-k]) / 2i,
  // X[k] = E[k] + w^k O[k] with w = exp(-2 pi i / n). Bin m - k shares E and O:
  // X[m-k] = conj(E[k] - w^k O[k]), so each pass gives both.
  re[0] = zr[0] + zi[0];
  im[0] = 0.0f;
  re[m] = zr[0] - zi[0];
  im[m] = 0.0f;
  const size_t half = m / 2;
  const float* c = splitCos_.data();
  const float* s = splitSin_.data();
  size_t k = 1;
  for (; k + 7 < half; k += 8) {
    Oct pr, pi, qr, qi, wc, ws;
    Load(pr, zr + k);
    Load(pi, zi + k);
    Load(qr, zr + m - k - 7);
    Load(qi, zi + m - k - 7);
    Load(wc, c + k);
    Load(ws, s + k);
    Reverse(qr);
    Reverse(qi);
    qi = -qi;
    const Oct er = 0.5f * (pr + qr), ei = 0.5f * (pi + qi);
    const Oct or_ = 0.5f * (pi - qi), oi = -0.5f * (pr - qr);
    const Oct tr = wc * or_ - ws * oi, ti = wc * oi + ws * or_;
    Store(re + k, er + tr);
    Store(im + k, ei + ti);
    const Oct mr = er - tr, mi = ti - ei;
    Oct rr = mr, ri = mi;
    Reverse(rr);
    Reverse(ri);
    Store(re + m - k - 7, rr);
    Store(im + m - k - 7, ri);
  }
  for (; k <= half; ++k) {
    const float pr = zr[k], pi = zi[k];
    const float qr = zr[m - k], qi = -zi[m - k];
    const float er = 0.5f * (pr + qr), ei = 0.5f * (pi + qi);
    // (p - q) / 2i = (im, -re) / 2
    const float or_ = 0.5f * (pi - qi), oi = -0.5f * (pr - qr);
    const float tr = c[k] * or_ - s[k] * oi, ti = c[k] * oi + s[k] * or_;
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

void RealFft::Inverse(const float* re, const float* im, float* x) {
  if (!valid()) return;
  const auto m = static_cast<size_t>(m_);
  float* zr = zr_.data();
  float* zi = zi_.data();
  const uint32_t* rev = reversed_.data();
  // E[k] = (X[k] + conj X[m-k]) / 2, O[k] = (X[k] - conj X[m-k]) / (2 w^k), Z[k] = E + i O,
  // and Z[m-k] = conj E[k] + i conj O[k]. The inverse of Z is taken as the forward
  // transform of Z with re and im swapped, so Z goes in swapped and bit-reversed.
  {
    const float er = 0.5f * (re[0] + re[m]), or_ = 0.5f * (re[0] - re[m]);
    zi[rev[0]] = er;
    zr[rev[0]] = or_;
  }
  const float* c = splitCos_.data();
  const float* s = splitSin_.data();
  for (size_t k = 1; k <= m / 2; ++k) {
    const float xr = re[k], xi = im[k];
    const float yr = re[m - k], yi = -im[m - k];
    const float er = 0.5f * (xr + yr), ei = 0.5f * (xi + yi);
    const float dr = 0.5f * (xr - yr), di = 0.5f * (xi - yi);
    // divide by w^k: multiply by conj(w^k) = (c, -s)
    const float or_ = dr * c[k] + di * s[k], oi = di * c[k] - dr * s[k];
    zi[rev[k]] = er - oi;  // Re(E + i O), swapped
    zr[rev[k]] = ei + or_;
    if (k == m - k) break;  // the middle bin is its own mirror
    zi[rev[m - k]] = er + oi;  // Re(conj E + i conj O)
    zr[rev[m - k]] = or_ - ei;
  }
  Butterflies(m, stageCos_.data(), stageSin_.data(), zr, zi);
  const float scale = 1.0f / static_cast<float>(m);
  for (size_t j = 0; j < m; ++j) {
    x[2 * j] = zi[j] * scale;
    x[2 * j + 1] = zr[j] * scale;
  }
}

}  // namespace tonamira

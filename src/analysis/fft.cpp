#include "analysis/fft.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace tonamira {

namespace {

// The twiddle of index h for the frame length whose angle step is w. Both the literal
// transform and the plan tables go through this one function, so the compiler treats the
// cos/sin pair identically on both paths (for instance if it merges them into one call).
[[gnu::noinline]] void TwiddleAt(uint32_t h, double w, double& c, double& s) {
  const double angle = static_cast<double>(h) * w;
  c = std::cos(angle);
  s = std::sin(angle);
}

// 256-bit vector of four doubles; on targets without AVX the compiler splits it in two.
using V4 = double __attribute__((vector_size(32)));

// Unaligned load and store by reference (vectors are never passed by value, which keeps the
// calling convention the same whether or not AVX is enabled).
[[gnu::always_inline]] inline void LoadV4(V4& v, const double* p) {
  __builtin_memcpy(&v, p, sizeof v);
}

[[gnu::always_inline]] inline void StoreV4(double* p, const V4& v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// Per-element butterfly, kept in the exact operation order of the definition:
// re = (a.re + b.re*c) - b.im*s, im = (a.im + b.re*s) + b.im*c.

// One stage with blocks of m >= 4 elements: in block q of the output the twiddle is
// constant and a, b are the whole blocks q & ~1 and q | 1 of the source.
[[gnu::always_inline]] inline void WideStage(int n, int m, const double* tc, const double* ts,
                                             const double* __restrict sRe,
                                             const double* __restrict sIm,
                                             double* __restrict dRe, double* __restrict dIm) {
  const int blocks = n / m;
  for (int q = 0; q < blocks; ++q) {
    const double c = tc[q];
    const double s = ts[q];
    const std::ptrdiff_t ao = static_cast<std::ptrdiff_t>(q & ~1) * m;
    const std::ptrdiff_t bo = static_cast<std::ptrdiff_t>(q | 1) * m;
    const std::ptrdiff_t oo = static_cast<std::ptrdiff_t>(q) * m;
    const double* __restrict aRe = sRe + ao;
    const double* __restrict aIm = sIm + ao;
    const double* __restrict bRe = sRe + bo;
    const double* __restrict bIm = sIm + bo;
    double* __restrict oRe = dRe + oo;
    double* __restrict oIm = dIm + oo;
    const V4 vc = {c, c, c, c};
    const V4 vs = {s, s, s, s};
    for (int l = 0; l < m; l += 4) {
      V4 ar, ai, br, bi;
      LoadV4(ar, aRe + l);
      LoadV4(ai, aIm + l);
      LoadV4(br, bRe + l);
      LoadV4(bi, bIm + l);
      StoreV4(oRe + l, (ar + br * vc) - bi * vs);
      StoreV4(oIm + l, (ai + br * vs) + bi * vc);
    }
  }
}

// The stage with m = 2: every group of four elements j = 4g .. 4g+3 reads a = (4g, 4g+1) and
// b = (4g+2, 4g+3); c2/s2 hold the twiddle of each element.
[[gnu::always_inline]] inline void PairStage(int n, const double* c2, const double* s2,
                                             const double* __restrict sRe,
                                             const double* __restrict sIm,
                                             double* __restrict dRe, double* __restrict dIm) {
  for (int j = 0; j < n; j += 4) {
    V4 xr, xi, c, s;
    LoadV4(xr, sRe + j);
    LoadV4(xi, sIm + j);
    const V4 ar = __builtin_shufflevector(xr, xr, 0, 1, 0, 1);
    const V4 ai = __builtin_shufflevector(xi, xi, 0, 1, 0, 1);
    const V4 br = __builtin_shufflevector(xr, xr, 2, 3, 2, 3);
    const V4 bi = __builtin_shufflevector(xi, xi, 2, 3, 2, 3);
    LoadV4(c, c2 + j);
    LoadV4(s, s2 + j);
    StoreV4(dRe + j, (ar + br * c) - bi * s);
    StoreV4(dIm + j, (ai + br * s) + bi * c);
  }
}

// The last stage (m = 1): a = element 2g, b = element 2g + 1, twiddle of element j at c1[j];
// the sums are divided by n here, the bit-reversed placement is done by the caller.
[[gnu::always_inline]] inline void LastStage(int n, const double* c1, const double* s1,
                                             const double* __restrict sRe,
                                             const double* __restrict sIm,
                                             double* __restrict dRe, double* __restrict dIm) {
  const double dn = static_cast<double>(n);
  const V4 vn = {dn, dn, dn, dn};
  for (int j = 0; j < n; j += 4) {
    V4 xr, xi, c, s;
    LoadV4(xr, sRe + j);
    LoadV4(xi, sIm + j);
    const V4 ar = __builtin_shufflevector(xr, xr, 0, 0, 2, 2);
    const V4 ai = __builtin_shufflevector(xi, xi, 0, 0, 2, 2);
    const V4 br = __builtin_shufflevector(xr, xr, 1, 1, 3, 3);
    const V4 bi = __builtin_shufflevector(xi, xi, 1, 1, 3, 3);
    LoadV4(c, c1 + j);
    LoadV4(s, s1 + j);
    StoreV4(dRe + j, ((ar + br * c) - bi * s) / vn);
    StoreV4(dIm + j, ((ai + br * s) + bi * c) / vn);
  }
}

}  // namespace

uint32_t ReverseBits(int c, int f, uint32_t j) {
  if (f <= 0 || c < f || c > 32) return 0;
  const int shift = c - f;
  uint32_t v = shift >= 32 ? 0u : j >> shift;
  uint32_t r = 0;
  for (int i = 0; i < f; ++i) {
    r = 2 * r + (v & 1u);
    v >>= 1;
  }
  return r;
}

int FftExponent(int n) {
  for (int c = 1; c <= 12; ++c) {
    const int p = 1 << c;
    if (p == n) return c;
    if (p > n) return 0;
  }
  return 0;
}

bool FftLiteral(int n, const double* input, Complex* out, Complex* work, double* mag) {
  const int c = FftExponent(n);
  if (c == 0) return false;
  const double w = kTwoPi / static_cast<double>(n);
  for (int j = 0; j < n; ++j) work[j] = Complex{input[j], 0.0};

  for (int f = 1; f <= c - 1; ++f) {
    const uint32_t m = 1u << (c - f);
    for (uint32_t j = 0; j < static_cast<uint32_t>(n); ++j) {
      const uint32_t h = ReverseBits(c, f, j) * m;
      const Complex a = work[j & ~m];
      const Complex b = work[j | m];
      double cs = 0.0;
      double sn = 0.0;
      TwiddleAt(h, w, cs, sn);
      out[j].re = a.re + b.re * cs - b.im * sn;
      out[j].im = a.im + b.re * sn + b.im * cs;
    }
    for (int j = 0; j < n; ++j) work[j] = out[j];
  }

  const double dn = static_cast<double>(n);
  for (uint32_t j = 0; j < static_cast<uint32_t>(n); ++j) {
    const uint32_t t = ReverseBits(c, c, j);
    const Complex a = work[j & ~1u];
    const Complex b = work[j | 1u];
    double cs = 0.0;
    double sn = 0.0;
    TwiddleAt(t, w, cs, sn);
    out[t].re = (a.re + b.re * cs - b.im * sn) / dn;
    out[t].im = (a.im + b.re * sn + b.im * cs) / dn;
  }

  for (int k = 0; k < n / 2; ++k) mag[k] = std::sqrt(out[k].re * out[k].re + out[k].im * out[k].im);
  return true;
}

double HammingWeight(int j, int n) {
  // A one-sample frame has no period to spread the window over; its weight is the end weight.
  const int d = n - 1;
  if (d <= 0) return 0.54 - 0.46;
  return 0.54 - 0.46 * std::cos(kTwoPi * static_cast<double>(j) / static_cast<double>(d));
}

// Tables of one frame length. Twiddles are kept per stage in the order the stage reads them:
// stage f with blocks of m = 2^(c-f) elements uses twiddle ReverseBits(c, f, q) * m in output
// block q, so its table holds 2^f entries, one per block. The m = 2 stage gets its table
// expanded to one entry per element so that it runs as straight vector code. The stage
// buffers are split into real and imaginary arrays and ping-ponged.
struct FftPlan::Impl {
  std::vector<double> stageCos;      // stage f starts at offset 2^f - 2
  std::vector<double> stageSin;
  std::vector<double> pairCos;       // m = 2 stage, per element
  std::vector<double> pairSin;
  std::vector<uint32_t> reversal;    // full c-bit reversal of each index
  mutable std::vector<double> re[2];  // scratch: used by Run, so a plan runs on one thread
  mutable std::vector<double> im[2];

  const double* CosOf(int f) const { return stageCos.data() + ((std::size_t{1} << f) - 2); }
  const double* SinOf(int f) const { return stageSin.data() + ((std::size_t{1} << f) - 2); }
};

FftPlan::FftPlan(int n) {
  const int c = FftExponent(n);
  if (c == 0) return;
  n_ = n;
  exponent_ = c;
  impl_ = std::make_unique<Impl>();
  Impl& p = *impl_;
  const double w = kTwoPi / static_cast<double>(n);
  const std::size_t un = static_cast<std::size_t>(n);

  p.stageCos.resize(2 * un - 2);
  p.stageSin.resize(2 * un - 2);
  for (int f = 1; f <= c; ++f) {
    const uint32_t m = 1u << (c - f);
    const std::size_t base = (std::size_t{1} << f) - 2;
    for (uint32_t q = 0; q < (1u << f); ++q) {
      // Every element j of block q has j >> (c - f) == q.
      const uint32_t h = ReverseBits(c, f, q * m) * m;
      TwiddleAt(h, w, p.stageCos[base + q], p.stageSin[base + q]);
    }
  }
  if (c >= 2) {
    p.pairCos.resize(un);
    p.pairSin.resize(un);
    const double* tc = p.CosOf(c - 1);
    const double* ts = p.SinOf(c - 1);
    for (std::size_t j = 0; j < un; ++j) {
      p.pairCos[j] = tc[j >> 1];
      p.pairSin[j] = ts[j >> 1];
    }
  }
  p.reversal.resize(un);
  for (uint32_t j = 0; j < static_cast<uint32_t>(n); ++j) p.reversal[j] = ReverseBits(c, c, j);
  // Vector stages step by four elements; pad so that N = 2 can use the same code.
  const std::size_t scratch = un < 4 ? 4 : un;
  for (auto* v : {&p.re[0], &p.re[1], &p.im[0], &p.im[1]}) v->assign(scratch, 0.0);

  window_.resize(un);
  for (int j = 0; j < n; ++j) window_[j] = HammingWeight(j, n);
}

FftPlan::~FftPlan() = default;

namespace {

// All stages plus the reordering into natural bin order and the magnitudes. Compiled twice,
// for AVX2 and for the baseline, and chosen at load time; the arithmetic per element is the
// same in both, so the doubles are too.
__attribute__((target_clones("avx2", "default")))
void RunStages(int n, int c, const double* input, const double* stageCos,
               const double* stageSin, const double* pairCos, const double* pairSin,
               const uint32_t* reversal, double* re0, double* im0, double* re1, double* im1,
               Complex* out, double* mag) {
  double* sRe = re0;
  double* sIm = im0;
  double* dRe = re1;
  double* dIm = im1;
  for (int j = 0; j < n; ++j) {
    sRe[j] = input[j];
    sIm[j] = 0.0;
  }
  for (int f = 1; f <= c; ++f) {
    const int m = 1 << (c - f);
    const double* tc = stageCos + ((std::size_t{1} << f) - 2);
    const double* ts = stageSin + ((std::size_t{1} << f) - 2);
    if (m >= 4) {
      WideStage(n, m, tc, ts, sRe, sIm, dRe, dIm);
    } else if (m == 2) {
      PairStage(n, pairCos, pairSin, sRe, sIm, dRe, dIm);
    } else if (n >= 4) {
      LastStage(n, tc, ts, sRe, sIm, dRe, dIm);
    } else {
      // n == 2: the only stage, scalar.
      const double dn = static_cast<double>(n);
      for (int j = 0; j < 2; ++j) {
        dRe[j] = ((sRe[0] + sRe[1] * tc[j]) - sIm[1] * ts[j]) / dn;
        dIm[j] = ((sIm[0] + sRe[1] * ts[j]) + sIm[1] * tc[j]) / dn;
      }
    }
    std::swap(sRe, dRe);
    std::swap(sIm, dIm);
  }
  // sRe/sIm hold the result in bit-reversed order; gather it into natural order.
  for (int t = 0; t < n; ++t) {
    dRe[t] = sRe[reversal[t]];
    dIm[t] = sIm[reversal[t]];
  }
  for (int k = 0; k < n; ++k) {
    out[k].re = dRe[k];
    out[k].im = dIm[k];
  }
  for (int k = 0; k < n / 2; ++k) mag[k] = std::sqrt(dRe[k] * dRe[k] + dIm[k] * dIm[k]);
}

}  // namespace

bool FftPlan::Run(const double* input, Complex* out, Complex* /*work*/, double* mag) const {
  if (!valid()) return false;
  const Impl& p = *impl_;
  RunStages(n_, exponent_, input, p.stageCos.data(), p.stageSin.data(), p.pairCos.data(),
            p.pairSin.data(), p.reversal.data(), p.re[0].data(), p.im[0].data(),
            p.re[1].data(), p.im[1].data(), out, mag);
  return true;
}

}  // namespace tonamira

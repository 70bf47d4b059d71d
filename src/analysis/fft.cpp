#include "analysis/fft.h"
#include "analysis/vector_clones.h"

#include <cmath>
#include <cstddef>
#include <utility>

#if defined(__SSE2__) && !defined(TONAMIRA_PORTABLE)
#include <emmintrin.h>
#endif

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
using V2 = double __attribute__((vector_size(16)));

// Four complex values, split into real and imaginary parts.
struct CV {
  V4 re;
  V4 im;
};

// Vectors only travel by reference through always-inlined helpers, so the calling
// convention is the same whether or not AVX is enabled.
// With kReal the source is the real input frame: its imaginary parts are all +0.0 and are
// not read (im is null).
template <bool kReal>
[[gnu::always_inline]] inline void Load(CV& v, const double* re, const double* im,
                                        std::ptrdiff_t at) {
  __builtin_memcpy(&v.re, re + at, sizeof v.re);
  if constexpr (kReal)
    v.im = V4{0.0, 0.0, 0.0, 0.0};
  else
    __builtin_memcpy(&v.im, im + at, sizeof v.im);
}

[[gnu::always_inline]] inline void Store(double* re, double* im, const CV& v) {
  __builtin_memcpy(re, &v.re, sizeof v.re);
  __builtin_memcpy(im, &v.im, sizeof v.im);
}

[[gnu::always_inline]] inline void Broadcast(V4& v, double x) { v = V4{x, x, x, x}; }

// One butterfly output per lane, in the exact operation order of the definition:
// re = (a.re + b.re*c) - b.im*s, im = (a.im + b.re*s) + b.im*c.
[[gnu::always_inline]] inline void Butterfly(CV& o, const CV& a, const CV& b, const V4& c,
                                             const V4& s) {
  o.re = (a.re + b.re * c) - b.im * s;
  o.im = (a.im + b.re * s) + b.im * c;
}

// One stage with blocks of m >= 4 elements. Output block q has a constant twiddle and reads
// the whole source blocks q & ~1 and q | 1, so the two blocks 2g and 2g + 1 of a group are
// computed from one load of their shared inputs.
template <bool kReal>
[[gnu::always_inline]] inline void WideStage(int n, int m, const double* tc, const double* ts,
                                             const double* __restrict sRe,
                                             const double* __restrict sIm,
                                             double* __restrict dRe, double* __restrict dIm) {
  const int groups = n / (2 * m);
  for (int g = 0; g < groups; ++g) {
    V4 c0, s0, c1, s1;
    Broadcast(c0, tc[2 * g]);
    Broadcast(s0, ts[2 * g]);
    Broadcast(c1, tc[2 * g + 1]);
    Broadcast(s1, ts[2 * g + 1]);
    const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(g) * 2 * m;
    for (std::ptrdiff_t l = r; l < r + m; l += 4) {
      CV a, b, o;
      Load<kReal>(a, sRe, sIm, l);
      Load<kReal>(b, sRe, sIm, l + m);
      Butterfly(o, a, b, c0, s0);
      Store(dRe + l, dIm + l, o);
      Butterfly(o, a, b, c1, s1);
      Store(dRe + l + m, dIm + l + m, o);
    }
  }
}

// Two consecutive stages, blocks of m >= 8 and then m/2, in one pass. A group of 2m
// elements depends only on itself through both stages: the first stage's four half-blocks
// stay in registers and feed the second stage's four output blocks.
template <bool kReal>
[[gnu::always_inline]] inline void FusedWideStages(int n, int m, const double* tc1,
                                                   const double* ts1, const double* tc2,
                                                   const double* ts2,
                                                   const double* __restrict sRe,
                                                   const double* __restrict sIm,
                                                   double* __restrict dRe,
                                                   double* __restrict dIm) {
  const int h = m / 2;
  const int groups = n / (2 * m);
  for (int g = 0; g < groups; ++g) {
    V4 c0, s0, c1, s1, u0, v0, u1, v1, u2, v2, u3, v3;
    Broadcast(c0, tc1[2 * g]);
    Broadcast(s0, ts1[2 * g]);
    Broadcast(c1, tc1[2 * g + 1]);
    Broadcast(s1, ts1[2 * g + 1]);
    Broadcast(u0, tc2[4 * g]);
    Broadcast(v0, ts2[4 * g]);
    Broadcast(u1, tc2[4 * g + 1]);
    Broadcast(v1, ts2[4 * g + 1]);
    Broadcast(u2, tc2[4 * g + 2]);
    Broadcast(v2, ts2[4 * g + 2]);
    Broadcast(u3, tc2[4 * g + 3]);
    Broadcast(v3, ts2[4 * g + 3]);
    const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(g) * 2 * m;
    for (std::ptrdiff_t l = r; l < r + h; l += 4) {
      CV aLo, aHi, bLo, bHi;
      Load<kReal>(aLo, sRe, sIm, l);
      Load<kReal>(aHi, sRe, sIm, l + h);
      Load<kReal>(bLo, sRe, sIm, l + m);
      Load<kReal>(bHi, sRe, sIm, l + m + h);
      CV x0Lo, x0Hi, x1Lo, x1Hi, y;
      Butterfly(x0Lo, aLo, bLo, c0, s0);
      Butterfly(x0Hi, aHi, bHi, c0, s0);
      Butterfly(x1Lo, aLo, bLo, c1, s1);
      Butterfly(x1Hi, aHi, bHi, c1, s1);
      Butterfly(y, x0Lo, x0Hi, u0, v0);
      Store(dRe + l, dIm + l, y);
      Butterfly(y, x0Lo, x0Hi, u1, v1);
      Store(dRe + l + h, dIm + l + h, y);
      Butterfly(y, x1Lo, x1Hi, u2, v2);
      Store(dRe + l + m, dIm + l + m, y);
      Butterfly(y, x1Lo, x1Hi, u3, v3);
      Store(dRe + l + m + h, dIm + l + m + h, y);
    }
  }
}

// The last two stages (blocks of 2, then of 1) of the aligned group of four elements at j,
// which depends only on itself, divided by n. n is a power of two, so multiplying by the
// exact reciprocal 1/n (vinv) rounds to the very double the division gives, and costs far
// less than a vector division. pairCos/pairSin are the stage table of the blocks-of-2 stage
// (one entry per pair), lastCos/lastSin that of the last stage (one entry per element).
template <bool kReal>
[[gnu::always_inline]] inline void TailGroup(CV& z, int j, const double* sRe, const double* sIm,
                                             const double* pairCos, const double* pairSin,
                                             const double* lastCos, const double* lastSin,
                                             const V4& vinv) {
  CV x, a, b, y;
  V4 c, s;
  Load<kReal>(x, sRe, sIm, j);
  // Blocks of 2: a = elements (j, j+1), b = (j+2, j+3), for outputs j .. j+3.
  a.re = __builtin_shufflevector(x.re, x.re, 0, 1, 0, 1);
  a.im = __builtin_shufflevector(x.im, x.im, 0, 1, 0, 1);
  b.re = __builtin_shufflevector(x.re, x.re, 2, 3, 2, 3);
  b.im = __builtin_shufflevector(x.im, x.im, 2, 3, 2, 3);
  // The blocks-of-2 stage has one twiddle per pair of elements: entries j/2 and j/2 + 1.
  V2 c2, s2;
  __builtin_memcpy(&c2, pairCos + j / 2, sizeof c2);
  __builtin_memcpy(&s2, pairSin + j / 2, sizeof s2);
  c = __builtin_shufflevector(c2, c2, 0, 0, 1, 1);
  s = __builtin_shufflevector(s2, s2, 0, 0, 1, 1);
  Butterfly(y, a, b, c, s);
  // Blocks of 1: a = element 2g, b = element 2g + 1.
  a.re = __builtin_shufflevector(y.re, y.re, 0, 0, 2, 2);
  a.im = __builtin_shufflevector(y.im, y.im, 0, 0, 2, 2);
  b.re = __builtin_shufflevector(y.re, y.re, 1, 1, 3, 3);
  b.im = __builtin_shufflevector(y.im, y.im, 1, 1, 3, 3);
  __builtin_memcpy(&c, lastCos + j, sizeof c);
  __builtin_memcpy(&s, lastSin + j, sizeof s);
  Butterfly(x, a, b, c, s);
  z.re = x.re * vinv;
  z.im = x.im * vinv;
}

// The tail for n = 4 and 8: element j goes to bin reversal[j] one by one.
template <bool kReal>
[[gnu::always_inline]] inline void TailStagesScattered(
    int n, const double* pairCos, const double* pairSin, const double* lastCos,
    const double* lastSin, const uint32_t* reversal, const double* __restrict sRe,
    const double* __restrict sIm, Complex* __restrict out, double* __restrict mag) {
  V4 vinv;
  Broadcast(vinv, 1.0 / static_cast<double>(n));
  for (int j = 0; j < n; j += 4) {
    CV z;
    TailGroup<kReal>(z, j, sRe, sIm, pairCos, pairSin, lastCos, lastSin, vinv);
    for (int k = 0; k < 4; ++k) {
      Complex& o = out[reversal[j + k]];
      o.re = z.re[k];
      o.im = z.im[k];
    }
  }
  for (int k = 0; k < n / 2; ++k) mag[k] = std::sqrt(out[k].re * out[k].re + out[k].im * out[k].im);
}

// dst[k] = sqrt(x[k]). The square root is correctly rounded however it is computed; the
// SSE2 form only avoids the scalar call path that std::sqrt keeps for errno.
[[gnu::always_inline]] inline void Sqrt4(double* dst, const V4& x) {
#if defined(__SSE2__) && !defined(TONAMIRA_PORTABLE)
  __m128d lo, hi;
  __builtin_memcpy(&lo, &x, sizeof lo);
  __builtin_memcpy(&hi, reinterpret_cast<const char*>(&x) + sizeof lo, sizeof hi);
  _mm_storeu_pd(dst, _mm_sqrt_pd(lo));
  _mm_storeu_pd(dst + 2, _mm_sqrt_pd(hi));
#else
  for (int k = 0; k < 4; ++k) dst[k] = std::sqrt(x[k]);
#endif
}

// Rows a, b, c, d become columns: a = (a0 b0 c0 d0), b = (a1 b1 c1 d1), and so on.
[[gnu::always_inline]] inline void Transpose(V4& a, V4& b, V4& c, V4& d) {
  const V4 t0 = __builtin_shufflevector(a, b, 0, 4, 2, 6);
  const V4 t1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
  const V4 t2 = __builtin_shufflevector(c, d, 0, 4, 2, 6);
  const V4 t3 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
  a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  b = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  c = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Stores four complex values (real parts re, imaginary parts im) at out[0 .. 3] and, for
// bins below n/2, their magnitudes.
[[gnu::always_inline]] inline void StoreBins(Complex* out, double* mag, const V4& re,
                                             const V4& im) {
  const V4 lo = __builtin_shufflevector(re, im, 0, 4, 1, 5);
  const V4 hi = __builtin_shufflevector(re, im, 2, 6, 3, 7);
  __builtin_memcpy(static_cast<void*>(out), &lo, sizeof lo);
  __builtin_memcpy(static_cast<void*>(out + 2), &hi, sizeof hi);
  if (mag != nullptr) Sqrt4(mag, re * re + im * im);
}

// The tail for n >= 16. Element 4g + k lands in bin ReverseBits(c, c-2, g) + rev2(k) * n/4
// (rev2 reversing two bits), so taking the groups g in the order of their bins p, four at a
// time, fills four consecutive bins in each quarter of the output. groupAt[p] is the group
// of bin p. Bins in the first two quarters also get their magnitudes.
[[gnu::always_inline]] inline void TailStagesInOrder(
    int n, const double* pairCos, const double* pairSin, const double* lastCos,
    const double* lastSin, const uint32_t* groupAt, const double* __restrict sRe,
    const double* __restrict sIm, Complex* __restrict out, double* __restrict mag) {
  V4 vinv;
  Broadcast(vinv, 1.0 / static_cast<double>(n));
  const int quarter = n / 4;
  for (int p = 0; p < quarter; p += 4) {
    CV z0, z1, z2, z3;
    TailGroup<false>(z0, static_cast<int>(4 * groupAt[p]), sRe, sIm, pairCos, pairSin, lastCos,
              lastSin, vinv);
    TailGroup<false>(z1, static_cast<int>(4 * groupAt[p + 1]), sRe, sIm, pairCos, pairSin, lastCos,
              lastSin, vinv);
    TailGroup<false>(z2, static_cast<int>(4 * groupAt[p + 2]), sRe, sIm, pairCos, pairSin, lastCos,
              lastSin, vinv);
    TailGroup<false>(z3, static_cast<int>(4 * groupAt[p + 3]), sRe, sIm, pairCos, pairSin, lastCos,
              lastSin, vinv);
    Transpose(z0.re, z1.re, z2.re, z3.re);
    Transpose(z0.im, z1.im, z2.im, z3.im);
    // Lane k of every group goes to quarter rev2(k): lanes 0, 1, 2, 3 to quarters 0, 2, 1, 3.
    StoreBins(out + p, mag + p, z0.re, z0.im);
    StoreBins(out + p + 2 * quarter, nullptr, z1.re, z1.im);
    StoreBins(out + p + quarter, mag + p + quarter, z2.re, z2.im);
    StoreBins(out + p + 3 * quarter, nullptr, z3.re, z3.im);
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
// stage f with blocks of m = 2^(c-f) elements uses twiddle ReverseBits(f, f, q) * m in output
// block q, so its table holds 2^f entries, one per block. The stage buffers are split into
// real and imaginary arrays and ping-ponged.
struct FftPlan::Impl {
  std::vector<double> stageCos;      // stage f starts at offset 2^f - 2
  std::vector<double> stageSin;
  std::vector<uint32_t> reversal;    // full c-bit reversal of each index
  std::vector<uint32_t> groupAt;     // n >= 16: the group of four elements of bin p < n/4
  mutable std::vector<double> re[2];  // scratch: used by Run, so a plan runs on one thread
  mutable std::vector<double> im[2];
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
  p.reversal.resize(un);
  for (uint32_t j = 0; j < static_cast<uint32_t>(n); ++j) p.reversal[j] = ReverseBits(c, c, j);
  if (c >= 4) {
    p.groupAt.resize(un / 4);
    for (uint32_t q = 0; q < static_cast<uint32_t>(n / 4); ++q)
      p.groupAt[q] = ReverseBits(c - 2, c - 2, q);
  }
  for (auto* v : {&p.re[0], &p.re[1], &p.im[0], &p.im[1]}) v->assign(un, 0.0);

  window_.resize(un);
  for (int j = 0; j < n; ++j) window_[j] = HammingWeight(j, n);
}

FftPlan::~FftPlan() = default;

namespace {

// One pass over stages f (and f + 1 when fused) for the len elements from r on; r is a
// multiple of the pass's group size, so the group index, and with it the twiddles, is
// offset by r / (2m).
struct WidePass {
  int f;
  bool fused;
};

inline constexpr int kMaxFftExponent = 12;
inline constexpr int kCacheBlock = 256;  // elements; 4 KiB per real or imaginary array

template <bool kReal>
[[gnu::always_inline]] inline void RunWidePass(const WidePass& pass, int c, int len,
                                               std::ptrdiff_t r, const double* stageCos,
                                               const double* stageSin, const double* sRe,
                                               const double* sIm, double* dRe, double* dIm) {
  const int m = 1 << (c - pass.f);
  const std::ptrdiff_t t = r / m;  // 2 * (r / (2m)): the first twiddle of the range
  const double* tc = stageCos + ((std::ptrdiff_t{1} << pass.f) - 2) + t;
  const double* ts = stageSin + ((std::ptrdiff_t{1} << pass.f) - 2) + t;
  if (pass.fused) {
    const double* uc = stageCos + ((std::ptrdiff_t{1} << (pass.f + 1)) - 2) + 2 * t;
    const double* us = stageSin + ((std::ptrdiff_t{1} << (pass.f + 1)) - 2) + 2 * t;
    FusedWideStages<kReal>(len, m, tc, ts, uc, us, sRe + r, kReal ? nullptr : sIm + r, dRe + r,
                           dIm + r);
  } else {
    WideStage<kReal>(len, m, tc, ts, sRe + r, kReal ? nullptr : sIm + r, dRe + r, dIm + r);
  }
}

// All stages, the placement into natural bin order and the magnitudes. Compiled twice, for
// AVX2 and for the baseline, and chosen at load time; the arithmetic per element is the same
// in both, so the doubles are too. The first stage reads the real input straight from
// `input`, with +0.0 for every imaginary part.
TONAMIRA_VECTOR_CLONES
void RunStages(int n, int c, const double* input, const double* stageCos,
               const double* stageSin, const uint32_t* reversal, const uint32_t* groupAt, double* re0, double* im0,
               double* re1, double* im1, Complex* out, double* mag) {
  if (c == 1) {
    // n == 2: the last stage alone.
    const double dn = static_cast<double>(n);
    for (int j = 0; j < 2; ++j) {
      out[j].re = ((input[0] + input[1] * stageCos[j]) - 0.0 * stageSin[j]) / dn;
      out[j].im = ((0.0 + input[1] * stageSin[j]) + 0.0 * stageCos[j]) / dn;
    }
    mag[0] = std::sqrt(out[0].re * out[0].re + out[0].im * out[0].im);
  } else {
    const double* sRe = input;
    const double* sIm = nullptr;  // the input frame is real
    double* dRe = re0;
    double* dIm = im0;
    auto advance = [&] {
      sRe = dRe;
      sIm = dIm;
      dRe = dRe == re0 ? re1 : re0;
      dIm = dIm == im0 ? im1 : im0;
    };
    auto cosOf = [&](int f) { return stageCos + ((std::size_t{1} << f) - 2); };
    auto sinOf = [&](int f) { return stageSin + ((std::size_t{1} << f) - 2); };
    // Stages 1 .. c-2 have blocks of at least 4; they run in fused pairs, the first one alone
    // when their number is odd. Stages c-1 and c form the tail.
    WidePass passes[kMaxFftExponent];
    int count = 0;
    int f = 1;
    if ((c - 2) % 2 == 1) passes[count++] = WidePass{f++, false};
    for (; f + 1 <= c - 2; f += 2) passes[count++] = WidePass{f, true};
    // A pass works on independent groups of 2m elements. Passes whose groups span more than
    // a cache block run over the whole frame; the later ones run block by block, each block
    // going through all of them while it is in the cache.
    const int block = n < kCacheBlock ? n : kCacheBlock;
    int i = 0;
    for (; i < count && (2 << (c - passes[i].f)) > block; ++i) {
      if (sIm == nullptr)
        RunWidePass<true>(passes[i], c, n, 0, stageCos, stageSin, sRe, sIm, dRe, dIm);
      else
        RunWidePass<false>(passes[i], c, n, 0, stageCos, stageSin, sRe, sIm, dRe, dIm);
      advance();
    }
    if (i < count) {
      for (int r = 0; r < n; r += block) {
        const double* bsRe = sRe;
        const double* bsIm = sIm;
        double* bdRe = dRe;
        double* bdIm = dIm;
        for (int k = i; k < count; ++k) {
          if (bsIm == nullptr)
            RunWidePass<true>(passes[k], c, block, r, stageCos, stageSin, bsRe, bsIm, bdRe, bdIm);
          else
            RunWidePass<false>(passes[k], c, block, r, stageCos, stageSin, bsRe, bsIm, bdRe,
                               bdIm);
          bsRe = bdRe;
          bsIm = bdIm;
          bdRe = bdRe == re0 ? re1 : re0;
          bdIm = bdIm == im0 ? im1 : im0;
        }
      }
      for (; i < count; ++i) advance();
    }
    if (n >= 16)  // at least two stages have run, so sIm is set
      TailStagesInOrder(n, cosOf(c - 1), sinOf(c - 1), cosOf(c), sinOf(c), groupAt, sRe, sIm,
                        out, mag);
    else if (sIm == nullptr)  // n == 4: the tail is the whole transform
      TailStagesScattered<true>(n, cosOf(c - 1), sinOf(c - 1), cosOf(c), sinOf(c), reversal,
                                sRe, sIm, out, mag);
    else
      TailStagesScattered<false>(n, cosOf(c - 1), sinOf(c - 1), cosOf(c), sinOf(c), reversal,
                                 sRe, sIm, out, mag);
  }
}

}  // namespace

bool FftPlan::Run(const double* input, Complex* out, Complex* /*work*/, double* mag) const {
  if (!valid()) return false;
  const Impl& p = *impl_;
  RunStages(n_, exponent_, input, p.stageCos.data(), p.stageSin.data(),
            p.reversal.data(), p.groupAt.data(),
            p.re[0].data(),
            p.im[0].data(), p.re[1].data(), p.im[1].data(), out, mag);
  return true;
}

}  // namespace tonamira

#pragma once
// The radix-2 transform of one frame.
//
// Result: out[k] = (1/N) * sum_n input[n] * exp(+2*pi*i*k*n/N), in natural bin order, and
// mag[k] = |out[k]| for k = 0 .. N/2 - 1. N must be a power of two from 2 to 4096.
//
// The transform is defined stage by stage: for stage f = 1 .. c-1 (N = 2^c, m = 2^(c-f)),
// every element j gets out[j] = work[j & ~m] + work[j | m] * (cos(h*w) + i*sin(h*w)) with
// h = ReverseBits(c, f, j) * m and w = 2*pi/N; the last stage writes the full bit reversal
// and divides by N. FftLiteral evaluates that definition as written (cos and sin afresh for
// every element, one full copy per stage); FftPlan gives bit-identical doubles from
// precomputed twiddles and ping-ponged stage buffers.

#include <cstdint>
#include <memory>
#include <vector>

namespace tonamira {

struct Complex {
  double re = 0.0;
  double im = 0.0;
  friend bool operator==(const Complex&, const Complex&) = default;
};

inline constexpr double kTwoPi = 6.283185307179586477;
inline constexpr int kMaxFftSize = 4096;

// c-bit index j: take its top f bits (j >> (c - f)) and reverse their order. Needs
// 0 < f <= c <= 32; otherwise the result is 0.
uint32_t ReverseBits(int c, int f, uint32_t j);

// Exponent c with 2^c == n for n = 2 .. 4096, or 0 when n is not accepted.
int FftExponent(int n);

// The literal form: the reference the fast path must match double for double.
// Returns false, with nothing written, when n is not accepted.
bool FftLiteral(int n, const double* input, Complex* out, Complex* work, double* mag);

// Precomputed per frame length: twiddles, the stage schedule and the Hamming window.
// Building a plan allocates; Run() does not.
class FftPlan {
 public:
  // n must be accepted by FftExponent; otherwise valid() is false and Run() returns false.
  explicit FftPlan(int n);
  ~FftPlan();
  FftPlan(const FftPlan&) = delete;
  FftPlan& operator=(const FftPlan&) = delete;

  bool valid() const { return exponent_ != 0; }
  int size() const { return n_; }

  // Same contract and same doubles as FftLiteral. work is not touched: the plan ping-pongs
  // between stage buffers of its own (it is taken so that a call reads like the literal
  // form's). Those buffers live in the plan, so one plan must not run on two threads at once.
  bool Run(const double* input, Complex* out, Complex* work, double* mag) const;

  // Hamming weight of sample j: 0.54 - 0.46 * cos(2*pi*j / (n - 1)), evaluated exactly as
  // the frame reader would evaluate it afresh.
  const double* window() const { return window_.data(); }

 private:
  struct Impl;
  int n_ = 0;
  int exponent_ = 0;
  std::vector<double> window_;
  std::unique_ptr<Impl> impl_;
};

// Hamming weight of sample j of an n-sample frame, evaluated afresh (the reference). A frame
// of fewer than two samples has no cosine period; its weight is 0.54 - 0.46.
double HammingWeight(int j, int n);

}  // namespace tonamira

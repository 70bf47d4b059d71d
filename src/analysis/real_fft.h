#pragma once
// A transform of real frames for the pitch tracker's correlations: a power-of-two real
// sequence to its half spectrum and back, through a complex transform of half the length.
// Unlike FftPlan (the window's own transform, whose doubles are fixed), this one works in
// single precision and orders its arithmetic for speed: the tracker needs its correlations
// to about seven digits of the frame's energy, and refines every period it reports from the
// samples themselves in double precision.

#include <cstdint>
#include <vector>

namespace tonamira {

class RealFft {
 public:
  // n must be a power of two from 4 to 65536; otherwise valid() is false and nothing runs.
  explicit RealFft(int n);

  bool valid() const { return n_ != 0; }
  int size() const { return n_; }

  // X[k] = sum_j x[j] exp(-2 pi i j k / n) for k = 0 .. n/2 into re[k], im[k] (n/2 + 1
  // entries each; im[0] and im[n/2] are 0).
  void Forward(const float* x, float* re, float* im);

  // The inverse: x[j] = (1/n) sum_k X[k] exp(+2 pi i j k / n) over the whole spectrum, whose
  // upper half is the conjugate mirror of the n/2 + 1 given bins. Only the real parts of
  // bins 0 and n/2 are read.
  void Inverse(const float* re, const float* im, float* x);

 private:
  int n_ = 0;
  int m_ = 0;  // n / 2, the complex length
  std::vector<uint32_t> reversed_;  // bit-reversal of the indices 0 .. m - 1
  std::vector<float> stageCos_, stageSin_;  // butterfly twiddles, stage with half h at h .. 2h-1
  std::vector<float> splitCos_, splitSin_;  // exp(-2 pi i k / n), k = 0 .. m
  std::vector<float> zr_, zi_;              // scratch
};

}  // namespace tonamira

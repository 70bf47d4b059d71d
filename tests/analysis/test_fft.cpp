// Tests of the transform: the literal definition against known spectra, and the planned
// transform against the literal one double for double.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "analysis/fft.h"

namespace tonamira {
namespace {

std::vector<int> AcceptedSizes() {
  std::vector<int> sizes;
  for (int n = 2; n <= kMaxFftSize; n *= 2) sizes.push_back(n);
  return sizes;
}

// Runs the literal transform; out and mag are returned by value for comparisons.
struct Result {
  std::vector<Complex> out;
  std::vector<double> mag;
};

Result Literal(const std::vector<double>& input) {
  const int n = static_cast<int>(input.size());
  Result r{std::vector<Complex>(n), std::vector<double>(n / 2)};
  std::vector<Complex> work(n);
  EXPECT_TRUE(FftLiteral(n, input.data(), r.out.data(), work.data(), r.mag.data()));
  return r;
}

Result Planned(const FftPlan& plan, const std::vector<double>& input) {
  const int n = static_cast<int>(input.size());
  Result r{std::vector<Complex>(n), std::vector<double>(n / 2)};
  std::vector<Complex> work(n);
  EXPECT_TRUE(plan.Run(input.data(), r.out.data(), work.data(), r.mag.data()));
  return r;
}

// Index of the first double whose bits differ, or -1 when every bit matches.
long FirstBitDifference(const double* a, const double* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return static_cast<long>(i);
  return -1;
}

enum class Fill { kUniform, kZeros, kLarge, kDenormal, kMixedScales, kPcm16 };

std::vector<double> MakeInput(int n, Fill fill, uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<double> x(n);
  for (int j = 0; j < n; ++j) {
    switch (fill) {
      case Fill::kUniform: x[j] = unit(rng); break;
      case Fill::kZeros: x[j] = 0.0; break;
      case Fill::kLarge: x[j] = unit(rng) * 1e300; break;
      case Fill::kDenormal:
        x[j] = unit(rng) * std::numeric_limits<double>::denorm_min() * 1e6;
        break;
      case Fill::kMixedScales: x[j] = unit(rng) * std::ldexp(1.0, static_cast<int>(rng() % 200) - 100); break;
      case Fill::kPcm16: x[j] = std::round(unit(rng) * 32767.0) * HammingWeight(j, n); break;
    }
  }
  if (fill == Fill::kDenormal && n > 3) {
    x[1] = -0.0;
    x[2] = std::numeric_limits<double>::denorm_min();
  }
  return x;
}

TEST(FftPlan, MatchesLiteralBitForBitForEverySize) {
  const struct {
    Fill fill;
    uint32_t seed;
  } cases[] = {
      {Fill::kUniform, 1},   {Fill::kUniform, 2},      {Fill::kZeros, 3},
      {Fill::kLarge, 4},     {Fill::kDenormal, 5},     {Fill::kMixedScales, 6},
      {Fill::kPcm16, 7},
  };
  for (int n : AcceptedSizes()) {
    const FftPlan plan(n);
    ASSERT_TRUE(plan.valid()) << n;
    ASSERT_EQ(plan.size(), n);
    for (const auto& c : cases) {
      const std::vector<double> input = MakeInput(n, c.fill, c.seed * 7919u + static_cast<uint32_t>(n));
      const Result want = Literal(input);
      const Result got = Planned(plan, input);
      EXPECT_EQ(FirstBitDifference(&want.out[0].re, &got.out[0].re, 2 * static_cast<std::size_t>(n)), -1)
          << "out differs, n=" << n << " fill=" << static_cast<int>(c.fill);
      EXPECT_EQ(FirstBitDifference(want.mag.data(), got.mag.data(), want.mag.size()), -1)
          << "mag differs, n=" << n << " fill=" << static_cast<int>(c.fill);
    }
  }
}

TEST(FftPlan, RepeatedRunsGiveTheSameResult) {
  // The plan keeps its stage buffers between runs; a run must not depend on the last one.
  const FftPlan plan(1024);
  const std::vector<double> first = MakeInput(1024, Fill::kUniform, 11);
  const std::vector<double> second = MakeInput(1024, Fill::kLarge, 12);
  const Result a = Planned(plan, first);
  Planned(plan, second);
  const Result b = Planned(plan, first);
  EXPECT_EQ(FirstBitDifference(&a.out[0].re, &b.out[0].re, 2048), -1);
  EXPECT_EQ(FirstBitDifference(a.mag.data(), b.mag.data(), 512), -1);
}

TEST(Fft, RejectedSizesWriteNothing) {
  const Complex sentinel{-7.25, 3.5};
  for (int n : {0, 1, 3, 6, 1000, 8192, -2, -4096, 4097, 1 << 20}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(FftExponent(n), 0);
    std::vector<double> input(16, 1.0);
    std::vector<Complex> out(16, sentinel), work(16, sentinel);
    std::vector<double> mag(16, 42.0);
    EXPECT_FALSE(FftLiteral(n, input.data(), out.data(), work.data(), mag.data()));
    const FftPlan plan(n);
    EXPECT_FALSE(plan.valid());
    EXPECT_FALSE(plan.Run(input.data(), out.data(), work.data(), mag.data()));
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(out[i], sentinel);
      EXPECT_EQ(work[i], sentinel);
      EXPECT_EQ(mag[i], 42.0);
    }
  }
}

TEST(Fft, ExponentOfAcceptedSizes) {
  int c = 1;
  for (int n : AcceptedSizes()) EXPECT_EQ(FftExponent(n), c++) << n;
}

TEST(Fft, ReverseBits) {
  const struct {
    int c, f;
    uint32_t j, want;
  } cases[] = {
      {3, 3, 0b001, 0b100}, {3, 3, 0b110, 0b011}, {3, 1, 0b100, 1},       {3, 1, 0b011, 0},
      {3, 2, 0b110, 0b11},  {3, 2, 0b100, 0b01},  {4, 2, 0b1000, 0b01},   {12, 12, 1, 2048},
      {12, 12, 4095, 4095}, {5, 0, 31, 0},        {2, 3, 3, 0},           {1, 1, 1, 1},
  };
  for (const auto& k : cases)
    EXPECT_EQ(ReverseBits(k.c, k.f, k.j), k.want) << k.c << " " << k.f << " " << k.j;
}

// The known spectra hold for both paths.
using Transform = bool (*)(int, const double*, Complex*, Complex*, double*);

bool RunPlanned(int n, const double* input, Complex* out, Complex* work, double* mag) {
  const FftPlan plan(n);
  return plan.Run(input, out, work, mag);
}

class KnownSpectra : public ::testing::TestWithParam<Transform> {
 protected:
  Result Run(const std::vector<double>& input) {
    const int n = static_cast<int>(input.size());
    Result r{std::vector<Complex>(n), std::vector<double>(n / 2)};
    std::vector<Complex> work(n);
    EXPECT_TRUE(GetParam()(n, input.data(), r.out.data(), work.data(), r.mag.data()));
    return r;
  }
};

TEST_P(KnownSpectra, AllZeroFrameGivesZeroMagnitudes) {
  for (int n : {2, 8, 256, 2048}) {
    const Result r = Run(std::vector<double>(n, 0.0));
    for (double m : r.mag) EXPECT_EQ(m, 0.0);
    for (const Complex& c : r.out) {
      EXPECT_EQ(c.re, 0.0);
      EXPECT_EQ(c.im, 0.0);
    }
  }
}

TEST_P(KnownSpectra, ImpulseOfEight) {
  std::vector<double> input(8, 0.0);
  input[0] = 1.0;
  const Result r = Run(input);
  for (const Complex& c : r.out) {
    EXPECT_EQ(c.re, 0.125);
    EXPECT_EQ(c.im, 0.0);
  }
  ASSERT_EQ(r.mag.size(), 4u);
  for (double m : r.mag) EXPECT_EQ(m, 0.125);
}

TEST_P(KnownSpectra, TwoPointsRunOnlyTheLastStage) {
  const struct {
    double x0, x1;
  } cases[] = {{3.0, 1.0}, {-2.5, 4.0}, {0.0, 0.0}, {1e300, -1e300}};
  for (const auto& k : cases) {
    const Result r = Run({k.x0, k.x1});
    EXPECT_DOUBLE_EQ(r.out[0].re, (k.x0 + k.x1) / 2);
    EXPECT_DOUBLE_EQ(r.out[1].re, (k.x0 - k.x1) / 2);
    EXPECT_NEAR(r.out[0].im, 0.0, 1e-16 * std::abs(k.x1));
    EXPECT_NEAR(r.out[1].im, 0.0, 1e-15 * std::abs(k.x1));
    EXPECT_DOUBLE_EQ(r.mag[0], std::abs((k.x0 + k.x1) / 2));
  }
}

TEST_P(KnownSpectra, CosineAndSineAtABin) {
  const struct {
    int n, k;
  } cases[] = {{8, 1}, {8, 3}, {64, 5}, {1024, 100}, {2048, 47}, {4096, 2047}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "n=" << c.n << " k=" << c.k);
    std::vector<double> cosine(c.n), sine(c.n);
    for (int j = 0; j < c.n; ++j) {
      const double angle = kTwoPi * c.k * j / c.n;
      cosine[j] = std::cos(angle);
      sine[j] = std::sin(angle);
    }
    const Result rc = Run(cosine);
    const Result rs = Run(sine);
    EXPECT_NEAR(rc.mag[c.k], 0.5, 1e-12);
    EXPECT_NEAR(rc.out[c.k].re, 0.5, 1e-12);
    EXPECT_NEAR(rc.out[c.k].im, 0.0, 1e-12);
    // The positive exponent puts +0.5 in the imaginary part of a sine's bin.
    EXPECT_NEAR(rs.out[c.k].re, 0.0, 1e-12);
    EXPECT_NEAR(rs.out[c.k].im, 0.5, 1e-12);
    EXPECT_NEAR(rs.mag[c.k], 0.5, 1e-12);
    for (int b = 0; b < c.n / 2; ++b) {
      if (b == c.k) continue;
      EXPECT_NEAR(rc.mag[b], 0.0, 1e-12) << b;
      EXPECT_NEAR(rs.mag[b], 0.0, 1e-12) << b;
    }
  }
}

TEST_P(KnownSpectra, AgreesWithADirectSum) {
  const int n = 64;
  const std::vector<double> input = MakeInput(n, Fill::kUniform, 99);
  const Result r = Run(input);
  for (int k = 0; k < n; ++k) {
    double re = 0.0, im = 0.0;
    for (int j = 0; j < n; ++j) {
      const double angle = kTwoPi * static_cast<double>(k) * j / n;
      re += input[j] * std::cos(angle);
      im += input[j] * std::sin(angle);
    }
    EXPECT_NEAR(r.out[k].re, re / n, 1e-13) << k;
    EXPECT_NEAR(r.out[k].im, im / n, 1e-13) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, KnownSpectra, ::testing::Values(&FftLiteral, &RunPlanned),
                         [](const auto& param) { return param.index == 0 ? "Literal" : "Planned"; });

TEST(Window, PlanTableEqualsHammingWeightBitForBit) {
  for (int n : AcceptedSizes()) {
    const FftPlan plan(n);
    std::vector<double> want(n);
    for (int j = 0; j < n; ++j) want[j] = HammingWeight(j, n);
    EXPECT_EQ(FirstBitDifference(want.data(), plan.window(), want.size()), -1) << n;
    EXPECT_NEAR(plan.window()[0], 0.08, 1e-15) << n;
    EXPECT_NEAR(plan.window()[n - 1], 0.08, 1e-15) << n;
  }
}

TEST(Window, ShapeOfHammingWeight) {
  EXPECT_EQ(HammingWeight(0, 2048), 0.54 - 0.46);
  EXPECT_NEAR(HammingWeight(2047, 2048), 0.08, 1e-15);
  // The middle of an odd-length window is its peak of 1.0.
  EXPECT_NEAR(HammingWeight(4, 9), 1.0, 1e-15);
  EXPECT_NEAR(HammingWeight(1023, 2048), HammingWeight(1024, 2048), 1e-15);
  // Degenerate lengths give the end weight instead of a division by zero.
  EXPECT_EQ(HammingWeight(0, 1), 0.54 - 0.46);
  EXPECT_EQ(HammingWeight(0, 0), 0.54 - 0.46);
}

}  // namespace
}  // namespace tonamira

// Tests of the tracker's real transform against the transform's definition.
#include "analysis/real_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace tonamira {
namespace {

TEST(RealFft, MatchesTheDefinitionAndInvertsAtEverySize) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {4, 8, 16, 32, 64, 128, 1024, 2048}) {
    RealFft fft(n);
    ASSERT_TRUE(fft.valid()) << n;
    std::vector<float> x(static_cast<size_t>(n)), re(static_cast<size_t>(n / 2 + 1)),
        im(static_cast<size_t>(n / 2 + 1)), back(static_cast<size_t>(n));
    for (float& v : x) v = static_cast<float>(u(rng));
    fft.Forward(x.data(), re.data(), im.data());
    // Single precision: errors grow with the sum of n terms of size 1.
    const double tolerance = 1e-6 * n;
    for (int k = 0; k <= n / 2; ++k) {
      double sr = 0.0, si = 0.0;
      for (int j = 0; j < n; ++j) {
        const double angle = -2.0 * M_PI * static_cast<double>(j) * k / n;
        sr += x[static_cast<size_t>(j)] * std::cos(angle);
        si += x[static_cast<size_t>(j)] * std::sin(angle);
      }
      EXPECT_NEAR(re[static_cast<size_t>(k)], sr, tolerance) << "n " << n << " bin " << k;
      EXPECT_NEAR(im[static_cast<size_t>(k)], si, tolerance) << "n " << n << " bin " << k;
    }
    fft.Inverse(re.data(), im.data(), back.data());
    for (int j = 0; j < n; ++j)
      EXPECT_NEAR(back[static_cast<size_t>(j)], x[static_cast<size_t>(j)], 1e-5) << n << " " << j;
  }
}

TEST(RealFft, RefusesSizesItCannotTransform) {
  for (int n : {0, 2, 3, 6, 1000, -8, 131072}) EXPECT_FALSE(RealFft(n).valid()) << n;
}

TEST(RealFft, ACosineLandsInItsBin) {
  const int n = 256;
  RealFft fft(n);
  std::vector<float> x(n), re(n / 2 + 1), im(n / 2 + 1);
  for (int j = 0; j < n; ++j) x[static_cast<size_t>(j)] = static_cast<float>(std::cos(2.0 * M_PI * 10.0 * j / n));
  fft.Forward(x.data(), re.data(), im.data());
  EXPECT_NEAR(re[10], n / 2.0, 1e-3);
  for (int k = 0; k <= n / 2; ++k) {
    if (k == 10) continue;
    EXPECT_NEAR(std::hypot(re[static_cast<size_t>(k)], im[static_cast<size_t>(k)]), 0.0, 1e-3) << k;
  }
}

}  // namespace
}  // namespace tonamira

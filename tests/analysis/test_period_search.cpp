#include "analysis/period_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace tonamira {
namespace {

// Every lag of minLag + 1 .. maxLag - 1 no higher than both its neighbours, by depth.
std::vector<int> AllDipsByDepth(const PeriodSearch& search, int from, int to) {
  const auto& d = search.normalizedDifference();
  std::vector<int> dips;
  for (int t = std::max(from, search.minLag() + 1); t <= std::min(to, search.maxLag() - 1); ++t)
    if (d[static_cast<size_t>(t)] <= d[static_cast<size_t>(t - 1)] &&
        d[static_cast<size_t>(t)] <= d[static_cast<size_t>(t + 1)])
      dips.push_back(t);
  std::stable_sort(dips.begin(), dips.end(), [&](int a, int b) {
    return d[static_cast<size_t>(a)] < d[static_cast<size_t>(b)];
  });
  return dips;
}

TEST(PeriodSearch, TheDeepestDipsAreTheDeepestLocalMinimaInOrder) {
  // Voice-like frames (a few partials in noise of several levels), whose d' has dozens of
  // dips: the lists kept for 1 .. 6 dips and the deepest dip of a lag window are those of a
  // full sort of all of them (and a window past the lags holds none).
  PeriodSearch search(2048, 5, 735);
  ASSERT_TRUE(search.valid());
  std::mt19937 rng(11);
  for (double noise : {0.0, 0.05, 0.3, 1.0}) {
    for (double f0 : {95.0, 210.0, 640.0}) {
      std::normal_distribution<double> g(0.0, noise);
      std::vector<double> x(2048);
      for (size_t j = 0; j < x.size(); ++j) {
        const double phase = 2.0 * M_PI * f0 * static_cast<double>(j) / 44100.0;
        x[j] = 0.2 * std::sin(phase) + 0.3 * std::sin(2.0 * phase + 0.5) +
               0.1 * std::sin(3.0 * phase) + (noise > 0.0 ? g(rng) : 0.0);
      }
      search.Analyze(x.data());
      const std::vector<int> all = AllDipsByDepth(search, 0, 1 << 20);
      ASSERT_FALSE(all.empty());
      for (int count = 1; count <= 6; ++count) {
        std::vector<int> kept(static_cast<size_t>(count));
        const int found = search.DeepestDips(kept.data(), count);
        ASSERT_EQ(found, std::min<int>(count, static_cast<int>(all.size())));
        for (int k = 0; k < found; ++k)
          EXPECT_EQ(kept[static_cast<size_t>(k)], all[static_cast<size_t>(k)])
              << f0 << " Hz, noise " << noise << ", " << k << " of " << count;
      }
      const std::pair<int, int> windows[] = {
          {6, 60}, {100, 300}, {400, 734}, {200, 202}, {736, 900}};
      for (const auto& [from, to] : windows) {
        const std::vector<int> inside = AllDipsByDepth(search, from, to);
        EXPECT_EQ(search.DeepestDip(from, to), inside.empty() ? -1 : inside.front())
            << f0 << " Hz, noise " << noise << ", lags " << from << ".." << to;
      }
    }
  }
}

}  // namespace
}  // namespace tonamira

#include "synth/mixer.h"

#include <algorithm>
#include <cstdio>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// Fade-out of a tone longer than half a second: 0.005 x 10 s = 50 ms at the sound's rate;
// shorter tones fade over the same share of half a second, a tenth of their length.
constexpr double kFadeSecondsPerTen = 0.005;
constexpr double kFadeTens = 10.0;
constexpr double kFullFadeAbove = 0.5;  // seconds
// The volume is cut to four fifths when the tone would be too loud.
constexpr double kVolumeCut = 0.8;
constexpr double kSecondsPerTenth = 0.1;

}  // namespace

uint32_t HarmonicCount(uint32_t sampleRate, int32_t freq) {
  if (freq < 1) return 0;
  // Half the rate rounded to even: 11025 Hz gives 5512, 22051 Hz gives 11026.
  const auto half = static_cast<uint32_t>(RoundEven(static_cast<double>(sampleRate) / 2.0));
  return std::min<uint32_t>(half / static_cast<uint32_t>(freq), kHarmonics);
}

std::array<int64_t, kHarmonicLabels + 1> HarmonicLabelFrequencies(int32_t freq) {
  std::array<int64_t, kHarmonicLabels + 1> labels{};
  for (int j = 1; j <= kHarmonicLabels; ++j) labels[j] = int64_t{freq} * (2 * j - 1);
  return labels;
}

BarChange HarmonicBarChanged(int k, int32_t position, uint32_t harmonicCount) {
  if (k < 1 || static_cast<uint32_t>(k) > harmonicCount) return {0, true};
  return {kLevelMax - position, false};
}

int32_t BarPositionForLevel(int32_t level) {
  return std::clamp(kBarBottom - level, 0, kBarBottom);
}

void SettleHarmonicBars(HarmonicLevels& levels, HarmonicBarPositions& positions,
                        uint32_t harmonicCount) {
  for (int k = 1; k <= kHarmonics; ++k) {
    const int32_t target = BarPositionForLevel(levels[k]);
    if (target == positions[k]) continue;  // no move, no change handler
    positions[k] = target;
    const BarChange change = HarmonicBarChanged(k, target, harmonicCount);
    // Springing back moves the bar once more; that inner run finds it at the bottom and
    // gives level 0 again.
    if (change.springBack) positions[k] = kBarBottom;
    levels[k] = change.level;
  }
}

void ResetHarmonics(HarmonicLevels& levels, HarmonicPhases& phases) {
  for (int k = 1; k <= kHarmonics; ++k) {
    levels[k] = 0;
    phases[k] = 0.0;
  }
}

int32_t ReducedVolume(int32_t volume) {
  return RoundInt(static_cast<double>(volume) * kVolumeCut);
}

double MixTimeSeconds(int32_t tenths) { return tenths * kSecondsPerTenth; }

int32_t MixTimeTenths(double mixTime) { return RoundInt(mixTime * 10.0); }

std::string MixTimeCaption(double mixTime) {
  // Fifteen significant digits drop the binary noise of tenths x 0.1 (0.30000000000000004
  // reads 0.3) and trailing zeros (1.0 reads 1).
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%.15g", mixTime);
  return std::string(text, static_cast<size_t>(std::max(n, 0)));
}

uint32_t MixBufferBytes(int32_t tenths) {
  return tenths < 1 ? 0u : static_cast<uint32_t>(tenths) * kMixBytesPerTenth;
}

int32_t FadeLength(int32_t recRate, double mixTime) {
  const double full = recRate * kFadeSecondsPerTen * kFadeTens;
  if (mixTime > kFullFadeAbove) return RoundInt(full);
  return RoundInt(full * mixTime / kFullFadeAbove);
}

MixLength MixLengthFor(int32_t tenths, int32_t recRate) {
  MixLength length;
  length.mixTime = MixTimeSeconds(tenths);
  length.bufferBytes = MixBufferBytes(tenths);
  length.fadeLength = FadeLength(recRate, length.mixTime);
  length.caption = MixTimeCaption(length.mixTime);
  return length;
}

uint32_t ToneBytes(int32_t tenths, uint64_t bufferBytes) {
  const uint64_t wanted = MixBufferBytes(tenths);
  return static_cast<uint32_t>(std::min(wanted, bufferBytes) & ~uint64_t{1});
}

}  // namespace tonamira

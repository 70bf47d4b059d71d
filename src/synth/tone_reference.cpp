#include "synth/tone_reference.h"

#include <cmath>

namespace tonamira {
namespace {

void Put(std::span<uint8_t> out, int64_t n, int16_t sample) {
  const auto bits = static_cast<uint16_t>(sample);
  out[static_cast<size_t>(2 * n)] = static_cast<uint8_t>(bits & 0xffu);
  out[static_cast<size_t>(2 * n + 1)] = static_cast<uint8_t>(bits >> 8);
}

}  // namespace

ToneOutcome SynthesizeToneRestarting(const ToneRecipe& recipe, std::span<uint8_t> out) {
  const ToneRecipe t = NormalisedTone(recipe);
  const auto count = static_cast<int64_t>(out.size() / 2);
  const int64_t bodyEnd = ToneBodyEnd(count, t.fadeLength);
  ToneOutcome outcome{t.volume, 0, 0};
  int32_t v = t.volume;

  bool restart = true;
  while (restart) {
    restart = false;
    for (int64_t n = 0; n <= bodyEnd; ++n) {
      const double w = static_cast<double>(v) * HarmonicSum(t, n);
      ++outcome.exactSums;
      if (std::fabs(w) > kBodyLimit) {
        const int32_t next = ReducedVolume(v);
        // Within the normalised ranges a volume that still overflows always drops; the
        // guard only keeps a broken recipe from looping for ever.
        if (next != v) {
          v = next;
          ++outcome.reductions;
          restart = true;
          break;
        }
      }
      Put(out, n, ToneSample(w));
    }
  }
  for (int64_t n = bodyEnd + 1 < 0 ? 0 : bodyEnd + 1; n < count; ++n) {
    const double w = FadeGain(v, n, count, t.fadeLength) * HarmonicSum(t, n);
    ++outcome.exactSums;
    Put(out, n, ToneSample(w));
  }
  outcome.volume = v;
  return outcome;
}

}  // namespace tonamira

// Cost of the mixer's loudest, longest tone: 3 s of twenty harmonics at level 100, volume
// 300, 50 Hz (the volume is cut thirteen times on the way to 17), once by the one-pass
// synthesis the program uses and once by the restarting definition. Both must give the same
// samples; each run checks it against the other's result.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "synth/mixer.h"
#include "synth/tone.h"
#include "synth/tone_reference.h"

namespace tonamira {
namespace {

constexpr int32_t kTenths = kMixTenthsMax;

ToneRecipe WorstCase() {
  ToneRecipe t;
  t.freq = 50;
  t.volume = kVolumeMax;
  t.rate = kToneRate;
  t.harmonicLimit = HarmonicCount(kToneRate, t.freq);
  t.fadeLength = FadeLength(44100, MixTimeSeconds(kTenths));
  for (int k = 1; k <= kHarmonics; ++k) t.levels[k] = kLevelMax;
  return t;
}

template <typename Synthesize, typename Other>
void Measure(benchmark::State& st, Synthesize synthesize, Other other) {
  const ToneRecipe recipe = WorstCase();
  std::vector<uint8_t> tone(MixBufferBytes(kTenths));
  ToneOutcome outcome;
  for (auto _ : st) {
    outcome = synthesize(recipe, std::span<uint8_t>(tone));
    benchmark::DoNotOptimize(tone.data());
    benchmark::ClobberMemory();
  }
  std::vector<uint8_t> check(tone.size());
  const ToneOutcome checked = other(recipe, std::span<uint8_t>(check));
  if (check != tone || checked.volume != outcome.volume)
    st.SkipWithError("the two syntheses gave different tones");
  st.counters["final_volume"] = outcome.volume;
  st.counters["sums_as_defined"] = static_cast<double>(outcome.exactSums);
  st.SetItemsProcessed(st.iterations() * static_cast<int64_t>(tone.size() / 2));
}

void BM_SynthesizeWorstCase(benchmark::State& st) {
  Measure(st, SynthesizeTone, SynthesizeToneRestarting);
}
BENCHMARK(BM_SynthesizeWorstCase)->Unit(benchmark::kMillisecond);

void BM_SynthesizeRestarting(benchmark::State& st) {
  Measure(st, SynthesizeToneRestarting, SynthesizeTone);
}
BENCHMARK(BM_SynthesizeRestarting)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tonamira

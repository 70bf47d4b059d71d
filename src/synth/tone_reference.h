#pragma once
// The tone exactly as defined, restarts and all: every time a body sample is too loud, the
// volume is cut by a fifth and the synthesis starts again at sample 0. It repeats the work
// the program's one-pass synthesis avoids, and is kept beside it to check that the two give
// the same samples and to measure what the one pass saves. Not linked into the program.

#include <cstdint>
#include <span>

#include "synth/tone.h"

namespace tonamira {

// Same contract as SynthesizeTone: out.size() / 2 samples, the same normalisation of the
// recipe, the same clamping of fade samples.
ToneOutcome SynthesizeToneRestarting(const ToneRecipe& recipe, std::span<uint8_t> out);

}  // namespace tonamira

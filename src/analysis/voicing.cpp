#include "analysis/voicing.h"

#include <cmath>

namespace tonamira {
void ExtendVoicingBackward(std::span<PitchEstimate> frames, const TrackerSettings& settings) {
  for (size_t i = frames.size(); i-- > 1;) {
    PitchEstimate& here = frames[i - 1];
    const PitchEstimate& next = frames[i];
    if (here.voiced || !next.voiced) continue;
    if (here.levelDb < settings.silenceDb || here.confidence < settings.continuedConfidence)
      continue;
    if (!(here.candidateHz > 0.0) ||
        std::abs(12.0 * std::log2(here.candidateHz / next.hz)) > settings.continuationSemitones)
      continue;
    here.voiced = true;
    here.hz = here.candidateHz;
  }
}

}  // namespace tonamira

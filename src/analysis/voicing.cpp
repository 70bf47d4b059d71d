#include "analysis/voicing.h"

#include <cmath>

namespace tonamira {

bool LeadsInto(const PitchEstimate& here, const PitchEstimate& next,
               const TrackerSettings& settings) {
  if (here.voiced || !next.voiced) return false;
  if (!here.inRange || !here.audible || here.levelDb < settings.silenceDb ||
      here.underVoiceDb > settings.continuationBelowLoudestDb ||
      here.confidence < settings.continuedConfidence || here.candidateHz <= 0.0)
    return false;
  const double semitones = std::abs(12.0 * std::log2(here.candidateHz / next.hz));
  return semitones <= settings.continuationSemitones ||
         (here.underVoiceDb <= settings.bridgeBelowLoudestDb &&
          semitones <= settings.bridgeSemitones);
}

void ExtendVoicingBackward(std::span<PitchEstimate> frames, const TrackerSettings& settings) {
  for (size_t i = frames.size(); i-- > 1;) {
    PitchEstimate& here = frames[i - 1];
    if (!LeadsInto(here, frames[i], settings)) continue;
    here.voiced = true;
    here.hz = here.candidateHz;
  }
}

}  // namespace tonamira

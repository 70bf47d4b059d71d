#include "analysis/voicing.h"

#include <cmath>

namespace tonamira {

bool VoiceIfLeadsInto(PitchEstimate& here, const PitchEstimate& next,
                      const TrackerSettings& settings) {
  if (here.voiced || !next.voiced) return false;
  if (!here.audible || here.levelDb < settings.silenceDb ||
      here.underVoiceDb > settings.continuationBelowLoudestDb)
    return false;
  const bool loud = here.underVoiceDb <= settings.bridgeBelowLoudestDb;
  auto leads = [&](double hz, double confidence) {
    if (hz <= 0.0 || confidence < settings.continuedConfidence) return false;
    const double semitones = std::abs(12.0 * std::log2(hz / next.hz));
    return semitones <= settings.continuationSemitones ||
           (loud && semitones <= settings.bridgeSemitones);
  };
  PitchCandidate chosen;
  if (here.inRange && leads(here.candidateHz, here.confidence)) {
    chosen = {here.candidateHz, here.confidence};
  } else {
    for (const PitchCandidate& alternative : here.alternatives)
      if (leads(alternative.hz, alternative.confidence)) {
        chosen = alternative;
        break;
      }
  }
  if (chosen.hz <= 0.0) return false;
  here.voiced = true;
  here.inRange = true;
  here.hz = here.candidateHz = chosen.hz;
  here.confidence = chosen.confidence;
  return true;
}

void ExtendVoicingBackward(std::span<PitchEstimate> frames, const TrackerSettings& settings) {
  for (size_t i = frames.size(); i-- > 1;) VoiceIfLeadsInto(frames[i - 1], frames[i], settings);
}

}  // namespace tonamira

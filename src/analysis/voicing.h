#pragma once
// The voicing decision over a whole sequence of frames. PitchTracker decides frame by frame,
// leaning only on the frame before; once the frames after are known, a frame that only just
// missed the confidence needed (typically the first frames of a note, while its waveform
// still settles) is voiced when its pitch leads into the voiced stretch that follows.

#include <span>

#include "analysis/pitch_tracker.h"

namespace tonamira {

// Walks from the last frame to the first: an unvoiced frame whose level is at least
// settings.silenceDb, whose confidence is at least settings.continuedConfidence and whose
// candidate pitch lies within settings.continuationSemitones of the next frame's voiced pitch becomes voiced with
// that candidate. Stretches therefore grow backwards frame by frame; nothing is unvoiced.
void ExtendVoicingBackward(std::span<PitchEstimate> frames, const TrackerSettings& settings);

}  // namespace tonamira

#pragma once
// The voicing decision over a whole sequence of frames. PitchTracker decides frame by frame,
// leaning only on the frame before; once the frames after are known, a frame that only just
// missed the confidence needed (typically the first frames of a note, while its waveform
// still settles) is voiced when its pitch leads into the voiced stretch that follows.

#include <span>

#include "analysis/pitch_tracker.h"

namespace tonamira {

// Voices the unvoiced frame `here` when it leads into the voiced frame `next` that follows
// it, and says whether it did. It leads in when it is audible (PitchEstimate::audible), its
// level at least settings.silenceDb and within settings.continuationBelowLoudestDb of the
// recent loudest (PitchEstimate::underVoiceDb), and one of its periods (its own candidate
// first, then its alternatives, deepest first) lies inside the searched range at a
// confidence of at least settings.continuedConfidence with its pitch within
// settings.continuationSemitones of next's pitch, or, for a frame within
// settings.bridgeBelowLoudestDb of that loudest, within settings.bridgeSemitones (the
// bridge, backwards). The frame is then voiced at that pitch and confidence (the backward
// rule, offline and live).
bool VoiceIfLeadsInto(PitchEstimate& here, const PitchEstimate& next,
                      const TrackerSettings& settings);

// Walks from the last frame to the first, voicing each unvoiced frame that leads into the
// next (VoiceIfLeadsInto). Stretches therefore grow backwards frame by
// frame, as far as the chain of such frames reaches; nothing is unvoiced. The live form
// (live_pitch.h) applies the same rule with the chain cut at a fixed look-ahead.
void ExtendVoicingBackward(std::span<PitchEstimate> frames, const TrackerSettings& settings);

}  // namespace tonamira

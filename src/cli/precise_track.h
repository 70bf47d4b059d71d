#pragma once
// The plot's track from the precise pitch tracker.

#include <cstdint>
#include <span>
#include <string>

#include "analysis/pitch_tracker.h"
#include "cli/pitch_track.h"
#include "sound/wave_format.h"

namespace tonamira {

// PreciseFrameLength, the frame the track's tracker needs, comes from
// analysis/pitch_tracker.h.

// As BuildWindowTrack, with the precise tracker (its voicing decided over the stretch): one
// point per hop whose frame centre lies in [from, to], with the pitch of a voiced frame to a
// fraction of a hertz and the frame's RMS level over all channels; the tracker searches
// options.minHz .. options.maxHz.
std::string BuildPreciseTrack(std::span<const uint8_t> data, const WaveFormat& format,
                              const TrackOptions& options, PitchTrack& track);

}  // namespace tonamira

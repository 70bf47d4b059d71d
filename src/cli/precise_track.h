#pragma once
// The plot's track from the precise pitch tracker.

#include <cstdint>
#include <span>
#include <string>

#include "cli/pitch_track.h"
#include "sound/wave_format.h"

namespace tonamira {

// The frame length the precise tracker needs at this rate: the shortest of 256 .. 2048
// sample frames holding two periods of its lowest pitch (60 Hz); 2048 above 61 kHz, where
// the lowest pitch it reaches rises accordingly.
int32_t PreciseFrameLength(uint32_t sampleRate);

// As BuildWindowTrack, with the precise tracker (its voicing decided over the stretch): one
// point per hop whose frame centre lies in [from, to], with the pitch of a voiced frame to a
// fraction of a hertz and the frame's RMS level over all channels.
std::string BuildPreciseTrack(std::span<const uint8_t> data, const WaveFormat& format,
                              const TrackOptions& options, PitchTrack& track);

}  // namespace tonamira

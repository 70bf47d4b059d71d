#pragma once
// A pitch track: what a tracker found at evenly spaced instants of a sound, independent of
// how it was found. The plot draws one; the command builds one from the frame analysis.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/note_name.h"
#include "analysis/pitch_tracker.h"
#include "sound/wave_format.h"

namespace tonamira {

struct PitchPoint {
  double timeSeconds = 0.0;  // the instant the point stands for (an analysed frame's centre)
  std::optional<double> hz;  // the pitch; empty where the sound is unvoiced or silent
  double level = 0.0;        // RMS amplitude around the instant, a fraction of full scale
};

struct PitchTrack {
  std::vector<PitchPoint> points;  // in time order
  double stepSeconds = 0.0;        // spacing of neighbouring points
  double startSeconds = 0.0;       // the stretch of the sound the track covers
  double endSeconds = 0.0;
};

// The MIDI note number of a frequency (69 is A4 at 440 Hz), as a real number.
double MidiFromHz(double hz);

// NoteName (the scientific name of a MIDI note) comes from analysis/note_name.h.

// The stretch of the sound a track covers and the spacing of its points, for any tracker.
struct TrackOptions {
  double fromSeconds = 0.0;
  std::optional<double> toSeconds;  // empty: to the end of the sound
  double hopSeconds = 0.01;         // spacing of the points
  // The pitch range a tracker that takes one searches (the precise tracker's own by
  // default).
  double minHz = TrackerSettings{}.minHz;
  double maxHz = TrackerSettings{}.maxHz;
};

// Where a tracker's frames lie for a track of the stretch [from, to]: frames `hop` sample
// frames apart, each `frame` long, kept when their centre lies in the stretch; the analysed
// bytes begin half a frame before `from` (or at the start of the sound).
struct TrackStretch {
  double rate = 0.0;               // sample frames per second
  int32_t frame = 0;               // the frame length
  int32_t hop = 0;                 // sample frames between frame starts
  int64_t base = 0;                // the sample frame `bytes` begins at
  int64_t fromFrame = 0;           // the stretch, in sample frames of the sound
  int64_t toFrame = 0;
  std::span<const uint8_t> bytes;  // the sound's bytes the frames are taken from

  // The time of the frame that starts framePos bytes into `bytes`, when its centre lies in
  // the stretch.
  std::optional<double> CentreSeconds(uint64_t framePos, uint16_t blockAlign) const;
};

// Plans the stretch for frames of `frame` sample frames and starts the track (its spacing
// and its stretch, no points yet). Returns an empty string, or the reason the sound or the
// stretch cannot be tracked.
std::string PlanTrackStretch(std::span<const uint8_t> data, const WaveFormat& format,
                             const TrackOptions& options, int32_t frame, TrackStretch& stretch,
                             PitchTrack& track);

// The RMS of the frame's samples over all channels as a fraction of full scale (8-bit
// unsigned around 128 or 16-bit signed little-endian, interleaved). The caller guarantees
// length x channels samples of bits / 8 bytes at data.
double FrameRmsLevel(const uint8_t* data, int32_t length, int32_t bits, int32_t channels);

// The frame length the plot analyses a sound of this rate with: the shortest of 256 .. 2048
// sample frames that spans at least 40 ms, so the detector sees the same frequency
// resolution at every rate while the contour stays as sharp in time as it can.
int32_t PlotFrameLength(uint32_t sampleRate);

// Runs the window's frame-by-frame detection over the stretch [from, to] of the sound and
// returns its track: one point per hop whose frame centre lies in the stretch, with the
// detected pitch (if any) and the frame's RMS level. Returns an empty string, or the reason
// the sound or the stretch cannot be analysed.
std::string BuildWindowTrack(std::span<const uint8_t> data, const WaveFormat& format,
                             const TrackOptions& options, PitchTrack& track);

}  // namespace tonamira

#pragma once
// A held note in the trace: the voice has stayed on one pitch for a second or more. Its mean
// pitch against the nearest note, and its vibrato when it has one.

#include <cstdint>
#include <span>

#include "analysis/live_pitch.h"
#include "analysis/vibrato.h"

namespace tonamira {

// A note is held once it has lasted this long.
inline constexpr double kHeldNoteSeconds = 1.0;
// Every voiced pitch of a held note lies within this many cents of the median pitch of its
// last second. Wide enough for an operatic vibrato of +-70 cents; a step to the next
// semitone (100 cents) leaves it and starts a new note.
inline constexpr double kHeldNoteBandCents = 75.0;
// Unvoiced stretches up to this long (a catch in the voice, a few frames the tracker
// doubts) do not end the note; the curve is bridged across them.
inline constexpr double kHeldNoteGapSeconds = 0.1;
// The vibrato is measured over the last this many seconds of the note: long enough for
// several cycles of the slowest vibrato, short enough to follow a singer who changes it.
inline constexpr double kVibratoSeconds = 2.0;

struct HeldNote {
  bool held = false;
  int32_t midi = 0;        // the note nearest the mean pitch (69 is A4)
  double meanCents = 0.0;  // the mean pitch against that note, -50 .. +50
  double seconds = 0.0;    // how long the note has been held so far
  Vibrato vibrato;         // of the last kVibratoSeconds (see vibrato.h)
};
// The vibrato is the traced curve's. Each of the live tracker's points is close to the mean
// pitch over its frame's 30 ms integration window, which narrows a vibrato of f Hz by about
// sinc(pi f 30 ms): the extent reads 4 % narrow at 5.5 Hz, 7 % at 7 Hz, 11 % at 9 Hz; the
// rate is unaffected.

// The note held at the end of `points`: one point per frame of consecutive frames, in frame
// order (the trace's points, a provisional unvoiced point counting as unvoiced), the pitch
// on the scale of a4Hz (held by ClampReferenceA4, as the read-out holds it). Not held when
// the voice has been unvoiced for more than kHeldNoteGapSeconds at the end, or has not stayed
// within the band for kHeldNoteSeconds.
HeldNote FindHeldNote(std::span<const LivePoint> points, double a4Hz);

}  // namespace tonamira

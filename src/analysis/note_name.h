#pragma once
// The nearest equal-tempered note of a frequency, named in scientific pitch notation, and the
// deviation from it in cents.

#include <cstdint>
#include <string>

namespace tonamira {

struct NearestNote {
  int32_t midi = 0;    // MIDI note number: 69 is A4, 60 is C4
  double cents = 0.0;  // hz relative to that note, in hundredths of a semitone, -50 .. +50
};

// The equal-tempered note nearest to hz on a scale whose A4 is a4Hz. The note is the
// semitone count from A4, rounded half to even, so a frequency exactly halfway between two
// notes goes to the even MIDI number. hz and a4Hz must be positive and finite; anything
// else gives midi 0 and cents 0 (callers only ask for detected pitches).
NearestNote NearestNoteOf(double hz, double a4Hz);

// "C4", "A#4", "B-1": the pitch class with '#' for sharps, then the octave, C4 being MIDI 60.
std::string NoteName(int32_t midi);

// Whether a MIDI note is a black key of the piano (C#, D#, F#, G#, A#), and whether it is a C:
// the rows and lines a semitone grid marks.
constexpr bool IsBlackKey(int32_t midi) {
  const int32_t m = ((midi % 12) + 12) % 12;
  return m == 1 || m == 3 || m == 6 || m == 8 || m == 10;
}
constexpr bool IsC(int32_t midi) { return ((midi % 12) + 12) % 12 == 0; }

}  // namespace tonamira

#include "analysis/note_name.h"

#include <cmath>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// MIDI number of A4, the reference note.
constexpr int32_t kMidiA4 = 69;
constexpr double kCentsPerSemitone = 100.0;
constexpr int32_t kSemitonesPerOctave = 12;

const char* const kPitchClasses[kSemitonesPerOctave] = {"C",  "C#", "D",  "D#", "E",  "F",
                                                        "F#", "G",  "G#", "A",  "A#", "B"};

}  // namespace

NearestNote NearestNoteOf(double hz, double a4Hz) {
  if (!(hz > 0.0) || !(a4Hz > 0.0) || !std::isfinite(hz) || !std::isfinite(a4Hz)) return {};
  const double semitones = kSemitonesPerOctave * std::log2(hz / a4Hz);
  const double nearest = RoundEven(semitones);
  NearestNote note;
  note.midi = RoundInt(nearest + kMidiA4);
  note.cents = (semitones - nearest) * kCentsPerSemitone;
  return note;
}

std::string NoteName(int32_t midi) {
  // Floor division, so MIDI 0..11 are octave -1 and negative numbers go further down.
  const int64_t m = midi;
  const int64_t octave = (m >= 0 ? m / kSemitonesPerOctave
                                 : -((-m + kSemitonesPerOctave - 1) / kSemitonesPerOctave)) -
                         1;
  const int64_t pitchClass = m - (octave + 1) * kSemitonesPerOctave;
  return std::string(kPitchClasses[pitchClass]) + std::to_string(octave);
}

}  // namespace tonamira

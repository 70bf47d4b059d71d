#pragma once
// The trace's read-out of a pitch: the nearest equal-tempered note on the user's reference
// A4, how many cents sharp or flat, and the colour of the cents bar.

#include <cstdint>
#include <string>

namespace tonamira {

// The reference pitch of A4 a user may set: from 415 Hz (a semitone below 440, the usual
// pitch of baroque ensembles) to 466 Hz (a semitone above, in whole hertz).
inline constexpr double kLowestReferenceA4 = 415.0;
inline constexpr double kHighestReferenceA4 = 466.0;
inline constexpr double kDefaultReferenceA4 = 440.0;

// The reference held to 415 .. 466 Hz; anything that is not a finite number gives 440.
double ClampReferenceA4(double a4Hz);

// The colour of the cents bar. The boundaries belong to the inner band: a deviation of
// exactly 10 cents either way is green, exactly 25 cents yellow.
enum class CentsBand {
  Green,   // |cents| <= 10: in tune
  Yellow,  // 10 < |cents| <= 25
  Red,     // |cents| > 25 (and a deviation that is not a number)
};
CentsBand CentsBandOf(double cents);

struct NoteReading {
  bool valid = false;      // false for a pitch that is not positive and finite
  int32_t midi = 0;        // the nearest note (69 is A4)
  std::string name;        // "A4", "C#5"
  double cents = 0.0;      // the pitch against that note, -50 .. +50
  int32_t shownCents = 0;  // the cents as the read-out shows them: whole, rounded half to even
  std::string centsText;   // "+12", "-3", "0" (no sign on zero)
  CentsBand band = CentsBand::Red;  // CentsBandOf(shownCents): the colour agrees with the
                                     // number beside it ("+10" is green, "+11" yellow)
};

// The read-out of hz on the scale of a4Hz (held by ClampReferenceA4). The note and cents are
// NearestNoteOf's (analysis/note_name.h), the name NoteName's.
NoteReading ReadNote(double hz, double a4Hz);

}  // namespace tonamira

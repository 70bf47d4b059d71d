// Tests of the nearest note and its cents, at the boundaries where the name changes.
#include "analysis/note_name.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tonamira {
namespace {

// hz at `cents` from MIDI note `midi` on a scale whose A4 is a4.
double At(int midi, double cents, double a4 = 440.0) {
  return a4 * std::pow(2.0, (midi - 69 + cents / 100.0) / 12.0);
}

TEST(NearestNote, NamesAndCentsAroundTheBoundaries) {
  struct Case {
    double hz;
    double a4;
    const char* name;
    double cents;
  };
  const Case cases[] = {
      {440.0, 440.0, "A4", 0.0},
      {At(60, 0.0), 440.0, "C4", 0.0},
      {At(70, 0.0), 440.0, "A#4", 0.0},
      // Within 50 cents the note stays; past it the next note takes over.
      {At(69, 49.9), 440.0, "A4", 49.9},
      {At(69, 50.1), 440.0, "A#4", -49.9},
      {At(69, -49.9), 440.0, "A4", -49.9},
      {At(69, -50.1), 440.0, "G#4", 49.9},
      // The octave number changes between B and C, not between G# and A.
      {At(59, 0.0), 440.0, "B3", 0.0},
      {At(59, 49.0), 440.0, "B3", 49.0},
      {At(59, 51.0), 440.0, "C4", -49.0},
      {At(71, 0.0), 440.0, "B4", 0.0},
      {At(72, 0.0), 440.0, "C5", 0.0},
      {At(67, 60.0), 440.0, "G#4", -40.0},
      // The reference moves every note with it.
      {442.0, 442.0, "A4", 0.0},
      {440.0, 442.0, "A4", 1200.0 * std::log2(440.0 / 442.0)},
      {At(60, 0.0, 415.0), 415.0, "C4", 0.0},
      // The corpus range, E2 to C6.
      {82.4069, 440.0, "E2", 1200.0 * std::log2(82.4069 / At(40, 0.0))},
      {1046.502, 440.0, "C6", 1200.0 * std::log2(1046.502 / At(84, 0.0))},
      // Below the piano: octave -1.
      {At(0, 0.0), 440.0, "C-1", 0.0},
      {At(-1, 0.0), 440.0, "B-2", 0.0},
  };
  for (const auto& c : cases) {
    const NearestNote note = NearestNoteOf(c.hz, c.a4);
    EXPECT_EQ(NoteName(note.midi), c.name) << c.hz << " Hz, A4 = " << c.a4;
    EXPECT_NEAR(note.cents, c.cents, 1e-6) << c.hz << " Hz, A4 = " << c.a4;
  }
}

TEST(NearestNote, NonsenseGivesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double hz : {0.0, -440.0, nan, inf}) {
    const NearestNote note = NearestNoteOf(hz, 440.0);
    EXPECT_EQ(note.midi, 0) << hz;
    EXPECT_EQ(note.cents, 0.0) << hz;
  }
  EXPECT_EQ(NearestNoteOf(440.0, 0.0).midi, 0);
  EXPECT_EQ(NearestNoteOf(440.0, nan).midi, 0);
}

TEST(NoteName, PitchClassesAndOctaves) {
  struct Case {
    int midi;
    const char* name;
  };
  const Case cases[] = {{60, "C4"}, {61, "C#4"}, {69, "A4"}, {70, "A#4"}, {59, "B3"},
                        {12, "C0"}, {11, "B-1"}, {0, "C-1"}, {-1, "B-2"}, {-12, "C-2"},
                        {-13, "B-3"}, {127, "G9"}};
  for (const auto& c : cases) EXPECT_EQ(NoteName(c.midi), c.name) << c.midi;
}

}  // namespace
}  // namespace tonamira

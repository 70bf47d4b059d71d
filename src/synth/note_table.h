#pragma once
// The piano's note table and the colouring of the keys around a detected pitch.

#include <array>
#include <cstdint>

#include "common/rgb.h"

namespace tonamira {

inline constexpr int kKeyCount = 60;

// 1-based tables over the sixty keys (index 0 unused).
using KeyFreqTable = std::array<int32_t, kKeyCount + 1>;
using KeyColors = std::array<Rgb, kKeyCount + 1>;

// The note frequency of each key in whole hertz, keys 1 .. 60 from C at 65 Hz to B at
// 1976 Hz; key 34 is A at 440 Hz. The values are stored, not computed: keys 5 (83 Hz) and
// 45 (830 Hz) differ from the rounded equal-tempered values.
KeyFreqTable BuildKeyFreqTable();

// Keys whose position in the octave (i mod 12) is 1, 3, 5, 6, 8, 10 or 0 are white.
constexpr bool IsWhiteKey(int key) {
  switch (key % 12) {
    case 1: case 3: case 5: case 6: case 8: case 10: case 0:
      return true;
    default:
      return false;
  }
}

// The mark of lightness x (0 = pure red .. 128 = light red): RGB(255, x, x).
constexpr Rgb KeyMarkColor(int x) { return MakeRgb(255, x, x); }

// Every white key white and every black key black.
void ClearKeyMarks(KeyColors& colors);

// Colours the key of the detected frequency d pure red, or, when d lies between two keys,
// both neighbours in reds whose lightness shares the distance between them. Frequencies below
// 64 or above 1977 Hz colour nothing. Never clears other keys.
void MarkDetectedKey(int32_t d, const KeyFreqTable& keyFreq, KeyColors& colors);

}  // namespace tonamira

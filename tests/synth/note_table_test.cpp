// The note table and the marking of the detected pitch on the piano.
#include "synth/note_table.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace tonamira {
namespace {

TEST(NoteTable, StoredFrequencies) {
  const KeyFreqTable f = BuildKeyFreqTable();
  struct Case {
    int key;
    int32_t hz;
  };
  const std::vector<Case> cases = {{1, 65},   {5, 83},    {12, 123},  {13, 131},  {25, 262},
                                   {26, 277}, {33, 415},  {34, 440},  {45, 830},  {46, 880},
                                   {49, 1047}, {60, 1976}};
  for (const auto& t : cases) EXPECT_EQ(f[t.key], t.hz) << t.key;
  for (int i = 2; i <= kKeyCount; ++i) EXPECT_LT(f[i - 1], f[i]) << i;
  // Octaves double to within rounding of the stored whole hertz.
  for (int i = 1; i + 12 <= kKeyCount; ++i) EXPECT_NEAR(f[i + 12], 2 * f[i], 2) << i;
}

TEST(NoteTable, WhiteAndBlackKeys) {
  int white = 0;
  for (int i = 1; i <= kKeyCount; ++i) white += IsWhiteKey(i) ? 1 : 0;
  EXPECT_EQ(white, 35);
  const bool octave[12] = {true, false, true, false, true, true, false, true, false, true, false, true};
  for (int i = 1; i <= kKeyCount; ++i) EXPECT_EQ(IsWhiteKey(i), octave[(i - 1) % 12]) << i;
}

TEST(NoteTable, ClearKeyMarksRestoresKeyColours) {
  KeyColors colors;
  colors.fill(kRed);
  ClearKeyMarks(colors);
  for (int i = 1; i <= kKeyCount; ++i) EXPECT_EQ(colors[i], IsWhiteKey(i) ? kWhite : kBlack) << i;
}

TEST(NoteTable, MarkColour) {
  EXPECT_EQ(KeyMarkColor(0), MakeRgb(255, 0, 0));
  EXPECT_EQ(KeyMarkColor(128), MakeRgb(255, 128, 128));
  EXPECT_EQ(KeyMarkColor(32), MakeRgb(255, 32, 32));
}

TEST(NoteTable, MarkDetectedKey) {
  struct Case {
    int32_t d;
    std::map<int, int> marks;  // key -> lightness
  };
  const std::vector<Case> cases = {
      {63, {}},
      {64, {{1, 0}}},
      {65, {{1, 0}}},
      {66, {{1, 0}}},
      {67, {{1, 128}, {2, 0}}},
      {263, {{25, 0}}},
      {264, {{25, 0}, {26, 128}}},
      {268, {{25, 73}, {26, 55}}},
      {269, {{25, 18}, {26, 110}}},
      {275, {{25, 128}, {26, 0}}},
      {276, {{26, 0}}},
      {277, {{26, 0}}},
      {278, {{26, 0}}},
      {435, {{33, 96}, {34, 32}}},
      {440, {{34, 0}}},
      {1977, {{60, 0}}},
      {1978, {}},
      {0, {}},
      {-5, {}},
      {100000, {}},
  };
  const KeyFreqTable f = BuildKeyFreqTable();
  for (const auto& t : cases) {
    SCOPED_TRACE(t.d);
    KeyColors colors;
    ClearKeyMarks(colors);
    MarkDetectedKey(t.d, f, colors);
    for (int i = 1; i <= kKeyCount; ++i) {
      const auto it = t.marks.find(i);
      const Rgb expected =
          it != t.marks.end() ? KeyMarkColor(it->second) : (IsWhiteKey(i) ? kWhite : kBlack);
      EXPECT_EQ(colors[i], expected) << "key " << i;
    }
  }
}

// Between two neighbouring keys whose gap is wide enough that L + 2 lies below the midpoint,
// the marks follow the rule: two hertz above the lower key it is pure red and the upper key
// light red, two below the upper key the other way. (In the narrow low gaps L + 2 already
// reaches the midpoint and the upper-half formula applies, as D = 67 shows.)
TEST(NoteTable, MarksAtTheEdgesOfEveryGap) {
  const KeyFreqTable f = BuildKeyFreqTable();
  for (int i = 2; i <= kKeyCount; ++i) {
    const int32_t lower = f[i - 1], upper = f[i];
    if (lower + 2 >= (upper + lower) / 2) continue;
    SCOPED_TRACE(i);
    KeyColors colors;
    ClearKeyMarks(colors);
    MarkDetectedKey(lower + 2, f, colors);
    EXPECT_EQ(colors[i - 1], KeyMarkColor(0));
    EXPECT_EQ(colors[i], KeyMarkColor(128));
    ClearKeyMarks(colors);
    MarkDetectedKey(upper - 2, f, colors);
    EXPECT_EQ(colors[i - 1], KeyMarkColor(128));
    EXPECT_EQ(colors[i], KeyMarkColor(0));
  }
}

}  // namespace
}  // namespace tonamira

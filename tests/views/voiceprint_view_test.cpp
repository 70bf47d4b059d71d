// The voiceprint: dot colours and rows, column advance and wrap-around, and the frequency
// scale at every display range.
#include "views/voiceprint_view.h"

#include <gtest/gtest.h>

#include <vector>

#include "recording_canvas.h"
#include "views/grid.h"

namespace tonamira {
namespace {

using testing_views::Box;
using testing_views::PixelsOf;
using testing_views::Points;
using testing_views::RecordingCanvas;

TEST(VoiceprintView, DotColour) {
  struct Case {
    double amp;
    Rgb color;
  };
  const std::vector<Case> cases = {
      {0.0, kBlack},
      {0.5, MakeRgb(128, 0, 0)},  // Round(127.5) = 128
      {1.0, kRed},
      {0.25, MakeRgb(64, 0, 0)},  // Round(63.75)
      {257.0 / 255.0, MakeRgb(1, 1, 0)},  // beyond 1: high byte is green
  };
  for (const auto& t : cases) EXPECT_EQ(VoiceprintDotColor(t.amp), t.color) << t.amp;
}

TEST(VoiceprintView, DotRows) {
  struct Case {
    int32_t bin;
    int32_t y;
  };
  const std::vector<Case> cases = {{1, 391}, {46, 200}, {92, 4}, {93, 0}, {0, 395}, {100, -30}};
  for (const auto& t : cases) EXPECT_EQ(VoiceprintDotY(t.bin, 186, 395), t.y) << t.bin;
}

TEST(VoiceprintView, ColumnDrawsTwoByTwoBlocks) {
  RecordingCanvas print(206, 395);
  ClearBox(print);
  VoiceprintState state;
  const std::vector<double> amps = {1.0, 0.5};
  const std::vector<int32_t> bins = {1, 46};
  DrawVoiceprintColumn(print, state, 2, amps, bins, 186);
  EXPECT_EQ(state.column, 1);
  EXPECT_EQ(PixelsOf(print.raster, kRed), Box(1, 391, 3, 393));
  EXPECT_EQ(PixelsOf(print.raster, MakeRgb(128, 0, 0)), Box(1, 200, 3, 202));
}

TEST(VoiceprintView, WrapsAroundAfterTheLastColumn) {
  RecordingCanvas print(206, 395);
  ClearBox(print);
  VoiceprintState state;
  const std::vector<double> amps = {1.0};
  const std::vector<int32_t> bins = {46};
  for (int call = 1; call <= 206; ++call) {
    DrawVoiceprintColumn(print, state, 1, amps, bins, 186);
    ASSERT_EQ(state.column, call);
  }
  // Columns 1 .. 205 are covered (206's block falls outside but for its left half).
  EXPECT_EQ(PixelsOf(print.raster, kRed), Box(1, 200, 206, 202));
  const int fillsBefore = print.fills;

  DrawVoiceprintColumn(print, state, 1, amps, bins, 186);  // 207th: wipe, draw at 0
  EXPECT_EQ(state.column, 0);
  EXPECT_EQ(print.fills, fillsBefore + 1);
  EXPECT_EQ(PixelsOf(print.raster, kRed), Box(0, 200, 2, 202));

  DrawVoiceprintColumn(print, state, 1, amps, bins, 186);  // 208th
  EXPECT_EQ(state.column, 1);
  EXPECT_EQ(PixelsOf(print.raster, kRed), Box(0, 200, 3, 202));
}

TEST(VoiceprintView, EmptyCallOnlyAdvancesTheColumn) {
  RecordingCanvas print(206, 395);
  ClearBox(print);
  VoiceprintState state;
  const std::vector<double> amps = {1.0};
  const std::vector<int32_t> bins = {46};
  DrawVoiceprintColumn(print, state, 1, amps, bins, 186);
  DrawVoiceprintColumn(print, state, 0, amps, bins, 186);
  DrawVoiceprintColumn(print, state, -3, amps, bins, 186);
  EXPECT_EQ(state.column, 3);
  EXPECT_EQ(print.rects.size(), 1u);
  DrawVoiceprintColumn(print, state, 1, amps, bins, 186);
  EXPECT_EQ(state.column, 4);
  // Dots at 1 and 4: 1..2 and 4..5, not touching 3.
  Points expected = Box(1, 200, 3, 202);
  for (const auto& p : Box(4, 200, 6, 202)) expected.insert(p);
  EXPECT_EQ(PixelsOf(print.raster, kRed), expected);

  // One empty call between two dots: they touch without overlapping.
  VoiceprintState s2;
  RecordingCanvas p2(206, 395);
  DrawVoiceprintColumn(p2, s2, 1, amps, bins, 186);
  DrawVoiceprintColumn(p2, s2, 0, amps, bins, 186);
  DrawVoiceprintColumn(p2, s2, 1, amps, bins, 186);
  ASSERT_EQ(p2.rects.size(), 2u);
  EXPECT_EQ(p2.rects[1].x1 - p2.rects[0].x1, 2);
}

TEST(VoiceprintView, CountIsBoundedByTheListsAndZeroDenominatorSkipsDots) {
  RecordingCanvas print(206, 395);
  VoiceprintState state;
  const std::vector<double> amps = {1.0, 0.5};
  const std::vector<int32_t> bins = {1, 46};
  DrawVoiceprintColumn(print, state, 119, amps, bins, 186);
  EXPECT_EQ(print.rects.size(), 2u);
  DrawVoiceprintColumn(print, state, 2, amps, bins, 0);
  EXPECT_EQ(print.rects.size(), 2u);
  EXPECT_EQ(state.column, 2);

  // Rows far outside the box stay outside without overflowing.
  const std::vector<int32_t> wild = {INT32_MAX, INT32_MIN};
  DrawVoiceprintColumn(print, state, 2, amps, wild, 1);
  ASSERT_EQ(print.rects.size(), 4u);
  EXPECT_LT(print.rects[2].y2, 0);
  EXPECT_GE(print.rects[3].y1, 395);
}

TEST(VoiceprintView, FrequencyScaleAtEveryRange) {
  struct Case {
    double top;
    size_t dotted;
    bool minorLabels;
    std::vector<int> solidYs;
  };
  const std::vector<Case> cases = {
      {250.0, 1, true, {}},
      {500.0, 4, true, {}},
      {1000.0, 9, false, {198}},
      {2000.0, 19, false, {296, 198, 99}},
      {4000.0, 39, false, {346, 296, 247, 198, 148, 99, 49}},
      {8000.0, 79, false, {370, 346, 321, 296, 272, 247, 222, 198, 173, 148, 123, 99, 74, 49, 25}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.top);
    RecordingCanvas scale(25, 395);
    ClearBox(scale);
    DrawFreqScale(scale, 100, 500, t.top, 0.0);
    const auto dotted = scale.LinesIn(PenStyle::Dot);
    const auto solid = scale.LinesIn(PenStyle::Solid);
    EXPECT_EQ(dotted.size(), t.dotted);
    std::vector<int> ys;
    for (const auto& l : solid) {
      EXPECT_EQ(l.x0, 0);
      EXPECT_EQ(l.x1, 25);
      EXPECT_EQ(l.y0, l.y1);
      EXPECT_EQ(l.pen, kGreen);
      ys.push_back(l.y0);
    }
    EXPECT_EQ(ys, t.solidYs);
    const size_t labels = (t.minorLabels ? t.dotted : 0) + t.solidYs.size();
    ASSERT_EQ(scale.texts.size(), labels);
    for (const auto& text : scale.texts) {
      EXPECT_EQ(text.x, 1);
      EXPECT_EQ(text.font, kRed);
    }
  }
}

TEST(VoiceprintView, ScaleRowsAndLabels) {
  RecordingCanvas scale(25, 395);
  DrawFreqScale(scale, 100, 500, 500.0, 0.0);
  const std::vector<int> ys = {316, 237, 158, 79};
  const char* labels[] = {"100", "200", "300", "400"};
  ASSERT_EQ(scale.texts.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(scale.lines[i].y0, ys[i]);
    EXPECT_EQ(scale.texts[i].y, ys[i] - 5);
    EXPECT_EQ(scale.texts[i].text, labels[i]);
  }

  RecordingCanvas startup(25, 395);
  DrawFreqScale(startup, 100, 500, 2000.0, 0.0);
  const auto dotted = startup.LinesIn(PenStyle::Dot);
  ASSERT_EQ(dotted.size(), 19u);
  EXPECT_EQ(dotted.front().y0, 375);
  EXPECT_EQ(dotted[1].y0, 356);
  EXPECT_EQ(dotted.back().y0, 20);
  ASSERT_EQ(startup.texts.size(), 3u);
  EXPECT_EQ(startup.texts[0].text, "500");
  EXPECT_EQ(startup.texts[0].y, 291);
  EXPECT_EQ(startup.texts[2].text, "1500");
}

TEST(VoiceprintView, DegenerateScaleDrawsNothing) {
  RecordingCanvas scale(25, 395);
  DrawFreqScale(scale, 0, 500, 2000.0, 0.0);
  DrawFreqScale(scale, 100, -1, 2000.0, 0.0);
  DrawFreqScale(scale, 100, 500, 0.0, 0.0);
  EXPECT_TRUE(scale.lines.empty());
  EXPECT_TRUE(scale.texts.empty());
}

TEST(VoiceprintView, ResetWipesBothBoxesAndRedrawsTheScale) {
  RecordingCanvas print(206, 395), scale(25, 395);
  VoiceprintState state;
  state.column = 57;
  const std::vector<double> amps = {1.0};
  const std::vector<int32_t> bins = {46};
  DrawVoiceprintColumn(print, state, 1, amps, bins, 186);
  scale.SetBrushColor(kYellow);
  scale.FillRect(0, 0, 25, 395);

  ResetVoiceprint(print, scale, state, 100, 500, 1000.0);
  EXPECT_EQ(state.column, 0);
  EXPECT_EQ(PixelsOf(print.raster, kBlack).size(), 206u * 395u);
  EXPECT_TRUE(PixelsOf(scale.raster, kYellow).empty());
  EXPECT_EQ(scale.LinesIn(PenStyle::Dot).size(), 9u);
  EXPECT_EQ(scale.LinesIn(PenStyle::Solid).size(), 1u);
}

}  // namespace
}  // namespace tonamira

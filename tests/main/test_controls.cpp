// The control semantics the handlers rely on: synchronous, change-only track bar handlers,
// scroll handlers that adjust the new position, silent up-down ends, panel clicks, and the
// retained paint box with opaque text.

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

#include "main/toolkit.h"
#include "test_support.h"

namespace tonamira {
namespace {

using testing::App;

TEST(TrackBar, PositionFromCodeClampsAndRunsHandlerOnlyOnChange) {
  App();
  QWidget host;
  TrackBar bar(Qt::Vertical, &host);
  bar.setRange(0, 100);
  bar.SetPosition(100);
  std::vector<int> seen;   // the position the handler sees, inside the setter
  bar.OnChange = [&] { seen.push_back(bar.Position()); };

  struct Step {
    int set;
    int wantPosition;
    std::vector<int> wantSeen;
  };
  const Step steps[] = {
      {100, 100, {}},        // unchanged: no handler
      {40, 40, {40}},        // changed: handler once, already at the new value
      {40, 40, {40}},        // same value again: nothing
      {-5, 0, {40, 0}},      // clamped to Min
      {250, 100, {40, 0, 100}},  // clamped to Max
      {250, 100, {40, 0, 100}},  // clamps to the same value: nothing
  };
  for (const auto& s : steps) {
    bar.SetPosition(s.set);
    EXPECT_EQ(bar.Position(), s.wantPosition) << "set " << s.set;
    EXPECT_EQ(seen, s.wantSeen) << "set " << s.set;
  }
}

TEST(TrackBar, MaxBelowPositionPullsPositionDownAndRunsHandler) {
  App();
  QWidget host;
  TrackBar bar(Qt::Horizontal, &host);
  bar.setRange(1, 2000);
  bar.SetPosition(1500);
  int calls = 0;
  bar.OnChange = [&] { ++calls; };
  bar.SetMax(1000);
  EXPECT_EQ(bar.Position(), 1000);
  EXPECT_EQ(calls, 1);
  bar.SetMax(2000);   // raising the maximum leaves the position alone
  EXPECT_EQ(bar.Position(), 1000);
  EXPECT_EQ(calls, 1);
}

TEST(TrackBar, UserDragRunsTheSameHandlerAndVerticalHasMinAtTop) {
  App();
  QWidget host;
  host.resize(60, 200);
  TrackBar bar(Qt::Vertical, &host);
  bar.setGeometry(0, 0, 26, 94);
  bar.setRange(0, 100);
  bar.SetPosition(100);
  host.show();
  int calls = 0;
  bar.OnChange = [&] { ++calls; };
  // A press near the top of a vertical bar moves towards Min (page steps or a jump).
  bar.setPageStep(10);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(13, 3));
  EXPECT_LT(bar.Position(), 100);
  EXPECT_GE(calls, 1);
  EXPECT_TRUE(bar.invertedAppearance());
  bar.SetSelStart(40);
  bar.SetSelEnd(100);
  EXPECT_EQ(bar.SelStart(), 40);
  EXPECT_EQ(bar.SelEnd(), 100);
}

TEST(ScrollBar, UserActionComputesPositionAndTakesWhatTheHandlerLeaves) {
  App();
  QWidget host;
  ScrollBar bar(Qt::Horizontal, &host);
  bar.setRange(0, 1000);
  bar.SetLargeChange(100);
  bar.SetSmallChange(7);
  struct Case {
    const char* name;
    int start;
    QAbstractSlider::SliderAction action;
    int wantOffered;   // what the handler is called with
  };
  const Case cases[] = {
      {"arrow right", 10, QAbstractSlider::SliderSingleStepAdd, 17},
      {"arrow left", 10, QAbstractSlider::SliderSingleStepSub, 3},
      {"arrow left at start", 3, QAbstractSlider::SliderSingleStepSub, 0},
      {"page right", 950, QAbstractSlider::SliderPageStepAdd, 1000},
      {"page left", 500, QAbstractSlider::SliderPageStepSub, 400},
      {"to end", 5, QAbstractSlider::SliderToMaximum, 1000},
      {"to start", 500, QAbstractSlider::SliderToMinimum, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bar.SetPosition(c.start);
    int offered = -1;
    bar.OnScroll = [&](int& pos) {
      offered = pos;
      pos = pos - pos % 2;   // the handler aligns; the bar must take it
    };
    bar.triggerAction(c.action);
    EXPECT_EQ(offered, c.wantOffered);
    EXPECT_EQ(bar.Position(), c.wantOffered - c.wantOffered % 2);
  }
}

TEST(ScrollBar, ThumbDragCallsHandlerAndCodeChangesDoNot) {
  App();
  QWidget host;
  ScrollBar bar(Qt::Horizontal, &host);
  bar.setRange(0, 10000);
  int calls = 0;
  int offered = -1;
  bar.OnScroll = [&](int& pos) {
    ++calls;
    offered = pos;
    pos = 0;   // snap back
  };
  bar.setSliderDown(true);
  bar.setSliderPosition(4003);   // the thumb dragged to 4003
  bar.setSliderDown(false);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(offered, 4003);
  EXPECT_EQ(bar.Position(), 0);

  calls = 0;
  bar.SetPosition(5000);
  bar.SetMax(4000);              // pulls the position down, silently
  EXPECT_EQ(bar.Position(), 4000);
  bar.SetLargeChange(50);
  EXPECT_EQ(calls, 0);
}

TEST(UpDown, ReportsDirectionAndIsSilentAtTheEnds) {
  App();
  QWidget host;
  host.resize(100, 40);
  UpDown ud(&host);
  ud.setGeometry(0, 0, 42, 17);
  host.show();
  std::vector<UpDown::Button> seen;
  ud.OnClick = [&](UpDown::Button b) { seen.push_back(b); };
  EXPECT_EQ(ud.Position(), 50);
  QTest::mouseClick(ud.RightArrow(), Qt::LeftButton);
  EXPECT_EQ(ud.Position(), 51);
  QTest::mouseClick(ud.LeftArrow(), Qt::LeftButton);
  QTest::mouseClick(ud.LeftArrow(), Qt::LeftButton);
  EXPECT_EQ(ud.Position(), 49);
  EXPECT_EQ(seen, (std::vector<UpDown::Button>{UpDown::Button::Next, UpDown::Button::Previous,
                                               UpDown::Button::Previous}));

  seen.clear();
  ud.SetPosition(100);
  QTest::mouseClick(ud.RightArrow(), Qt::LeftButton);   // at the top: nothing
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ud.Position(), 100);
  ud.SetPosition(0);
  QTest::mouseClick(ud.LeftArrow(), Qt::LeftButton);    // at the bottom: nothing
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ud.Position(), 0);
  QTest::mouseClick(ud.RightArrow(), Qt::LeftButton);
  EXPECT_EQ(seen, std::vector<UpDown::Button>{UpDown::Button::Next});
}

TEST(Panel, ColourShowsAndClickRunsHandler) {
  App();
  QWidget host;
  host.resize(100, 100);
  Panel p(&host);
  p.setGeometry(10, 10, 22, 56);
  host.show();
  int clicks = 0;
  p.OnClick = [&] { ++clicks; };
  p.SetColor(MakeRgb(255, 32, 32));
  EXPECT_EQ(p.Color(), MakeRgb(255, 32, 32));
  EXPECT_EQ(p.palette().color(QPalette::Window), QColor(255, 32, 32));
  QTest::mouseClick(&p, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 1);
  const QImage shot = p.grab().toImage();
  EXPECT_EQ(shot.pixelColor(11, 28), QColor(255, 32, 32));   // interior shows the colour
}

TEST(QtTextRenderer, TextIsOpaqueOnTheBrushColour) {
  App();
  QFont font;
  font.setFamilies({"IPAPGothic", "IPAGothic"});
  font.setPixelSize(12);
  QtTextRenderer renderer(font);
  RasterCanvas canvas(120, 40);
  canvas.SetTextRenderer(&renderer);
  canvas.SetBrushColor(kBlack);
  canvas.FillRect(0, 0, 120, 40);
  canvas.SetBrushColor(kBlue);
  canvas.SetFontColor(kYellow);
  canvas.TextOut(10, 5, "音 500");

  const QFontMetrics fm(font);
  const int w = fm.horizontalAdvance(QString::fromUtf8("音 500"));
  const int h = fm.height();
  ASSERT_GT(w, 10);
  int ink = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) {
      const Rgb c = canvas.Pixel(x, y);
      const bool inBox = x >= 10 && x < 10 + w && y >= 5 && y < 5 + h;
      if (!inBox) {
        ASSERT_EQ(c, kBlack) << x << "," << y;   // nothing outside the text box
      } else {
        // Inside: only ink or paper, never the old black (opaque) and no blending.
        ASSERT_TRUE(c == kBlue || c == kYellow) << x << "," << y << " " << std::hex << c;
        if (c == kYellow) ++ink;
      }
    }
  }
  EXPECT_GT(ink, 20);   // glyphs were drawn, including the Japanese one
}

TEST(QtTextRenderer, ClipsToTheCanvas) {
  App();
  QFont font;
  font.setPixelSize(12);
  QtTextRenderer renderer(font);
  RasterCanvas canvas(20, 10);
  canvas.SetTextRenderer(&renderer);
  canvas.SetBrushColor(kBlack);
  canvas.FillRect(0, 0, 20, 10);
  canvas.SetBrushColor(kRed);
  canvas.TextOut(15, 6, "88888");   // runs off the right and bottom edges
  canvas.TextOut(-30, -30, "x");    // wholly outside
  EXPECT_EQ(canvas.Pixel(14, 9), kBlack);
  EXPECT_NE(canvas.Pixel(19, 9), kBlack);
  EXPECT_EQ(canvas.Pixel(0, 0), kBlack);
}

TEST(PaintBox, PaintHandlerRunsOnFirstShowAndRebuildNotOnExpose) {
  App();
  QWidget host;
  host.resize(200, 100);
  PaintBox box(50, 30, nullptr, &host);
  int paints = 0;
  box.OnPaint = [&] {
    ++paints;
    box.Canvas().SetBrushColor(kBlack);
    box.Canvas().FillRect(0, 0, 50, 30);
  };
  EXPECT_EQ(paints, 0);
  host.show();
  EXPECT_EQ(paints, 1);
  // Something drawn outside the paint handler (a voiceprint column) is retained.
  box.Canvas().SetBrushColor(kGreen);
  box.Canvas().FillRect(10, 10, 12, 30);
  box.Present();
  box.repaint();           // an expose
  host.hide();
  host.show();             // shown again
  EXPECT_EQ(paints, 1);
  const QImage shot = box.grab().toImage();
  EXPECT_EQ(shot.pixelColor(11, 20), QColor(0, 128, 0));
  EXPECT_EQ(shot.pixelColor(30, 20), QColor(0, 0, 0));
  box.Rebuild();
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(box.Canvas().Pixel(11, 20), kBlack);
}

TEST(PaintBox, MouseDownReportsButtonAndPoint) {
  App();
  QWidget host;
  host.resize(200, 100);
  PaintBox box(50, 30, nullptr, &host);
  host.show();
  Qt::MouseButton button = Qt::NoButton;
  int gx = -1, gy = -1, clicks = 0;
  box.OnMouseDown = [&](Qt::MouseButton b, int x, int y) {
    button = b;
    gx = x;
    gy = y;
  };
  box.OnClick = [&] { ++clicks; };
  QTest::mouseClick(&box, Qt::RightButton, {}, QPoint(7, 9));
  EXPECT_EQ(button, Qt::RightButton);
  EXPECT_EQ(gx, 7);
  EXPECT_EQ(gy, 9);
  EXPECT_EQ(clicks, 0);   // a click is the left button
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(3, 4));
  EXPECT_EQ(clicks, 1);
}

TEST(RadioGroupAndTimer, SelectedIndexAndEnabledFlag) {
  App();
  QWidget host;
  RadioGroup group({"1", "2"}, &host);
  EXPECT_EQ(group.ItemIndex(), 0);
  group.SetItemIndex(1);
  EXPECT_EQ(group.ItemIndex(), 1);

  Timer timer(200);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 200);
  int ticks = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.Fire();
  EXPECT_EQ(ticks, 0);   // no tick while disabled
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(ticks, 0);   // never inside the call that enables it
  timer.Fire();
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(false);
  timer.Fire();          // a tick already on its way when the timer stops does nothing
  EXPECT_EQ(ticks, 1);

  // The event loop's ticks reach the handler: a zero interval ticks at the next pass.
  Timer immediate(0);
  int loopTicks = 0;
  immediate.OnTimer = [&] { ++loopTicks; };
  immediate.SetEnabled(true);
  QCoreApplication::processEvents();
  EXPECT_GE(loopTicks, 1);
  immediate.SetEnabled(false);
  const int stopped = loopTicks;
  QCoreApplication::processEvents();
  EXPECT_EQ(loopTicks, stopped);
}

}  // namespace
}  // namespace tonamira

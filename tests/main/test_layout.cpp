// The window's layout: caption, fixed client size, control positions, captions, ranges,
// colours, fonts, and the piano keys with the black keys above the white ones.

#include <QFontInfo>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "main/form_main.h"
#include "test_support.h"

namespace tonamira {
namespace {

using testing::App;
using testing::ScriptedServices;

TEST(Layout, WindowCaptionSizeAndFlags) {
  App();
  ScriptedServices services;
  FormMain form(services);
  form.show();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("トナミラver1.24"));
  EXPECT_EQ(QApplication::applicationName(), QString::fromUtf8("トナミラ"));
  // No display name: the platform would append it to the caption.
  EXPECT_EQ(QApplication::applicationDisplayName(), QApplication::applicationName());
  EXPECT_EQ(form.size(), QSize(800, 600));
  EXPECT_EQ(form.minimumSize(), QSize(800, 600));
  EXPECT_EQ(form.maximumSize(), QSize(800, 600));
  const Qt::WindowFlags f = form.windowFlags();
  EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(f & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
  form.resize(1000, 700);
  EXPECT_EQ(form.size(), QSize(800, 600));
  // Centred on the screen.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(form.pos(), QPoint(area.x() + (area.width() - 800) / 2,
                              area.y() + (area.height() - 600) / 2));
}

TEST(Layout, ControlGeometriesAndCaptions) {
  App();
  ScriptedServices services;
  FormMain form(services);
  struct Case {
    const char* name;
    QWidget* w;
    QRect rect;
  };
  const Case cases[] = {
      {"LbfftValue", form.LbfftValue, {8, 1, 80, 34}},
      {"Label11", form.Label11, {91, 16, 20, 18}},
      {"Label14", form.Label14, {127, 20, 36, 11}},
      {"Label21", form.Label21, {166, 6, 57, 24}},
      {"Bevel4", form.Bevel4, {228, 1, 234, 36}},
      {"RecButton", form.RecButton, {233, 3, 76, 31}},
      {"PlayButton", form.PlayButton, {316, 3, 76, 31}},
      {"RadioGroupchan", form.RadioGroupchan, {398, 2, 59, 29}},
      {"Butopen", form.Butopen, {478, 4, 59, 29}},
      {"Butsave", form.Butsave, {541, 4, 59, 29}},
      {"Butfftampfilset", form.Butfftampfilset, {617, 7, 56, 21}},
      {"ButtonRecLevel", form.ButtonRecLevel, {682, 7, 53, 21}},
      {"ButtonPlayLevel", form.ButtonPlayLevel, {741, 7, 53, 21}},
      {"PaintBoxGra", form.PaintBoxGra, {0, 38, 545, 171}},
      {"UpDownChoicedata", form.UpDownChoicedata, {503, 192, 42, 17}},
      {"ScrollBarWaveTimes", form.ScrollBarWaveTimes, {549, 38, 16, 171}},
      {"PlayScrollBar", form.PlayScrollBar, {-1, 212, 545, 16}},
      {"PaintBoxFft", form.PaintBoxFft, {0, 232, 545, 169}},
      {"UpDownfftscale", form.UpDownfftscale, {505, 386, 39, 16}},
      {"ScrollBarFftTimes", form.ScrollBarFftTimes, {550, 232, 16, 168}},
      {"freq", form.freq, {-10, 404, 565, 29}},
      {"PaintBoxSeimonScale", form.PaintBoxSeimonScale, {568, 38, 25, 395}},
      {"PaintBoxSeimon", form.PaintBoxSeimon, {592, 38, 206, 395}},
      {"Label1", form.LabelsByNumber[1], {2, 438, 33, 12}},
      {"Label10", form.LabelsByNumber[10], {546, 438, 33, 12}},
      {"TrackBar1", form.TrackBarsByNumber[1], {5, 449, 26, 94}},
      {"TrackBar20", form.TrackBarsByNumber[20], {582, 449, 26, 94}},
      {"Bevel1", form.Bevel1, {616, 440, 177, 97}},
      {"volume", form.volume, {655, 443, 104, 22}},
      {"Lbamp", form.Lbamp, {760, 447, 25, 12}},
      {"TBmixtime", form.TBmixtime, {655, 473, 104, 22}},
      {"LBmixtime", form.LBmixtime, {761, 477, 25, 12}},
      {"Transmit", form.Transmit, {623, 501, 93, 30}},
      {"reset", form.reset, {729, 501, 54, 29}},
      {"Panel1", form.PanelsByNumber[1], {9, 542, 22, 56}},
      {"Panel2", form.PanelsByNumber[2], {21, 542, 17, 32}},
      {"Panel34", form.PanelsByNumber[34], {430, 542, 22, 56}},
      {"Panel59", form.PanelsByNumber[59], {753, 542, 17, 32}},
      {"Panel60", form.PanelsByNumber[60], {762, 542, 22, 56}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.w, nullptr);
    EXPECT_EQ(c.w->geometry(), c.rect);
    EXPECT_EQ(c.w->parentWidget(), &form);
  }

  struct Caption {
    QString got;
    const char* want;
  };
  const Caption captions[] = {
      {form.Label11->Caption(), "Hz"},          {form.Label14->Caption(), " Level"},
      {form.RecButton->Caption(), "録音"},       {form.PlayButton->Caption(), "再生"},
      {form.Butopen->Caption(), "開く"},         {form.Butsave->Caption(), "保存"},
      {form.Butfftampfilset->Caption(), "雑音除去"},
      {form.ButtonRecLevel->Caption(), "録音音量"},
      {form.ButtonPlayLevel->Caption(), "再生音量"},
      {form.Lbamptxt->Caption(), "大きさ"},      {form.Lbtimetxt->Caption(), "時　間"},
      {form.Transmit->Caption(), "ミキサー"},    {form.reset->Caption(), "リセット"},
      {form.RadioGroupchan->Item(0)->text(), "1"},
      {form.RadioGroupchan->Item(1)->text(), "2"},
  };
  for (const auto& c : captions) EXPECT_EQ(c.got, QString::fromUtf8(c.want));

  // The two self-sizing captions keep their place and are at least as wide as laid out,
  // wide enough for their whole text.
  struct AutoSized {
    Label* label;
    QRect laidOut;
  };
  for (const AutoSized& a : {AutoSized{form.Lbamptxt, {623, 449, 31, 12}},
                             AutoSized{form.Lbtimetxt, {622, 478, 32, 12}}}) {
    EXPECT_EQ(a.label->pos(), a.laidOut.topLeft());
    EXPECT_EQ(a.label->height(), a.laidOut.height());
    EXPECT_GE(a.label->width(), a.laidOut.width());
    EXPECT_GE(a.label->width(),
              QFontMetrics(a.label->font()).horizontalAdvance(a.label->Caption()));
  }
  EXPECT_EQ(form.RadioGroupchan->ItemIndex(), 0);
}

TEST(Layout, RangesAndStartPositions) {
  App();
  ScriptedServices services;
  FormMain form(services);
  struct Range {
    const char* name;
    int min, max, pos, got_min, got_max, got_pos;
  };
  const Range ranges[] = {
      {"ScrollBarWaveTimes", 1, 10, 4, form.ScrollBarWaveTimes->Min(),
       form.ScrollBarWaveTimes->Max(), form.ScrollBarWaveTimes->Position()},
      {"ScrollBarFftTimes", 1, 80, 15, form.ScrollBarFftTimes->Min(),
       form.ScrollBarFftTimes->Max(), form.ScrollBarFftTimes->Position()},
      {"freq", 1, 2000, 100, form.freq->Min(), form.freq->Max(), form.freq->Position()},
      {"volume", 0, 300, 10, form.volume->Min(), form.volume->Max(), form.volume->Position()},
      {"TBmixtime", 1, 30, 5, form.TBmixtime->Min(), form.TBmixtime->Max(),
       form.TBmixtime->Position()},
      {"UpDownChoicedata", 0, 100, 50, form.UpDownChoicedata->Min(),
       form.UpDownChoicedata->Max(), form.UpDownChoicedata->Position()},
      {"UpDownfftscale", 0, 100, 50, form.UpDownfftscale->Min(), form.UpDownfftscale->Max(),
       form.UpDownfftscale->Position()},
  };
  for (const auto& r : ranges) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.got_min, r.min);
    EXPECT_EQ(r.got_max, r.max);
    EXPECT_EQ(r.got_pos, r.pos);
  }
  for (int k = 1; k <= kHarmonics; ++k) {
    TrackBar* t = form.TrackBarsByNumber[k];
    EXPECT_EQ(t->Min(), 0);
    EXPECT_EQ(t->Max(), 100);
    EXPECT_EQ(t->Position(), 100);
    EXPECT_EQ(t->SelStart(), 100);
    EXPECT_EQ(t->SelEnd(), 100);
    EXPECT_EQ(t->pageStep(), 10);
    EXPECT_EQ(t->tickInterval(), 10);
    EXPECT_EQ(t->orientation(), Qt::Vertical);
    EXPECT_EQ(t->toolTip(), QString::number(k));
  }
  EXPECT_EQ(form.freq->tickInterval(), 100);
  EXPECT_EQ(form.freq->tickPosition(), QSlider::TicksAbove);
  EXPECT_EQ(form.Timer1.Interval(), 200);
}

TEST(Layout, ColoursAndFonts) {
  App();
  ScriptedServices services;
  FormMain form(services);
  struct Colours {
    const char* name;
    Label* label;
    Rgb ink, paper;
  };
  const Colours colours[] = {
      {"LbfftValue", form.LbfftValue, kRed, kBlack},  {"Label11", form.Label11, kRed, kBlack},
      {"Label14", form.Label14, kYellow, kBlack},     {"Label21", form.Label21, kYellow, kBlack},
      {"Label1", form.LabelsByNumber[1], kRed, kWhite}, {"Lbamp", form.Lbamp, kRed, kWhite},
      {"LBmixtime", form.LBmixtime, kRed, kWhite},    {"Lbamptxt", form.Lbamptxt, kRed, kWhite},
  };
  for (const auto& c : colours) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.label->FontColor(), c.ink);
    EXPECT_EQ(c.label->Color(), c.paper);
    EXPECT_EQ(c.label->palette().color(QPalette::WindowText), ToQColor(c.ink));
  }
  EXPECT_EQ(form.LbfftValue->font().pixelSize(), 40);
  EXPECT_EQ(form.Label21->font().pixelSize(), 27);
  EXPECT_EQ(form.Label14->font().pixelSize(), 11);
  EXPECT_TRUE(form.Label11->font().bold());
  EXPECT_EQ(form.RecButton->font().pixelSize(), 15);
  EXPECT_EQ(form.PlayButton->font().pixelSize(), 15);
  EXPECT_EQ(form.font().pixelSize(), 12);
  // The Windows fonts are missing here; the Japanese substitute is what gets used.
  const QString family = QFontInfo(form.font()).family();
  EXPECT_TRUE(family.startsWith("IPA")) << family.toStdString();
  EXPECT_TRUE(QFontInfo(form.Label11->font()).family().startsWith("IPA"));
  // Every caption character has a glyph in the font that shows it.
  const QFontMetrics fm(form.font());
  for (const char* s : {"録音再生開く保存雑音除去録音量大きさ時　間ミキサーリセットトナミラ"}) {
    for (QChar ch : QString::fromUtf8(s)) EXPECT_TRUE(fm.inFontUcs4(ch.unicode())) << s;
  }
}

TEST(Layout, PianoKeysAndBlackKeyTakesTheClick) {
  App();
  ScriptedServices services;
  FormMain form(services);
  form.show();
  int whites = 0;
  for (int n = 1; n <= kKeyCount; ++n) {
    Panel* p = form.PanelsByNumber[n];
    EXPECT_EQ(p->frameShadow(), QFrame::Raised);
    if (IsWhiteKey(n)) {
      ++whites;
      EXPECT_EQ(p->size(), QSize(22, 56));
      EXPECT_EQ(p->Color(), kWhite);
    } else {
      EXPECT_EQ(p->size(), QSize(17, 32));
      EXPECT_EQ(p->Color(), kBlack);
    }
  }
  EXPECT_EQ(whites, 35);

  // Record which panel a click reaches; Panel2 (black, 21..37) overlaps Panel1 (9..30) and
  // Panel3 (31..52).
  Panel* clicked = nullptr;
  for (int n = 1; n <= kKeyCount; ++n) {
    Panel* p = form.PanelsByNumber[n];
    p->OnClick = [&clicked, p] { clicked = p; };
  }
  struct Hit {
    QPoint at;   // window coordinates
    int want;
  };
  const Hit hits[] = {
      {{25, 550}, 2},    // where the black key overlaps white key 1
      {{33, 560}, 2},    // where it overlaps white key 3
      {{25, 590}, 1},    // below the black key: the white key
      {{12, 550}, 1},
      {{760, 560}, 59},  // A# where it overlaps white key 58
      {{775, 590}, 60},
  };
  for (const auto& h : hits) {
    clicked = nullptr;
    QWidget* target = form.childAt(h.at);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&form, h.at));
    EXPECT_EQ(clicked, form.PanelsByNumber[h.want]) << h.at.x() << "," << h.at.y();
  }
}

TEST(Layout, ScreenshotShowsKeysAndBlackVoiceprint) {
  App();
  ScriptedServices services;
  FormMain form(services);
  form.show();
  const QImage shot = form.grab().toImage();
  EXPECT_EQ(shot.size(), QSize(800, 600));
  EXPECT_EQ(shot.pixelColor(20, 590), QColor(255, 255, 255));   // white key 1, lower part
  EXPECT_EQ(shot.pixelColor(29, 560), QColor(0, 0, 0));         // black key 2
  EXPECT_EQ(shot.pixelColor(700, 200), QColor(0, 0, 0));        // the voiceprint is black
  EXPECT_EQ(shot.pixelColor(127, 21), QColor(0, 0, 0));         // Label14's background
}

}  // namespace
}  // namespace tonamira

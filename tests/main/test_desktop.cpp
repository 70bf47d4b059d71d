// Desktop habits beside the window's controls: a file given at start or dropped on the window
// opens as "開く" opens it, Ctrl+O and Ctrl+S press "開く" and "保存", the dialogs start in
// the folder used last, every control has a tooltip, and the mixer's captions show whole.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::App;
using testing::Pcm16;
using testing::ServiceCall;
using testing::ToneSamples;
using testing::WavBytes;
using testing::WavHeader;
using testing::Window;
using testing::WriteFile;

std::string ToneFile(const QTemporaryDir& dir, const std::string& name, double f0) {
  return WriteFile(dir, name, WavBytes(WavHeader{}, Pcm16(ToneSamples(f0, 44100), 1)));
}

// Drops a file on the window as a file manager would; true when the window took it.
bool Drop(FormMain& form, const QString& path, const QUrl& url = {}) {
  QMimeData mime;
  mime.setUrls({url.isEmpty() ? QUrl::fromLocalFile(path) : url});
  QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &drop);
  return drop.isAccepted();
}

// The two ways a file opens without a dialog: named when the program starts, and dropped.
struct OpenWay {
  const char* name;
  void (*open)(Window&, const std::string& path);
};
const OpenWay kOpenWays[] = {
    {"named at start", [](Window& w, const std::string& path) { w.form.OpenFile(path); }},
    {"dropped",
     [](Window& w, const std::string& path) {
       EXPECT_TRUE(Drop(w.form, QString::fromStdString(path)));
     }},
};

TEST(Desktop, AFileGivenOrDroppedOpensAsTheOpenButtonOpensIt) {
  QTemporaryDir dir;
  const std::string tone = ToneFile(dir, "a 330 tone.wav", 330.0);
  const std::string missing = dir.filePath("gone.wav").toStdString();
  for (const OpenWay& way : kOpenWays) {
    SCOPED_TRACE(way.name);
    Window w;
    way.open(w, tone);
    EXPECT_EQ(w.form.LbfftValue->Caption(), "330");
    // E4 is 329.63 Hz: 330 Hz is 2.0 cents sharp of it.
    EXPECT_EQ(w.form.LbfftValue->toolTip(), QString::fromUtf8("330 Hz: E4 から +2.0 セント"));
    EXPECT_TRUE(w.services.calls.empty());   // no dialog, no message
    // A file that cannot be read says what "開く" says.
    w.form.OpenFile(missing);
    EXPECT_EQ(w.services.calls,
              (std::vector<ServiceCall>{{"MessageBox", "No File", "ERROR"},
                                        {"ShowMessage", "stop", "トナミラ"}}));
  }
}

// A file that opens without a dialog can come between a take's stop and the two notifications
// that finish it. The file is then the current sound, and the notifications leave it so.
TEST(Desktop, AFileOpenedWhileATakeIsStoppingStaysTheCurrentSound) {
  QTemporaryDir dir;
  const std::string tone = ToneFile(dir, "t.wav", 330.0);
  for (const OpenWay& way : kOpenWays) {
    SCOPED_TRACE(way.name);
    Window w;
    w.sim.SetSignal([](uint64_t frame, int) {
      return static_cast<int16_t>(std::lround(
          8000.0 * std::sin(kTwoPi * 440.0 * static_cast<double>(frame) / 44100.0)));
    });
    w.form.RecButtonClick();
    for (int i = 0; i < 5; ++i) w.Advance(100'000);
    w.form.RecButtonClick();   // the stop: its two notifications are still queued
    way.open(w, tone);
    w.Pump();
    EXPECT_EQ(w.form.Sound.WaveDataSize, 88200);
    EXPECT_EQ(w.form.LbfftValue->Caption(), "330");
    EXPECT_FALSE(w.form.Devices.RecStopRequested);
    EXPECT_FALSE(w.form.Devices.RecStopDone);
    EXPECT_EQ(w.form.RecButton->Caption(), QString::fromUtf8("録音"));
    // Recording and stopping again still finish a take of its own.
    w.form.RecButtonClick();
    for (int i = 0; i < 3; ++i) w.Advance(100'000);
    w.form.RecButtonClick();
    EXPECT_EQ(w.Pump(), 2u);
    EXPECT_EQ(w.form.Sound.WaveDataSize, 3 * 8820);
    EXPECT_EQ(w.form.LbfftValue->Caption(), "440");
  }
}

TEST(Desktop, DropsThatAreNotLocalFilesOrComeWhileBusyDoNothing) {
  QTemporaryDir dir;
  const QString tone = QString::fromStdString(ToneFile(dir, "t.wav", 330.0));
  Window w;
  EXPECT_FALSE(Drop(w.form, {}, QUrl("https://example.org/t.wav")));
  for (bool* busy : {&w.form.Devices.Playing, &w.form.Devices.Recording}) {
    *busy = true;
    const uint8_t* before = w.form.Sound.WaveData;
    Drop(w.form, tone);
    EXPECT_EQ(w.form.Sound.WaveData, before);
    *busy = false;
  }
  EXPECT_TRUE(w.form.LbfftValue->Caption().isEmpty());
  EXPECT_EQ(w.form.LbfftValue->toolTip(), QString::fromUtf8("検出した音の高さ（Hz）です。"));
  EXPECT_TRUE(w.services.calls.empty());
}

TEST(Desktop, ControlOAndControlSPressOpenAndSave) {
  Window w;
  w.form.show();
  QApplication::setActiveWindow(&w.form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.form));
  QTest::keyClick(&w.form, Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(&w.form, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(w.services.calls, (std::vector<ServiceCall>{{"Open", kOpenFilter, ""},
                                                        {"Save", "wav|*.wav", ""}}));
}

TEST(Desktop, DialogsStartInTheFolderUsedLast) {
  QTemporaryDir dir;
  QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
  FolderMemory folders(settings);
  EXPECT_TRUE(folders.StartFolder().isEmpty());
  ASSERT_TRUE(QDir(dir.path()).mkdir("takes"));
  folders.Remember(dir.filePath("takes/one.wav"));
  EXPECT_EQ(folders.StartFolder(), dir.filePath("takes"));
  // Kept between runs: a new reader of the same settings file sees it.
  QSettings again(dir.filePath("settings.ini"), QSettings::IniFormat);
  EXPECT_EQ(FolderMemory(again).StartFolder(), dir.filePath("takes"));
  // A folder that has gone is no place to start.
  ASSERT_TRUE(QDir(dir.filePath("takes")).removeRecursively());
  EXPECT_TRUE(folders.StartFolder().isEmpty());
}

TEST(Desktop, EveryControlSaysWhatItDoes) {
  App();
  Window w;
  int checked = 0;
  for (QWidget* c : w.form.findChildren<QWidget*>()) {
    if (qobject_cast<QAbstractButton*>(c) != nullptr && qobject_cast<QAbstractButton*>(c)->parent() != &w.form)
      continue;   // the arrows inside an up-down control and the radio items
    if (auto* bar = dynamic_cast<TrackBar*>(c); bar != nullptr && !bar->ShownTip().isEmpty()) {
      ++checked;
      continue;
    }
    if (dynamic_cast<Button*>(c) || dynamic_cast<TrackBar*>(c) || dynamic_cast<ScrollBar*>(c) ||
        dynamic_cast<UpDown*>(c)) {
      EXPECT_FALSE(c->toolTip().isEmpty()) << c->metaObject()->className() << " at "
                                           << c->x() << "," << c->y();
      ++checked;
    }
  }
  // 8 buttons, 23 track bars, 4 scroll bars, 2 up-down controls.
  EXPECT_EQ(checked, 8 + 23 + 4 + 2);
  for (int k = 1; k <= kHarmonics; ++k) {
    EXPECT_EQ(w.form.TrackBarsByNumber[k]->toolTip(), QString::number(k));   // its hint
    EXPECT_TRUE(w.form.TrackBarsByNumber[k]->ShownTip().contains(QString::number(k)));
  }
}

TEST(Desktop, TheMixerCaptionsShowTheirLastGlyph) {
  Window w;
  w.form.show();
  const QImage shot = w.form.grab().toImage();
  for (Label* caption : {w.form.Lbamptxt, w.form.Lbtimetxt}) {
    SCOPED_TRACE(caption->Caption().toStdString());
    // Every ink pixel of the caption drawn on its own shows in the window too: nothing
    // beside it (the track bar) covers any part of it.
    const QImage alone = caption->grab().toImage();
    const QPoint at = caption->geometry().topLeft();
    // Red ink, antialiased edges included.
    auto inked = [](QColor c) { return c.red() > 200 && c.green() < 150 && c.blue() < 150; };
    int ink = 0;
    int shown = 0;
    for (int y = 0; y < alone.height(); ++y) {
      for (int x = 0; x < alone.width(); ++x) {
        if (!inked(alone.pixelColor(x, y))) continue;
        ++ink;
        if (inked(shot.pixelColor(at.x() + x, at.y() + y))) ++shown;
      }
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(shown, ink);
  }
}

}  // namespace
}  // namespace tonamira

// The English face: 表示 → English / 日本語 switches every caption, tooltip, menu and message of
// the frame, the main window and the pitch trace at once, and back to exactly the Japanese
// texts; the choice outlives a restart; in either language every caption fits its control and
// no control moves.

#include <QAbstractButton>
#include <QActionGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "main/language.h"
#include "main/main_frame.h"
#include "main/trace_window.h"
#include "views/waveform_view.h"
#include "window_fixture.h"

// Readable failures: the texts as text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tonamira {
namespace {

using testing::RunQueuedEvents;
using testing::ScriptedServices;
using testing::ServiceCall;

// The program's frame, where the user switches the language.
struct Program : testing::ProgramFrame {
  using ProgramFrame::ProgramFrame;

  // What the user does: the item under 表示, then the windows take the change as Qt delivers
  // it.
  void Choose(Language language) {
    (language == Language::English ? frame.EnglishAction() : frame.JapaneseAction())->trigger();
    Settle();
  }
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    RunQueuedEvents();
  }
};

// Every text the user can read in a window: captions, titles, tooltips, spin box prefixes and
// suffixes, the harmonic bars' tips and the menus, in the order of the widget tree.
void CollectTexts(QWidget* root, std::vector<QString>& out) {
  std::vector<QWidget*> widgets{root};
  for (QWidget* w : root->findChildren<QWidget*>()) widgets.push_back(w);
  for (QWidget* w : widgets) {
    if (w->isWindow()) out.push_back(QStringLiteral("title: ") + w->windowTitle());
    out.push_back(QStringLiteral("tip: ") + w->toolTip());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) out.push_back(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) out.push_back(l->text());
    if (auto* s = qobject_cast<QSpinBox*>(w)) out.push_back(s->prefix() + "|" + s->suffix());
    if (auto* t = dynamic_cast<TrackBar*>(w)) out.push_back(t->ShownTip());
    if (auto* m = qobject_cast<QMenu*>(w)) out.push_back(QStringLiteral("menu: ") + m->title());
    if (auto* bar = qobject_cast<QMenuBar*>(w)) {
      for (QAction* a : bar->actions()) out.push_back(QStringLiteral("bar: ") + a->text());
    }
    if (auto* m = qobject_cast<QMenu*>(w)) {
      for (QAction* a : m->actions()) out.push_back(QStringLiteral("item: ") + a->text());
    }
  }
}

std::vector<QString> AllTexts(Program& p) {
  std::vector<QString> out;
  CollectTexts(&p.frame, out);
  CollectTexts(&p.trace, out);
  return out;
}

bool HasJapanese(const QString& s) {
  for (const QChar c : s) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x9fff) || (u >= 0xff00 && u <= 0xffef)) return true;
  }
  return false;
}

std::vector<QRect> Geometries(QWidget* root) {
  std::vector<QRect> out{root->geometry()};
  for (QWidget* w : root->findChildren<QWidget*>()) out.push_back(w->geometry());
  return out;
}

QString ShownText(QString text) {
  // A mnemonic's '&' is not drawn; "&&" draws one '&'.
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(u'&');
  text.replace(u'\x01', u'&');
  return text;
}

// The captions that do not fit where they are drawn: each with its width and the room for it.
struct Cut {
  QString text;
  int width;
  int room;
};

// Checks every caption under root; counts the captions checked into checked, when given.
void CollectCuts(QWidget* root, std::vector<Cut>& cuts, int* checked = nullptr) {
  auto check = [&cuts, checked](const QFont& font, const QString& text, int room) {
    if (text.isEmpty()) return;
    if (checked != nullptr) ++*checked;
    const int width = QFontMetrics(font).horizontalAdvance(ShownText(text));
    if (width > room) cuts.push_back({text, width, room});
  };
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (auto* b = qobject_cast<QPushButton*>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(b);
      opt.text = b->text();
      check(b->font(), b->text(),
            b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width());
    } else if (qobject_cast<QRadioButton*>(w) != nullptr || qobject_cast<QCheckBox*>(w) != nullptr) {
      auto* item = static_cast<QAbstractButton*>(w);
      QStyleOptionButton opt;
      opt.initFrom(item);
      opt.text = item->text();
      const auto element = qobject_cast<QRadioButton*>(w) != nullptr
                               ? QStyle::SE_RadioButtonContents
                               : QStyle::SE_CheckBoxContents;
      check(item->font(), item->text(), item->style()->subElementRect(element, &opt, item).width());
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      check(l->font(), l->text(), l->contentsRect().width() - 2 * l->margin());
    } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
      // The widest value the box can show, with its prefix and suffix, inside the edit's margins.
      const auto* edit = s->findChild<QLineEdit*>();
      ASSERT_NE(edit, nullptr);
      check(edit->font(), s->prefix() + QString::number(s->maximum()) + s->suffix(),
            edit->contentsRect().width() - 4);
    } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
      // Every title in the bar itself, none pushed into its overflow.
      for (QAction* a : bar->actions()) {
        const QRect r = bar->actionGeometry(a);
        if (r.isEmpty() || r.right() >= bar->width()) cuts.push_back({a->text(), r.right(), bar->width()});
        check(bar->font(), a->text(), r.width());
      }
    } else if (auto* m = qobject_cast<QMenu*>(w)) {
      for (QAction* a : m->actions()) {
        if (a->isSeparator()) continue;
        check(m->font(), a->text(), m->actionGeometry(a).width());
      }
    }
  }
}

std::vector<Cut> CutCaptions(Program& p, int* checked = nullptr) {
  std::vector<Cut> cuts;
  CollectCuts(&p.frame, cuts, checked);
  CollectCuts(&p.trace, cuts, checked);
  return cuts;
}

TEST(Language, EnglishShowsAtOnceInEveryWindowAndJapaneseComesBackExactly) {
  Program p;
  p.frame.show();
  p.trace.show();
  const std::vector<QString> japanese = AllTexts(p);

  p.Choose(Language::English);
  struct Shown {
    const char* what;
    QString got;
    const char* want;
  };
  const Shown shown[] = {
      {"frame", p.frame.windowTitle(), "Tonamira ver1.24"},
      {"RecButton", p.form.RecButton->Caption(), "Record"},
      {"PlayButton", p.form.PlayButton->Caption(), "Play"},
      {"Butopen", p.form.Butopen->Caption(), "Open"},
      {"Butsave", p.form.Butsave->Caption(), "Save"},
      {"Butfftampfilset", p.form.Butfftampfilset->Caption(), "Denoise"},
      {"ButtonRecLevel", p.form.ButtonRecLevel->Caption(), "Rec Vol"},
      {"ButtonPlayLevel", p.form.ButtonPlayLevel->Caption(), "Play Vol"},
      {"Lbamptxt", p.form.Lbamptxt->Caption(), "Vol."},
      {"Lbtimetxt", p.form.Lbtimetxt->Caption(), "Time"},
      {"Transmit", p.form.Transmit->Caption(), "Mixer"},
      {"reset", p.form.reset->Caption(), "Reset"},
      {"Label11", p.form.Label11->Caption(), "Hz"},
      {"Label14", p.form.Label14->Caption(), " Level"},
      {"Butopen tip", p.form.Butopen->toolTip(),
       "Opens a WAV file (Ctrl+O). A file dropped on the window opens too."},
      {"TrackBar7 tip", p.form.TrackBarsByNumber[7]->ShownTip(), "The level of harmonic 7."},
      {"TrackBar7 hint", p.form.TrackBarsByNumber[7]->toolTip(), "7"},
      {"LbfftValue tip", p.form.LbfftValue->toolTip(), "The detected pitch (Hz)."},
      {"trace", p.trace.windowTitle(), "Pitch Trace"},
      {"trace span", p.trace.findChild<QSpinBox*>()->prefix(), "Span "},
      {"open", p.frame.OpenAction()->text(), "&Open…"},
      {"trace item", p.frame.TraceAction()->text(), "Pitch &Trace"},
      {"quit", p.frame.QuitAction()->text(), "&Quit"},
      {"about", p.frame.AboutAction()->text(), "&About"},
      {"recent", p.frame.RecentMenu()->title(), "&Recent Files"},
  };
  for (const Shown& s : shown) EXPECT_EQ(s.got, QString::fromUtf8(s.want)) << s.what;
  // Nothing is left in Japanese but the name of the other language.
  for (const QString& text : AllTexts(p)) {
    if (text == QString::fromUtf8("item: 日本語")) continue;
    EXPECT_FALSE(HasJapanese(text)) << text.toStdString();
  }

  p.Choose(Language::Japanese);
  EXPECT_EQ(AllTexts(p), japanese);
  EXPECT_EQ(p.form.RecButton->Caption(), QString::fromUtf8("録音"));
  EXPECT_EQ(p.frame.windowTitle(), QString::fromUtf8("トナミラver1.24"));
}

TEST(Language, ACaptionThatFollowsTheStateIsSwitchedAsItStands) {
  // A busy button's caption switches as it stands, and the caption set at the stop, while
  // English is shown, is the idle one in English, and in Japanese after switching back.
  struct Case {
    const char* name;
    std::function<void(Program&)> start;
    std::function<void(Program&)> stop;
    Button* (*button)(FormMain&);
    const char* busy[2];   // Japanese, English
    const char* idle[2];
  };
  auto stopRecording = [](Program& p) {
    p.form.RecButtonClick();
    for (int i = 0; i < 3; ++i) {
      p.sim.Advance(100'000);
      Program::Settle();
    }
  };
  const Case cases[] = {
      {"playing", [](Program& p) { p.form.PlayButtonClick(); },
       [](Program& p) { p.form.PlayButtonClick(); }, [](FormMain& f) { return f.PlayButton; },
       {"停止", "Stop"}, {"再生", "Play"}},
      {"recording", [](Program& p) { p.form.RecButtonClick(); }, stopRecording,
       [](FormMain& f) { return f.RecButton; }, {"録音停止", "Stop"}, {"録音", "Record"}},
      {"the mixer's tone", [](Program& p) { p.form.TransmitClick(); },
       [](Program& p) { p.form.PlayButtonClick(); }, [](FormMain& f) { return f.PlayButton; },
       {"停止", "Stop"}, {"再生", "Play"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program p;
    c.start(p);
    Button* b = c.button(p.form);
    ASSERT_EQ(b->Caption(), QString::fromUtf8(c.busy[0]));
    p.Choose(Language::English);
    EXPECT_EQ(b->Caption(), QString::fromUtf8(c.busy[1]));
    p.Choose(Language::Japanese);
    EXPECT_EQ(b->Caption(), QString::fromUtf8(c.busy[0]));
    p.Choose(Language::English);
    c.stop(p);
    EXPECT_FALSE(p.form.Devices.Playing || p.form.Devices.Recording);
    EXPECT_EQ(b->Caption(), QString::fromUtf8(c.idle[1]));
    p.Choose(Language::Japanese);
    EXPECT_EQ(b->Caption(), QString::fromUtf8(c.idle[0]));
  }
}

TEST(Language, TheChoiceIsRememberedAcrossARestart) {
  QTemporaryDir dir;
  const QString file = dir.filePath("settings.ini");
  {
    // With nothing stored, Japanese, as the program always was.
    Program p(file);
    EXPECT_EQ(p.frame.CurrentLanguage(), Language::Japanese);
    EXPECT_TRUE(p.frame.JapaneseAction()->isChecked());
    p.Choose(Language::English);
  }
  EXPECT_EQ(QSettings(file, QSettings::IniFormat).value(UiLanguage::kSettingsKey).toString(), "en");
  {
    // The next run starts in English: the windows are made in it.
    Program p(file);
    EXPECT_EQ(p.frame.CurrentLanguage(), Language::English);
    EXPECT_TRUE(p.frame.EnglishAction()->isChecked());
    EXPECT_EQ(p.form.Butopen->Caption(), "Open");
    EXPECT_EQ(p.frame.windowTitle(), "Tonamira ver1.24");
    EXPECT_EQ(p.trace.windowTitle(), "Pitch Trace");
    p.Choose(Language::Japanese);
  }
  EXPECT_EQ(QSettings(file, QSettings::IniFormat).value(UiLanguage::kSettingsKey).toString(), "ja");
  {
    Program p(file);
    EXPECT_EQ(p.frame.CurrentLanguage(), Language::Japanese);
    EXPECT_EQ(p.form.Butopen->Caption(), QString::fromUtf8("開く"));
  }
  // The translation goes with the frame: a window made after it is Japanese again.
  ScriptedServices services;
  FormMain alone(services);
  EXPECT_EQ(alone.Butopen->Caption(), QString::fromUtf8("開く"));
}

TEST(Language, AStoredCodeOtherThanEnglishIsJapanese) {
  const struct {
    const char* code;
    Language want;
  } cases[] = {{"en", Language::English}, {"ja", Language::Japanese},
               {"", Language::Japanese},  {"fr", Language::Japanese},
               {"EN", Language::Japanese}};
  for (const auto& c : cases) EXPECT_EQ(LanguageFromCode(c.code), c.want) << c.code;
  EXPECT_EQ(LanguageFromCode(LanguageCode(Language::English)), Language::English);
  EXPECT_EQ(LanguageFromCode(LanguageCode(Language::Japanese)), Language::Japanese);
}

TEST(Language, EveryCaptionFitsItsControlAndNoControlMovesInEitherLanguage) {
  Program p;
  p.frame.show();
  p.trace.show();
  for (QMenu* m : p.frame.menuBar()->findChildren<QMenu*>()) m->adjustSize();
  Program::Settle();
  const std::vector<QRect> laidOut = Geometries(&p.form);
  const QSize frameSize = p.frame.size();
  for (const Language language : {Language::Japanese, Language::English, Language::Japanese}) {
    SCOPED_TRACE(language == Language::English ? "English" : "Japanese");
    p.Choose(language);
    for (QMenu* m : p.frame.menuBar()->findChildren<QMenu*>()) m->adjustSize();
    int checked = 0;
    for (const Cut& c : CutCaptions(p, &checked))
      ADD_FAILURE() << '"' << c.text.toStdString() << "\" is " << c.width << " px wide in " << c.room;
    // The window's buttons, labels and radio items, the menu bar's titles and the menus' items,
    // the trace's buttons and spin boxes.
    EXPECT_GE(checked, 40);
    EXPECT_EQ(Geometries(&p.form), laidOut);
    EXPECT_EQ(p.form.size(), QSize(800, 600));
    EXPECT_EQ(p.frame.size(), frameSize);
  }
}

TEST(Language, MessageBoxesSayItInEnglish) {
  struct Case {
    const char* name;
    std::function<void(Program&)> act;
    ServiceCall want;
  };
  const Case cases[] = {
      {"no volume control",
       [](Program& p) {
         p.services.startAnswers.push_back(false);
         p.form.ButtonPlayLevelClick();
       },
       {"MessageBox", "Cannot start the volume control (pavucontrol). Please check that it is installed.",
        "ERROR"}},
      {"overwrite",
       [](Program& p) {
         const std::vector<int16_t> tone = testing::ToneSamples(440.0, 4410);
         const std::string file =
             testing::WriteFile(p.dir, "take.wav", testing::WavBytes({}, testing::Pcm16(tone, 1)));
         p.services.fileAnswers.push_back(file);
         p.form.OpenClick();
         p.services.fileAnswers.push_back(file);
         p.form.SaveClick();
       },
       {"Confirm", "Overwrite this file? {dir}/take.wav", "確認"}},
      {"the output lost",
       [](Program& p) {
         p.form.PlayButtonClick();
         p.sim.LoseOutput();
         p.sim.Advance(10'000);
         Program::Settle();
       },
       {"MessageBox",
        AudioErrorText(AudioResult::DeviceLost) + "\nThe playback stopped.", "ERROR"}},
      {"about",
       [](Program& p) { p.frame.AboutAction()->trigger(); },
       {"MessageBox", "{about}", "About Tonamira"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program p;
    p.Choose(Language::English);
    c.act(p);
    ServiceCall want = c.want;
    const std::string folder = "{dir}";
    if (const size_t at = want.text.find(folder); at != std::string::npos)
      want.text.replace(at, folder.size(), p.dir.path().toStdString());
    if (want.text == "{about}") {
      want.text = MainFrame::AboutText();
      // The version box in English is the program's English text.
      EXPECT_EQ(want.text.rfind("Tonamira ver1.24\nA program for looking at the pitch", 0), 0u);
    }
    ASSERT_FALSE(p.services.calls.empty());
    const ServiceCall& got = p.services.calls.back();
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.caption, want.caption);
  }
}

TEST(Language, TheLoudnessWarningIsDrawnInEnglish) {
  Program p;
  p.Choose(Language::English);
  std::vector<int16_t> loud(2048, 0);
  loud[2] = 32001;
  const std::vector<uint8_t> frame = testing::Pcm16(loud, 1);
  p.form.AnalyzeFrame(2048, frame.data(), frame.size(), 0, 1, 16, p.form.PaintBoxGra,
                      p.form.PaintBoxFft);
  ASSERT_EQ(p.form.Analysis.LevelOk, 0);
  RasterCanvas& wave = p.form.PaintBoxGra->Canvas();
  const std::vector<uint32_t> shown(wave.Bits(), wave.Bits() + 545 * 171);
  EXPECT_GT(testing::CountColor(wave, kRed, 272, 85, 545, 100), 20);
  // The text is drawn opaquely: drawing the English warning again changes no pixel, drawing
  // the Japanese one does.
  DrawLoudWarning(wave, "Please turn the sound down.");
  EXPECT_EQ(std::vector<uint32_t>(wave.Bits(), wave.Bits() + 545 * 171), shown);
  DrawLoudWarning(wave);
  EXPECT_NE(std::vector<uint32_t>(wave.Bits(), wave.Bits() + 545 * 171), shown);
}

TEST(Language, TheRealBoxesAskInEnglish) {
  // The real boxes, read while they are shown and then closed.
  Program p;
  p.Choose(Language::English);
  QtServices services;
  QString title;
  QStringList buttons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    box->reject();
  });
  EXPECT_EQ(services.Confirm("Overwrite this file? x.wav"), ConfirmAnswer::Cancel);
  EXPECT_EQ(title, "Confirm");
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"&No", "&Yes", "Cancel"}));
  // A short message is captioned with the program's name, in English too.
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    box->close();
  });
  services.ShowMessage("stop");
  EXPECT_EQ(title, "Tonamira");
}

}  // namespace
}  // namespace tonamira

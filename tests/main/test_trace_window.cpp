// The program's frame and the pitch trace, over the simulated devices: the menu's commands
// run what the buttons run, Ctrl+T opens the trace, a recorded voice draws its line with the
// note, the cents and a held note's vibrato, a click in the browsed contour moves the frame
// position, the reference A4 reaches the main window's tooltip and stays, the export writes
// what the command-line tool writes, and the main window's pixels are the same with the trace
// open or closed.

#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "cli/cli.h"
#include "main/main_frame.h"
#include "main/trace_window.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::RunQueuedEvents;
using testing::ScriptedServices;
using testing::ServiceCall;

// The program's frame, driven through the event loop.
struct Framed : testing::ProgramFrame {
  // The notifications and the tap's fragments go through the event loop, as in the program.
  void Deliver() {
    for (int i = 0; i < 4; ++i) RunQueuedEvents();
  }
  void Advance(uint64_t microseconds) {
    sim.Advance(microseconds);
    Deliver();
  }
  void Record(SimSignal signal, double seconds) {
    sim.SetSignal(std::move(signal));
    form.RecButtonClick();
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 10)); ++i) Advance(100'000);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return testing::WriteFile(dir, name, bytes);
  }
};

int16_t Sine(double hz, uint64_t frame, double amplitude = 8000.0) {
  return static_cast<int16_t>(
      std::lround(amplitude * std::sin(kTwoPi * hz * static_cast<double>(frame) / 44100.0)));
}

// A sung note: harmonics falling off, and a vibrato of `rate` Hz and +-extent cents.
SimSignal SungNote(double hz, double rate, double extent) {
  return [=](uint64_t frame, int) {
    const double t = static_cast<double>(frame) / 44100.0;
    // The phase of a pitch that swings: the integral of hz x 2^(extent sin(2 pi rate t)/1200),
    // to first order in the swing, which at +-50 cents is within 0.1 % of it.
    const double swing = extent / 1200.0 * std::log(2.0);
    const double phase = kTwoPi * hz * t - hz * swing / rate * std::cos(kTwoPi * rate * t);
    double v = 0.0;
    for (int h = 1; h <= 4; ++h) v += 6000.0 / (h * h) * std::sin(h * phase);
    return static_cast<int16_t>(std::lround(v));
  };
}

std::vector<uint8_t> ToneFile(double hz, double seconds) {
  testing::WavHeader mono;
  return testing::WavBytes(mono, testing::Pcm16(testing::ToneSamples(hz, static_cast<int>(seconds * 44100)), 1));
}

TEST(MainFrame, TheClientAreaIsTheMainWindowUnderTheMenuBar) {
  Framed f;
  f.frame.show();
  EXPECT_EQ(f.frame.windowTitle(), QString::fromUtf8(kWindowCaption));
  const int menu = f.frame.menuBar()->height();
  EXPECT_GT(menu, 0);
  EXPECT_EQ(f.form.geometry(), QRect(0, menu, kClientWidth, kClientHeight));
  EXPECT_EQ(f.frame.minimumSize(), f.frame.maximumSize()) << "the frame is of fixed size";
  EXPECT_EQ(f.frame.size(), QSize(kClientWidth, kClientHeight + menu));
  EXPECT_EQ(f.form.visibleRegion().boundingRect(), QRect(0, 0, kClientWidth, kClientHeight));
  EXPECT_EQ(f.form.RecButton->geometry(), QRect(233, 3, 76, 31));
}

TEST(MainFrame, TheMenusCommandsRunWhatTheButtonsRun) {
  struct Case {
    const char* name;
    std::optional<std::string> answer;     // the file dialog's answer ("" : a file made here)
    void (*button)(Framed&);
    QAction* (MainFrame::*action)() const;
  };
  const Case cases[] = {
      {"open, cancelled", std::nullopt, [](Framed& f) { f.form.OpenClick(); }, &MainFrame::OpenAction},
      {"open a file", "", [](Framed& f) { f.form.OpenClick(); }, &MainFrame::OpenAction},
      {"save, cancelled", std::nullopt, [](Framed& f) { f.form.SaveClick(); }, &MainFrame::SaveAction},
      {"save to a file", "", [](Framed& f) { f.form.SaveClick(); }, &MainFrame::SaveAction},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ServiceCall> byButton, byMenu;
    std::vector<uint8_t> savedByButton, savedByMenu;
    for (bool menu : {false, true}) {
      Framed f;
      const std::string file = f.Write("tone.wav", ToneFile(330.0, 1.0));
      const std::string out = f.dir.filePath("out.wav").toStdString();
      if (c.answer) f.services.fileAnswers.push_back(c.answer->empty() ? (c.action == &MainFrame::OpenAction ? file : out) : *c.answer);
      if (menu) (f.frame.*c.action)()->trigger();
      else c.button(f);
      (menu ? byMenu : byButton) = f.services.calls;
      (menu ? savedByMenu : savedByButton) = testing::ReadFile(out);
    }
    EXPECT_EQ(byMenu, byButton);
    EXPECT_EQ(savedByMenu, savedByButton);
  }
}

TEST(MainFrame, FilesOpenedAreOfferedAgainNewestFirst) {
  Framed f;
  std::vector<std::string> files;
  for (int i = 0; i < MainFrame::kRecentFiles + 2; ++i) {
    files.push_back(f.Write("tone" + std::to_string(i) + ".wav", ToneFile(200.0 + 50 * i, 0.3)));
    f.form.OpenFile(files.back());
  }
  f.form.OpenFile(files[3]);   // opened again: back to the top, once
  QList<QAction*> recent = f.frame.RecentMenu()->actions();
  ASSERT_EQ(recent.size(), MainFrame::kRecentFiles);
  EXPECT_EQ(recent[0]->data().toString().toStdString(), files[3]);
  EXPECT_EQ(recent[1]->data().toString().toStdString(), files.back());
  // An entry opens its file as "開く" does.
  f.services.calls.clear();
  const std::string third = recent[2]->data().toString().toStdString();
  recent[2]->trigger();
  EXPECT_EQ(f.form.Sound.WaveDataSize, static_cast<int32_t>(0.3 * 44100) * 2);
  EXPECT_TRUE(f.services.calls.empty());
  // And the list is there for the next run.
  ScriptedServices services;
  SimAudio sim;
  MainFrame again(services, sim, f.settings);
  ASSERT_FALSE(again.RecentMenu()->actions().isEmpty());
  EXPECT_EQ(again.RecentMenu()->actions()[0]->data().toString().toStdString(), third);
}

TEST(MainFrame, CtrlTOpensTheTraceAndCtrlQEndsThePlaying) {
  Framed f;
  f.frame.show();
  f.frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f.frame));
  EXPECT_FALSE(f.trace.isVisible());
  QTest::keyClick(&f.frame, Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(f.trace.isVisible());
  EXPECT_EQ(f.trace.windowTitle(), QString::fromUtf8(kTraceCaption));
  f.form.PlayButtonClick();
  ASSERT_TRUE(f.form.Devices.Playing);
  f.frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f.frame));
  QTest::keyClick(&f.frame, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(f.frame.isVisible());
  EXPECT_FALSE(f.trace.isVisible());
  EXPECT_FALSE(f.form.Devices.Playing);
  EXPECT_EQ(f.sim.OpenOutputs(), 0);
}

TEST(Trace, ARecordedVoiceDrawsItsLineWithItsNoteAndCents) {
  struct Case {
    const char* name;
    double hz;
    double a4;
    const char* note;
    const char* cents;
    CentsBand band;
  };
  const Case cases[] = {
      {"A4 in tune", 440.0, 440.0, "A4", "0", CentsBand::Green},
      {"a little sharp", 440.0 * std::exp2(18.0 / 1200.0), 440.0, "A4", "+18", CentsBand::Yellow},
      {"a modern G4 against a baroque A is its G#4", 392.0, 415.0, "G#4", "+1", CentsBand::Green},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Framed f;
    f.trace.SetReferenceA4(c.a4);
    f.frame.TraceAction()->trigger();
    f.Record([hz = c.hz](uint64_t frame, int) { return Sine(hz, frame); }, 1.5);
    f.trace.Refresh();
    EXPECT_EQ(f.trace.CurrentSource(), TraceWindow::Source::Live);
    EXPECT_EQ(f.trace.NoteText(), QString::fromUtf8(c.note));
    EXPECT_EQ(f.trace.CentsText(), QString::fromUtf8(c.cents));
    EXPECT_EQ(f.trace.HzText(), QString::number(c.hz, 'f', 1) + " Hz");
    EXPECT_EQ(f.trace.Reading().band, c.band);
    // Now at the right edge; the line is there, unbroken after its start.
    const TraceContour& line = f.trace.ShownContour();
    EXPECT_NEAR(f.trace.View().endSeconds, std::max(line.SecondsSeen(), 10.0), 1e-9);
    EXPECT_NEAR(line.SecondsSeen(), 1.5, 0.03);
    size_t voiced = 0;
    for (size_t i = 20; i < line.Points().size(); ++i) voiced += line.Points()[i].voiced();
    EXPECT_GE(voiced, line.Points().size() - 25);
    const double midi = 69.0 + 12.0 * std::log2(c.hz / c.a4);
    EXPECT_LT(f.trace.View().range.low, midi);
    EXPECT_GT(f.trace.View().range.high, midi);
  }
}

TEST(Trace, AHeldNoteShowsItsMeanCentsAndItsVibrato) {
  Framed f;
  f.frame.TraceAction()->trigger();
  f.Record(SungNote(261.63, 5.5, 40.0), 2.5);
  f.trace.Refresh();
  const HeldNote& held = f.trace.Held();
  ASSERT_TRUE(held.held);
  EXPECT_EQ(held.midi, 60);
  EXPECT_NEAR(held.meanCents, 0.0, 5.0);
  ASSERT_TRUE(held.vibrato.present);
  EXPECT_NEAR(held.vibrato.rateHz, 5.5, 0.3);
  EXPECT_NEAR(held.vibrato.extentCents, 40.0, 6.0);
  EXPECT_NE(f.trace.HeldText().indexOf(QString::fromUtf8("ビブラート")), -1);
}

TEST(Trace, AClickInTheBrowsedContourMovesTheFramePosition) {
  Framed f;
  f.form.OpenFile(f.Write("tone.wav", ToneFile(330.0, 12.0)));
  f.frame.TraceAction()->trigger();
  f.trace.resize(1000, 500);
  for (int i = 0; i < 4; ++i) f.trace.Refresh();   // five seconds of sound a refresh
  ASSERT_EQ(f.trace.CurrentSource(), TraceWindow::Source::Sound);
  EXPECT_NEAR(f.trace.ShownContour().SecondsSeen(), 12.0, 1e-6);
  const TraceLayout layout(QRectF(f.trace.Plot()->rect()), f.trace.View());
  f.trace.ClickAt(layout.XForTime(2.0));
  const uint32_t want = static_cast<uint32_t>(std::floor(layout.TimeForX(layout.XForTime(2.0)) * 44100)) * 2;
  EXPECT_EQ(f.form.Sound.FramePos, want);
  EXPECT_EQ(f.form.PlayScrollBar->Position(), static_cast<int>(want));
  EXPECT_EQ(f.form.LbfftValue->Caption(), "330");
  ASSERT_TRUE(f.trace.View().cursorSeconds);
  EXPECT_NEAR(*f.trace.View().cursorSeconds, want / 88200.0, 1e-9);
  EXPECT_EQ(f.trace.NoteText(), "E4");
  // A click past the end stops at the last frame; while playing, a click does nothing.
  f.trace.ClickAt(1e6);
  EXPECT_EQ(f.form.Sound.FramePos, static_cast<uint32_t>(f.form.PlayScrollBar->Max()));
  f.form.PlayButtonClick();
  const uint32_t playingFrom = f.form.Sound.FramePos;
  f.trace.Refresh();
  f.trace.ClickAt(layout.XForTime(1.0));
  EXPECT_EQ(f.form.Sound.FramePos, playingFrom);
}

TEST(Trace, TheReferenceAndTheSpanAreKeptAndTheReferenceReachesTheMainWindow) {
  Framed f;
  f.form.ShowPitchReadout(440);
  EXPECT_NE(f.form.LbfftValue->toolTip().indexOf("A4"), -1);
  f.trace.SetReferenceA4(415.0);
  EXPECT_NE(f.form.LbfftValue->toolTip().indexOf("A#4"), -1) << f.form.LbfftValue->toolTip().toStdString();
  EXPECT_EQ(f.form.LbfftValue->Caption(), "440");
  f.trace.SetReferenceA4(500.0);   // beyond the range: held to it
  EXPECT_EQ(f.trace.ReferenceA4(), 466.0);
  f.trace.SetReferenceA4(415.0);
  struct Wheel {
    int notches;
    int span;
  };
  for (const Wheel w : {Wheel{1, 8}, Wheel{1, 6}, Wheel{5, 5}, Wheel{-1, 6}, Wheel{-30, 60}, Wheel{-2, 60}}) {
    f.trace.Wheel(w.notches);
    EXPECT_EQ(f.trace.SpanSeconds(), w.span) << w.notches;
  }
  f.trace.SetSpanSeconds(20);
  f.trace.hide();
  // The next run finds them.
  ScriptedServices services;
  SimAudio sim;
  MainFrame again(services, sim, f.settings);
  EXPECT_EQ(again.Trace().ReferenceA4(), 415.0);
  EXPECT_EQ(again.Trace().SpanSeconds(), 20);
  again.Form().ShowPitchReadout(440);
  EXPECT_NE(again.Form().LbfftValue->toolTip().indexOf("A#4"), -1);
}

TEST(Trace, TheExportIsWhatTheToolWritesForTheSameSound) {
  Framed f;
  const std::string wav = f.Write("sung.wav", ToneFile(220.0, 2.0));
  f.form.OpenFile(wav);
  f.trace.SetReferenceA4(432.0);
  f.trace.Refresh();
  const std::string csv = f.dir.filePath("sung.csv").toStdString();
  f.services.fileAnswers.push_back(csv);
  f.trace.ExportClick();
  std::string args[] = {"tonamira-cli", "analyze", wav, "--method", "precise", "--a4", "432"};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(),
                  args[5].data(), args[6].data()};
  std::ostringstream out, err;
  ASSERT_EQ(RunCli(7, argv, out, err, false), 0) << err.str();
  const std::vector<uint8_t> exported = testing::ReadFile(csv);
  EXPECT_EQ(std::string(exported.begin(), exported.end()), out.str());

  // A plot, named with or without its extension.
  for (const char* name : {"plot.svg", "plot"}) {
    const std::string path = f.dir.filePath(name).toStdString();
    f.services.fileAnswers.push_back(path);
    f.trace.ExportClick();
    const std::string written = std::string(name) == "plot" ? path + ".png" : path;
    EXPECT_GT(testing::ReadFile(written).size(), 1000u) << written;
  }
  QImage png(QString::fromStdString(f.dir.filePath("plot.png").toStdString()));
  EXPECT_EQ(png.size(), QSize(1600, 1000));
  EXPECT_TRUE(f.services.Boxes().empty());
}

// The main window, step for step the same, with the trace open (and refreshing all along) and
// with it closed.
QImage MainWindowAfterASession(bool traceOpen) {
  Framed f;
  f.frame.show();
  if (traceOpen) f.frame.TraceAction()->trigger();
  auto step = [&](uint64_t us) {
    f.Advance(us);
    if (traceOpen) f.trace.Refresh();
  };
  f.sim.SetSignal(SungNote(330.0, 5.0, 30.0));
  f.form.RecButtonClick();
  for (int i = 0; i < 12; ++i) step(100'000);
  f.form.RecButtonClick();
  step(0);
  int scroll = 30000;
  f.form.PlayScrollBarScroll(scroll);
  step(0);
  f.form.PlayButtonClick();
  for (int i = 0; i < 3; ++i) {
    step(100'000);
    f.form.Timer1.Fire();
  }
  f.form.PlayButtonClick();
  step(0);
  // The main window active again, as a user comes back to it: a focus frame is the window
  // system's, not the window's own.
  f.frame.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&f.frame));
  if (traceOpen) {
    EXPECT_TRUE(f.trace.isVisible());
  }
  return f.form.grab().toImage();
}

TEST(Trace, TheMainWindowsPixelsAreTheSameWithTheTraceOpenOrClosed) {
  const QImage closed = MainWindowAfterASession(false);
  const QImage open = MainWindowAfterASession(true);
  ASSERT_EQ(open.size(), closed.size());
  EXPECT_TRUE(open == closed);
}

}  // namespace
}  // namespace tonamira

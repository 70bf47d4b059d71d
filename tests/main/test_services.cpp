// The filter conversion of the file dialogs and the scripted services the tests rely on.

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

#include "main/services.h"
#include "test_support.h"

namespace tonamira {
namespace {

TEST(QtFilterFromPairs, Table) {
  struct Case {
    const char* in;
    const char* want;
  };
  const Case cases[] = {
      {"wav|*.wav", "wav (*.wav)"},
      {"wav|*.wav|all|*.*", "wav (*.wav);;all (*.*)"},
      {"sound|*.wav;*.WAV", "sound (*.wav *.WAV)"},
      {"", ""},
      {"dangling", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(QtFilterFromPairs(c.in), c.want) << c.in;
  EXPECT_EQ(QtFilterFromPairs(kWavFilter), "wav (*.wav)");
}

TEST(ScriptedServices, RecordsCallsAndAnswersFromQueues) {
  testing::ScriptedServices s;
  s.confirmAnswers = {ConfirmAnswer::Yes, ConfirmAnswer::No};
  s.fileAnswers = {std::string("/tmp/a.wav"), std::nullopt};
  EXPECT_EQ(s.Confirm("q1"), ConfirmAnswer::Yes);
  EXPECT_EQ(s.Confirm("q2"), ConfirmAnswer::No);
  EXPECT_EQ(s.Confirm("q3"), ConfirmAnswer::Cancel);   // queue empty: cancelled
  EXPECT_EQ(s.OpenFileName(kWavFilter), std::optional<std::string>("/tmp/a.wav"));
  EXPECT_EQ(s.SaveFileName(kWavFilter), std::nullopt);
  s.ShowMessage("hello");
  EXPECT_FALSE(s.StartProgram("mixer -p"));
  ASSERT_EQ(s.calls.size(), 7u);
  EXPECT_EQ(s.calls[0].caption, "確認");
  EXPECT_EQ(s.calls[3].text, "wav|*.wav");
  EXPECT_EQ(s.calls[5], (testing::ServiceCall{"ShowMessage", "hello", "トナミラ"}));
}

QProgressDialog* ShownProgressDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible()) return d;
  return nullptr;
}

TEST(QtProgress, ShownAfterASecondAndCancelledByItsButton) {
  testing::App();
  int64_t now = 0;
  std::unique_ptr<Progress> p = MakeQtProgress(nullptr, "読み込み中: a.flac", [&now] { return now; });
  EXPECT_TRUE(p->Update(0.1));
  now = kProgressAfterMs;
  EXPECT_TRUE(p->Update(0.2));
  EXPECT_EQ(ShownProgressDialog(), nullptr);   // a task of a second shows nothing

  now = kProgressAfterMs + 1;
  EXPECT_TRUE(p->Update(0.5));
  QProgressDialog* d = ShownProgressDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("トナミラ"));
  EXPECT_EQ(d->labelText(), QString::fromUtf8("読み込み中: a.flac"));
  EXPECT_EQ(d->value(), 500);
  EXPECT_EQ(d->windowModality(), Qt::ApplicationModal);
  // Within 50 ms of the last turn of the event loop nothing is redrawn.
  now += 10;
  EXPECT_TRUE(p->Update(0.6));
  EXPECT_EQ(d->value(), 500);
  now += 50;
  EXPECT_TRUE(p->Update(0.7));
  EXPECT_EQ(d->value(), 700);

  QPushButton* cancel = d->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QString::fromUtf8("キャンセル"));
  cancel->click();
  now += 50;
  EXPECT_FALSE(p->Update(0.8));
  EXPECT_FALSE(p->Update(0.9));   // once cancelled, always
  p.reset();
  EXPECT_EQ(ShownProgressDialog(), nullptr);
}

}  // namespace
}  // namespace tonamira

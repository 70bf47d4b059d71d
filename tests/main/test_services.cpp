// The filter conversion of the file dialogs and the scripted services the tests rely on.

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

}  // namespace
}  // namespace tonamira

#pragma once
// The one application object of a test process that draws plots (offscreen): text needs its
// fonts; and the tool's fixture for the commands that draw.

#include <QGuiApplication>

#include "cli_fixture.h"

namespace tonamira {
namespace plot_test {

inline void EnsureApp() {
  static int argc = 1;
  static char name[] = "tonamira-tests-plot";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

// The tool run in-process with the application its plots need.
class PlotCliTest : public cli_test::CliTest {
 protected:
  void SetUp() override {
    EnsureApp();
    CliTest::SetUp();
  }
};

}  // namespace plot_test
}  // namespace tonamira

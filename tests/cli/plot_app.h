#pragma once
// The one application object of a test process that draws plots (offscreen): text needs its
// fonts.

#include <QGuiApplication>

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

}  // namespace plot_test
}  // namespace tonamira

#pragma once
// Shared pieces of the window tests: the application object, a scripted stand-in for the
// platform services that records every call and answers from queues, and the program's frame
// over them.

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSettings>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "devices/sim_audio.h"
#include "main/form_main.h"
#include "main/main_frame.h"
#include "main/services.h"
#include "main/trace_window.h"

namespace tonamira::testing {

// The one application object of the test process (offscreen platform).
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "tonamira-tests-main";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* a = new QApplication(argc, argv);
    ApplyApplicationSettings();
    return a;
  }();
  return *app;
}

// Runs a nested event loop, as a modal box does, until everything queued before it has been
// delivered (what those deliveries queue in turn waits for the next loop).
inline void RunQueuedEvents() {
  QEventLoop loop;
  QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  loop.exec();
}

struct ServiceCall {
  std::string kind;     // "MessageBox", "ShowMessage", "Confirm", "Open", "Save", "Start",
                        // "Progress"
  std::string text;
  std::string caption;
  friend bool operator==(const ServiceCall&, const ServiceCall&) = default;
  // How a failed expectation shows a call.
  friend void PrintTo(const ServiceCall& c, std::ostream* out) {
    *out << c.kind << "(\"" << c.text << "\", \"" << c.caption << "\")";
  }
};

class ScriptedServices final : public Services {
 public:
  std::vector<ServiceCall> calls;
  std::deque<ConfirmAnswer> confirmAnswers;
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<bool> startAnswers;
  // What happens while a box is shown: a real box runs an event loop until it is answered,
  // in which notifications and timer ticks reach the window (nothing, when empty).
  std::function<void()> whileShown;
  // A task's progress: the dialog counts as shown from the update numbered progressShownAt
  // (1 is the first; 0 never), from where each update runs whileShown as the real dialog's
  // event loop would; the user cancels at the update numbered progressCancelAt (0 never).
  int progressShownAt = 1;
  int progressCancelAt = 0;
  int progressUpdates = 0;       // updates of every task so far
  std::vector<double> progressFractions;

  void MessageBox(const std::string& text, const std::string& caption) override {
    calls.push_back({"MessageBox", text, caption});
    Shown();
  }
  void ShowMessage(const std::string& text) override {
    calls.push_back({"ShowMessage", text, kApplicationTitle});
    Shown();
  }
  ConfirmAnswer Confirm(const std::string& text) override {
    calls.push_back({"Confirm", text, "確認"});
    Shown();
    return Next(confirmAnswers, ConfirmAnswer::Cancel);
  }
  std::optional<std::string> OpenFileName(const std::string& filter) override {
    calls.push_back({"Open", filter, ""});
    return Next(fileAnswers, std::optional<std::string>{});
  }
  std::optional<std::string> SaveFileName(const std::string& filter) override {
    calls.push_back({"Save", filter, ""});
    return Next(fileAnswers, std::optional<std::string>{});
  }
  bool StartProgram(const std::string& commandLine) override {
    calls.push_back({"Start", commandLine, ""});
    return Next(startAnswers, false);
  }
  std::unique_ptr<Progress> StartProgress(const std::string& text) override {
    calls.push_back({"Progress", text, kApplicationTitle});
    return std::make_unique<ScriptedProgress>(*this);
  }

  // Message boxes shown so far, in order.
  std::vector<ServiceCall> Boxes() const {
    std::vector<ServiceCall> out;
    for (const auto& c : calls)
      if (c.kind == "MessageBox" || c.kind == "ShowMessage") out.push_back(c);
    return out;
  }

 private:
  struct ScriptedProgress final : Progress {
    explicit ScriptedProgress(ScriptedServices& s) : services(s) {}
    bool Update(double fraction) override {
      const int n = ++count;
      ++services.progressUpdates;
      services.progressFractions.push_back(fraction);
      if (services.progressShownAt > 0 && n >= services.progressShownAt) services.Shown();
      return services.progressCancelAt == 0 || n < services.progressCancelAt;
    }
    ScriptedServices& services;
    int count = 0;
  };

  void Shown() {
    if (whileShown) whileShown();
  }
  template <typename T>
  static T Next(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T v = queue.front();
    queue.pop_front();
    return v;
  }
};

// The frame as the program makes it, on the simulated devices, with its settings in a file of
// its own: settings.ini in a fresh folder, or the file given (to run the program again on the
// settings of an earlier run).
struct ProgramFrame {
  ProgramFrame() : ProgramFrame(QString()) {}
  explicit ProgramFrame(const QString& settingsFile)
      : settings(settingsFile.isEmpty() ? dir.filePath("settings.ini") : settingsFile,
                 QSettings::IniFormat),
        frame((App(), services), sim, settings) {}
  QTemporaryDir dir;
  ScriptedServices services;
  SimAudio sim;
  QSettings settings;
  MainFrame frame;
  FormMain& form = frame.Form();
  TraceWindow& trace = frame.Trace();
};

}  // namespace tonamira::testing

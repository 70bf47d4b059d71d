#pragma once
// Shared pieces of the window tests: the application object and a scripted stand-in for the
// platform services that records every call and answers from queues.

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "main/services.h"

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
  std::string kind;     // "MessageBox", "ShowMessage", "Confirm", "Open", "Save", "Start"
  std::string text;
  std::string caption;
  friend bool operator==(const ServiceCall&, const ServiceCall&) = default;
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

  // Message boxes shown so far, in order.
  std::vector<ServiceCall> Boxes() const {
    std::vector<ServiceCall> out;
    for (const auto& c : calls)
      if (c.kind == "MessageBox" || c.kind == "ShowMessage") out.push_back(c);
    return out;
  }

 private:
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

}  // namespace tonamira::testing

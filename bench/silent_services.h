#pragma once
// Platform services that answer nothing, for benchmarks of the window: what they measure
// raises no boxes or dialogs.

#include <memory>
#include <optional>
#include <string>

#include "main/services.h"

namespace tonamira {

class SilentServices final : public Services {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  ConfirmAnswer Confirm(const std::string&) override { return ConfirmAnswer::Cancel; }
  std::optional<std::string> OpenFileName(const std::string&) override { return {}; }
  std::optional<std::string> SaveFileName(const std::string&) override { return {}; }
  bool StartProgram(const std::string&) override { return false; }
  std::unique_ptr<Progress> StartProgress(const std::string&) override {
    struct Silent final : Progress {
      bool Update(double) override { return true; }
    };
    return std::make_unique<Silent>();
  }
};

}  // namespace tonamira

#pragma once
// The platform services the window calls: message boxes, the confirmation question, file
// dialogs and starting another program. The window talks only to this interface; the
// program uses QtServices, tests answer from a script.

#include <memory>
#include <optional>
#include <string>

#include <QString>

class QSettings;
class QWidget;

namespace tonamira {

inline constexpr const char* kApplicationTitle = QT_TRANSLATE_NOOP("QtServices", "トナミラ");
inline constexpr const char* kWavFilter = "wav|*.wav";

enum class ConfirmAnswer { Yes, No, Cancel };

class Services {
 public:
  virtual ~Services() = default;
  // Modal box with an OK button, the given text and caption.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // Modal box with an OK button and the application title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal question captioned "確認" with "はい(&Y)", "いいえ(&N)" and "キャンセル".
  virtual ConfirmAnswer Confirm(const std::string& text) = 0;
  // File dialogs with a filter in the "name|pattern" form; nullopt when cancelled.
  virtual std::optional<std::string> OpenFileName(const std::string& filter) = 0;
  virtual std::optional<std::string> SaveFileName(const std::string& filter) = 0;
  // Starts another program from a command line; false when it could not be started.
  virtual bool StartProgram(const std::string& commandLine) = 0;
};

// Gives the application its title and the classic look of the window's controls. The title
// goes into the application name, not the display name: on X11 Qt appends a display name to
// every window title, which would change the window's caption.
void ApplyApplicationSettings();

// "wav|*.wav" -> "wav (*.wav)"; pairs separated by further '|' become ";;"-separated filters.
std::string QtFilterFromPairs(const std::string& filter);

// The folder the file dialogs start in: the folder of the file chosen last, kept between
// runs in the settings given (the user's own settings file in the program).
class FolderMemory {
 public:
  explicit FolderMemory(QSettings& settings) : settings_(settings) {}
  // The folder to start in; empty (the dialog's own choice) until a file has been chosen or
  // when that folder is gone.
  QString StartFolder() const;
  // Remembers the folder of a chosen file.
  void Remember(const QString& chosenFile);

 private:
  QSettings& settings_;
};

class QtServices final : public Services {
 public:
  explicit QtServices(QWidget* owner = nullptr);
  ~QtServices() override;
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void MessageBox(const std::string& text, const std::string& caption) override;
  void ShowMessage(const std::string& text) override;
  ConfirmAnswer Confirm(const std::string& text) override;
  std::optional<std::string> OpenFileName(const std::string& filter) override;
  std::optional<std::string> SaveFileName(const std::string& filter) override;
  bool StartProgram(const std::string& commandLine) override;

 private:
  QWidget* owner_;
  std::unique_ptr<QSettings> settings_;
  FolderMemory folders_;
};

}  // namespace tonamira

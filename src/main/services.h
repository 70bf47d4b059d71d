#pragma once
// The platform services the window calls: message boxes, the confirmation question, file
// dialogs, the progress of a long task and starting another program. The window talks only
// to this interface; the program uses QtServices, tests answer from a script.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QString>

class QSettings;
class QWidget;

namespace tonamira {

inline constexpr const char* kApplicationTitle = QT_TRANSLATE_NOOP("QtServices", "トナミラ");
// What saving writes, and the one kind the program's own reader opens.
inline constexpr const char* kWavFilter = "wav|*.wav";
// What opening offers: every sound file the decoders read, the WAV files alone, any file.
inline constexpr const char* kOpenFilter =
    "sound|*.wav;*.flac;*.mp3;*.m4a;*.aac;*.ogg;*.oga;*.opus;*.aif;*.aiff;*.aifc|"
    "wav|*.wav|all|*";
// A long task shows its progress once it has run this long; a shorter one shows nothing.
inline constexpr int64_t kProgressAfterMs = 1000;

enum class ConfirmAnswer { Yes, No, Cancel };

// The progress of one long task: a dialog with the task's text, a bar and a cancel button,
// shown once the task has run for more than kProgressAfterMs and closed when this object
// goes.
class Progress {
 public:
  virtual ~Progress() = default;
  // The share done (0 .. 1). While the dialog is shown this runs the event loop for a
  // moment, as any dialog does: device notifications and timer ticks may be handled inside
  // it. False once the user has cancelled.
  virtual bool Update(double fraction) = 0;
};

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
  // The progress of a task that is starting now, under the application title.
  virtual std::unique_ptr<Progress> StartProgress(const std::string& text) = 0;
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

// The program's progress dialog: a QProgressDialog, application-modal, with "キャンセル",
// made once elapsedMs (the time since the task started) passes kProgressAfterMs; while it
// is shown, Update runs the event loop at most every 50 ms of elapsedMs.
std::unique_ptr<Progress> MakeQtProgress(QWidget* owner, const std::string& text,
                                         std::function<int64_t()> elapsedMs);

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
  std::unique_ptr<Progress> StartProgress(const std::string& text) override;

 private:
  QWidget* owner_;
  std::unique_ptr<QSettings> settings_;
  FolderMemory folders_;
};

}  // namespace tonamira

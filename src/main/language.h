#pragma once
// The language of the program's face, which the user chooses under 表示 (English or 日本語).
// Japanese is the language the texts are written in, and the default: with it no translation
// is installed at all, so every caption and message is the program's own. English installs the
// translation built into the program (tonamira_en.ts, compiled by lrelease); Qt then tells
// every window, which puts its texts into the new language at once (ui_text.h).

#include <QString>
#include <QTranslator>

class QSettings;

namespace tonamira {

enum class Language { Japanese, English };

// The choice as the settings keep it ("ja", "en"), and back; anything else is Japanese.
QString LanguageCode(Language language);
Language LanguageFromCode(const QString& code);

// The user's language over the lifetime of the program's frame: applies the choice the
// settings remember when made, remembers each new choice, and takes its translation out of
// the application when it goes.
class UiLanguage {
 public:
  static constexpr const char* kSettingsKey = "ui/language";
  static constexpr const char* kEnglishTranslation = ":/i18n/tonamira_en.qm";

  explicit UiLanguage(QSettings& settings);
  ~UiLanguage();
  UiLanguage(const UiLanguage&) = delete;
  UiLanguage& operator=(const UiLanguage&) = delete;

  Language Current() const { return current_; }
  // Switches to language and remembers it; false (and Japanese) when the English translation
  // cannot be loaded.
  bool Choose(Language language);

 private:
  void Apply(Language language);

  QSettings& settings_;
  QTranslator english_;
  bool installed_ = false;
  Language current_ = Language::Japanese;
};

}  // namespace tonamira

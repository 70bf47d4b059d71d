#include "main/language.h"

#include <QCoreApplication>
#include <QSettings>

namespace tonamira {

QString LanguageCode(Language language) {
  return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja");
}

Language LanguageFromCode(const QString& code) {
  return code == QStringLiteral("en") ? Language::English : Language::Japanese;
}

UiLanguage::UiLanguage(QSettings& settings) : settings_(settings) {
  Apply(LanguageFromCode(settings_.value(kSettingsKey).toString()));
}

UiLanguage::~UiLanguage() {
  if (installed_) QCoreApplication::removeTranslator(&english_);
}

bool UiLanguage::Choose(Language language) {
  Apply(language);
  settings_.setValue(kSettingsKey, LanguageCode(current_));
  settings_.sync();
  return current_ == language;
}

void UiLanguage::Apply(Language language) {
  if (language == Language::English && !installed_) {
    // The translation is compiled into the program; it loads unless the build left it out.
    if (english_.isEmpty() && !english_.load(QString::fromLatin1(kEnglishTranslation))) {
      current_ = Language::Japanese;
      return;
    }
    installed_ = QCoreApplication::installTranslator(&english_);
  } else if (language == Language::Japanese && installed_) {
    QCoreApplication::removeTranslator(&english_);
    installed_ = false;
  }
  current_ = installed_ ? Language::English : Language::Japanese;
}

}  // namespace tonamira

#include "main/ui_text.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace tonamira {

namespace {

// A child of the widget: a widget hands the language change on to all its children, so this
// one hears of it without the widget knowing.
class LanguageFollower final : public QObject {
 public:
  LanguageFollower(QWidget* widget, const char* key) : QObject(widget) {
    setObjectName(QString::fromLatin1(key));
  }
  void Follow(std::function<void()> apply) {
    apply_ = std::move(apply);
    apply_();
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::LanguageChange && apply_) apply_();
    return QObject::event(e);
  }

 private:
  std::function<void()> apply_;
};

}  // namespace

void KeepTranslated(QWidget* widget, const char* key, std::function<void()> apply) {
  const QString name = QString::fromLatin1(key);
  LanguageFollower* follower = nullptr;
  for (QObject* child : widget->children()) {
    if (child->objectName() == name) {
      follower = dynamic_cast<LanguageFollower*>(child);
      if (follower != nullptr) break;
    }
  }
  if (follower == nullptr) follower = new LanguageFollower(widget, key);
  follower->Follow(std::move(apply));
}

void TranslatedToolTip(QWidget* widget, std::function<QString()> text) {
  KeepTranslated(widget, "toolTip",
                 [widget, text = std::move(text)] { widget->setToolTip(text()); });
}

}  // namespace tonamira

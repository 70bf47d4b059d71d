#pragma once
// The window's texts in the language the user chose. Each text is written in the program's
// own language (Japanese, the source of the translations) inside tr() where it is used;
// KeepTranslated sets it now and again whenever the language changes. So a switch of
// language shows at once in every open window, and a caption that changes with the state
// ("録音" and "録音停止") comes back in the new language as the one that was set last.

#include <QString>

#include <functional>

class QWidget;

namespace tonamira {

// Runs apply now and again each time widget is told that the language changed (Qt tells every
// widget, from its window down). key names what apply sets on the widget: a later call with
// the same key replaces the earlier one, so a text set again and again costs no more.
void KeepTranslated(QWidget* widget, const char* key, std::function<void()> apply);

// The usual cases: a control's caption (a Label or Button of the toolkit) and a tooltip.
template <typename Control>
void TranslatedCaption(Control* control, std::function<QString()> text) {
  KeepTranslated(control, "caption",
                 [control, text = std::move(text)] { control->SetCaption(text()); });
}
void TranslatedToolTip(QWidget* widget, std::function<QString()> text);

}  // namespace tonamira

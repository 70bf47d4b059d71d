#pragma once
// Small control classes over Qt widgets with exactly the behaviour the window's handlers
// rely on: synchronous change handlers, scroll handlers that may adjust the new position,
// silent up-down ends, panels with a colour and a click, and paint boxes that show a
// retained canvas.

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "common/up_down.h"
#include "views/canvas.h"
#include "views/raster_canvas.h"

class QRadioButton;

namespace tonamira {

// 0xRRGGBB as a QColor.
QColor ToQColor(Rgb rgb);

// Track bar. Setting Position from code clamps it and, when it changes, runs OnChange inside
// the setter; lowering Max below Position pulls Position down and runs OnChange too; a user
// drag runs the same handler. Vertical bars have Min at the top.
class TrackBar : public QSlider {
 public:
  TrackBar(Qt::Orientation orientation, QWidget* parent);

  int Min() const { return minimum(); }
  int Max() const { return maximum(); }
  int Position() const { return value(); }
  void SetMin(int v) { setMinimum(v); }
  void SetMax(int v) { setMaximum(v); }
  void SetPosition(int v) { setValue(v); }
  int SelStart() const { return selStart_; }
  int SelEnd() const { return selEnd_; }
  void SetSelStart(int v);
  void SetSelEnd(int v);
  // The tooltip shown over the bar, when it should differ from its hint text (toolTip()).
  QString ShownTip() const { return shownTip_; }
  void SetShownTip(const QString& tip) { shownTip_ = tip; }

  std::function<void()> OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  int selStart_ = 0;
  int selEnd_ = 0;
  QString shownTip_;
};

// Scroll bar. A user action (arrow, page, thumb, end) computes the new position within the
// range and calls OnScroll with it by reference; the bar then takes the position the
// handler leaves. Setting Position or Max from code runs no handler.
class ScrollBar : public QScrollBar {
 public:
  ScrollBar(Qt::Orientation orientation, QWidget* parent);

  int Min() const { return minimum(); }
  int Max() const { return maximum(); }
  int Position() const { return value(); }
  int LargeChange() const { return pageStep(); }
  int SmallChange() const { return singleStep(); }
  void SetMin(int v) { setMinimum(v); }
  void SetMax(int v) { setMaximum(v); }
  void SetPosition(int v) { setValue(v); }
  void SetLargeChange(int v) { setPageStep(v); }
  void SetSmallChange(int v) { setSingleStep(v); }

  std::function<void(int& scrollPos)> OnScroll;

 private:
  void UserAction(int action);
  bool inAction_ = false;
};

// Horizontal up-down arrows: position 0..100 (start 50), step 1, no wrap-around. A click
// that moves the position reports Next (right arrow) or Previous (left arrow); a click at
// the end of the range reports nothing.
class UpDown : public QWidget {
 public:
  using Button = UpDownButton;
  explicit UpDown(QWidget* parent);

  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetPosition(int v);
  QToolButton* LeftArrow() const { return left_; }
  QToolButton* RightArrow() const { return right_; }

  std::function<void(Button)> OnClick;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Step(Button button);
  QToolButton* left_;
  QToolButton* right_;
  int min_ = 0;
  int max_ = 100;
  int position_ = 50;
};

// Label with a caption and colours that show at once.
class Label : public QLabel {
 public:
  explicit Label(QWidget* parent);
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }
  void SetColors(Rgb text, Rgb background);
  Rgb FontColor() const { return fontColor_; }
  Rgb Color() const { return color_; }

 private:
  Rgb fontColor_ = kBlack;
  Rgb color_ = kWhite;
};

class Button : public QPushButton {
 public:
  explicit Button(QWidget* parent);
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }
  std::function<void()> OnClick;
};

// A raised panel with a fill colour; a click anywhere on it runs OnClick.
class Panel : public QFrame {
 public:
  explicit Panel(QWidget* parent);
  Rgb Color() const { return color_; }
  void SetColor(Rgb color);
  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Rgb color_ = kWhite;
};

// A sunken frame drawn around a group of controls.
class Bevel : public QFrame {
 public:
  explicit Bevel(QWidget* parent);
};

// Two-column group of radio items; the selected item index can be read.
class RadioGroup : public QGroupBox {
 public:
  RadioGroup(const QStringList& items, QWidget* parent);
  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const { return items_.at(static_cast<size_t>(index)); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<QRadioButton*> items_;
};

// Timer on the window's event loop: ticks at its interval only while enabled.
class Timer {
 public:
  explicit Timer(int intervalMs);
  bool Enabled() const { return timer_.isActive(); }
  void SetEnabled(bool enabled);
  int Interval() const { return timer_.interval(); }
  // One tick as the event loop delivers it: runs OnTimer while the timer is enabled, nothing
  // otherwise. Tests call it to drive the ticks themselves.
  void Fire();
  std::function<void()> OnTimer;

 private:
  QTimer timer_;
};

// Draws text with a QFont into a canvas's pixel buffer, opaque: the text's box is filled
// with the brush colour first. Glyphs are drawn without antialiasing so every pixel is
// either the ink or the paper colour.
class QtTextRenderer final : public TextRenderer {
 public:
  explicit QtTextRenderer(const QFont& font);
  void Draw(uint32_t* pixels, int width, int height, int x, int y, std::string_view text,
            Rgb ink, Rgb paper) override;

 private:
  QFont font_;
};

// A widget that shows its own retained canvas. OnPaint rebuilds the picture; it runs when
// the box is first shown and when Rebuild() is called, not on every expose, so whatever was
// drawn (the voiceprint's columns, click marks) survives other windows passing over it.
class PaintBox : public QWidget {
 public:
  PaintBox(int width, int height, TextRenderer* text, QWidget* parent);

  RasterCanvas& Canvas() { return canvas_; }
  const RasterCanvas& Canvas() const { return canvas_; }
  // Runs OnPaint now and shows the result.
  void Rebuild();
  // Shows whatever the canvas holds now (after drawing outside OnPaint).
  void Present() { update(); }

  std::function<void()> OnPaint;
  std::function<void(Qt::MouseButton, int x, int y)> OnMouseDown;
  std::function<void()> OnClick;
  // The keyboard modifiers held at the last mouse press (read inside OnMouseDown).
  Qt::KeyboardModifiers Modifiers() const { return modifiers_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  RasterCanvas canvas_;
  bool shownOnce_ = false;
  bool pressed_ = false;
  Qt::KeyboardModifiers modifiers_;
};

}  // namespace tonamira

#include "main/toolkit.h"

#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <algorithm>

namespace tonamira {

QColor ToQColor(Rgb rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xff), static_cast<int>((rgb >> 8) & 0xff),
                static_cast<int>(rgb & 0xff));
}

// ---------------------------------------------------------------- TrackBar

TrackBar::TrackBar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
  // A vertical bar counts from Min at the top to Max at the bottom.
  if (orientation == Qt::Vertical) {
    setInvertedAppearance(true);
    setInvertedControls(true);
  }
  setFocusPolicy(Qt::StrongFocus);
  // valueChanged is emitted synchronously by setValue, setMaximum/setMinimum (when they pull
  // the value into the new range) and by user drags; it carries no value of its own.
  QObject::connect(this, &QSlider::valueChanged, this, [this](int) {
    if (OnChange) OnChange();
  });
}

void TrackBar::SetSelStart(int v) {
  selStart_ = v;
  update();
}

void TrackBar::SetSelEnd(int v) {
  selEnd_ = v;
  update();
}

bool TrackBar::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && !shownTip_.isEmpty()) {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), shownTip_, this);
    return true;
  }
  return QSlider::event(event);
}

void TrackBar::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  if (selEnd_ <= selStart_ || maximum() <= minimum()) return;
  // The selection band: a blue strip beside the groove from SelStart to SelEnd.
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt,
                                               QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt,
                                               QStyle::SC_SliderHandle, this);
  const bool vertical = orientation() == Qt::Vertical;
  const int span = vertical ? groove.height() - handle.height() : groove.width() - handle.width();
  auto at = [&](int v) {
    const int off = QStyle::sliderPositionFromValue(minimum(), maximum(), v, span,
                                                    opt.upsideDown);
    return off + (vertical ? handle.height() : handle.width()) / 2;
  };
  const int a = std::min(at(selStart_), at(selEnd_));
  const int b = std::max(at(selStart_), at(selEnd_));
  QPainter p(this);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 120, 215));
  if (vertical) {
    p.drawRect(groove.center().x() - 1, groove.top() + a, 3, b - a);
  } else {
    p.drawRect(groove.left() + a, groove.center().y() - 1, b - a, 3);
  }
}

// ---------------------------------------------------------------- ScrollBar

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {
  // actionTriggered comes after the bar has computed the new slider position but before it
  // takes it as its value: the handler may change it, and the bar then takes what it left.
  QObject::connect(this, &QAbstractSlider::actionTriggered, this,
                   [this](int action) { UserAction(action); });
}

void ScrollBar::UserAction(int) {
  if (inAction_) return;
  inAction_ = true;
  int pos = sliderPosition();
  if (OnScroll) OnScroll(pos);
  pos = std::clamp(pos, minimum(), maximum());
  setSliderPosition(pos);
  inAction_ = false;
}

// ---------------------------------------------------------------- UpDown

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
  left_ = new QToolButton(this);
  right_ = new QToolButton(this);
  left_->setArrowType(Qt::LeftArrow);
  right_->setArrowType(Qt::RightArrow);
  for (QToolButton* b : {left_, right_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRaise(false);
  }
  QObject::connect(left_, &QToolButton::clicked, this, [this] { Step(Button::Previous); });
  QObject::connect(right_, &QToolButton::clicked, this, [this] { Step(Button::Next); });
}

void UpDown::SetPosition(int v) { position_ = std::clamp(v, min_, max_); }

void UpDown::Step(Button button) {
  const int next = position_ + (button == Button::Next ? 1 : -1);
  if (next < min_ || next > max_) return;  // silent at the ends
  position_ = next;
  if (OnClick) OnClick(button);
}

void UpDown::resizeEvent(QResizeEvent*) {
  const int half = width() / 2;
  left_->setGeometry(0, 0, half, height());
  right_->setGeometry(half, 0, width() - half, height());
}

// ---------------------------------------------------------------- Label, Button, Panel

Label::Label(QWidget* parent) : QLabel(parent) { setAutoFillBackground(true); }

void Label::SetColors(Rgb text, Rgb background) {
  fontColor_ = text;
  color_ = background;
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, ToQColor(text));
  pal.setColor(QPalette::Window, ToQColor(background));
  setPalette(pal);
}

Button::Button(QWidget* parent) : QPushButton(parent) {
  QObject::connect(this, &QPushButton::clicked, this, [this] {
    if (OnClick) OnClick();
  });
}

Panel::Panel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAutoFillBackground(true);
  SetColor(kWhite);
}

void Panel::SetColor(Rgb color) {
  color_ = color;
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ToQColor(color));
  setPalette(pal);
}

void Panel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnClick) {
    OnClick();
    event->accept();
    return;
  }
  QFrame::mousePressEvent(event);
}

Bevel::Bevel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Box | QFrame::Sunken);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

// ---------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(const QStringList& items, QWidget* parent) : QGroupBox(parent) {
  for (const QString& text : items) {
    auto* b = new QRadioButton(text, this);
    items_.push_back(b);
  }
  if (!items_.empty()) items_.front()->setChecked(true);
}

int RadioGroup::ItemIndex() const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->isChecked()) return static_cast<int>(i);
  return -1;
}

void RadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < static_cast<int>(items_.size()))
    items_[static_cast<size_t>(index)]->setChecked(true);
}

void RadioGroup::resizeEvent(QResizeEvent*) {
  // Two columns side by side inside the frame.
  const int n = static_cast<int>(items_.size());
  if (n == 0) return;
  const int cols = 2;
  const int inner = width() - 4;
  const int colWidth = inner / cols;
  const int rows = (n + cols - 1) / cols;
  const int rowHeight = std::max(1, (height() - 4) / rows);
  for (int i = 0; i < n; ++i) {
    items_[static_cast<size_t>(i)]->setGeometry(2 + (i % cols) * colWidth,
                                                 2 + (i / cols) * rowHeight, colWidth,
                                                 rowHeight);
  }
}

// ---------------------------------------------------------------- Timer

Timer::Timer(int intervalMs) {
  timer_.setInterval(intervalMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
}

void Timer::Fire() {
  if (timer_.isActive() && OnTimer) OnTimer();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled && !timer_.isActive()) timer_.start();
  if (!enabled) timer_.stop();
}

// ---------------------------------------------------------------- Text renderer

QtTextRenderer::QtTextRenderer(const QFont& font) : font_(font) {
  font_.setStyleStrategy(QFont::NoAntialias);
}

void QtTextRenderer::Draw(uint32_t* pixels, int width, int height, int x, int y,
                          std::string_view text, Rgb ink, Rgb paper) {
  if (width <= 0 || height <= 0) return;
  // The canvas's 0xFFRRGGBB words are exactly QImage's RGB32 layout: draw in place.
  QImage image(reinterpret_cast<uchar*>(pixels), width, height, width * 4,
               QImage::Format_RGB32);
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  QPainter p(&image);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  p.setFont(font_);
  const QFontMetrics fm(font_);
  const QRect box(x, y, fm.horizontalAdvance(s), fm.height());
  p.fillRect(box, ToQColor(paper));
  p.setPen(ToQColor(ink));
  p.drawText(x, y + fm.ascent(), s);
}

// ---------------------------------------------------------------- PaintBox

PaintBox::PaintBox(int width, int height, TextRenderer* text, QWidget* parent)
    : QWidget(parent), canvas_(width, height) {
  canvas_.SetTextRenderer(text);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(width, height);
}

void PaintBox::Rebuild() {
  if (OnPaint) OnPaint();
  update();
}

void PaintBox::paintEvent(QPaintEvent*) {
  // Show the retained picture; the picture itself is only rebuilt on request.
  const QImage image(reinterpret_cast<const uchar*>(canvas_.Bits()), canvas_.Width(),
                     canvas_.Height(), canvas_.Width() * 4, QImage::Format_RGB32);
  QPainter p(this);
  p.drawImage(0, 0, image);
}

void PaintBox::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    Rebuild();
  }
}

void PaintBox::mousePressEvent(QMouseEvent* event) {
  pressed_ = true;
  modifiers_ = event->modifiers();
  const QPoint pos = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(event->button(), pos.x(), pos.y());
  event->accept();
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event) {
  const bool inside = rect().contains(event->position().toPoint());
  if (pressed_ && inside && event->button() == Qt::LeftButton && OnClick) OnClick();
  pressed_ = false;
  event->accept();
}

}  // namespace tonamira

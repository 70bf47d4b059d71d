#include "main/trace_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "analysis/note_name.h"
#include "analysis/rounding.h"
#include "main/form_main.h"
#include "main/services.h"
#include "main/trace_export.h"
#include "main/ui_text.h"

namespace tonamira {

namespace {

constexpr const char* kGeometryKey = "trace/geometry";
constexpr const char* kSpanKey = "trace/spanSeconds";
constexpr const char* kReferenceKey = "trace/referenceA4";

// Seconds of the current sound worked into its contour per refresh: about 10 ms of work at
// the tracker's speed, a third of the refresh interval.
constexpr double kBuildSecondsPerRefresh = 5.0;
// How long a read-out keeps the last voiced pitch when the voice pauses: a breath between
// two notes does not blank it, a rest does.
constexpr double kReadoutHoldSeconds = 0.15;
// The stretch the range and the held note look at: the range's recent pitches and the held
// note's last seconds, with a little to spare.
constexpr double kLookBackSeconds = 3.5;
// A press that moves less than this is a click; more, and it drags the range.
constexpr int kDragPixels = 4;
// Bytes hashed to tell one sound in a buffer from another.
constexpr size_t kHashedBytes = 8192;

const QColor kBarGreen(40, 160, 70);
const QColor kBarYellow(220, 180, 20);
const QColor kBarRed(210, 50, 40);

QColor BandColour(CentsBand band) {
  switch (band) {
    case CentsBand::Green: return kBarGreen;
    case CentsBand::Yellow: return kBarYellow;
    case CentsBand::Red: break;
  }
  return kBarRed;
}

uint64_t HashOf(std::span<const uint8_t> bytes) {
  uint64_t h = 1469598103934665603ull;   // FNV-1a
  for (const uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

QLabel* ReadoutLabel(QWidget* parent, int pixels, bool bold) {
  auto* l = new QLabel(parent);
  QFont f = l->font();
  f.setPixelSize(pixels);
  f.setBold(bold);
  l->setFont(f);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

}  // namespace

// ---------------------------------------------------------------- the plot and the bar

class TraceWindow::PlotArea final : public QWidget {
 public:
  explicit PlotArea(TraceWindow& trace) : QWidget(&trace), trace_(trace) {
    setMinimumSize(320, 160);
    setMouseTracking(false);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    // Drawn into a picture of the widget's own, then shown: the contour is drawn pixel by
    // pixel (trace_painter.h).
    if (picture_.size() != size()) picture_ = QImage(size(), QImage::Format_RGB32);
    RenderTrace(picture_, trace_.ShownContour(), trace_.View());
    QPainter p(this);
    p.drawImage(0, 0, picture_);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = e->position();
    pressedRange_ = trace_.View().range;
    dragging_ = false;
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const QPointF d = e->position() - pressed_;
    if (!dragging_ && std::abs(d.y()) < kDragPixels && std::abs(d.x()) < kDragPixels) return;
    dragging_ = true;
    // Dragging moves the grid with the pointer and fixes it there.
    const TraceLayout layout(QRectF(rect()), trace_.View());
    const double semitones = d.y() / layout.RowHeight();
    trace_.FixRange({pressedRange_.low + semitones, pressedRange_.high + semitones});
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    if (!dragging_) trace_.ClickAt(e->position().x());
    dragging_ = false;
  }
  void mouseDoubleClickEvent(QMouseEvent*) override { trace_.FollowVoice(); }
  void wheelEvent(QWheelEvent* e) override {
    const int notches = e->angleDelta().y() / 120;
    if (notches != 0) trace_.Wheel(notches);
    e->accept();
  }

 private:
  TraceWindow& trace_;
  QImage picture_;
  QPointF pressed_;
  MidiSpan pressedRange_;
  bool dragging_ = false;
};

// The cents bar: -50 to +50, the needle in the colour of its band.
class TraceWindow::CentsBar final : public QWidget {
 public:
  explicit CentsBar(QWidget* parent) : QWidget(parent) { setMinimumSize(220, 26); }
  void Show(const NoteReading& reading) {
    reading_ = reading;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.fillRect(r, QColor(236, 238, 242));
    auto xFor = [&](double cents) { return r.left() + (cents + 50.0) / 100.0 * r.width(); };
    // The bands a singer aims for, faintly: green within 10 cents, yellow to 25.
    p.fillRect(QRectF(xFor(-25), r.top(), xFor(25) - xFor(-25), r.height()), QColor(250, 243, 214));
    p.fillRect(QRectF(xFor(-10), r.top(), xFor(10) - xFor(-10), r.height()), QColor(220, 240, 224));
    p.setPen(QColor(150, 155, 165));
    p.drawLine(QPointF(xFor(0), r.top()), QPointF(xFor(0), r.bottom()));
    if (!reading_.valid) return;
    const double x = xFor(std::clamp(reading_.cents, -50.0, 50.0));
    p.fillRect(QRectF(x - 3.0, r.top(), 6.0, r.height()), BandColour(reading_.band));
  }

 private:
  NoteReading reading_;
};

// ---------------------------------------------------------------- the window

TraceWindow::TraceWindow(FormMain& form, Services& services, QSettings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window),
      form_(form),
      services_(services),
      settings_(settings),
      feed_(this) {
  // The trace goes when the program does; it does not keep the program running by itself.
  setAttribute(Qt::WA_QuitOnClose, false);

  note_ = ReadoutLabel(this, 40, true);
  cents_ = ReadoutLabel(this, 28, true);
  hz_ = ReadoutLabel(this, 18, false);
  heldLabel_ = ReadoutLabel(this, 15, false);
  note_->setMinimumWidth(90);
  cents_->setMinimumWidth(80);
  hz_->setMinimumWidth(110);
  bar_ = new CentsBar(this);
  plot_ = new PlotArea(*this);
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  span_ = new QSpinBox(this);
  span_->setRange(kMinSpanSeconds, kMaxSpanSeconds);
  a4_ = new QSpinBox(this);
  a4_->setRange(static_cast<int>(kLowestReferenceA4), static_cast<int>(kHighestReferenceA4));
  a4_->setPrefix(QString::fromUtf8("A4 = "));
  a4_->setSuffix(QString::fromUtf8(" Hz"));
  follow_ = new QPushButton(this);
  export_ = new QPushButton(this);
  KeepTranslated(this, "texts", [this] { TranslateTexts(); });

  auto* readout = new QHBoxLayout;
  readout->addWidget(note_);
  readout->addWidget(cents_);
  readout->addWidget(bar_, 1);
  readout->addWidget(hz_);
  auto* controls = new QHBoxLayout;
  controls->addWidget(heldLabel_, 1);
  controls->addWidget(span_);
  controls->addWidget(a4_);
  controls->addWidget(follow_);
  controls->addWidget(export_);
  auto* column = new QVBoxLayout(this);
  column->addLayout(readout);
  column->addWidget(plot_, 1);
  column->addWidget(scroll_);
  column->addLayout(controls);

  span_->setValue(std::clamp(settings_.value(kSpanKey, kDefaultSpanSeconds).toInt(),
                             kMinSpanSeconds, kMaxSpanSeconds));
  const double a4 = ClampReferenceA4(settings_.value(kReferenceKey, kDefaultReferenceA4).toDouble());
  a4_->setValue(RoundInt(a4));
  form_.SetReferenceA4(a4);
  view_.a4Hz = a4;
  if (!restoreGeometry(settings_.value(kGeometryKey).toByteArray())) resize(900, 520);

  QObject::connect(span_, &QSpinBox::valueChanged, this, [this] {
    settings_.setValue(kSpanKey, span_->value());
    Refresh();
  });
  QObject::connect(a4_, &QSpinBox::valueChanged, this, [this] { SetReferenceA4(a4_->value()); });
  QObject::connect(follow_, &QPushButton::clicked, this, [this] { FollowVoice(); });
  QObject::connect(export_, &QPushButton::clicked, this, [this] { ExportClick(); });
  QObject::connect(scroll_, &QScrollBar::valueChanged, this, [this] {
    if (source_ == Source::Sound) Refresh();
  });
  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  QObject::connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
}

TraceWindow::~TraceWindow() { SaveSettings(); }

void TraceWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_->start();
  Refresh();
}

void TraceWindow::hideEvent(QHideEvent* event) {
  SaveSettings();
  timer_->stop();
  QWidget::hideEvent(event);
}

void TraceWindow::SaveSettings() {
  settings_.setValue(kGeometryKey, saveGeometry());
  settings_.sync();
}

void TraceWindow::TranslateTexts() {
  setWindowTitle(tr(kTraceCaption));
  span_->setPrefix(tr("表示 "));
  span_->setSuffix(tr(" 秒"));
  follow_->setText(tr("音域を声に合わせる"));
  export_->setText(tr("書き出し…"));
  plot_->setToolTip(
      tr("声の高さの線です。ホイールで表示する秒数を、上下のドラッグで音域を変えます（ダブルクリックで声に合わせる）。"
         "録音も再生もしていないときは、クリックした位置を本体の窓に表示します。"));
  export_->setToolTip(tr("今の音の曲線を PNG・SVG の図か CSV の表に書き出します。"));
  // The held note's line is made as the window refreshes; a shown window makes it again now.
  if (isVisible()) heldLabel_->setText(HeldText());
}

QWidget* TraceWindow::Plot() const { return plot_; }

int TraceWindow::SpanSeconds() const { return span_->value(); }
void TraceWindow::SetSpanSeconds(int seconds) { span_->setValue(seconds); }
double TraceWindow::ReferenceA4() const { return view_.a4Hz; }

void TraceWindow::SetReferenceA4(double a4Hz) {
  const double a4 = ClampReferenceA4(a4Hz);
  if (a4_->value() != RoundInt(a4)) a4_->setValue(RoundInt(a4));
  // The grid keeps its notes: a fixed range moves with the scale it is counted on.
  if (range_.fixed()) {
    const double shift = 12.0 * std::log2(view_.a4Hz / a4);
    const MidiSpan r = range_.range();
    range_.Fix({r.low + shift, r.high + shift});
  }
  view_.a4Hz = a4;
  settings_.setValue(kReferenceKey, a4);
  form_.SetReferenceA4(a4);
  Refresh();
}

void TraceWindow::FixRange(MidiSpan range) {
  range_.Fix(range);
  view_.range = range;
  follow_->setEnabled(true);
  plot_->update();
}

void TraceWindow::FollowVoice() {
  range_.Release();
  follow_->setEnabled(false);
  Refresh();
}

void TraceWindow::Wheel(int notches) {
  const double factor = std::pow(1.25, -notches);
  SetSpanSeconds(std::clamp(RoundInt(SpanSeconds() * factor), kMinSpanSeconds, kMaxSpanSeconds));
}

const TraceContour& TraceWindow::ShownContour() const {
  return source_ == Source::Live ? feed_.Contour() : sound_;
}

double TraceWindow::BytesPerSecond() const {
  const WaveFormat& f = form_.Sound.WaveFormat;
  return static_cast<double>(f.nSamplesPerSec) * f.nBlockAlign;
}

double TraceWindow::SoundSeconds() const {
  const double rate = BytesPerSecond();
  return rate > 0.0 ? static_cast<double>(form_.Sound.Bytes().size()) / rate : 0.0;
}

TraceWindow::SoundIdentity TraceWindow::IdentityOfCurrentSound() const {
  const std::span<const uint8_t> bytes = form_.Sound.Bytes();
  const WaveFormat& f = form_.Sound.WaveFormat;
  SoundIdentity id;
  id.data = bytes.data();
  id.size = bytes.size();
  id.channels = f.nChannels;
  id.bits = f.wBitsPerSample;
  id.blockAlign = f.nBlockAlign;
  id.rate = f.nSamplesPerSec;
  id.hash = HashOf(bytes.first(std::min(bytes.size(), kHashedBytes)));
  return id;
}

void TraceWindow::BuildSoundContour() {
  const SoundIdentity id = IdentityOfCurrentSound();
  if (!(id == soundId_)) {
    soundId_ = id;
    soundFed_ = 0;
    soundDone_ = false;
    const bool frames = id.blockAlign == id.channels * (id.bits / 8) && id.blockAlign > 0;
    if (id.size == 0 || !frames || !sound_.Start(id.rate, id.channels, id.bits)) {
      sound_.Clear();
      soundDone_ = true;
    }
  }
  if (soundDone_) return;
  const std::span<const uint8_t> bytes = form_.Sound.Bytes();
  const auto step = static_cast<size_t>(kBuildSecondsPerRefresh * BytesPerSecond());
  const size_t count = std::min(bytes.size() - soundFed_, std::max<size_t>(step, id.blockAlign));
  sound_.Push(bytes.subspan(soundFed_, count));
  soundFed_ += count;
  if (soundFed_ >= bytes.size()) {
    sound_.Finish();
    soundDone_ = true;
  }
}

void TraceWindow::PlaceView(double& readAt) {
  const double span = SpanSeconds();
  const bool recording = form_.Devices.Recording;
  const bool playing = form_.Devices.Playing;
  source_ = recording ? Source::Live : (playing ? Source::Playing : Source::Sound);
  view_.cursorSeconds.reset();
  if (source_ == Source::Live) {
    // Now at the right edge; time runs to the left.
    readAt = feed_.Contour().SecondsSeen();
    view_.endSeconds = std::max(readAt, span);
  } else if (source_ == Source::Playing) {
    BuildSoundContour();
    uint32_t played = 0;
    if (form_.Devices.hWaveOut) form_.Devices.hWaveOut->Position(played);
    const double rate = BytesPerSecond();
    readAt = rate > 0.0 ? (static_cast<double>(form_.Sound.FramePos) + played) / rate : 0.0;
    view_.endSeconds = std::max(readAt, span);
  } else {
    BuildSoundContour();
    const double rate = BytesPerSecond();
    const double frameCentre = rate > 0.0 ? (static_cast<double>(form_.Sound.FramePos) +
                                             0.5 * form_.Analysis.FftSize * form_.Sound.WaveFormat.nBlockAlign) / rate
                                          : 0.0;
    view_.cursorSeconds = rate > 0.0 ? static_cast<double>(form_.Sound.FramePos) / rate : 0.0;
    readAt = frameCentre;
    UpdateScrollBar();
    view_.endSeconds = scroll_->value() / 10.0 + span;
  }
  view_.startSeconds = view_.endSeconds - span;
}

void TraceWindow::UpdateScrollBar() {
  const double span = SpanSeconds();
  const int max = std::max(0, RoundInt((SoundSeconds() - span) * 10.0));
  const QSignalBlocker quiet(scroll_);
  scroll_->setRange(0, max);
  scroll_->setPageStep(RoundInt(span * 10.0));
  scroll_->setSingleStep(10);
  // A frame position moved elsewhere (the play scroll bar, a stop) is brought into view.
  if (form_.Sound.FramePos != lastFramePos_ && view_.cursorSeconds) {
    lastFramePos_ = form_.Sound.FramePos;
    const double start = scroll_->value() / 10.0;
    if (*view_.cursorSeconds < start || *view_.cursorSeconds > start + span)
      scroll_->setValue(RoundInt((*view_.cursorSeconds - span / 2.0) * 10.0));
  }
}

void TraceWindow::UpdateReadout(double readAt) {
  const TraceContour& contour = ShownContour();
  recent_.clear();
  const int64_t to = contour.FrameAt(readAt);
  if (to >= 0) {
    const int64_t from = contour.FrameAt(readAt - kLookBackSeconds);
    contour.Expand(from, to + 1, recent_);
  }
  // The latest voiced pitch, unless the voice has paused for longer than a breath.
  readHz_.reset();
  for (auto it = recent_.rbegin(); it != recent_.rend(); ++it) {
    if (readAt - it->timeSeconds > kReadoutHoldSeconds) break;
    if (it->voiced) {
      readHz_ = it->hz;
      break;
    }
  }
  reading_ = readHz_ ? ReadNote(*readHz_, view_.a4Hz) : NoteReading{};
  held_ = FindHeldNote(recent_, view_.a4Hz);
  // The range moves with the stream's own time: as fast as the voice comes, whatever the
  // refresh rate, and only forwards.
  const double elapsed = std::max(0.0, readAt - lastReadAt_);
  lastReadAt_ = readAt;
  if (source_ == Source::Sound) {
    // Browsing: the range covers the voice in view.
    recent_.clear();
    contour.Expand(contour.FrameAt(view_.startSeconds), contour.FrameAt(view_.endSeconds) + 1, recent_);
    range_.Cover(recent_, view_.a4Hz);
  } else {
    range_.Follow(recent_, view_.a4Hz, elapsed);
  }
  view_.range = range_.range();
}

void TraceWindow::Refresh() {
  double readAt = 0.0;
  PlaceView(readAt);
  UpdateReadout(readAt);
  note_->setText(NoteText());
  cents_->setText(CentsText());
  hz_->setText(HzText());
  heldLabel_->setText(HeldText());
  bar_->Show(reading_);
  scroll_->setVisible(source_ == Source::Sound);
  follow_->setEnabled(range_.fixed());
  export_->setEnabled(source_ == Source::Sound && form_.Sound.Bytes().size() > 0);
  plot_->update();
}

QString TraceWindow::NoteText() const {
  return reading_.valid ? QString::fromStdString(reading_.name) : QString::fromUtf8("—");
}

QString TraceWindow::CentsText() const {
  return reading_.valid ? QString::fromStdString(reading_.centsText) : QString();
}

QString TraceWindow::HzText() const {
  return readHz_ ? QString::number(*readHz_, 'f', 1) + QStringLiteral(" Hz") : QString();
}

QString TraceWindow::HeldText() const {
  if (!held_.held) return QString();
  const QString mean = tr("%1 を保持: 平均 %2%3 セント")
                           .arg(QString::fromStdString(NoteName(held_.midi)))
                           .arg(held_.meanCents >= 0.0 ? "+" : "")
                           .arg(held_.meanCents, 0, 'f', 0);
  if (!held_.vibrato.present) return mean;
  return mean + tr("、ビブラート %1 Hz ±%2 セント")
                    .arg(held_.vibrato.rateHz, 0, 'f', 1)
                    .arg(held_.vibrato.extentCents, 0, 'f', 0);
}

void TraceWindow::ClickAt(double x) {
  if (source_ != Source::Sound || form_.Devices.Playing || form_.Devices.Recording) return;
  const TraceLayout layout(QRectF(plot_->rect()), view_);
  const double seconds = std::max(0.0, layout.TimeForX(x));
  const double rate = static_cast<double>(form_.Sound.WaveFormat.nSamplesPerSec);
  const uint16_t align = form_.Sound.WaveFormat.nBlockAlign;
  if (!(rate > 0.0) || align == 0) return;
  // The frame that starts at the moment clicked, held to the play scroll bar's range, moved
  // there by the scroll bar's own handler.
  const double bytes = std::floor(seconds * rate) * align;
  int pos = static_cast<int>(std::clamp(bytes, 0.0, static_cast<double>(form_.PlayScrollBar->Max())));
  form_.PlayScrollBarScroll(pos);
  lastFramePos_ = form_.Sound.FramePos;
  Refresh();
}

void TraceWindow::ExportClick() {
  if (source_ != Source::Sound || form_.Sound.Bytes().empty()) return;
  const std::optional<std::string> chosen = services_.SaveFileName("PNG|*.png|SVG|*.svg|CSV|*.csv");
  if (!chosen) return;
  const std::string path = ExportNameWithSuffix(*chosen);
  const std::string title = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
  const std::string why =
      ExportContour(form_.Sound.Bytes(), form_.Sound.WaveFormat, view_.a4Hz, title, path);
  if (!why.empty()) services_.MessageBox(why, "ERROR");
}

}  // namespace tonamira

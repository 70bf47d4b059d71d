#include "main/form_main.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

#include "devices/absent_devices.h"
#include "devices/qt_poster.h"
#include "main/ui_text.h"

namespace tonamira {

namespace {

// Windows fonts of the layout with their Linux metric substitutes behind them.
QFont PGothic(int pixels) {
  QFont f;
  f.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "IPAPGothic", "IPAGothic"});
  f.setPixelSize(pixels);
  return f;
}

// Text that is mostly digits: the views' grid and scale labels and click read-outs, and the
// pitch and level read-outs. Their places and boxes assume half-width digits (6 pixels at
// 12: a 25-pixel scale holds "1500" from x = 1, an 80-pixel read-out holds four digits at
// 40); the proportional substitute draws digits 0.63 em wide, so the fixed-pitch one, whose
// digits are half an em, stands in.
QFont DigitFont(int pixels) {
  QFont f;
  f.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "IPAGothic", "IPAPGothic"});
  f.setPixelSize(pixels);
  return f;
}

QFont Gothic(int pixels, bool bold = false) {
  QFont f;
  f.setFamilies({QString::fromUtf8("ＭＳ ゴシック"), "IPAGothic", "IPAPGothic"});
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

constexpr int kHarmonicLabelLefts[kHarmonicLabelCount] = {2,   62,  122, 183, 243,
                                                          304, 364, 425, 485, 546};
constexpr int kTrackBarLefts[kHarmonics] = {5,   35,  65,  96,  126, 156, 187, 217, 247, 278,
                                            308, 339, 369, 399, 430, 460, 490, 521, 551, 582};
constexpr int kKeyLefts[kKeyCount] = {
    9,   21,  31,  44,  53,  75,  87,  97,  110, 120, 133, 142,  // octave 1
    164, 176, 186, 199, 209, 231, 243, 253, 266, 275, 288, 298,  // octave 2
    320, 333, 342, 355, 364, 386, 398, 408, 421, 430, 443, 452,  // octave 3
    474, 486, 497, 510, 519, 541, 553, 563, 576, 586, 599, 608,  // octave 4
    630, 642, 652, 665, 674, 696, 709, 718, 731, 740, 753, 762,  // octave 5
};

Label* MakeLabel(QWidget* parent, int x, int y, int w, int h, const QString& text,
                 Qt::Alignment align, Rgb ink, Rgb paper, const QFont& font) {
  auto* l = new Label(parent);
  l->setGeometry(x, y, w, h);
  l->SetCaption(text);
  l->setAlignment(align);
  l->SetColors(ink, paper);
  l->setFont(font);
  return l;
}

// A push button with its caption in the user's language.
Button* MakeButton(QWidget* parent, int x, int y, int w, int h, const char* caption,
                   const QFont& font) {
  auto* b = new Button(parent);
  b->setGeometry(x, y, w, h);
  FormMain::ShowCaption(b, caption);
  b->setFont(font);
  return b;
}

Bevel* MakeBevel(QWidget* parent, int x, int y, int w, int h) {
  auto* b = new Bevel(parent);
  b->setGeometry(x, y, w, h);
  return b;
}

TrackBar* MakeTrackBar(QWidget* parent, Qt::Orientation o, int x, int y, int w, int h, int min,
                       int max, int pos, int page) {
  auto* t = new TrackBar(o, parent);
  t->setGeometry(x, y, w, h);
  t->setRange(min, max);
  t->setValue(pos);
  t->setPageStep(page);
  t->setSingleStep(1);
  return t;
}

ScrollBar* MakeScrollBar(QWidget* parent, Qt::Orientation o, int x, int y, int w, int h,
                         int min, int max, int pos, int large, int small) {
  auto* s = new ScrollBar(o, parent);
  s->setGeometry(x, y, w, h);
  s->setRange(min, max);
  s->setValue(pos);
  s->setPageStep(large);
  s->setSingleStep(small);
  return s;
}

}  // namespace

FormMain::FormMain(Services& services, AllocationFault fault, QWidget* parent)
    : FormMain(services, nullptr, nullptr, std::move(fault), parent) {}

FormMain::FormMain(Services& services, AudioDevices& audio, NotificationPoster* poster,
                   AllocationFault fault, QWidget* parent)
    : FormMain(services, &audio, poster, std::move(fault), parent) {}

FormMain::FormMain(Services& services, AudioDevices* audio, NotificationPoster* poster,
                   AllocationFault fault, QWidget* parent)
    : QWidget(parent, parent != nullptr
                          ? Qt::Widget
                          : Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      absentAudio_(audio != nullptr ? nullptr : std::make_unique<AbsentAudioDevices>()),
      audio_(audio != nullptr ? *audio : *absentAudio_),
      ownPoster_(poster != nullptr ? nullptr : std::make_unique<QtQueuedPoster>(this, *this)),
      poster_(poster != nullptr ? poster : ownPoster_.get()),
      fault_(std::move(fault)),
      windowFont_(PGothic(12)) {
  KeepTranslated(this, "windowTitle", [this] { setWindowTitle(tr(kWindowCaption)); });
  setFixedSize(kClientWidth, kClientHeight);
  setFont(windowFont_);
  textRenderer_ = std::make_unique<QtTextRenderer>(DigitFont(12));
  BuildControls();
  WireEvents();
  if (parent == nullptr) AddShortcuts();
  AddToolTips();
  setAcceptDrops(true);
  // Centred on the screen.
  if (const QScreen* screen = parent == nullptr ? QGuiApplication::primaryScreen() : nullptr) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - kClientWidth) / 2,
         area.y() + (area.height() - kClientHeight) / 2);
  }
  FormCreate();
}

FormMain::~FormMain() {
  // A window destroyed without being closed still releases everything it owns.
  if (!closed_) FormClose();
}

void FormMain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void FormMain::BuildControls() {
  const auto kCentre = Qt::AlignHCenter | Qt::AlignVCenter;
  const auto kRight = Qt::AlignRight | Qt::AlignVCenter;
  const QString kDesignDigits = QString::fromUtf8("8888");

  // ---- header row
  LbfftValue = MakeLabel(this, 8, 1, 80, 34, kDesignDigits, kRight, kRed, kBlack, DigitFont(40));
  Label11 = MakeLabel(this, 91, 16, 20, 18, "Hz", kCentre, kRed, kBlack, Gothic(11, true));
  Label14 = MakeLabel(this, 127, 20, 36, 11, " Level", kCentre, kYellow, kBlack, Gothic(11));
  Label21 = MakeLabel(this, 166, 6, 57, 24, kDesignDigits, kRight, kYellow, kBlack, DigitFont(27));
  Bevel4 = MakeBevel(this, 228, 1, 234, 36);
  RecButton = MakeButton(this, 233, 3, 76, 31, QT_TR_NOOP("録音"), PGothic(15));
  PlayButton = MakeButton(this, 316, 3, 76, 31, QT_TR_NOOP("再生"), PGothic(15));
  RadioGroupchan = new RadioGroup({"1", "2"}, this);
  RadioGroupchan->setGeometry(398, 2, 59, 29);
  RadioGroupchan->setFont(PGothic(11));
  Bevel3 = MakeBevel(this, 473, 1, 132, 33);
  Butopen = MakeButton(this, 478, 4, 59, 29, QT_TR_NOOP("開く"), windowFont_);
  Butsave = MakeButton(this, 541, 4, 59, 29, QT_TR_NOOP("保存"), windowFont_);
  Bevel2 = MakeBevel(this, 613, 1, 186, 33);
  Butfftampfilset =
      MakeButton(this, 617, 7, 56, 21, QT_TR_NOOP("雑音除去"), PGothic(12));
  {
    // Caption in the menu-text colour.
    QPalette pal = Butfftampfilset->palette();
    pal.setColor(QPalette::ButtonText, palette().color(QPalette::WindowText));
    Butfftampfilset->setPalette(pal);
  }
  ButtonRecLevel = MakeButton(this, 682, 7, 53, 21, QT_TR_NOOP("録音音量"), windowFont_);
  ButtonPlayLevel = MakeButton(this, 741, 7, 53, 21, QT_TR_NOOP("再生音量"), windowFont_);

  // ---- views
  PaintBoxGra = new PaintBox(545, 171, textRenderer_.get(), this);
  PaintBoxGra->move(0, 38);
  UpDownChoicedata = new UpDown(this);
  UpDownChoicedata->setGeometry(503, 192, 42, 17);
  ScrollBarWaveTimes = MakeScrollBar(this, Qt::Vertical, 549, 38, 16, 171, 1, 10, 4, 1, 1);
  PlayScrollBar = MakeScrollBar(this, Qt::Horizontal, -1, 212, 545, 16, 0, 100, 0, 10, 2);
  PaintBoxFft = new PaintBox(545, 169, textRenderer_.get(), this);
  PaintBoxFft->move(0, 232);
  UpDownfftscale = new UpDown(this);
  UpDownfftscale->setGeometry(505, 386, 39, 16);
  ScrollBarFftTimes = MakeScrollBar(this, Qt::Vertical, 550, 232, 16, 168, 1, 80, 15, 1, 1);
  freq = MakeTrackBar(this, Qt::Horizontal, -10, 404, 565, 29, 1, 2000, 100, 1);
  freq->setTickPosition(QSlider::TicksAbove);
  freq->setTickInterval(100);
  PaintBoxSeimonScale = new PaintBox(25, 395, textRenderer_.get(), this);
  PaintBoxSeimonScale->move(568, 38);
  PaintBoxSeimon = new PaintBox(206, 395, textRenderer_.get(), this);
  PaintBoxSeimon->move(592, 38);
  PaintBoxSeimon->Canvas().SetBrushColor(kBlack);
  PaintBoxSeimon->Canvas().FillRect(0, 0, 206, 395);
  // The arrows lie over the views' lower right corners.
  UpDownChoicedata->raise();
  UpDownfftscale->raise();

  // ---- mixer row
  for (int j = 1; j <= kHarmonicLabelCount; ++j) {
    LabelsByNumber[j] = MakeLabel(this, kHarmonicLabelLefts[j - 1], 438, 33, 12, QString(),
                                  kCentre, kRed, kWhite, windowFont_);
  }
  for (int k = 1; k <= kHarmonics; ++k) {
    TrackBar* t = MakeTrackBar(this, Qt::Vertical, kTrackBarLefts[k - 1], 449, 26, 94, 0, 100,
                               100, 10);
    t->setTickPosition(QSlider::TicksRight);
    t->setTickInterval(10);
    t->SetSelStart(100);
    t->SetSelEnd(100);
    t->setToolTip(QString::number(k));
    t->setAttribute(Qt::WA_AlwaysShowToolTips, false);
    TrackBarsByNumber[k] = t;
  }
  Bevel1 = MakeBevel(this, 616, 440, 177, 97);
  Lbamptxt = MakeLabel(this, 623, 449, 31, 12, QString(), Qt::AlignLeft, kRed, kWhite,
                       windowFont_);
  volume = MakeTrackBar(this, Qt::Horizontal, 655, 443, 104, 22, 0, 300, 10, 1);
  volume->setTickPosition(QSlider::NoTicks);
  Lbamp = MakeLabel(this, 760, 447, 25, 12, "0", kCentre, kRed, kWhite, windowFont_);
  Lbtimetxt = MakeLabel(this, 622, 478, 32, 12, QString(), Qt::AlignLeft, kRed, kWhite,
                        windowFont_);
  // These two captions size themselves to their Japanese text: the substitute font sets the
  // kanji a few pixels wider than the original metrics the table's widths come from. The
  // Japanese text decides in either language, so the layout is the same in both.
  const std::pair<Label*, const char*> sized[] = {{Lbamptxt, QT_TR_NOOP("大きさ")},
                                                  {Lbtimetxt, QT_TR_NOOP("時　間")}};
  for (const auto& [l, caption] : sized) {
    ShowCaption(l, caption);
    const int textWidth = QFontMetrics(l->font()).horizontalAdvance(QString::fromUtf8(caption));
    if (textWidth > l->width()) l->resize(textWidth, l->height());
  }
  TBmixtime = MakeTrackBar(this, Qt::Horizontal, 655, 473, 104, 22, 1, 30, 5, 1);
  TBmixtime->setTickPosition(QSlider::NoTicks);
  LBmixtime = MakeLabel(this, 761, 477, 25, 12, "0", kCentre, kRed, kWhite, windowFont_);
  Transmit = MakeButton(this, 623, 501, 93, 30, QT_TR_NOOP("ミキサー"), windowFont_);
  reset = MakeButton(this, 729, 501, 54, 29, QT_TR_NOOP("リセット"), windowFont_);
  // The widened captions reach a few pixels under the track bars beside them; they lie on
  // top so that their last glyph shows.
  Lbamptxt->raise();
  Lbtimetxt->raise();

  // ---- piano row: white keys first, then the black keys raised above them so that a
  // click where they overlap goes to the black key.
  for (int n = 1; n <= kKeyCount; ++n) {
    auto* p = new Panel(this);
    if (IsWhiteKey(n)) {
      p->setGeometry(kKeyLefts[n - 1], 542, 22, 56);
      p->SetColor(kWhite);
    } else {
      p->setGeometry(kKeyLefts[n - 1], 542, 17, 32);
      p->SetColor(kBlack);
    }
    PanelsByNumber[n] = p;
  }
  for (int n = 1; n <= kKeyCount; ++n)
    if (!IsWhiteKey(n)) PanelsByNumber[n]->raise();

  Timer1.SetEnabled(false);
}

void FormMain::WireEvents() {
  RecButton->OnClick = [this] { RecButtonClick(); };
  PlayButton->OnClick = [this] { PlayButtonClick(); };
  Butopen->OnClick = [this] { OpenClick(); };
  Butsave->OnClick = [this] { SaveClick(); };
  Butfftampfilset->OnClick = [this] { ButfftampfilsetClick(); };
  ButtonRecLevel->OnClick = [this] { ButtonRecLevelClick(); };
  ButtonPlayLevel->OnClick = [this] { ButtonPlayLevelClick(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  PlayScrollBar->OnScroll = [this](int& pos) { PlayScrollBarScroll(pos); };
  PaintBoxGra->OnPaint = [this] { PaintBoxGraPaint(); };
  PaintBoxGra->OnMouseDown = [this](Qt::MouseButton b, int x, int y) {
    PaintBoxGraMouseDown(b, x, y);
  };
  ScrollBarWaveTimes->OnScroll = [this](int& pos) { ScrollBarWaveTimesScroll(pos); };
  PaintBoxFft->OnPaint = [this] { PaintBoxFftPaint(); };
  PaintBoxFft->OnMouseDown = [this](Qt::MouseButton b, int x, int y) {
    PaintBoxFftMouseDown(b, PaintBoxFft->Modifiers(), x, y);
  };
  ScrollBarFftTimes->OnScroll = [this](int& pos) { ScrollBarFftTimesScroll(pos); };
  UpDownfftscale->OnClick = [this](UpDown::Button b) { UpDownfftscaleClick(b); };
  UpDownChoicedata->OnClick = [this](UpDown::Button b) { UpDownChoicedataClick(b); };
  PaintBoxSeimon->OnPaint = [this] { PaintBoxSeimonPaint(); };
  PaintBoxSeimon->OnClick = [this] { PaintBoxSeimonClick(); };
  PaintBoxSeimonScale->OnPaint = [this] { PaintBoxSeimonScalePaint(); };
  for (int k = 1; k <= kHarmonics; ++k) {
    TrackBar* t = TrackBarsByNumber[k];
    t->OnChange = [this, t] { TrackBar1Change(t); };
  }
  freq->OnChange = [this] { freqChange(); };
  volume->OnChange = [this] { volumeChange(); };
  TBmixtime->OnChange = [this] { TBmixtimeChange(); };
  Transmit->OnClick = [this] { TransmitClick(); };
  reset->OnClick = [this] { resetClick(); };
  for (int n = 1; n <= kKeyCount; ++n) {
    Panel* p = PanelsByNumber[n];
    p->OnClick = [this, p] { Panel1Click(p); };
  }
}

void FormMain::DeviceError(AudioResult result, const char* caption) {
  MessageBox(AudioErrorText(result), caption);
}

void FormMain::OnDeviceLost(const DeviceNotification& n) {
  if (closed_) return;
  if (n.event == DeviceEvent::InputLost) {
    OnInputLost(n);
  } else {
    OnOutputLost(n);
  }
}

void FormMain::ShowCaption(Button* button, const char* source) {
  TranslatedCaption(button, [source] { return tr(source); });
}

void FormMain::ShowCaption(Label* label, const char* source) {
  TranslatedCaption(label, [source] { return tr(source); });
}

void FormMain::BuildHarmonicBarTable() {
  for (int k = 1; k <= kHarmonics; ++k) HarmonicBars[k] = TrackBarsByNumber[k];
}

void FormMain::BuildHarmonicLabelTable() {
  for (int j = 1; j <= kHarmonicLabelCount; ++j) HarmonicLabels[j] = LabelsByNumber[j];
}

void FormMain::BuildKeyPanelTable() {
  for (int i = 1; i <= kKeyCount; ++i) KeyPanels[i] = PanelsByNumber[i];
}

}  // namespace tonamira

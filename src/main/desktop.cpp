// The habits of a desktop program that sit beside the window's own controls and change none
// of them: a file dropped on the window opens as "開く" opens it, Ctrl+O and Ctrl+S press
// "開く" and "保存", every control says in a tooltip what it does, and the pitch read-out's
// tooltip names the note and how far off it the pitch is, on the reference A4 the pitch
// trace sets.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

#include "analysis/note_name.h"
#include "analysis/note_readout.h"
#include "main/form_main.h"
#include "main/ui_text.h"

namespace tonamira {

namespace {

// The first local file among the dropped URLs, or an empty string.
QString DroppedFile(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

QString PitchReadoutTip(std::optional<int32_t> hz, double a4Hz) {
  if (!hz || *hz <= 0) return FormMain::tr("検出した音の高さ（Hz）です。");
  const NearestNote note = NearestNoteOf(*hz, a4Hz);
  return FormMain::tr("%1 Hz: %2 から %3%4 セント")
      .arg(*hz)
      .arg(QString::fromStdString(NoteName(note.midi)))
      .arg(note.cents >= 0.0 ? "+" : "")
      .arg(note.cents, 0, 'f', 1);
}

}  // namespace

void FormMain::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void FormMain::dropEvent(QDropEvent* event) {
  const QString file = DroppedFile(event->mimeData());
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  OpenFile(file.toStdString());
}

void FormMain::ShowPitchReadout(std::optional<int32_t> hz) {
  LbfftValue->SetCaption(hz ? QString::number(*hz) : QString());
  ShowPitchReadoutTip(hz);
}

void FormMain::SetReferenceA4(double a4Hz) {
  Display.ReferenceA4 = ClampReferenceA4(a4Hz);
  // The tooltip of the pitch shown now follows at once; the caption stays as it is.
  bool ok = false;
  const int hz = LbfftValue->Caption().toInt(&ok);
  ShowPitchReadoutTip(ok ? std::optional<int32_t>(hz) : std::nullopt);
}

void FormMain::ShowPitchReadoutTip(std::optional<int32_t> hz) {
  TranslatedToolTip(LbfftValue, [this, hz] { return PitchReadoutTip(hz, Display.ReferenceA4); });
}

void FormMain::AddShortcuts() {
  auto* open = new QShortcut(QKeySequence::Open, this);
  QObject::connect(open, &QShortcut::activated, this, [this] { OpenClick(); });
  auto* save = new QShortcut(QKeySequence::Save, this);
  QObject::connect(save, &QShortcut::activated, this, [this] { SaveClick(); });
}

void FormMain::AddToolTips() {
  auto tip = [](QWidget* w, const char* text) {
    TranslatedToolTip(w, [text] { return tr(text); });
  };
  tip(RecButton, QT_TR_NOOP("マイクなどから録音します。録音中にもう一度押すと止まります。"));
  tip(PlayButton, QT_TR_NOOP("今の音を、表示している位置から再生します。再生中にもう一度押すと止まります。"));
  tip(RadioGroupchan, QT_TR_NOOP("録音するチャンネルの数です（1: モノラル、2: ステレオ）。"));
  tip(Butopen, QT_TR_NOOP("WAVファイルを開きます（Ctrl+O）。ファイルを窓にドロップしても開けます。"));
  tip(Butsave, QT_TR_NOOP("今の音をWAVファイルに保存します（Ctrl+S）。"));
  tip(Butfftampfilset, QT_TR_NOOP("録音中に押すと、その時の音を雑音として覚え、以後のスペクトルから差し引きます。"));
  tip(ButtonRecLevel, QT_TR_NOOP("録音音量の設定を開きます。"));
  tip(ButtonPlayLevel, QT_TR_NOOP("再生音量の設定を開きます。"));
  tip(UpDownChoicedata, QT_TR_NOOP("分析するフレームの長さを変えます（256〜2048サンプル）。"));
  tip(ScrollBarWaveTimes, QT_TR_NOOP("波形の縦の拡大率を変えます。"));
  tip(PlayScrollBar, QT_TR_NOOP("表示・分析する位置を動かします。"));
  tip(UpDownfftscale, QT_TR_NOOP("スペクトルと声紋の周波数の範囲を変えます（250〜8000 Hz）。"));
  tip(ScrollBarFftTimes, QT_TR_NOOP("スペクトルの縦の拡大率を変えます。"));
  tip(freq, QT_TR_NOOP("ミキサーの基本周波数（Hz）です。"));
  tip(volume, QT_TR_NOOP("ミキサーで作る音の大きさです。"));
  tip(TBmixtime, QT_TR_NOOP("ミキサーで作る音の長さです（0.1秒単位）。"));
  tip(Transmit, QT_TR_NOOP("倍音の設定から音を作り、再生します。録音・再生の後は、分析した倍音をそのまま使います。"));
  tip(reset, QT_TR_NOOP("すべての倍音の大きさを0にします。"));
  ShowPitchReadoutTip(std::nullopt);
  for (int k = 1; k <= kHarmonics; ++k) {
    // The bar's own hint stays its harmonic number; the tip shown says what it is.
    TrackBar* bar = TrackBarsByNumber[k];
    KeepTranslated(bar, "shownTip",
                   [bar, k] { bar->SetShownTip(tr("第%1倍音の大きさです。").arg(k)); });
  }
}

}  // namespace tonamira

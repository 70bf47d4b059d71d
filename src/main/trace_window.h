#pragma once
// The pitch trace, "ピッチ曲線": a window of its own beside the main window, showing the line of
// the voice over the last seconds on a semitone grid, the note it is on with its cents and its
// pitch in hertz, a cents bar, and, for a note held a second or more, its mean cents and its
// vibrato.
//
// Where the line comes from:
//   - while recording, the input's tap (trace_feed.h): every sample of the input through the
//     live tracker, now at the right edge;
//   - while playing, the current sound's contour up to the played position;
//   - otherwise, the current sound's whole contour to browse, with a cursor at the frame
//     position; a click moves the frame position as the play scroll bar does.
// The current sound's contour is worked out a few seconds of sound at a time as the window
// refreshes, so even a long recording never holds up the event loop.
//
// The window only reads the main window's state and moves its frame position through the play
// scroll bar's own handler: what the main window shows is the same whether it is open or not.
// Its place, size, span and the reference A4 are kept in the settings given.

#include <QCoreApplication>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/follow_range.h"
#include "analysis/held_note.h"
#include "analysis/note_readout.h"
#include "analysis/trace_contour.h"
#include "main/trace_feed.h"
#include "main/trace_painter.h"

class QLabel;
class QPushButton;
class QScrollBar;
class QSettings;
class QSpinBox;
class QTimer;

namespace tonamira {

class FormMain;
class Services;

inline constexpr const char* kTraceCaption = QT_TRANSLATE_NOOP("TraceWindow", "ピッチ曲線");

class TraceWindow final : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TraceWindow)

 public:
  static constexpr int kMinSpanSeconds = 5;
  static constexpr int kMaxSpanSeconds = 60;
  static constexpr int kDefaultSpanSeconds = 10;
  static constexpr int kRefreshMs = 33;   // about thirty pictures a second

  TraceWindow(FormMain& form, Services& services, QSettings& settings, QWidget* parent = nullptr);
  ~TraceWindow() override;

  // The tap the main window's input feeds.
  TraceFeed& Feed() { return feed_; }

  // One refresh, as the window's timer runs it while the window is shown: follows what the
  // main window is doing, brings the read-out and the range up to date and repaints.
  void Refresh();

  enum class Source { Live, Playing, Sound };
  Source CurrentSource() const { return source_; }
  const TraceContour& ShownContour() const;
  const TraceView& View() const { return view_; }

  int SpanSeconds() const;
  void SetSpanSeconds(int seconds);
  double ReferenceA4() const;
  void SetReferenceA4(double a4Hz);
  // The range fixed where the user dragged it, or following the voice again.
  void FixRange(MidiSpan range);
  void FollowVoice();
  bool RangeFixed() const { return range_.fixed(); }

  // What the read-out shows.
  const NoteReading& Reading() const { return reading_; }
  const HeldNote& Held() const { return held_; }
  QString NoteText() const;
  QString CentsText() const;
  QString HzText() const;
  QString HeldText() const;

  // A click in the plot at x (the plot's own coordinates): moves the main window's frame
  // position to that moment of the current sound (only while neither playing nor recording).
  void ClickAt(double x);
  // A turn of the wheel by `notches` (positive: away from the user, a shorter span).
  void Wheel(int notches);
  // The export of the current sound to a file chosen in the dialog.
  void ExportClick();

  QWidget* Plot() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  class PlotArea;
  class CentsBar;
  struct SoundIdentity {
    const uint8_t* data = nullptr;
    size_t size = 0;
    uint16_t channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    uint64_t hash = 0;   // of the first bytes: the same buffer may get a new tone
    friend bool operator==(const SoundIdentity&, const SoundIdentity&) = default;
  };

  SoundIdentity IdentityOfCurrentSound() const;
  // Works out a few more seconds of the current sound's contour (from the start again when
  // the sound is another one).
  void BuildSoundContour();
  double SoundSeconds() const;
  double BytesPerSecond() const;
  // The moment the read-out reads and the view ends at.
  void PlaceView(double& readAt);
  void UpdateReadout(double readAt);
  void UpdateScrollBar();
  void SaveSettings();
  // The captions and tooltips in the user's language (again after each change of it).
  void TranslateTexts();

  FormMain& form_;
  Services& services_;
  QSettings& settings_;
  TraceFeed feed_;
  TraceContour sound_;
  SoundIdentity soundId_;
  size_t soundFed_ = 0;       // bytes of the current sound in its contour
  bool soundDone_ = false;
  Source source_ = Source::Sound;
  TraceView view_;
  FollowingRange range_;
  NoteReading reading_;
  HeldNote held_;
  std::optional<double> readHz_;
  uint32_t lastFramePos_ = UINT32_MAX;
  double lastReadAt_ = 0.0;   // the stream's moment the range last followed to
  std::vector<LivePoint> recent_;   // scratch

  PlotArea* plot_ = nullptr;
  CentsBar* bar_ = nullptr;
  QLabel* note_ = nullptr;
  QLabel* cents_ = nullptr;
  QLabel* hz_ = nullptr;
  QLabel* heldLabel_ = nullptr;
  QSpinBox* span_ = nullptr;
  QSpinBox* a4_ = nullptr;
  QPushButton* follow_ = nullptr;
  QPushButton* export_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace tonamira

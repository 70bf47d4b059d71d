#pragma once
// The drawing of the pitch trace: a semitone grid labelled with note names (C lines stronger,
// the rows of the black keys faintly shaded), the time in seconds along the bottom, and the
// contour of the voice with gaps where it is unvoiced, in the colours of `tonamira-cli plot`.
// The range of pitches is any stretch of fractional semitones, so the grid can move smoothly
// with the voice; the stretch of time is any span of the stream.

#include <QImage>
#include <QRectF>

#include <optional>

#include "analysis/follow_range.h"
#include "analysis/trace_contour.h"

namespace tonamira {

struct TraceView {
  double startSeconds = 0.0;   // the stretch of the stream shown
  double endSeconds = 10.0;
  MidiSpan range{55.0, 67.0};  // semitones on the reference's scale (69 is its A4)
  double a4Hz = 440.0;
  std::optional<double> cursorSeconds;   // the frame position, when there is one to show
};

// Where things go in the trace's area.
class TraceLayout {
 public:
  TraceLayout(const QRectF& area, const TraceView& view);

  QRectF plot() const { return plot_; }   // the contour's lane
  double XForTime(double seconds) const;
  double TimeForX(double x) const;
  double YForMidi(double midi) const;
  double MidiForY(double y) const;
  double RowHeight() const;

 private:
  QRectF plot_;
  TraceView view_;
};

// Draws the trace of contour over the whole image (32-bit RGB; another format is converted).
void RenderTrace(QImage& image, const TraceContour& contour, const TraceView& view);

}  // namespace tonamira

#include "main/trace_painter.h"

#include <QFont>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/note_name.h"
#include "analysis/rounding.h"
#include "cli/pitch_plot.h"

namespace tonamira {

namespace {

// Room for the note names on the left and the seconds underneath.
constexpr double kLeftMargin = 42.0;
constexpr double kRightMargin = 8.0;
constexpr double kBottomMargin = 20.0;
constexpr double kTopMargin = 4.0;
// The contour breaks between neighbouring voiced frames further apart than this many
// semitones: at the live hop of a few milliseconds no voice slides that far, so such a step
// is a new note or a jump of the detection, and a line between them would draw a false slide.
constexpr double kJumpSemitones = 1.5;
// The cursor of the frame position.
const QColor kCursor(200, 40, 40);

double MidiOf(double hz, double a4Hz) { return 69.0 + 12.0 * std::log2(hz / a4Hz); }

void DrawGrid(QPainter& p, const TraceLayout& layout, const TraceView& view) {
  const QRectF plot = layout.plot();
  const int low = static_cast<int>(std::floor(view.range.low));
  const int high = static_cast<int>(std::ceil(view.range.high));
  const double row = layout.RowHeight();
  p.save();
  p.setClipRect(plot);
  for (int m = low; m <= high; ++m)
    if (IsBlackKey(m))
      p.fillRect(QRectF(plot.left(), layout.YForMidi(m + 0.5), plot.width(), row), kSharpRowShade);
  for (int m = low; m <= high; ++m) {
    const double y = std::floor(layout.YForMidi(m)) + 0.5;
    p.setPen(QPen(IsC(m) ? kCLine : kSemitoneLine, IsC(m) ? 2.0 : 1.0));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
  }
  p.restore();
  // Every note's name where the rows are tall enough, else the white keys', else only C's.
  const double px = std::clamp(row * 0.8, 9.0, 13.0);
  const bool all = row >= px * 1.05;
  const bool naturals = row * 2.0 >= px * 1.2;
  for (int m = low; m <= high; ++m) {
    if (!(IsC(m) || all || (naturals && !IsBlackKey(m)))) continue;
    const double y = layout.YForMidi(m);
    if (y < plot.top() - 1.0 || y > plot.bottom() + 1.0) continue;
    p.setFont(PlotFont(px, IsC(m)));
    p.setPen(IsBlackKey(m) ? kQuietInk : kInk);
    p.drawText(QRectF(0.0, y - px, plot.left() - 6.0, 2.0 * px), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromStdString(NoteName(m)));
  }
}

void DrawTimeAxis(QPainter& p, const TraceLayout& layout, const TraceView& view) {
  const QRectF plot = layout.plot();
  const double span = view.endSeconds - view.startSeconds;
  if (!(span > 0.0)) return;
  const double step = TimeTickStep(span, plot.width() / 70.0);
  p.setFont(PlotFont(11.0));
  for (double t = std::ceil(view.startSeconds / step - 1e-9) * step; t <= view.endSeconds + 1e-9;
       t += step) {
    if (t < 0.0) continue;
    const double x = std::floor(layout.XForTime(t)) + 0.5;
    p.setPen(QPen(kTimeLine, 1.0));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(kInk);
    p.drawText(QRectF(x - 40.0, plot.bottom() + 3.0, 80.0, kBottomMargin - 4.0),
               Qt::AlignHCenter | Qt::AlignTop, SecondsLabel(t, step));
  }
}

// The contour in view as one value per pixel column of the plot: the median pitch of the
// column's frames where at least half of them are voiced, NaN where the line breaks (a
// mostly unvoiced column, a column without frames). A line cannot show detail finer than a
// pixel, and a minute holds ten thousand frames.
std::vector<double> ContourColumns(const TraceLayout& layout, const TraceContour& contour,
                                   const TraceView& view) {
  const QRectF plot = layout.plot();
  const auto left = static_cast<long>(std::floor(plot.left()));
  const auto width = static_cast<size_t>(std::max(0.0, std::ceil(plot.right()) - static_cast<double>(left)));
  std::vector<double> columns(width, std::nan(""));
  const auto& points = contour.Points();
  if (points.empty() || width == 0) return columns;
  const int64_t first = std::max<int64_t>(contour.FrameAt(view.startSeconds) - 1, 0);
  const int64_t last = std::min<int64_t>(contour.FrameAt(view.endSeconds) + 1,
                                         static_cast<int64_t>(points.size()) - 1);
  std::vector<double> column;
  size_t frames = 0;
  long current = 0;
  auto finish = [&] {
    if (frames > 0 && column.size() * 2 >= frames && current >= left &&
        current < left + static_cast<long>(width)) {
      const auto middle = column.begin() + static_cast<std::ptrdiff_t>(column.size() / 2);
      std::nth_element(column.begin(), middle, column.end());
      columns[static_cast<size_t>(current - left)] = *middle;
    }
    column.clear();
    frames = 0;
  };
  for (int64_t f = first; f <= last; ++f) {
    const long c = std::lround(std::floor(layout.XForTime(contour.TimeOf(f))));
    if (frames > 0 && c != current) finish();
    current = c;
    ++frames;
    const TraceContour::Point& point = points[static_cast<size_t>(f)];
    if (point.voiced()) column.push_back(MidiOf(point.hz, view.a4Hz));
  }
  finish();
  return columns;
}

// Draws the columns straight into the image's pixels: in each column a vertical stroke
// kLineWidth thick around the column's pitch, reaching to the previous column's where the
// line goes on, its ends shaded by how much of the end pixels it covers. That is the look of
// an antialiased line a little over two pixels wide, at a small part of what stroking a
// polyline of a thousand points costs the painter.
void DrawContourPixels(QImage& image, const TraceLayout& layout, const std::vector<double>& columns) {
  constexpr double kHalfWidth = 1.25;
  const QRectF plot = layout.plot();
  const auto left = static_cast<long>(std::floor(plot.left()));
  const int top = static_cast<int>(std::ceil(plot.top()));
  const int bottom = std::min(static_cast<int>(std::floor(plot.bottom())), image.height());
  const QRgb ink = kContour.rgb();
  auto blend = [&](int x, int y, double alpha) {
    if (y < top || y >= bottom || x < 0 || x >= image.width() || alpha <= 0.0) return;
    QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const QRgb old = row[x];
    const double a = std::min(alpha, 1.0);
    auto mix = [a](int o, int n) { return static_cast<int>(std::lround(o + (n - o) * a)); };
    row[x] = qRgb(mix(qRed(old), qRed(ink)), mix(qGreen(old), qGreen(ink)), mix(qBlue(old), qBlue(ink)));
  };
  double previousY = std::nan("");
  double previousMidi = std::nan("");
  for (size_t c = 0; c < columns.size(); ++c) {
    const double midi = columns[c];
    if (std::isnan(midi)) {
      previousY = previousMidi = std::nan("");
      continue;
    }
    const double y = layout.YForMidi(midi);
    const bool joined = !std::isnan(previousMidi) && std::abs(midi - previousMidi) <= kJumpSemitones;
    const double from = (joined ? std::min(y, previousY) : y) - kHalfWidth;
    const double to = (joined ? std::max(y, previousY) : y) + kHalfWidth;
    const int x = static_cast<int>(left + static_cast<long>(c));
    for (int py = static_cast<int>(std::floor(from)); py < static_cast<int>(std::ceil(to)); ++py)
      blend(x, py, std::min<double>(py + 1, to) - std::max<double>(py, from));
    previousY = y;
    previousMidi = midi;
  }
}

}  // namespace

TraceLayout::TraceLayout(const QRectF& area, const TraceView& view)
    : plot_(area.left() + kLeftMargin, area.top() + kTopMargin,
            std::max(1.0, area.width() - kLeftMargin - kRightMargin),
            std::max(1.0, area.height() - kTopMargin - kBottomMargin)),
      view_(view) {}

double TraceLayout::XForTime(double seconds) const {
  const double span = std::max(view_.endSeconds - view_.startSeconds, 1e-9);
  return plot_.left() + (seconds - view_.startSeconds) / span * plot_.width();
}

double TraceLayout::TimeForX(double x) const {
  const double span = std::max(view_.endSeconds - view_.startSeconds, 1e-9);
  return view_.startSeconds + (x - plot_.left()) / plot_.width() * span;
}

double TraceLayout::YForMidi(double midi) const {
  const double span = std::max(view_.range.span(), 1e-9);
  return plot_.top() + (view_.range.high - midi) / span * plot_.height();
}

double TraceLayout::MidiForY(double y) const {
  const double span = std::max(view_.range.span(), 1e-9);
  return view_.range.high - (y - plot_.top()) / plot_.height() * span;
}

double TraceLayout::RowHeight() const {
  return plot_.height() / std::max(view_.range.span(), 1e-9);
}

void RenderTrace(QImage& image, const TraceContour& contour, const TraceView& view) {
  if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
  const QRectF area(image.rect());
  const TraceLayout layout(area, view);
  {
    QPainter painter(&image);
    painter.fillRect(area, kPlotBackground);
    DrawGrid(painter, layout, view);
    DrawTimeAxis(painter, layout, view);
  }
  DrawContourPixels(image, layout, ContourColumns(layout, contour, view));
  QPainter painter(&image);
  if (view.cursorSeconds) {
    const double x = std::floor(layout.XForTime(*view.cursorSeconds)) + 0.5;
    if (x >= layout.plot().left() && x <= layout.plot().right()) {
      painter.setPen(QPen(kCursor, 1.0));
      painter.drawLine(QPointF(x, layout.plot().top()), QPointF(x, layout.plot().bottom()));
    }
  }
  painter.setPen(QPen(kSemitoneLine, 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(layout.plot().adjusted(-0.5, -0.5, 0.5, 0.5));
}

}  // namespace tonamira

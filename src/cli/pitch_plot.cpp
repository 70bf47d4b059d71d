#include "cli/pitch_plot.h"

#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPolygonF>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "analysis/note_name.h"
#include "analysis/rounding.h"

namespace tonamira {
namespace {

// Neighbours within this many steps must agree for a point to set the grid's range.
constexpr int kStableReach = 3;
// The contour breaks between two voiced points further apart than this many semitones:
// at ten-millisecond steps even a fast portamento moves less, so such a step is a new note
// or a detection that jumped, and a line between them would only draw a false slide.
constexpr double kJumpSemitones = 1.5;
// ... or further apart in time than this many steps (a point missing from the track).
constexpr double kMaxStepGap = 1.5;
// Fewer voiced points than this in a row are not drawn: at ten-millisecond steps that is
// shorter than a fast thirty-second note, but as long as the detector's strays at onsets
// and in breaths last.
constexpr size_t kShortestRun = 5;
// The level band shows this many decibels below the loudest point; quieter is empty.
constexpr double kLevelFloorDb = 48.0;
// The plot's proportions are designed at 1000 pixels high; everything scales with it.
constexpr double kDesignHeight = 1000.0;

// A horizontal line of a whole number of pixels placed to cover whole pixel rows, so the
// grid prints crisp instead of smeared over two rows; it always covers row floor(y).
double CrispY(double y, double width) {
  const bool odd = RoundInt(width) % 2 == 1;
  return std::floor(y) + (odd ? 0.5 : 1.0);
}


void DrawTitle(QPainter& p, const PitchPlotLayout& layout, const QString& title) {
  const double u = layout.Unit();
  const QRectF area = layout.pitchArea();
  p.setPen(kInk);
  p.setFont(PlotFont(30.0 * u, true));
  const QRectF box(area.left(), 18.0 * u, area.width(), 44.0 * u);
  p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
             p.fontMetrics().elidedText(title, Qt::ElideMiddle, RoundInt(box.width())));
}

void DrawSemitoneGrid(QPainter& p, const PitchPlotLayout& layout) {
  const QRectF area = layout.pitchArea();
  const SemitoneRange range = layout.range();
  const double row = layout.RowHeight();
  for (int m = range.low; m <= range.high; ++m)
    if (IsBlackKey(m))
      p.fillRect(QRectF(area.left(), layout.YForMidi(m) - row / 2.0, area.width(), row),
                 kSharpRowShade);
  const double u = layout.Unit();
  for (int m = range.low; m <= range.high; ++m) {
    const double width = std::max(1.0, RoundEven((IsC(m) ? 2.0 : 1.0) * u));
    const double y = CrispY(layout.YForMidi(m), width);
    p.setPen(QPen(IsC(m) ? kCLine : kSemitoneLine, width));
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
  }
}

void DrawNoteLabels(QPainter& p, const PitchPlotLayout& layout) {
  const QRectF area = layout.pitchArea();
  const SemitoneRange range = layout.range();
  const double u = layout.Unit();
  const double row = layout.RowHeight();
  const double px = std::clamp(row * 0.8, 12.0 * u, 17.0 * u);
  // Label every note where the rows are tall enough, else the white keys, else only C.
  const bool all = row >= px * 1.05;
  const bool naturals = row * 2.0 >= px * 1.2;
  const double gap = 10.0 * u;
  for (int m = range.low; m <= range.high; ++m) {
    if (!(IsC(m) || all || (naturals && !IsBlackKey(m)))) continue;
    const double y = layout.YForMidi(m);
    p.setFont(PlotFont(px, IsC(m)));
    p.setPen(IsBlackKey(m) ? kQuietInk : kInk);
    p.drawText(QRectF(0.0, y - px, area.left() - gap, 2.0 * px),
               Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(NoteName(m)));
    if (IsC(m)) {
      // The C lines also carry their frequency, for reading hertz off the plot.
      const double hz = 440.0 * std::exp2((m - 69) / 12.0);
      p.setFont(PlotFont(13.0 * u));
      p.setPen(kQuietInk);
      p.drawText(QRectF(area.right() + gap, y - px, layout.size().width() - area.right() - gap,
                        2.0 * px),
                 Qt::AlignLeft | Qt::AlignVCenter,
                 QString::number(RoundInt(hz)) + QStringLiteral(" Hz"));
    }
  }
}

void DrawTimeAxis(QPainter& p, const PitchPlotLayout& layout) {
  const double u = layout.Unit();
  const QRectF pitch = layout.pitchArea();
  const QRectF level = layout.levelArea();
  const double span = layout.endSeconds() - layout.startSeconds();
  const double step = TimeTickStep(span, pitch.width() / (90.0 * u));
  const double first = std::ceil(layout.startSeconds() / step - 1e-9) * step;
  p.setFont(PlotFont(15.0 * u));
  for (double t = first; t <= layout.endSeconds() + 1e-9 * step; t += step) {
    const double x = layout.XForTime(t);
    p.setPen(QPen(kTimeLine, 1.0 * u));
    p.drawLine(QPointF(x, pitch.top()), QPointF(x, pitch.bottom()));
    p.drawLine(QPointF(x, level.top()), QPointF(x, level.bottom()));
    p.setPen(QPen(kQuietInk, 1.0 * u));
    p.drawLine(QPointF(x, level.bottom()), QPointF(x, level.bottom() + 6.0 * u));
    p.setPen(kInk);
    p.drawText(QRectF(x - 60.0 * u, level.bottom() + 8.0 * u, 120.0 * u, 22.0 * u),
               Qt::AlignHCenter | Qt::AlignTop, SecondsLabel(t, step));
  }
  p.setPen(kQuietInk);
  p.setFont(PlotFont(14.0 * u));
  p.drawText(QRectF(pitch.left(), level.bottom() + 32.0 * u, pitch.width(), 22.0 * u),
             Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("time (s)"));
}

// The level band: per pixel column the loudest point falling in it, in decibels below the
// loudest point of the track, filled up from the lane's floor.
void DrawLevelBand(QPainter& p, const PitchTrack& track, const PitchPlotLayout& layout) {
  const QRectF lane = layout.levelArea();
  const double u = layout.Unit();
  p.setPen(QPen(kSemitoneLine, 1.0 * u));
  p.drawLine(lane.bottomLeft(), lane.bottomRight());
  p.setPen(kQuietInk);
  p.setFont(PlotFont(13.0 * u));
  p.drawText(QRectF(0.0, lane.top(), lane.left() - 10.0 * u, lane.height()),
             Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("level"));

  double loudest = 0.0;
  for (const PitchPoint& point : track.points) loudest = std::max(loudest, point.level);
  if (loudest <= 0.0) return;
  const auto columns = static_cast<size_t>(std::max(1.0, std::ceil(lane.width())));
  std::vector<double> height(columns, -1.0);
  // Each point stands for the half step on either side of its instant.
  const double half = track.stepSeconds / 2.0;
  const double last = static_cast<double>(columns - 1);
  for (const PitchPoint& point : track.points) {
    const double x0 = std::floor(layout.XForTime(point.timeSeconds - half) - lane.left());
    const double x1 = std::floor(layout.XForTime(point.timeSeconds + half) - lane.left());
    if (x1 < 0.0 || x0 > last) continue;
    const double db = point.level > 0.0 ? 20.0 * std::log10(point.level / loudest) : -1e9;
    const double h = std::clamp((db + kLevelFloorDb) / kLevelFloorDb, 0.0, 1.0);
    const auto c1 = static_cast<size_t>(std::min(x1, last));
    for (auto c = static_cast<size_t>(std::max(x0, 0.0)); c <= c1; ++c)
      height[c] = std::max(height[c], h);
  }
  QPolygonF band;
  band.reserve(static_cast<qsizetype>(2 * columns + 2));
  bool open = false;
  auto close = [&] {
    if (!open) return;
    band << QPointF(band.back().x(), lane.bottom());
    p.drawPolygon(band);
    band.clear();
    open = false;
  };
  p.setPen(Qt::NoPen);
  p.setBrush(kLevelBand);
  for (size_t c = 0; c < columns; ++c) {
    if (height[c] < 0.0) {  // no point in this column: the band is interrupted
      close();
      continue;
    }
    const double x = lane.left() + static_cast<double>(c) + 0.5;
    if (!open) {
      band << QPointF(x, lane.bottom());
      open = true;
    }
    band << QPointF(x, lane.bottom() - height[c] * lane.height());
  }
  close();
  p.setBrush(Qt::NoBrush);
}

// The contour as the points to draw, in order; an empty entry breaks the line. Where
// several points share a pixel column (a long stretch on a page), a column shows the median
// pitch of its points, or nothing when most of them are unvoiced: a line cannot show
// detail finer than a pixel, and the median keeps the note while the detector's jitter and
// strays would only thicken it.
std::vector<std::optional<QPointF>> ContourSamples(const PitchTrack& track,
                                                   const PitchPlotLayout& layout) {
  const size_t n = track.points.size();
  const double pixelsPerStep = track.stepSeconds > 0.0
                                   ? layout.XForTime(track.startSeconds + track.stepSeconds) -
                                         layout.XForTime(track.startSeconds)
                                   : 1.0;
  const bool direct = pixelsPerStep >= 1.0;
  // Stretches: consecutive voiced points no further apart than kMaxStepGap steps and, where
  // each point gets its own place on the page, no more than kJumpSemitones apart in pitch.
  // Stretches shorter than kShortestRun points are strays of the detector, not notes; a
  // stretch's points keep their pitch, all others are NaN.
  const double maxGap = kMaxStepGap * track.stepSeconds;
  std::vector<double> midi(n, std::nan(""));
  std::vector<bool> starts(n, false);
  for (size_t i = 0; i < n;) {
    if (!track.points[i].hz || !(*track.points[i].hz > 0.0)) {
      ++i;
      continue;
    }
    midi[i] = MidiFromHz(*track.points[i].hz);
    size_t j = i + 1;
    for (; j < n && track.points[j].hz && *track.points[j].hz > 0.0; ++j) {
      midi[j] = MidiFromHz(*track.points[j].hz);
      if (maxGap > 0.0 && track.points[j].timeSeconds - track.points[j - 1].timeSeconds > maxGap)
        break;
      if (direct && std::abs(midi[j] - midi[j - 1]) > kJumpSemitones) break;
    }
    starts[i] = true;
    if (j - i < kShortestRun)
      for (size_t k = i; k < j; ++k) midi[k] = std::nan("");
    if (j < n) midi[j] = std::nan("");  // measured again as the next stretch's first point
    i = j;
  }

  std::vector<std::optional<QPointF>> samples;
  if (direct) {
    samples.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      if (starts[i] || std::isnan(midi[i])) samples.emplace_back();
      if (!std::isnan(midi[i]))
        samples.emplace_back(
            QPointF(layout.XForTime(track.points[i].timeSeconds), layout.YForMidi(midi[i])));
    }
    return samples;
  }
  std::vector<double> column;
  size_t total = 0;
  long current = 0;
  auto finish = [&] {
    if (total > 0 && column.size() * 2 >= total) {
      const auto middle = column.begin() + static_cast<std::ptrdiff_t>(column.size() / 2);
      std::nth_element(column.begin(), middle, column.end());
      samples.emplace_back(
          QPointF(static_cast<double>(current) + 0.5, layout.YForMidi(*middle)));
    } else {
      samples.emplace_back();
    }
    column.clear();
    total = 0;
  };
  for (size_t i = 0; i < n; ++i) {
    const long c = std::lround(std::floor(layout.XForTime(track.points[i].timeSeconds)));
    if (total > 0 && c != current) {
      finish();
      if (c > current + 1) samples.emplace_back();  // columns without points
    }
    current = c;
    ++total;
    if (!std::isnan(midi[i])) column.push_back(midi[i]);
  }
  if (total > 0) finish();
  return samples;
}

void DrawContour(QPainter& p, const PitchTrack& track, const PitchPlotLayout& layout) {
  const double u = layout.Unit();
  QPen pen(kContour, 3.2 * u);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.save();
  p.setClipRect(layout.pitchArea());
  QPolygonF run;
  double lastY = 0.0;
  auto flush = [&] {
    if (run.size() == 1) p.drawPoint(run.front());
    else if (run.size() > 1) p.drawPolyline(run);
    run.clear();
  };
  const double jump = kJumpSemitones * layout.RowHeight();
  for (const std::optional<QPointF>& sample : ContourSamples(track, layout)) {
    if (!sample) {
      flush();
      continue;
    }
    if (!run.isEmpty() && std::abs(sample->y() - lastY) > jump) flush();
    run << *sample;
    lastY = sample->y();
  }
  flush();
  p.restore();
}

}  // namespace

QFont PlotFont(double pixels, bool bold) {
  QFont font;
  font.setFamilies({"DejaVu Sans", "Liberation Sans", "IPAGothic"});
  font.setPixelSize(std::max(1, RoundInt(pixels)));
  font.setBold(bold);
  return font;
}

double TimeTickStep(double span, double maxTicks) {
  static const double kSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0,   2.0,   5.0,
                                  10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1800.0, 3600.0};
  for (double step : kSteps)
    if (span / step <= maxTicks) return step;
  return 7200.0;
}

QString SecondsLabel(double seconds, double step) {
  const int decimals = step >= 1.0 ? 0 : (step >= 0.1 ? 1 : 2);
  return QString::number(seconds, 'f', decimals);
}

SemitoneRange ChooseSemitoneRange(const PitchTrack& track) {
  const size_t n = track.points.size();
  std::vector<double> midi(n, std::nan(""));
  for (size_t i = 0; i < n; ++i)
    if (track.points[i].hz && *track.points[i].hz > 0.0) midi[i] = MidiFromHz(*track.points[i].hz);

  double lo = INFINITY, hi = -INFINITY;
  double anyLo = INFINITY, anyHi = -INFINITY;
  for (size_t i = 0; i < n; ++i) {
    if (std::isnan(midi[i])) continue;
    anyLo = std::min(anyLo, midi[i]);
    anyHi = std::max(anyHi, midi[i]);
    bool stable = i >= kStableReach && i + kStableReach < n;
    for (size_t j = i - std::min<size_t>(i, kStableReach); stable && j <= i + kStableReach; ++j)
      stable = !std::isnan(midi[j]) && std::abs(midi[j] - midi[i]) <= 1.0;
    if (!stable) continue;
    lo = std::min(lo, midi[i]);
    hi = std::max(hi, midi[i]);
  }
  if (lo > hi) {
    lo = anyLo;
    hi = anyHi;
  }
  SemitoneRange range;
  if (lo > hi) return range;  // nothing voiced: an octave around A4's neighbourhood
  range.low = RoundInt(lo) - 1;
  range.high = RoundInt(hi) + 1;
  if (range.high - range.low < 12) {
    const int extra = 12 - (range.high - range.low);
    range.low -= extra / 2;
    range.high += extra - extra / 2;
  }
  range.low = std::max(range.low, 0);
  range.high = std::min(range.high, 127);
  return range;
}

PitchPlotLayout::PitchPlotLayout(const PitchTrack& track, QSize size)
    : size_(size), range_(ChooseSemitoneRange(track)) {
  unit_ = static_cast<double>(size.height()) / kDesignHeight;
  start_ = track.startSeconds;
  end_ = track.endSeconds > track.startSeconds ? track.endSeconds : track.startSeconds + 1.0;
  const double u = unit_;
  const double left = 84.0 * u, right = 76.0 * u, top = 80.0 * u, bottom = 74.0 * u;
  const double levelHeight = 70.0 * u, gap = 12.0 * u;
  const double width = static_cast<double>(size.width()) - left - right;
  const double pitchHeight =
      static_cast<double>(size.height()) - top - bottom - levelHeight - gap;
  pitchArea_ = QRectF(left, top, width, pitchHeight);
  levelArea_ = QRectF(left, top + pitchHeight + gap, width, levelHeight);
}

double PitchPlotLayout::XForTime(double seconds) const {
  return pitchArea_.left() + (seconds - start_) / (end_ - start_) * pitchArea_.width();
}

double PitchPlotLayout::YForMidi(double midi) const {
  return pitchArea_.bottom() - (midi - (range_.low - 0.5)) * RowHeight();
}

void PaintPitchPlot(QPainter& painter, const PitchTrack& track, const PitchPlotLayout& layout,
                    const QString& title) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.fillRect(QRectF(QPointF(0, 0), QSizeF(layout.size())), kPlotBackground);
  DrawTitle(painter, layout, title);
  DrawSemitoneGrid(painter, layout);
  DrawTimeAxis(painter, layout);
  DrawLevelBand(painter, track, layout);
  DrawNoteLabels(painter, layout);
  DrawContour(painter, track, layout);
}

QImage RenderPitchPlot(const PitchTrack& track, const PitchPlotLayout& layout,
                       const QString& title) {
  QImage image(layout.size(), QImage::Format_RGB32);
  // 150 dots per inch: the default plot fills a landscape page's width.
  image.setDotsPerMeterX(5906);
  image.setDotsPerMeterY(5906);
  QPainter painter(&image);
  PaintPitchPlot(painter, track, layout, title);
  painter.end();
  return image;
}

std::string SavePitchPlot(const PitchTrack& track, const QString& title, const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != "png" && suffix != "svg") return "the plot must be a .png or .svg file";
  const PitchPlotLayout layout(track, kPlotSize);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  if (suffix == "png") {
    if (!RenderPitchPlot(track, layout, title).save(&file, "PNG")) {
      file.cancelWriting();
      return "could not encode the PNG image";
    }
  } else {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(layout.size());
    svg.setResolution(150);  // the same page size as the PNG: a landscape page wide
    svg.setViewBox(QRect(QPoint(0, 0), layout.size()));
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("Pitch contour drawn by tonamira-cli plot"));
    QPainter painter;
    if (!painter.begin(&svg)) {
      file.cancelWriting();
      return "could not start the SVG drawing";
    }
    PaintPitchPlot(painter, track, layout, title);
    painter.end();
  }
  if (!file.commit()) return file.errorString().toStdString();
  return {};
}

}  // namespace tonamira

#pragma once
// The pitch contour of a track drawn for reading and printing: a semitone grid labelled
// with note names (C lines stronger, black-key rows faintly shaded), the contour with gaps
// where the sound is unvoiced, a faint level band beneath, the time axis in seconds and a
// title. Drawn with QPainter onto any paint device; written as PNG or SVG.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>

#include <string>

#include "cli/pitch_track.h"

namespace tonamira {

// The colours of the plot, named so tests can find what was drawn.
inline const QColor kPlotBackground(255, 255, 255);
inline const QColor kSharpRowShade(241, 243, 246);   // rows of the black keys
inline const QColor kSemitoneLine(214, 218, 224);
inline const QColor kCLine(112, 118, 128);
inline const QColor kTimeLine(228, 231, 236);
inline const QColor kContour(23, 70, 160);
inline const QColor kLevelBand(220, 227, 238);
inline const QColor kInk(40, 44, 52);                // title and labels
inline const QColor kQuietInk(120, 126, 136);        // secondary labels

// The plot's type, the spacing of its time ticks (a pleasant step giving at most maxTicks
// intervals over span) and their labels; the pitch trace draws in the same style.
QFont PlotFont(double pixels, bool bold = false);
double TimeTickStep(double span, double maxTicks);
QString SecondsLabel(double seconds, double step);

// The semitone range shown: the stable part of the contour, padded by a semitone, at least
// an octave. Points count as stable when their neighbours within three steps are voiced and
// within a semitone of them, so a stray detection does not stretch the grid.
struct SemitoneRange {
  int low = 57;   // MIDI numbers of the lowest and highest grid lines
  int high = 69;
};
SemitoneRange ChooseSemitoneRange(const PitchTrack& track);

// Where things go on a plot of a given size. All coordinates in device pixels.
class PitchPlotLayout {
 public:
  PitchPlotLayout(const PitchTrack& track, QSize size);

  QSize size() const { return size_; }
  QRectF pitchArea() const { return pitchArea_; }  // the contour's lane
  QRectF levelArea() const { return levelArea_; }  // the level band's lane, under it
  SemitoneRange range() const { return range_; }
  double startSeconds() const { return start_; }
  double endSeconds() const { return end_; }

  double XForTime(double seconds) const;
  double YForMidi(double midi) const;
  double RowHeight() const { return pitchArea_.height() / (range_.high - range_.low + 1); }
  // Font sizes in pixels, scaled with the plot.
  double Unit() const { return unit_; }

 private:
  QSize size_;
  QRectF pitchArea_;
  QRectF levelArea_;
  SemitoneRange range_;
  double start_ = 0.0;
  double end_ = 1.0;
  double unit_ = 1.0;
};

// The plot size for a PNG or SVG: a landscape page's proportions.
inline constexpr QSize kPlotSize(1600, 1000);

// Draws the whole plot onto the painter's device, which is layout.size() pixels large.
void PaintPitchPlot(QPainter& painter, const PitchTrack& track, const PitchPlotLayout& layout,
                    const QString& title);

// The plot as an image of the layout's size.
QImage RenderPitchPlot(const PitchTrack& track, const PitchPlotLayout& layout,
                       const QString& title);

// Writes the plot to path as PNG or SVG (chosen by the extension, .png or .svg), replacing
// the file only once it is complete. Returns an empty string or why it could not be written.
std::string SavePitchPlot(const PitchTrack& track, const QString& title, const QString& path);

}  // namespace tonamira

#include "main/trace_export.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "cli/analyze_precise.h"
#include "cli/csv_rows.h"
#include "cli/pcm_bytes.h"
#include "cli/pitch_plot.h"
#include "cli/precise_track.h"

namespace tonamira {

namespace {

QString Suffix(const std::string& name) {
  return QFileInfo(QString::fromStdString(name)).suffix().toLower();
}

}  // namespace

std::string ExportNameWithSuffix(const std::string& name) {
  const QString suffix = Suffix(name);
  if (suffix == "png" || suffix == "svg" || suffix == "csv") return name;
  return name + ".png";
}

std::string ExportContour(std::span<const uint8_t> bytes, const WaveFormat& format, double a4Hz,
                          const std::string& title, const std::string& path) {
  const QString qpath = QString::fromStdString(path);
  if (Suffix(path) != "csv") {
    // The plot: the precise tracker's track of the whole sound, drawn as the tool draws it.
    PitchTrack track;
    if (const std::string why = BuildPreciseTrack(bytes, format, TrackOptions{}, track); !why.empty())
      return why;
    return SavePitchPlot(track, QString::fromStdString(title), qpath);
  }
  // The rows: the tool's precise method with its default frames.
  SpanPcmBytes pcm(bytes);
  PreciseInput input;
  input.pcm = &pcm;
  input.format = format;
  std::string csv = CsvHeader(true);
  const std::string why = AnalyzeSoundPrecise(input, AnalyzeOptions{}, [&](const PreciseRow& row) {
    AppendPreciseRow(csv, row, a4Hz);
  });
  if (!why.empty()) return why;
  QSaveFile file(qpath);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  if (file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size())) {
    file.cancelWriting();
    return file.errorString().toStdString();
  }
  if (!file.commit()) return file.errorString().toStdString();
  return {};
}

}  // namespace tonamira

#include "cli/plot_command.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "cli/pitch_plot.h"
#include "cli/pitch_track.h"
#include "cli/precise_track.h"
#include "sound/wav_reader.h"

namespace tonamira {
namespace {

constexpr int kExitUsage = 1;
constexpr int kExitRejected = 2;

const char* const kPlotUsage =
    "usage: tonamira-cli plot IN.wav [-o OUT.png|OUT.svg] [--method window|precise]\n"
    "                                [--from S] [--to S]\n"
    "  Draws the pitch contour of IN over time on a semitone grid labelled with note names\n"
    "  (C lines stronger, time in seconds), with gaps where no pitch is found and the level\n"
    "  (RMS, in decibels below the loudest moment) as a band underneath.\n"
    "  -o OUT       PNG or SVG by its extension; default: IN with the extension .png\n"
    "  --method M   precise: the precise tracker (60 to 1600 Hz, sub-hertz, unvoiced\n"
    "               stretches left out), every 10 ms (default)\n"
    "               window: the window's own detector, every 10 ms\n"
    "  --from S     start of the plotted stretch in seconds (default 0)\n"
    "  --to S       end of the plotted stretch in seconds (default: the end of the sound)\n";

// How each --method value makes a track from a sound. A method without a builder is known
// but not part of this build; it is refused as a usage error, before any file is read.
using TrackBuilder = std::string (*)(std::span<const uint8_t>, const WaveFormat&,
                                     const TrackOptions&, PitchTrack&);
struct PitchMethod {
  const char* name;
  TrackBuilder build;
};
const PitchMethod kMethods[] = {
    {"window", &BuildWindowTrack},
    {"precise", &BuildPreciseTrack},
};

int UsageError(std::ostream& err, const std::string& message) {
  err << "tonamira-cli: " << message << '\n' << kPlotUsage;
  return kExitUsage;
}

bool ParseSeconds(const QString& text, double& value) {
  bool ok = false;
  const double parsed = text.toDouble(&ok);
  if (ok) value = parsed;
  return ok && std::isfinite(parsed) && parsed >= 0.0;
}

// IN with its extension replaced by .png (or .png appended when it has none).
QString DefaultOutput(const QString& in) {
  const QFileInfo info(in);
  const QString base = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
  const QString dir = info.path();
  return (dir == "." && !in.startsWith("./") ? QString() : dir + "/") + base + ".png";
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

// Text needs a GUI application for its fonts; the tool never shows a window, so it runs on
// the offscreen platform and works without a display.
std::unique_ptr<QGuiApplication> EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return nullptr;
  static int argc = 3;
  static char name[] = "tonamira-cli";
  static char platformFlag[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, platformFlag, platform, nullptr};
  // Setting up the platform warns about a desktop session it does not need (no runtime
  // directory, no display); those notes are not the user's business.
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString&) {});
  auto app = std::make_unique<QGuiApplication>(argc, argv);
  qInstallMessageHandler(previous);
  return app;
}

}  // namespace

int RunPlot(int argc, char** argv, std::ostream& out, std::ostream& err) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Show this help.");
  const QCommandLineOption outOption({"o", "output"}, "Output picture.", "OUT");
  // A contour is read by eye: the precise tracker's voicing and sub-hertz pitch draw it
  // without the strays and octave jumps of the window's detector.
  const QCommandLineOption methodOption("method", "Pitch method.", "M", "precise");
  const QCommandLineOption fromOption("from", "Start in seconds.", "S");
  const QCommandLineOption toOption("to", "End in seconds.", "S");
  parser.addOptions({help, outOption, methodOption, fromOption, toOption});
  if (!parser.parse(arguments)) return UsageError(err, parser.errorText().toStdString());
  if (parser.isSet(help)) {
    out << kPlotUsage;
    return 0;
  }
  const QStringList positional = parser.positionalArguments();  // "plot" IN
  if (positional.size() != 2) return UsageError(err, "plot takes one sound file");
  const QString in = positional[1];

  const PitchMethod* method = nullptr;
  for (const PitchMethod& m : kMethods)
    if (parser.value(methodOption) == m.name) method = &m;
  if (method == nullptr) return UsageError(err, "--method must be window or precise");
  if (method->build == nullptr)
    return UsageError(err, std::string("--method ") + method->name +
                               " is not available in this version; use --method window");

  TrackOptions options;
  if (parser.isSet(fromOption) && !ParseSeconds(parser.value(fromOption), options.fromSeconds))
    return UsageError(err, "--from must be a number of seconds, at least 0");
  if (parser.isSet(toOption)) {
    double to = 0.0;
    if (!ParseSeconds(parser.value(toOption), to) || !(to > options.fromSeconds))
      return UsageError(err, "--to must be a number of seconds after --from");
    options.toSeconds = to;
  }
  const QString output = parser.isSet(outOption) ? parser.value(outOption) : DefaultOutput(in);
  const QString suffix = QFileInfo(output).suffix().toLower();
  if (suffix != "png" && suffix != "svg") return UsageError(err, "-o must name a .png or .svg file");

  const std::string file = in.toStdString();
  const WavReadResult sound = ReadWavFile(file, WaveFormat{});
  if (!sound.ok) {
    err << "tonamira-cli: " << file << ": " << sound.message << '\n';
    return kExitRejected;
  }
  if (sound.format.nBlockAlign != 0 && sound.format.nSamplesPerSec != 0) {
    const double duration = static_cast<double>(sound.size / sound.format.nBlockAlign) /
                            static_cast<double>(sound.format.nSamplesPerSec);
    if (options.fromSeconds >= duration)
      return UsageError(err, "--from lies at or past the end of " + file + " (" +
                                 Seconds(duration) + ")");
  }

  PitchTrack track;
  const std::string problem = method->build(std::span<const uint8_t>(sound.data.get(), sound.size),
                                            sound.format, options, track);
  if (!problem.empty()) {
    err << "tonamira-cli: " << file << ": " << problem << '\n';
    return kExitRejected;
  }
  bool voiced = false;
  for (const PitchPoint& point : track.points) voiced = voiced || point.hz.has_value();
  if (!voiced) err << "tonamira-cli: " << file << ": no pitch found; the plot shows the level only\n";

  const auto app = EnsureGuiApplication();
  const std::string written = SavePitchPlot(track, QFileInfo(in).fileName(), output);
  if (!written.empty()) {
    err << "tonamira-cli: " << output.toStdString() << ": " << written << '\n';
    return kExitRejected;
  }
  out << output.toStdString() << '\n';
  return 0;
}

}  // namespace tonamira

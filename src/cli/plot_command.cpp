#include "cli/plot_command.h"

#include <QCommandLineOption>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/pitch_tracker.h"
#include "cli/batch.h"
#include "cli/command_table.h"
#include "cli/input_sound.h"
#include "cli/options.h"
#include "cli/output_names.h"
#include "cli/pitch_plot.h"
#include "cli/pitch_track.h"
#include "cli/precise_track.h"

namespace tonamira {
namespace {

// What `plot --help` and a usage error of plot show after the synopsis; the tracker's range
// is the tracker's own.
const char* const kPlotDetails =
    "  Draws the pitch contour of each FILE over time on a semitone grid labelled with note\n"
    "  names (C lines stronger, time in seconds), with gaps where no pitch is found and the\n"
    "  level (RMS, in decibels below the loudest moment) as a band underneath.\n"
    "  -o OUT       PNG or SVG by its extension; default: FILE with the extension .png\n"
    "               (one FILE only; several are each drawn next to their sound)\n"
    "  --method M   precise: the precise tracker (%g to %g Hz, sub-hertz, unvoiced\n"
    "               stretches left out), every 10 ms (default)\n"
    "               window: the window's own detector, every 10 ms\n"
    "  --from S     start of the plotted stretch in seconds (default 0)\n"
    "  --to S       end of the plotted stretch in seconds (default: the end of the sound)\n"
    "  --min-hz HZ, --max-hz HZ\n"
    "               precise: the lowest and highest pitch searched\n"
    "  --jobs N     files tracked at once (default: the machine's cores)\n";

std::string PlotUsage() {
  char details[1536];
  const TrackerSettings tracker;
  std::snprintf(details, sizeof details, kPlotDetails, tracker.minHz, tracker.maxHz);
  return CommandUsage(*FindCommand("plot")) + details;
}

// How each --method value makes a track from a sound. A method without a builder is known
// but not part of this build; it is refused as a usage error, before any file is read.
using TrackBuilder = std::string (*)(std::span<const uint8_t>, const WaveFormat&,
                                     const TrackOptions&, PitchTrack&);
struct PitchMethod {
  const char* name;
  TrackBuilder build;
  bool takesPitchRange;  // --min-hz and --max-hz apply
};
const PitchMethod kMethods[] = {
    {"window", &BuildWindowTrack, false},
    {"precise", &BuildPreciseTrack, true},
};

bool ParseSeconds(const QString& text, double& value) {
  return ParseReal(text, value) && value >= 0.0;
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

// The command line of plot once its options are read.
struct PlotRun {
  QStringList files;
  QStringList outputs;  // outputs[i] is the picture of files[i]
  const PitchMethod* method = nullptr;
  TrackOptions options;
  int jobs = 1;
};

// Reads the options; returns nothing to go on, or the status to end with.
std::optional<int> ReadPlotRun(const Invocation& invocation, PlotRun& run) {
  const QCommandLineOption outOption({"o", "output"}, "Output picture.", "OUT");
  // A contour is read by eye: the precise tracker's voicing and sub-hertz pitch draw it
  // without the strays and octave jumps of the window's detector.
  const QCommandLineOption methodOption("method", "Pitch method.", "M", "precise");
  const QCommandLineOption fromOption("from", "Start in seconds.", "S");
  const QCommandLineOption toOption("to", "End in seconds.", "S");
  const QCommandLineOption minHzOption = MinHzOption();
  const QCommandLineOption maxHzOption = MaxHzOption();
  const QCommandLineOption jobsOption = JobsOption();
  CommandLine line({outOption, methodOption, fromOption, toOption, minHzOption, maxHzOption,
                    jobsOption});
  std::ostream& err = invocation.err;
  const std::string usage = PlotUsage();
  if (!line.Parse(invocation.arguments)) return UsageError(err, line.error(), usage);
  if (line.helpAsked()) {
    invocation.out << usage;
    return kExitOk;
  }
  run.files = line.operands();
  if (run.files.isEmpty()) return UsageError(err, "plot takes one or more sound files", usage);

  for (const PitchMethod& m : kMethods)
    if (line.value(methodOption) == m.name) run.method = &m;
  if (run.method == nullptr) return UsageError(err, "--method must be window or precise", usage);
  if (run.method->build == nullptr)
    return UsageError(err, std::string("--method ") + run.method->name +
                               " is not available in this version; use --method window",
                      usage);

  TrackOptions& options = run.options;
  if (line.isSet(fromOption) && !ParseSeconds(line.value(fromOption), options.fromSeconds))
    return UsageError(err, "--from must be a number of seconds, at least 0", usage);
  if (line.isSet(toOption)) {
    double to = 0.0;
    if (!ParseSeconds(line.value(toOption), to) || !(to > options.fromSeconds))
      return UsageError(err, "--to must be a number of seconds after --from", usage);
    options.toSeconds = to;
  }
  if (const std::string why =
          ReadPitchRange(line, minHzOption, maxHzOption, run.method->takesPitchRange,
                         "the precise method", options.minHz, options.maxHz);
      !why.empty())
    return UsageError(err, why, usage);
  if (const std::string why = ReadJobs(line, jobsOption, run.jobs); !why.empty())
    return UsageError(err, why, usage);

  if (line.isSet(outOption)) {
    if (run.files.size() > 1)
      return UsageError(err, "-o names the picture of one file; several are each drawn next "
                             "to their sound",
                        usage);
    run.outputs << line.value(outOption);
  } else {
    for (const QString& file : run.files) run.outputs << OutputNextTo(file, ".png");
  }
  for (const QString& output : run.outputs) {
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (suffix != "png" && suffix != "svg")
      return UsageError(err, "-o must name a .png or .svg file", usage);
  }
  if (const std::string clash = SharedOutput(run.files, run.outputs); !clash.empty())
    return UsageError(err, clash, usage);
  return std::nullopt;
}

// One file's track, made on a thread of the batch and drawn in its turn.
struct TrackResult {
  PitchTrack track;
  std::ostringstream err;
  int status = kExitOk;
};

void BuildTrackOf(const PlotRun& run, size_t i, TrackResult& result) {
  const std::string file = LocalName(run.files[i]);
  const InputSound sound = OpenInput(LocalPath(run.files[i]), InputPurpose::kAnalyze);
  if (!sound.ok) {
    result.status = Rejected(result.err, file + ": " + sound.message);
    return;
  }
  const PcmView view = MakePcmView(sound);
  if (view.format.nBlockAlign != 0 && view.format.nSamplesPerSec != 0) {
    const double duration = static_cast<double>(view.size / view.format.nBlockAlign) /
                            static_cast<double>(view.format.nSamplesPerSec);
    if (run.options.fromSeconds >= duration) {
      result.status = UsageError(result.err, "--from lies at or past the end of " + file +
                                                 " (" + Seconds(duration) + ")",
                                 PlotUsage());
      return;
    }
  }
  const std::string problem = run.method->build(std::span<const uint8_t>(view.data, view.size),
                                                view.format, run.options, result.track);
  if (!problem.empty()) result.status = Rejected(result.err, file + ": " + problem);
}

}  // namespace

int RunPlot(const Invocation& invocation) {
  PlotRun run;
  if (const std::optional<int> end = ReadPlotRun(invocation, run)) return *end;

  const auto app = EnsureGuiApplication();
  std::vector<std::unique_ptr<TrackResult>> results(static_cast<size_t>(run.files.size()));
  int status = kExitOk;
  const bool alone = run.files.size() == 1;
  const auto work = [&](size_t i) {
    results[i] = std::make_unique<TrackResult>();
    BuildTrackOf(run, i, *results[i]);
  };
  // Drawing stays on the calling thread, where the application's fonts are.
  const auto draw = [&](size_t i) {
    TrackResult& result = *results[i];
    const std::string file = LocalName(run.files[i]);
    if (result.status == kExitOk) {
      bool voiced = false;
      for (const PitchPoint& point : result.track.points) voiced = voiced || point.hz.has_value();
      if (!voiced)
        result.err << "tonamira-cli: " << file
                   << ": no pitch found; the plot shows the level only\n";
      const QString& output = run.outputs[static_cast<qsizetype>(i)];
      const std::string written =
          SavePitchPlot(result.track, QFileInfo(run.files[static_cast<qsizetype>(i)]).fileName(),
                        output);
      if (!written.empty())
        result.status = Rejected(result.err, LocalName(output) + ": " + written);
      else
        invocation.out << LocalName(output) << '\n';
    }
    invocation.err << result.err.str();
    status = alone ? result.status : WithFileStatus(status, result.status);
    results[i].reset();
  };
  RunInOrder(results.size(), run.jobs, work, draw);
  invocation.out << std::flush;
  return status;
}

}  // namespace tonamira

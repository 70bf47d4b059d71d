#include "cli/analyze_command.h"

#include <QDir>
#include <QSaveFile>

#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/analyze_file.h"
#include "cli/batch.h"
#include "cli/command_table.h"
#include "cli/csv_rows.h"
#include "cli/input_sound.h"
#include "cli/options.h"
#include "cli/output_names.h"
#include "cli/stdin_copy.h"
#include "cli/tool_help.h"

namespace tonamira {
namespace {

// The command line of analyze (and info) once its options are read.
struct AnalyzeRun {
  AnalyzeRequest request;
  QStringList files;
  int jobs = 1;
  std::optional<QString> outDir;
};

const Choice<ChannelChoice> kChannels[] = {
    {"first", ChannelChoice::kFirst},
    {"second", ChannelChoice::kSecond},
    {"mix", ChannelChoice::kMix},
};

// Reads the options; returns nothing to go on, or the status to end with (after a usage
// error, or after --help, which prints the tool's help).
std::optional<int> ReadAnalyzeRun(const Invocation& invocation, AnalyzeRun& run) {
  const QCommandLineOption frameOption("frame", "Frame length in samples.", "N", "2048");
  const QCommandLineOption hopOption("hop", "Samples between frame starts.", "FRAMES");
  const QCommandLineOption thresholdOption("threshold", "Peak threshold.", "X");
  const QCommandLineOption cutoffOption("cutoff", "Low cut-off in hertz.", "HZ", "30");
  const QCommandLineOption methodOption("method", "window, precise or live.", "M", "window");
  const QCommandLineOption channelOption("channel", "first, second or mix.", "C");
  const QCommandLineOption a4Option("a4", "Reference of the notes in hertz.", "HZ", "440");
  const QCommandLineOption minHzOption = MinHzOption();
  const QCommandLineOption maxHzOption = MaxHzOption();
  const QCommandLineOption jobsOption = JobsOption();
  const QCommandLineOption outDirOption("out-dir", "One CSV per file in DIR.", "DIR");
  CommandLine line({frameOption, hopOption, thresholdOption, cutoffOption, methodOption,
                    channelOption, a4Option, minHzOption, maxHzOption, jobsOption,
                    outDirOption});
  std::ostream& err = invocation.err;
  const std::string usage = ToolUsage();
  if (!line.Parse(invocation.arguments)) return UsageError(err, line.error(), usage);
  if (line.helpAsked()) {
    invocation.out << ToolHelp();
    return kExitOk;
  }
  run.files = line.operands();
  if (run.files.isEmpty()) return UsageError(err, "expected a command and one file", usage);

  AnalyzeRequest& request = run.request;
  AnalyzeOptions& options = request.options;
  if (!ParseWhole(line.value(frameOption), INT32_MIN, INT32_MAX, options.frame) ||
      (options.frame != 256 && options.frame != 512 && options.frame != 1024 &&
       options.frame != 2048))
    return UsageError(err, "--frame must be 256, 512, 1024 or 2048", usage);
  request.frameGiven = line.isSet(frameOption);
  if (line.isSet(hopOption) && !ParseWhole(line.value(hopOption), 1, INT32_MAX, options.hop))
    return UsageError(err, "--hop must be a whole number of frames, at least 1", usage);
  if (line.isSet(thresholdOption)) {
    double threshold = 0.0;
    if (!ParseReal(line.value(thresholdOption), threshold) || threshold < 0.0)
      return UsageError(err, "--threshold must be a number, at least 0", usage);
    options.threshold = threshold;
  }
  if (!ParseReal(line.value(cutoffOption), options.cutoffHz) || options.cutoffHz < 0.0)
    return UsageError(err, "--cutoff must be a number of hertz, at least 0", usage);
  const QString method = line.value(methodOption);
  if (method != "window" && method != "precise" && method != "live")
    return UsageError(err, "--method must be window, precise or live", usage);
  request.live = method == "live";
  request.precise = method == "precise" || request.live;  // the same columns and input
  if (line.isSet(channelOption) &&
      !ParseChoice(line.value(channelOption), kChannels, options.channel))
    return UsageError(err, "--channel must be first, second or mix", usage);
  if (!ParseReal(line.value(a4Option), request.a4) || request.a4 <= 0.0)
    return UsageError(err, "--a4 must be a positive number of hertz", usage);
  if (const std::string why =
          ReadPitchRange(line, minHzOption, maxHzOption, request.precise,
                         "the precise and live methods", options.minHz, options.maxHz);
      !why.empty())
    return UsageError(err, why, usage);
  if (const std::string why = ReadJobs(line, jobsOption, run.jobs); !why.empty())
    return UsageError(err, why, usage);
  if (line.isSet(outDirOption)) {
    if (line.value(outDirOption).isEmpty())
      return UsageError(err, "--out-dir must name a folder", usage);
    run.outDir = line.value(outDirOption);
  }
  if (run.files.count("-") > 1)
    return UsageError(err, "- (standard input) can be read only once", usage);
  return std::nullopt;
}

// The files of a run as paths to open and names to show: "-" is standard input, copied
// once into a temporary file.
struct RunFiles {
  std::unique_ptr<StdinCopy> stdinCopy;
  std::vector<std::filesystem::path> paths;
  std::vector<std::string> names;

  RunFiles(const QStringList& files, std::istream& in) {
    if (files.contains("-")) stdinCopy = std::make_unique<StdinCopy>(in);
    for (const QString& file : files) {
      paths.push_back(file == "-" ? stdinCopy->path() : LocalPath(file));
      names.push_back(LocalName(file));
    }
  }
  // Why file i cannot be opened before a reader is asked (standard input not kept), or null.
  const std::string* Unkept(size_t i) const {
    const bool fromStdin = stdinCopy && paths[i] == stdinCopy->path();
    return fromStdin && !stdinCopy->ok() ? &stdinCopy->message() : nullptr;
  }
};

// text written to path, replacing it only once complete; an empty string, or why not.
std::string SaveText(const QString& path, const std::string& text) {
  QSaveFile file(path);
  const auto size = static_cast<qint64>(text.size());
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), size) != size ||
      !file.commit())
    return file.errorString().toStdString();
  return {};
}

// One file of a batch: what it printed and how it ended, kept until its turn to be shown.
struct FileResult {
  std::ostringstream out;
  std::ostringstream err;
  int status = kExitOk;
};

// Several files (or --out-dir): each analysed into a result of its own, up to `jobs` at
// once, the results shown in the order the files were named.
int AnalyzeBatch(const Invocation& invocation, const AnalyzeRun& run, const RunFiles& files) {
  const size_t count = files.paths.size();
  std::vector<QString> outputs;
  if (run.outDir) {
    QStringList csvs;
    for (const QString& file : run.files) csvs << OutputInFolder(*run.outDir, file, ".csv");
    if (const std::string clash = SharedOutput(run.files, csvs); !clash.empty())
      return UsageError(invocation.err, clash, ToolUsage());
    if (!QDir().mkpath(*run.outDir))
      return Rejected(invocation.err, LocalName(*run.outDir) + ": cannot make the folder");
    outputs.assign(csvs.begin(), csvs.end());
  }
  const bool fileColumn = !run.outDir;
  std::vector<std::string> fields;
  if (fileColumn) {
    for (const std::string& name : files.names) fields.push_back(CsvField(name));
    invocation.out << "file," << CsvHeader(run.request.precise);
  }

  std::vector<std::unique_ptr<FileResult>> results(count);
  ProgressBar progress(invocation.err, invocation.progressToTerminal);
  int status = kExitOk;
  size_t shown = 0;
  const auto work = [&](size_t i) {
    auto result = std::make_unique<FileResult>();
    if (const std::string* why = files.Unkept(i)) {
      result->status = Rejected(result->err, files.names[i] + ": " + *why);
    } else {
      const FileSinks sinks{result->out, result->err, nullptr,
                            fileColumn ? &fields[i] : nullptr};
      result->status = AnalyzeFile(files.names[i], files.paths[i], run.request, sinks);
    }
    results[i] = std::move(result);
  };
  const auto deliver = [&](size_t i) {
    FileResult& result = *results[i];
    if (!run.outDir) {
      invocation.out << result.out.str();
    } else if (result.status == kExitOk) {
      if (const std::string why = SaveText(outputs[i], result.out.str()); !why.empty())
        result.status = Rejected(result.err, LocalName(outputs[i]) + ": " + why);
      else
        invocation.out << LocalName(outputs[i]) << '\n';
    }
    if (const std::string messages = result.err.str(); !messages.empty()) {
      progress.Finish();  // a message starts on a line of its own
      invocation.err << messages;
    }
    status = WithFileStatus(status, result.status);
    results[i].reset();
    progress.Update(static_cast<double>(++shown) / static_cast<double>(count));
  };
  RunInOrder(count, run.jobs, work, deliver);
  progress.Finish();
  invocation.out << std::flush;
  return status;
}

void PrintInfo(std::ostream& out, const WaveFormat& f, uint32_t dataBytes) {
  out << "wFormatTag: " << f.wFormatTag << '\n'
      << "nChannels: " << f.nChannels << '\n'
      << "nSamplesPerSec: " << f.nSamplesPerSec << '\n'
      << "nAvgBytesPerSec: " << f.nAvgBytesPerSec << '\n'
      << "nBlockAlign: " << f.nBlockAlign << '\n'
      << "wBitsPerSample: " << f.wBitsPerSample << '\n'
      << "cbSize: " << f.cbSize << '\n'
      << "data_bytes: " << dataBytes << '\n';
}

void PrintSndfileInfo(std::ostream& out, const SndfileSound& s, const std::string& decoder) {
  out << "reader: " << decoder << '\n'
      << "format: " << s.description << '\n'
      << "nChannels: " << s.channels << '\n'
      << "nSamplesPerSec: " << s.sampleRate << '\n'
      << "bits: " << s.bits << '\n';
}

// Sample frames and duration, shared by both readers' info.
void PrintLength(std::ostream& out, int64_t frames, uint32_t rate) {
  char duration[48];
  std::snprintf(duration, sizeof duration, "%.6f",
                rate ? static_cast<double>(frames) / rate : 0.0);
  out << "frames: " << frames << '\n' << "duration_s: " << duration << '\n';
}

}  // namespace

int RunAnalyze(const Invocation& invocation) {
  AnalyzeRun run;
  if (const std::optional<int> end = ReadAnalyzeRun(invocation, run)) return *end;
  const RunFiles files(run.files, invocation.in);
  if (run.files.size() > 1 || run.outDir) return AnalyzeBatch(invocation, run, files);
  if (const std::string* why = files.Unkept(0))
    return Rejected(invocation.err, files.names[0] + ": " + *why);
  ProgressBar progress(invocation.err, invocation.progressToTerminal);
  const FileSinks sinks{invocation.out, invocation.err, &progress};
  return AnalyzeFile(files.names[0], files.paths[0], run.request, sinks);
}

int RunInfo(const Invocation& invocation) {
  AnalyzeRun run;
  if (const std::optional<int> end = ReadAnalyzeRun(invocation, run)) return *end;
  if (run.files.size() != 1)
    return UsageError(invocation.err, "expected a command and one file", ToolUsage());
  const RunFiles files(run.files, invocation.in);
  const std::string& file = files.names[0];
  if (const std::string* why = files.Unkept(0)) return Rejected(invocation.err, file + ": " + *why);
  const InputSound sound = OpenInput(files.paths[0], InputPurpose::kInfo);
  if (!sound.ok) return Rejected(invocation.err, file + ": " + sound.message);
  if (sound.viaSndfile)
    PrintSndfileInfo(invocation.out, sound.other, sound.decoder);
  else
    PrintInfo(invocation.out, sound.wav.format, sound.wav.size);
  PrintLength(invocation.out, sound.frames(), sound.sampleRate());
  const int32_t frame = run.request.options.frame;
  if (sound.frames() < frame)
    invocation.err << "tonamira-cli: " << file << ": note: the sound has " << sound.frames()
                   << " sample frames, fewer than one analysis frame of " << frame << '\n';
  return kExitOk;
}

}  // namespace tonamira

#include "cli/cli.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/analyze.h"
#include "cli/plot_command.h"
#include "cli/tone_commands.h"
#include "sound/wav_reader.h"
#include "sound/wave_format.h"

namespace tonamira {
namespace {

constexpr int kExitUsage = 1;
constexpr int kExitRejected = 2;

const char* const kUsage =
    "usage: tonamira-cli analyze FILE.wav [--frame 256|512|1024|2048] [--hop FRAMES]\n"
    "                                     [--threshold X] [--cutoff HZ]\n"
    "       tonamira-cli info FILE.wav\n"
    "       tonamira-cli plot FILE.wav [-o OUT.png|OUT.svg] [--method window|precise]\n"
    "                                  [--from S] [--to S]\n"
    "       tonamira-cli synth --freq HZ --levels L1,L2,... [--phases P1,P2,...]\n"
    "                          [--volume V] [--length TENTHS] -o OUT.wav\n"
    "       tonamira-cli resynth IN.wav --at SECONDS -o OUT.wav [--volume V]\n"
    "                            [--length TENTHS]\n";

// A progress bar on a terminal, shown only once the work has taken more than a second.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~ProgressBar() { Finish(); }

  void Update(double fraction) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    const int width = 40;
    const int filled = static_cast<int>(fraction * width);
    std::string bar(static_cast<size_t>(width), ' ');
    for (int i = 0; i < filled && i < width; ++i) bar[static_cast<size_t>(i)] = '#';
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
    err_ << "\r[" << bar << "] " << percent << std::flush;
  }

  void Finish() {
    if (!shown_) return;
    err_ << '\r' << std::string(48, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
};

bool ParseInt(const QString& text, int32_t& value) {
  bool ok = false;
  const int parsed = text.toInt(&ok);
  if (ok) value = parsed;
  return ok;
}

bool ParseDouble(const QString& text, double& value) {
  bool ok = false;
  const double parsed = text.toDouble(&ok);
  if (ok) value = parsed;
  return ok && std::isfinite(parsed);
}

int UsageError(std::ostream& err, const std::string& message) {
  err << "tonamira-cli: " << message << '\n' << kUsage;
  return kExitUsage;
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

}  // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool progressToTerminal) {
  if (argc >= 2 && std::string(argv[1]) == "plot") return RunPlot(argc, argv, out, err);
  if (argc >= 2 && IsToneCommand(argv[1])) return RunToneCommand(argc, argv, out, err, kUsage);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Show this help.");
  const QCommandLineOption frameOption("frame", "Frame length in samples.", "N", "2048");
  const QCommandLineOption hopOption("hop", "Samples between frame starts.", "FRAMES");
  const QCommandLineOption thresholdOption("threshold", "Peak threshold.", "X");
  const QCommandLineOption cutoffOption("cutoff", "Low cut-off in hertz.", "HZ", "30");
  parser.addOptions({help, frameOption, hopOption, thresholdOption, cutoffOption});
  parser.addPositionalArgument("command", "analyze or info");
  parser.addPositionalArgument("file", "a PCM WAV file");

  if (!parser.parse(arguments)) return UsageError(err, parser.errorText().toStdString());
  if (parser.isSet(help)) {
    out << kUsage;
    return 0;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 2) return UsageError(err, "expected a command and one file");
  const QString command = positional[0];
  if (command != "analyze" && command != "info")
    return UsageError(err, "unknown command '" + command.toStdString() + "'");

  AnalyzeOptions options;
  if (!ParseInt(parser.value(frameOption), options.frame) ||
      (options.frame != 256 && options.frame != 512 && options.frame != 1024 &&
       options.frame != 2048))
    return UsageError(err, "--frame must be 256, 512, 1024 or 2048");
  if (parser.isSet(hopOption) && (!ParseInt(parser.value(hopOption), options.hop) ||
                                  options.hop < 1))
    return UsageError(err, "--hop must be a whole number of frames, at least 1");
  if (parser.isSet(thresholdOption)) {
    double threshold = 0.0;
    if (!ParseDouble(parser.value(thresholdOption), threshold) || threshold < 0.0)
      return UsageError(err, "--threshold must be a number, at least 0");
    options.threshold = threshold;
  }
  if (!ParseDouble(parser.value(cutoffOption), options.cutoffHz) || options.cutoffHz < 0.0)
    return UsageError(err, "--cutoff must be a number of hertz, at least 0");

  const std::string file = positional[1].toStdString();
  const WavReadResult sound = ReadWavFile(positional[1].toStdString(), WaveFormat{});
  if (!sound.ok) {
    err << "tonamira-cli: " << file << ": " << sound.message << '\n';
    return kExitRejected;
  }
  if (command == "info") {
    PrintInfo(out, sound.format, sound.size);
    return 0;
  }

  std::string buffer = "time_s,frame_pos,pitch_hz,level\n";
  buffer.reserve(1 << 16);
  ProgressBar progress(err, progressToTerminal);
  const std::string problem = AnalyzeSound(
      std::span<const uint8_t>(sound.data.get(), sound.size), sound.format, options,
      [&](const FrameRow& row) {
        char line[96];
        int n;
        if (row.detected)
          n = std::snprintf(line, sizeof line, "%.4f,%llu,%d,%d\n", row.timeSeconds,
                            static_cast<unsigned long long>(row.framePos), row.pitchHz,
                            row.level);
        else
          n = std::snprintf(line, sizeof line, "%.4f,%llu,,\n", row.timeSeconds,
                            static_cast<unsigned long long>(row.framePos));
        buffer.append(line, static_cast<size_t>(n));
        if (buffer.size() > (1 << 16) - 128) {
          out << buffer;
          buffer.clear();
        }
      },
      [&](double fraction) { progress.Update(fraction); });
  progress.Finish();
  if (!problem.empty()) {
    err << "tonamira-cli: " << file << ": " << problem << '\n';
    return kExitRejected;
  }
  out << buffer << std::flush;
  return 0;
}

}  // namespace tonamira

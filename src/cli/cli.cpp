#include "cli/cli.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "analysis/pitch_tracker.h"
#include "cli/analyze.h"
#include "cli/analyze_live.h"
#include "cli/analyze_precise.h"
#include "cli/csv_rows.h"
#include "cli/input_sound.h"
#include "cli/pcm_bytes.h"
#include "cli/plot_command.h"
#include "cli/tone_commands.h"
#include "sound/wave_format.h"

namespace tonamira {
namespace {

constexpr int kExitUsage = 1;
constexpr int kExitRejected = 2;

const char* const kUsage =
    "usage: tonamira-cli analyze FILE [--method window|precise|live]\n"
    "                                 [--channel first|second|mix]\n"
    "                                 [--a4 HZ] [--frame 256|512|1024|2048] [--hop FRAMES]\n"
    "                                 [--threshold X] [--cutoff HZ]\n"
    "       tonamira-cli info FILE\n"
    "       tonamira-cli plot FILE.wav [-o OUT.png|OUT.svg] [--method window|precise]\n"
    "                                  [--from S] [--to S]\n"
    "       tonamira-cli synth --freq HZ --levels L1,L2,... [--phases P1,P2,...]\n"
    "                          [--volume V] [--length TENTHS] -o OUT.wav\n"
    "       tonamira-cli resynth IN.wav --at SECONDS -o OUT.wav [--volume V]\n"
    "                            [--length TENTHS]\n"
    "       tonamira-cli --help\n";

const char* const kHelp =
    "tonamira-cli: the pitch of every frame of a sound file, as CSV on standard output.\n"
    "\n"
    "%USAGE%"
    "\n"
    "Files: 8- and 16-bit PCM WAV are read by the program's own reader, exactly as the\n"
    "window reads them. Other files (24- and 32-bit integer, float and extensible WAV, FLAC,\n"
    "Ogg Vorbis, AIFF and whatever else libsndfile reads) are read through libsndfile; the\n"
    "window method sees them as 16-bit samples, the precise and live methods at full\n"
    "resolution.\n"
    "\n"
    "Frames: each row is one frame of --frame sample frames; frames start every --hop sample\n"
    "frames from the start of the sound, as long as a whole frame fits in it.\n"
    "\n"
    "Options:\n"
    "  --method window   the window's own detector (default): peaks of the Hamming-windowed\n"
    "                    spectrum, the pitch in whole hertz.\n"
    "  --method precise  a time-domain periodicity tracker for one voice or instrument\n"
    "                    (60 to 1600 Hz, the lowest limited to two periods per frame): the\n"
    "                    pitch to a hundredth of a hertz, a voicing decision and a confidence.\n"
    "  --method live     the precise tracker as the live pitch trace runs it: the samples\n"
    "                    streamed through it, a frame every --hop (default: 256 sample frames\n"
    "                    at 44100 and 48000 Hz, the largest power of two within 10 ms), the\n"
    "                    voicing of each frame decided with a look-ahead of 8 frames instead\n"
    "                    of the whole sound. --frame defaults to the precise tracker's own\n"
    "                    frame (two periods of 60 Hz: 2048 at 44100 Hz, 1024 at 22050 Hz).\n"
    "  --channel first|second|mix\n"
    "                    the channel the pitch is taken from; mix is the mean of all\n"
    "                    channels. Default: the window's rule, the spectrum transformed last,\n"
    "                    i.e. the second channel of a stereo file (the first of any other).\n"
    "  --a4 HZ           the A4 of the note names and cents (default 440).\n"
    "  --frame N         frame length in sample frames: 256, 512, 1024 or 2048 (default 2048).\n"
    "  --hop N           sample frames from one frame's start to the next (default frame / 2;\n"
    "                    live: see above).\n"
    "  --threshold X     window method: the height a spectrum peak must exceed, in the level's\n"
    "                    units (default 10 for 16-bit sound, 0.1 for 8-bit).\n"
    "  --cutoff HZ       window method: no peak at or below this frequency (default 30).\n"
    "\n"
    "Columns of analyze:\n"
    "  time_s      start of the frame, in seconds from the start of the sound (4 decimals).\n"
    "  frame_pos   byte offset of the frame's first sample frame in the sound's data; for a\n"
    "              file read through libsndfile, in its 16-bit form (2 bytes per sample).\n"
    "  pitch_hz    the pitch in hertz: whole hertz (window), 2 decimals (precise, live);\n"
    "              empty where the frame has no pitch (precise, live: an unvoiced frame).\n"
    "  level       window: the height of the tallest spectrum peak in sample units (a\n"
    "              full-scale 16-bit sine shows about 8840), empty where no pitch;\n"
    "              precise and live: the frame's RMS level in dB of full scale (a\n"
    "              full-scale sine is -3.0), 1 decimal, on every frame, -120.0 at the\n"
    "              lowest.\n"
    "  note        the equal-tempered note nearest the pitch, in scientific pitch notation\n"
    "              with # for sharps (C4 is middle C, A4 the --a4 reference); empty where\n"
    "              no pitch.\n"
    "  cents       the pitch's distance from that note in cents (hundredths of a semitone,\n"
    "              -50.0 to +50.0, 1 decimal); empty where no pitch.\n"
    "  confidence  precise and live methods, on every frame: how periodic the frame is,\n"
    "              from 0 (noise) to 1 (perfectly periodic), 3 decimals. A frame is voiced\n"
    "              from 0.85, or from 0.5 when its pitch continues a voiced neighbour's.\n"
    "\n"
    "info prints the format record of a WAV file the own reader takes (libsndfile's format\n"
    "description for other files), the sample frames and the duration in seconds.\n"
    "\n"
    "A sound shorter than one frame gives no rows and a note on standard error.\n"
    "Exit status: 0 success, 1 usage error, 2 a file that could not be read or analysed.\n";

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

void PrintSndfileInfo(std::ostream& out, const SndfileSound& s) {
  out << "reader: libsndfile\n"
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

void ShortSoundNote(std::ostream& err, const std::string& file, int64_t frames, int32_t frame) {
  err << "tonamira-cli: " << file << ": note: ";
  if (frames < frame)
    err << "the sound has " << frames << " sample frames, fewer than one analysis frame of "
        << frame << "; no rows\n";
  else
    err << "no whole frame of " << frame << " fits in the sound's data; no rows\n";
}

bool ParseChoice(const QString& text, ChannelChoice& choice) {
  if (text == "first") choice = ChannelChoice::kFirst;
  else if (text == "second") choice = ChannelChoice::kSecond;
  else if (text == "mix") choice = ChannelChoice::kMix;
  else return false;
  return true;
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
  const QCommandLineOption methodOption("method", "window, precise or live.", "M", "window");
  const QCommandLineOption channelOption("channel", "first, second or mix.", "C");
  const QCommandLineOption a4Option("a4", "Reference of the notes in hertz.", "HZ", "440");
  parser.addOptions({help, frameOption, hopOption, thresholdOption, cutoffOption, methodOption,
                     channelOption, a4Option});
  parser.addPositionalArgument("command", "analyze or info");
  parser.addPositionalArgument("file", "a PCM WAV file");

  if (!parser.parse(arguments)) return UsageError(err, parser.errorText().toStdString());
  if (parser.isSet(help)) {
    std::string text = kHelp;
    text.replace(text.find("%USAGE%"), 7, kUsage);
    out << text;
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
  const QString method = parser.value(methodOption);
  if (method != "window" && method != "precise" && method != "live")
    return UsageError(err, "--method must be window, precise or live");
  const bool live = method == "live";
  const bool precise = method == "precise" || live;  // the same columns and input
  if (parser.isSet(channelOption) && !ParseChoice(parser.value(channelOption), options.channel))
    return UsageError(err, "--channel must be first, second or mix");
  double a4 = 440.0;
  if (!ParseDouble(parser.value(a4Option), a4) || a4 <= 0.0)
    return UsageError(err, "--a4 must be a positive number of hertz");

  const std::string file = positional[1].toStdString();
  const InputPurpose purpose = command == "info" ? InputPurpose::kInfo
                               : precise          ? InputPurpose::kStream
                                                  : InputPurpose::kAnalyze;
  InputSound sound = OpenInput(file, purpose);
  if (!sound.ok) {
    err << "tonamira-cli: " << file << ": " << sound.message << '\n';
    return kExitRejected;
  }
  if (command == "info") {
    if (sound.viaSndfile)
      PrintSndfileInfo(out, sound.other);
    else
      PrintInfo(out, sound.wav.format, sound.wav.size);
    PrintLength(out, sound.frames(), sound.sampleRate());
    if (sound.frames() < options.frame)
      err << "tonamira-cli: " << file << ": note: the sound has " << sound.frames()
          << " sample frames, fewer than one analysis frame of " << options.frame << '\n';
    return 0;
  }

  // The live method's frame is the trace's own unless one is asked for.
  if (live && !parser.isSet(frameOption)) options.frame = PreciseFrameLength(sound.sampleRate());

  std::string buffer = CsvHeader(precise);
  buffer.reserve(1 << 16);
  int64_t rows = 0;
  auto flushIfFull = [&] {
    ++rows;
    if (buffer.size() > (1 << 16) - 256) {
      out << buffer;
      buffer.clear();
    }
  };
  ProgressBar progress(err, progressToTerminal);
  auto onProgress = [&](double fraction) { progress.Update(fraction); };
  std::string problem;
  if (precise) {
    std::optional<StreamedPcmBytes> streamed;
    PreciseInput input;
    if (sound.viaSndfile) {
      input.samples = sound.other.samples.data();
      input.frames = sound.other.frames;
      input.channels = sound.other.channels;
      input.sampleRate = static_cast<uint32_t>(sound.other.sampleRate);
    } else {
      streamed.emplace(*sound.source, sound.where.offset, sound.where.size);
      input.pcm = &*streamed;
      input.format = sound.where.format;
    }
    const auto print = [&](const PreciseRow& row) {
      AppendPreciseRow(buffer, row, a4);
      flushIfFull();
    };
    problem = live ? AnalyzeSoundLive(input, options, print, onProgress)
                   : AnalyzeSoundPrecise(input, options, print, onProgress);
  } else {
    const PcmView view = MakePcmView(sound);
    problem = AnalyzeSound(
        std::span<const uint8_t>(view.data, view.size), view.format, options,
        [&](const FrameRow& row) {
          AppendWindowRow(buffer, row, a4);
          flushIfFull();
        },
        onProgress);
  }
  progress.Finish();
  if (!problem.empty()) {
    err << "tonamira-cli: " << file << ": " << problem << '\n';
    return kExitRejected;
  }
  out << buffer << std::flush;
  if (rows == 0) ShortSoundNote(err, file, sound.frames(), options.frame);
  return 0;
}

}  // namespace tonamira

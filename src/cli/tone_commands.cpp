#include "cli/tone_commands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/detection.h"
#include "analysis/fft.h"
#include "analysis/frame_analysis.h"
#include "analysis/rounding.h"
#include "analysis/spectrum.h"
#include "cli/analyze.h"
#include "sound/wav_reader.h"
#include "sound/wav_writer.h"
#include "sound/wave_format.h"
#include "synth/mixer.h"
#include "synth/peaks_to_mixer.h"
#include "synth/tone.h"

namespace tonamira {
namespace {

constexpr int kExitUsage = 1;
constexpr int kExitRejected = 2;

// The fundamental the tone may have: 1 Hz up to half its rate.
constexpr int32_t kMinFreq = 1;
constexpr int32_t kMaxFreq = static_cast<int32_t>(kToneRate / 2);
constexpr int32_t kDefaultVolume = 10;  // the volume bar's start position
constexpr int32_t kDefaultTenths = 5;   // the length bar's start position

// The window's analysis of a loaded file: 2048-sample frames, display range 2000 Hz, a
// 30 Hz cut-off, peak threshold 10 for 16-bit sound and 0.1 otherwise.
constexpr int32_t kFrame = 2048;
constexpr double kMaxDisplayFreq = 2000.0;
constexpr double kCutoffHz = 30.0;
// The mixer's fundamental before it follows a sound: the freq bar's start position, and its
// range.
constexpr int32_t kMixerStartFreq = 100;
constexpr int32_t kMixerMaxFreq = 2000;

// The tool's streams and usage text.
struct Io {
  std::ostream& out;
  std::ostream& err;
  std::string_view usage;

  int UsageError(const std::string& message) const {
    err << "tonamira-cli: " << message << '\n' << usage;
    return kExitUsage;
  }
  int Help() const {
    out << usage;
    return 0;
  }
  int Rejected(const std::string& message) const {
    err << "tonamira-cli: " << message << '\n';
    return kExitRejected;
  }
};

bool ParseInt(const QString& text, int32_t lo, int32_t hi, int32_t& value) {
  bool ok = false;
  const int parsed = text.trimmed().toInt(&ok);
  if (!ok || parsed < lo || parsed > hi) return false;
  value = parsed;
  return true;
}

bool ParseReal(const QString& text, double& value) {
  bool ok = false;
  const double parsed = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

// A comma-separated list of at most twenty entries, each accepted by parse.
template <typename T, typename Parse>
bool ParseList(const QString& text, Parse parse, std::vector<T>& values) {
  const QStringList items = text.split(',');
  if (items.size() > kHarmonics) return false;
  for (const QString& item : items) {
    T value{};
    if (!parse(item, value)) return false;
    values.push_back(value);
  }
  return true;
}

// The options both commands share.
struct ToneOptions {
  int32_t volume = kDefaultVolume;
  int32_t tenths = kDefaultTenths;
  std::filesystem::path output;
};

std::string ReadVolumeAndLength(const QCommandLineParser& parser, const QCommandLineOption& volume,
                                const QCommandLineOption& length, const QCommandLineOption& output,
                                ToneOptions& options) {
  if (parser.isSet(volume) && !ParseInt(parser.value(volume), 0, kVolumeMax, options.volume))
    return "--volume must be a whole number from 0 to 300";
  if (parser.isSet(length) &&
      !ParseInt(parser.value(length), kMixTenthsMin, kMixTenthsMax, options.tenths))
    return "--length must be a whole number of tenths of a second from 1 to 30";
  if (!parser.isSet(output) || parser.value(output).isEmpty()) return "-o OUT.wav is required";
  const QByteArray name = QFile::encodeName(parser.value(output));
  options.output = std::string(name.constData(), static_cast<size_t>(name.size()));
  return {};
}

// The tone as the mixer makes it with the given fundamental and harmonics.
ToneRecipe MixerTone(int32_t freq, const HarmonicLevels& levels, const HarmonicPhases& phases,
                   const ToneOptions& options) {
  ToneRecipe recipe;
  recipe.freq = freq;
  recipe.volume = options.volume;
  recipe.rate = kToneRate;
  recipe.harmonicLimit = HarmonicCount(kToneRate, freq);
  recipe.fadeLength = FadeLength(static_cast<int32_t>(kToneRate), MixTimeSeconds(options.tenths));
  recipe.levels = levels;
  recipe.phases = phases;
  return recipe;
}

// Synthesises the tone and writes it; says so when the volume had to come down.
int WriteTone(const ToneRecipe& recipe, const ToneOptions& options, const Io& io) {
  std::vector<uint8_t> samples(MixBufferBytes(options.tenths));
  const ToneOutcome outcome = SynthesizeTone(recipe, samples);
  if (outcome.VolumeReduced())
    io.err << "tonamira-cli: volume reduced to " << outcome.volume << '\n';
  const WaveFormat format = FillWaveFormat({16, static_cast<int32_t>(kToneRate), 1});
  const WavWriteResult written = WriteWavFile(options.output, format, samples.data(),
                                              static_cast<uint32_t>(samples.size()));
  if (!written.ok) return io.Rejected(options.output.string() + ": " + written.message);
  return 0;
}

int RunSynth(const QStringList& arguments, const Io& io) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption freq("freq", "Fundamental in hertz.", "HZ");
  const QCommandLineOption levels("levels", "Levels of harmonics 1, 2, ...", "L1,L2,...");
  const QCommandLineOption phases("phases", "Phases in radians.", "P1,P2,...");
  const QCommandLineOption volume("volume", "Volume.", "V");
  const QCommandLineOption length("length", "Length in tenths of a second.", "TENTHS");
  const QCommandLineOption output({"o", "output"}, "The WAV file to write.", "OUT.wav");
  const QCommandLineOption help({"h", "help"}, "Show the usage.");
  parser.addOptions({freq, levels, phases, volume, length, output, help});
  if (!parser.parse(arguments)) return io.UsageError(parser.errorText().toStdString());
  if (parser.isSet(help)) return io.Help();
  if (parser.positionalArguments().size() != 1) return io.UsageError("synth takes no file");

  int32_t fundamental = 0;
  if (!parser.isSet(freq) || !ParseInt(parser.value(freq), kMinFreq, kMaxFreq, fundamental))
    return io.UsageError("--freq must be a whole number of hertz from 1 to 22050");
  std::vector<int32_t> levelList;
  const auto parseLevel = [](const QString& text, int32_t& v) {
    return ParseInt(text, 0, kLevelMax, v);
  };
  if (!parser.isSet(levels) || !ParseList<int32_t>(parser.value(levels), parseLevel, levelList))
    return io.UsageError("--levels must list up to 20 whole numbers from 0 to 100");
  std::vector<double> phaseList;
  if (parser.isSet(phases) && !ParseList<double>(parser.value(phases), ParseReal, phaseList))
    return io.UsageError("--phases must list up to 20 numbers of radians");
  ToneOptions options;
  const std::string problem = ReadVolumeAndLength(parser, volume, length, output, options);
  if (!problem.empty()) return io.UsageError(problem);

  HarmonicLevels harmonicLevels{};
  HarmonicPhases harmonicPhases{};
  std::copy(levelList.begin(), levelList.end(), harmonicLevels.begin() + 1);
  std::copy(phaseList.begin(), phaseList.end(), harmonicPhases.begin() + 1);
  return WriteTone(MixerTone(fundamental, harmonicLevels, harmonicPhases, options), options, io);
}

// What the analysis of one frame hands to the mixer.
struct FrameHarmonics {
  int32_t detectedFreq = 0;
  PeakList peaks;
};

// The frame of the sound that starts at `seconds`, analysed the way the window analyses a
// frame of a loaded file while the mixer follows the analysis (harmonic labelling on).
// This is the one place the command reaches into the per-frame road.
std::optional<FrameHarmonics> AnalyseFrameAt(const WavReadResult& sound, double seconds,
                                             std::string& problem) {
  const WaveFormat& f = sound.format;
  if (!AnalysableBits(f.wBitsPerSample)) {
    problem = "cannot analyse " + std::to_string(f.wBitsPerSample) +
              "-bit samples (8 or 16 bits only)";
    return std::nullopt;
  }
  // The first sample frame, in whole frames; a start past the sound's byte count can never
  // hold a frame (and is kept from overflowing the byte offset).
  const int64_t first = RoundInt64(seconds * f.nSamplesPerSec);
  const bool past = first < 0 || static_cast<uint64_t>(first) > sound.size;
  PcmFrame frame;
  frame.bytes = std::span<const uint8_t>(sound.data.get(), sound.size);
  frame.offset = past ? 0 : static_cast<uint64_t>(first) * f.nBlockAlign;
  frame.length = kFrame;
  frame.channels = f.nChannels;
  frame.bits = f.wBitsPerSample;
  frame.blockAlign = f.nBlockAlign;
  if (past || !frame.Readable()) {
    problem = "no whole frame of 2048 samples starts there";
    return std::nullopt;
  }

  const FftPlan plan(kFrame);
  FftArrays arrays;
  if (!AllocFftArrays(arrays, kFrame)) {
    problem = "No memory";
    return std::nullopt;
  }
  const DetectionSettings settings =
      LoadedSoundDetection(f, kFrame, std::nullopt, kCutoffHz, kMaxDisplayFreq, true);
  DetectionState state;
  if (!AnalyzePcmFrame(frame, plan, arrays, settings, state)) {
    problem = "no pitch detected there";
    return std::nullopt;
  }
  return FrameHarmonics{state.detectedFreq, state.peaks};
}

std::string Joined(const HarmonicLevels& levels) {
  std::string text;
  for (int k = 1; k <= kHarmonics; ++k) {
    if (k > 1) text += ',';
    text += std::to_string(levels[k]);
  }
  return text;
}

std::string Joined(const HarmonicPhases& phases) {
  std::string text;
  for (int k = 1; k <= kHarmonics; ++k) {
    char number[32];
    std::snprintf(number, sizeof number, "%.6f", phases[k]);
    if (k > 1) text += ',';
    text += number;
  }
  return text;
}

int RunResynth(const QStringList& arguments, const Io& io) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption at("at", "Time of the frame in seconds.", "SECONDS");
  const QCommandLineOption volume("volume", "Volume.", "V");
  const QCommandLineOption length("length", "Length in tenths of a second.", "TENTHS");
  const QCommandLineOption output({"o", "output"}, "The WAV file to write.", "OUT.wav");
  const QCommandLineOption help({"h", "help"}, "Show the usage.");
  parser.addOptions({at, volume, length, output, help});
  if (!parser.parse(arguments)) return io.UsageError(parser.errorText().toStdString());
  if (parser.isSet(help)) return io.Help();
  const QStringList positional = parser.positionalArguments();
  if (positional.size() != 2) return io.UsageError("resynth takes one WAV file");
  double seconds = 0.0;
  if (!parser.isSet(at) || !ParseReal(parser.value(at), seconds) || seconds < 0.0)
    return io.UsageError("--at must be a time in seconds, at least 0");
  ToneOptions options;
  const std::string problem = ReadVolumeAndLength(parser, volume, length, output, options);
  if (!problem.empty()) return io.UsageError(problem);

  const std::string input = positional[1].toStdString();
  const QByteArray inputName = QFile::encodeName(positional[1]);
  const WavReadResult sound = ReadWavFile(
      std::string(inputName.constData(), static_cast<size_t>(inputName.size())), WaveFormat{});
  if (!sound.ok) return io.Rejected(input + ": " + sound.message);
  std::string failed;
  std::optional<FrameHarmonics> frame = AnalyseFrameAt(sound, seconds, failed);
  if (!frame) return io.Rejected(input + " at " + parser.value(at).toStdString() + " s: " + failed);

  // The mixer at its start values follows this one detection: levels from the peaks, the
  // bars measured against the fundamental it had (100 Hz at the sound's rate), then the
  // fundamental, and the phases as "ミキサー" takes them.
  HarmonicLevels levels{};
  HarmonicBarPositions bars;
  bars.fill(kBarBottom);
  int32_t freq = kMixerStartFreq;
  const std::optional<int32_t> follow =
      LevelsFromPeaks(frame->peaks, frame->detectedFreq, levels);
  SettleHarmonicBars(levels, bars, HarmonicCount(sound.format.nSamplesPerSec, freq));
  if (follow) {
    freq = std::clamp(*follow, kMinFreq, kMixerMaxFreq);
  } else {
    io.err << "tonamira-cli: the pitch of " << frame->detectedFreq
           << " Hz is above 2000 Hz; the mixer keeps its fundamental of " << freq << " Hz\n";
  }
  HarmonicComplexes kept{};
  HarmonicPhases phases{};
  ComputeHarmonicPhases(frame->peaks, kept, phases);

  const int written = WriteTone(MixerTone(freq, levels, phases, options), options, io);
  if (written != 0) return written;
  io.out << "pitch: " << frame->detectedFreq << '\n'
         << "freq: " << freq << '\n'
         << "levels: " << Joined(levels) << '\n'
         << "phases: " << Joined(phases) << '\n';
  return 0;
}

}  // namespace

bool IsToneCommand(std::string_view command) {
  return command == "synth" || command == "resynth";
}

int RunToneCommand(int argc, char** argv, std::ostream& out, std::ostream& err,
                   std::string_view usage) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // The parser sees the program name, then the command's own arguments: the command word
  // becomes the first positional argument.
  const Io io{out, err, usage};
  if (argc >= 2 && std::string_view(argv[1]) == "synth") return RunSynth(arguments, io);
  return RunResynth(arguments, io);
}

}  // namespace tonamira

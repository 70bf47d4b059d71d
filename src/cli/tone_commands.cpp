#include "cli/tone_commands.h"

#include <QCommandLineOption>
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
#include "cli/command_table.h"
#include "cli/input_sound.h"
#include "cli/options.h"
#include "sound/wav_writer.h"
#include "sound/wave_format.h"
#include "synth/mixer.h"
#include "synth/peaks_to_mixer.h"
#include "synth/tone.h"

namespace tonamira {
namespace {

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
  std::string usage;

  int UsageError(const std::string& message) const {
    return tonamira::UsageError(err, message, usage);
  }
  int Help() const {
    out << usage;
    return kExitOk;
  }
  int Rejected(const std::string& message) const { return tonamira::Rejected(err, message); }
};

// The options both commands share.
struct ToneOptions {
  int32_t volume = kDefaultVolume;
  int32_t tenths = kDefaultTenths;
  std::filesystem::path output;
};

std::string ReadVolumeAndLength(const CommandLine& line, const QCommandLineOption& volume,
                                const QCommandLineOption& length, const QCommandLineOption& output,
                                ToneOptions& options) {
  if (line.isSet(volume) && !ParseWhole(line.value(volume), 0, kVolumeMax, options.volume))
    return "--volume must be a whole number from 0 to 300";
  if (line.isSet(length) &&
      !ParseWhole(line.value(length), kMixTenthsMin, kMixTenthsMax, options.tenths))
    return "--length must be a whole number of tenths of a second from 1 to 30";
  if (!line.isSet(output) || line.value(output).isEmpty()) return "-o OUT.wav is required";
  options.output = LocalPath(line.value(output));
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

int Synth(const QStringList& arguments, const Io& io) {
  const QCommandLineOption freq("freq", "Fundamental in hertz.", "HZ");
  const QCommandLineOption levels("levels", "Levels of harmonics 1, 2, ...", "L1,L2,...");
  const QCommandLineOption phases("phases", "Phases in radians.", "P1,P2,...");
  const QCommandLineOption volume("volume", "Volume.", "V");
  const QCommandLineOption length("length", "Length in tenths of a second.", "TENTHS");
  const QCommandLineOption output({"o", "output"}, "The WAV file to write.", "OUT.wav");
  CommandLine parser({freq, levels, phases, volume, length, output});
  if (!parser.Parse(arguments)) return io.UsageError(parser.error());
  if (parser.helpAsked()) return io.Help();
  if (!parser.operands().isEmpty()) return io.UsageError("synth takes no file");

  int32_t fundamental = 0;
  if (!parser.isSet(freq) || !ParseWhole(parser.value(freq), kMinFreq, kMaxFreq, fundamental))
    return io.UsageError("--freq must be a whole number of hertz from 1 to 22050");
  std::vector<int32_t> levelList;
  const auto parseLevel = [](const QString& text, int32_t& v) {
    return ParseWhole(text, 0, kLevelMax, v);
  };
  if (!parser.isSet(levels) ||
      !ParseList<int32_t>(parser.value(levels), kHarmonics, parseLevel, levelList))
    return io.UsageError("--levels must list up to 20 whole numbers from 0 to 100");
  std::vector<double> phaseList;
  if (parser.isSet(phases) &&
      !ParseList<double>(parser.value(phases), kHarmonics, ParseReal, phaseList))
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
std::optional<FrameHarmonics> AnalyseFrameAt(std::span<const uint8_t> data, const WaveFormat& f,
                                             double seconds, std::string& problem) {
  if (!AnalysableBits(f.wBitsPerSample)) {
    problem = "cannot analyse " + std::to_string(f.wBitsPerSample) +
              "-bit samples (8 or 16 bits only)";
    return std::nullopt;
  }
  // The first sample frame, in whole frames; a start past the sound's byte count can never
  // hold a frame (and is kept from overflowing the byte offset).
  const int64_t first = RoundInt64(seconds * f.nSamplesPerSec);
  const bool past = first < 0 || static_cast<uint64_t>(first) > data.size();
  PcmFrame frame;
  frame.bytes = data;
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

int Resynth(const QStringList& arguments, const Io& io) {
  const QCommandLineOption at("at", "Time of the frame in seconds.", "SECONDS");
  const QCommandLineOption volume("volume", "Volume.", "V");
  const QCommandLineOption length("length", "Length in tenths of a second.", "TENTHS");
  const QCommandLineOption output({"o", "output"}, "The WAV file to write.", "OUT.wav");
  CommandLine parser({at, volume, length, output});
  if (!parser.Parse(arguments)) return io.UsageError(parser.error());
  if (parser.helpAsked()) return io.Help();
  const QStringList files = parser.operands();
  if (files.size() != 1) return io.UsageError("resynth takes one sound file");
  double seconds = 0.0;
  if (!parser.isSet(at) || !ParseReal(parser.value(at), seconds) || seconds < 0.0)
    return io.UsageError("--at must be a time in seconds, at least 0");
  ToneOptions options;
  const std::string problem = ReadVolumeAndLength(parser, volume, length, output, options);
  if (!problem.empty()) return io.UsageError(problem);

  // The tool's input: the own reader's 8- and 16-bit WAV as they are, any other sound as its
  // 16-bit samples.
  const std::string input = LocalName(files[0]);
  const InputSound sound = OpenInput(LocalPath(files[0]), InputPurpose::kAnalyze);
  if (!sound.ok) return io.Rejected(input + ": " + sound.message);
  const PcmView view = MakePcmView(sound);
  std::string failed;
  std::optional<FrameHarmonics> frame =
      AnalyseFrameAt(std::span<const uint8_t>(view.data, view.size), view.format, seconds, failed);
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
  SettleHarmonicBars(levels, bars, HarmonicCount(view.format.nSamplesPerSec, freq));
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

int RunSynth(const Invocation& invocation) {
  return Synth(invocation.arguments, Io{invocation.out, invocation.err, ToolUsage()});
}

int RunResynth(const Invocation& invocation) {
  return Resynth(invocation.arguments, Io{invocation.out, invocation.err, ToolUsage()});
}

}  // namespace tonamira

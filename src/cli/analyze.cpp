#include "cli/analyze.h"

#include <algorithm>
#include <vector>

#include "analysis/detection.h"
#include "analysis/fft.h"
#include "analysis/frame_analysis.h"
#include "analysis/rounding.h"
#include "analysis/spectrum.h"

namespace tonamira {

DetectionSettings LoadedSoundDetection(const WaveFormat& format, int32_t frame,
                                       std::optional<double> threshold, double cutoffHz,
                                       double maxDisplayFreq, bool drivesMixer) {
  DetectionSettings settings;
  settings.peakThreshold = threshold.value_or(format.wBitsPerSample == 16 ? 10.0 : 0.1);
  settings.cutoffBin = CutoffBinFor(cutoffHz, format.nSamplesPerSec, frame);
  settings.fftSize = frame;
  settings.recRate = static_cast<int32_t>(std::min<uint32_t>(format.nSamplesPerSec, INT32_MAX));
  settings.maxDisplayFreq = maxDisplayFreq;
  settings.sampleRate = format.nSamplesPerSec;
  settings.drivesMixer = drivesMixer;
  return settings;
}

std::string AnalyzeSound(std::span<const uint8_t> data, const WaveFormat& format,
                         const AnalyzeOptions& options,
                         const std::function<void(const FrameRow&)>& row,
                         const std::function<void(double)>& progress) {
  if (!AnalysableBits(format.wBitsPerSample))
    return "cannot analyse " + std::to_string(format.wBitsPerSample) +
           "-bit samples (8 or 16 bits only)";
  if (format.nChannels == 0 || format.nBlockAlign == 0 || format.nSamplesPerSec == 0)
    return "the format cannot be framed";
  if (!HasChannel(options.channel, format.nChannels)) return "the sound has no second channel";

  const FftPlan plan(options.frame);
  if (!plan.valid()) return "frame length must be 256, 512, 1024 or 2048";
  FftArrays arrays;
  if (!AllocFftArrays(arrays, options.frame)) return "No memory";

  const int32_t hop = options.hop > 0 ? options.hop : options.frame / 2;
  const DetectionSettings settings = LoadedSoundDetection(
      format, options.frame, options.threshold, options.cutoffHz, options.maxDisplayFreq, false);
  DetectionState state;

  // A frame must fit both as positions step (block alignments) and as the reader steps
  // through it (channels x sample width): a malformed block align must not let the reader
  // run past the end. PcmFrame::Readable checks both.
  const uint64_t size = data.size();
  const uint64_t step = static_cast<uint64_t>(hop) * format.nBlockAlign;
  PcmFrame frame{data, 0, options.frame, format.nChannels, format.wBitsPerSample,
                 format.nBlockAlign};
  // A chosen channel is copied out into a mono frame of the same sample width.
  const bool picked = options.channel != ChannelChoice::kWindowRule;
  const int32_t bytesPerSample = format.wBitsPerSample / 8;
  std::vector<uint8_t> mono(picked ? FrameBytes(options.frame, format.wBitsPerSample, 1) : 0);
  const PcmFrame monoFrame{mono, 0, options.frame, 1, format.wBitsPerSample,
                           static_cast<uint16_t>(bytesPerSample)};
  for (uint64_t pos = 0; (frame.offset = pos, frame.Readable()); pos += step) {
    if (picked)
      PickPcmChannel(frame.First(), frame.length, frame.bits, frame.channels, options.channel,
                     mono.data());
    FrameRow result;
    result.framePos = pos;
    result.timeSeconds =
        static_cast<double>(pos / format.nBlockAlign) / static_cast<double>(format.nSamplesPerSec);
    result.detected = AnalyzePcmFrame(picked ? monoFrame : frame, plan, arrays, settings, state);
    if (result.detected) {
      result.pitchHz = state.detectedFreq;
      result.level = state.detectedLevel;
    }
    row(result);
    if (progress) progress(static_cast<double>(pos + step) / static_cast<double>(size));
  }
  return {};
}

}  // namespace tonamira

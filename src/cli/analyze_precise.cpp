#include "cli/analyze_precise.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "analysis/channel_pick.h"
#include "analysis/frame_analysis.h"
#include "analysis/pitch_tracker.h"
#include "analysis/spectrum.h"
#include "analysis/voicing.h"

namespace tonamira {

std::string CheckPreciseInput(const PreciseInput& input, const AnalyzeOptions& options,
                              bool wholeFrames) {
  const bool fromPcm = input.samples == nullptr;
  if (fromPcm && input.pcm == nullptr) return "no samples";
  const WaveFormat& f = input.format;
  if (fromPcm) {
    if (!AnalysableBits(f.wBitsPerSample))
      return "cannot analyse " + std::to_string(f.wBitsPerSample) +
             "-bit samples (8 or 16 bits only)";
    if (f.nChannels == 0 || f.nBlockAlign == 0 || f.nSamplesPerSec == 0)
      return "the format cannot be framed";
    // A stream of sample frames one after another has no reading with a block alignment
    // other than the samples' own width.
    if (wholeFrames && f.nBlockAlign != FrameBytes(1, f.wBitsPerSample, f.nChannels))
      return "the block alignment does not match the channels and the sample width";
  } else if (input.channels < 1 || input.sampleRate == 0) {
    return "the format cannot be framed";
  }
  const int channels = fromPcm ? f.nChannels : input.channels;
  if (!HasChannel(options.channel, channels)) return "the sound has no second channel";
  return {};
}

std::string TrackerRefusal(int32_t frame, const TrackerSettings& settings, const char* method) {
  TrackerSettings ownRange = settings;
  ownRange.minHz = TrackerSettings{}.minHz;
  ownRange.maxHz = TrackerSettings{}.maxHz;
  // The range is at fault when the tracker's own range would do where this one does not.
  const bool rangeAtFault =
      !PitchTracker(frame, settings).valid() && PitchTracker(frame, ownRange).valid();
  char text[160];
  if (rangeAtFault)
    std::snprintf(text, sizeof text,
                  "the pitch range %g to %g Hz is too narrow for the %s method at this rate",
                  settings.minHz, settings.maxHz, method);
  else
    std::snprintf(text, sizeof text, "the frame is too short for the %s method at this rate",
                  method);
  return text;
}

std::string AnalyzeSoundPrecise(const PreciseInput& input, const AnalyzeOptions& options,
                                const std::function<void(const PreciseRow&)>& row,
                                const std::function<void(double)>& progress) {
  if (std::string why = CheckPreciseInput(input, options, false); !why.empty()) return why;
  const bool fromPcm = input.samples == nullptr;
  const WaveFormat& f = input.format;

  const int64_t hop = options.hop > 0 ? options.hop : options.frame / 2;
  TrackerSettings settings;
  settings.sampleRate = fromPcm ? f.nSamplesPerSec : input.sampleRate;
  settings.minHz = options.minHz;
  settings.maxHz = options.maxHz;
  settings.hop = static_cast<int>(hop);
  PitchTracker tracker(options.frame, settings);
  if (!tracker.valid()) return TrackerRefusal(options.frame, settings, "precise");

  // Each frame comes with the samples before it that the tracker's search of the lowest
  // pitches reads (as many as there are, at the start).
  const int64_t history = tracker.historyLength();
  std::vector<double> samples(static_cast<size_t>(options.frame + history));
  std::vector<PreciseRow> rows;
  if (fromPcm) {
    const uint64_t size = input.pcm->size();
    const uint64_t step = static_cast<uint64_t>(hop) * f.nBlockAlign;
    for (uint64_t pos = 0; FrameWithin(size, pos, options.frame, f.nBlockAlign,
                                       f.wBitsPerSample, f.nChannels);
         pos += step) {
      const int64_t before = std::min<int64_t>(history, static_cast<int64_t>(pos / f.nBlockAlign));
      const int64_t count = before + options.frame;
      const uint64_t from = pos - static_cast<uint64_t>(before) * f.nBlockAlign;
      const uint8_t* bytes =
          input.pcm->At(from, FrameBytes(static_cast<int32_t>(count), f.wBitsPerSample, f.nChannels));
      if (!bytes) return "No read";  // the file shrank or failed while it was being read
      PcmChannelToReal(bytes, static_cast<int32_t>(count), f.wBitsPerSample, f.nChannels,
                       options.channel, samples.data());
      PreciseRow result;
      result.framePos = pos;
      result.timeSeconds =
          static_cast<double>(pos / f.nBlockAlign) / static_cast<double>(f.nSamplesPerSec);
      result.estimate = tracker.Analyze(std::span<const double>(samples.data(), static_cast<size_t>(count)));
      rows.push_back(result);
      if (progress) progress(static_cast<double>(pos + step) / static_cast<double>(size));
    }
  } else {
    const uint64_t bytesPerFrame16 = static_cast<uint64_t>(input.channels) * 2;
    for (int64_t first = 0; first + options.frame <= input.frames; first += hop) {
      const int64_t before = std::min(history, first);
      const int64_t count = before + options.frame;
      FloatChannelToReal(input.samples + (first - before) * input.channels,
                         static_cast<int32_t>(count), input.channels, options.channel,
                         samples.data());
      PreciseRow result;
      result.framePos = static_cast<uint64_t>(first) * bytesPerFrame16;
      result.timeSeconds = static_cast<double>(first) / static_cast<double>(input.sampleRate);
      result.estimate =
          tracker.Analyze(std::span<const double>(samples.data(), static_cast<size_t>(count)));
      rows.push_back(result);
      if (progress)
        progress(static_cast<double>(first + hop) / static_cast<double>(input.frames));
    }
  }

  // The voicing of a frame may lean on the frames after it: decide it over the whole sound,
  // then hand the rows out.
  std::vector<PitchEstimate> estimates;
  estimates.reserve(rows.size());
  for (const PreciseRow& r : rows) estimates.push_back(r.estimate);
  ExtendVoicingBackward(estimates, settings);
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].estimate = estimates[i];
    row(rows[i]);
  }
  return {};
}

}  // namespace tonamira

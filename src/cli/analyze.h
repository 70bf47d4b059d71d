#pragma once
// Frame-by-frame pitch analysis of a whole sound, as the window's redraw analyses one frame:
// no loudness rule, no noise spectrum, display range 2000 Hz.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "analysis/channel_pick.h"
#include "analysis/detection.h"
#include "analysis/pitch_tracker.h"
#include "sound/wave_format.h"

namespace tonamira {

struct AnalyzeOptions {
  int32_t frame = 2048;             // 256, 512, 1024 or 2048 sample frames
  int32_t hop = 0;                  // sample frames between frame starts; 0 means frame / 2
  std::optional<double> threshold;  // default: 10.0 for 16-bit sound, 0.1 otherwise
  double cutoffHz = 30.0;           // low cut-off in hertz, converted to a bin
  double maxDisplayFreq = 2000.0;
  // The channel the pitch is taken from. The window's rule transforms both channels of a
  // stereo frame and detects from the second; any other choice detects from a mono frame
  // of the chosen channel (or of the channels' mean).
  ChannelChoice channel = ChannelChoice::kWindowRule;
  // The pitch range the precise and live methods search: the tracker's own unless asked.
  double minHz = TrackerSettings{}.minHz;
  double maxHz = TrackerSettings{}.maxHz;
};

struct FrameRow {
  uint64_t framePos = 0;  // byte position of the frame's first sample frame
  double timeSeconds = 0.0;
  bool detected = false;
  int32_t pitchHz = 0;
  int32_t level = 0;
};

// The detection a loaded sound gets, as the window detects after opening a file: the
// threshold a file sets (10.0 for 16-bit samples, 0.1 otherwise) unless one is given, the
// low cut-off in hertz as a bin of the frame length, and the display range.
DetectionSettings LoadedSoundDetection(const WaveFormat& format, int32_t frame,
                                       std::optional<double> threshold, double cutoffHz,
                                       double maxDisplayFreq, bool drivesMixer);

// Analyses every frame that fits wholly inside data: frames start at byte positions
// 0, hop x blockAlign, 2 x hop x blockAlign, ... Calls row for each frame in order and
// progress with the fraction done. Returns an empty string, or the reason the sound cannot
// be analysed.
std::string AnalyzeSound(std::span<const uint8_t> data, const WaveFormat& format,
                         const AnalyzeOptions& options,
                         const std::function<void(const FrameRow&)>& row,
                         const std::function<void(double)>& progress = {});

}  // namespace tonamira

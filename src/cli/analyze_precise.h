#pragma once
// Frame-by-frame analysis of a whole sound with the precise pitch tracker. Frames are laid
// out as the window's method lays them (same starts, same byte positions), so the rows of the
// two methods line up.

#include <cstdint>
#include <functional>
#include <string>

#include "analysis/pitch_tracker.h"
#include "cli/analyze.h"
#include "cli/csv_rows.h"
#include "cli/pcm_bytes.h"
#include "sound/wave_format.h"

namespace tonamira {

// The samples to track: 8- or 16-bit PCM bytes with their format record, or interleaved
// floats (full scale 1.0) from libsndfile, whose byte positions are counted as in their
// 16-bit form.
struct PreciseInput {
  PcmBytes* pcm = nullptr;  // read forwards, frame after frame
  WaveFormat format;
  const float* samples = nullptr;
  int64_t frames = 0;
  int channels = 0;
  uint32_t sampleRate = 0;
};

// Why the input cannot be tracked (its samples, its format, the channel asked for), or an
// empty string; wholeFrames also asks for a block alignment of exactly one sample frame.
std::string CheckPreciseInput(const PreciseInput& input, const AnalyzeOptions& options,
                              bool wholeFrames);

// Why a tracker with these settings cannot be made: the frame too short for the rate, or
// (when the tracker's own range would do) the pitch range too narrow; method names the
// method in the message.
std::string TrackerRefusal(int32_t frame, const TrackerSettings& settings, const char* method);

// options.minHz and options.maxHz are the range searched.
std::string AnalyzeSoundPrecise(const PreciseInput& input, const AnalyzeOptions& options,
                                const std::function<void(const PreciseRow&)>& row,
                                const std::function<void(double)>& progress = {});

}  // namespace tonamira

#pragma once
// Frame-by-frame analysis of a whole sound with the live tracker (analysis/live_pitch.h),
// the trace's own road: the samples are pushed through it in blocks as a sound card would
// deliver them, and each frame's row is printed once its voicing is final. Rows have the
// precise method's columns; frames start every hop (by default the live hop, 5 to 10 ms) and
// are as long as the precise method's (by default the frame the live trace uses).

#include <functional>
#include <string>

#include "cli/analyze.h"
#include "cli/analyze_precise.h"
#include "cli/csv_rows.h"

namespace tonamira {

// options.frame (0: PreciseFrameLength of the rate), options.hop (0: LiveHop of the rate)
// and options.channel as for AnalyzeSoundPrecise; calls row for every frame in order.
// Returns an empty string, or the reason the sound cannot be analysed.
std::string AnalyzeSoundLive(const PreciseInput& input, const AnalyzeOptions& options,
                             const std::function<void(const PreciseRow&)>& row,
                             const std::function<void(double)>& progress = {});

}  // namespace tonamira

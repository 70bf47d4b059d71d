#include "cli/precise_track.h"

#include <algorithm>

#include "analysis/frame.h"
#include "analysis/rounding.h"
#include "cli/analyze_precise.h"
#include "cli/pcm_bytes.h"

namespace tonamira {

std::string BuildPreciseTrack(std::span<const uint8_t> data, const WaveFormat& format,
                              const TrackOptions& options, PitchTrack& track) {
  TrackStretch stretch;
  if (std::string problem = PlanTrackStretch(data, format, options,
                                             PreciseFrameLength(format.nSamplesPerSec), stretch,
                                             track);
      !problem.empty())
    return problem;
  AnalyzeOptions analyze;
  analyze.frame = stretch.frame;
  analyze.hop = stretch.hop;
  analyze.minHz = options.minHz;
  analyze.maxHz = options.maxHz;
  SpanPcmBytes bytes(stretch.bytes);
  PreciseInput input;
  input.pcm = &bytes;
  input.format = format;
  return AnalyzeSoundPrecise(input, analyze, [&](const PreciseRow& row) {
    const std::optional<double> time = stretch.CentreSeconds(row.framePos, format.nBlockAlign);
    if (!time) return;
    PitchPoint point;
    point.timeSeconds = *time;
    if (row.estimate.voiced) point.hz = row.estimate.hz;
    point.level = FrameRmsLevel(stretch.bytes.data() + row.framePos, stretch.frame,
                                format.wBitsPerSample, format.nChannels);
    track.points.push_back(point);
  });
}

}  // namespace tonamira

#include "analysis/frame_analysis.h"

namespace tonamira {

bool AnalyzePcmFrame(const PcmFrame& frame, const FftPlan& plan, FftArrays& arrays,
                     const DetectionSettings& settings, DetectionState& state) {
  if (TransformChannels(frame, plan, arrays, [](int, double) {}) != TransformOutcome::Done)
    return false;
  return DetectPitch(arrays.mag.get(), arrays.noise.get(), arrays.out.get(), settings, state);
}

}  // namespace tonamira

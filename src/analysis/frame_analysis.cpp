#include "analysis/frame_analysis.h"

namespace tonamira {

bool AnalyzePcmFrame(const PcmFrame& frame, const FftPlan& plan, FftArrays& arrays,
                     const DetectionSettings& settings, DetectionState& state) {
  const int lastChannel = frame.channels == 2 ? 1 : 0;
  for (int channel = 0; channel <= lastChannel; ++channel) {
    LoadWindowedChannel(frame.data, frame.length, frame.bits, frame.channels, channel,
                        plan.window(), arrays.input.get());
    if (!plan.Run(arrays.input.get(), arrays.out.get(), arrays.work.get(), arrays.mag.get()))
      return false;
  }
  return DetectPitch(arrays.mag.get(), arrays.noise.get(), arrays.out.get(), settings, state);
}

}  // namespace tonamira

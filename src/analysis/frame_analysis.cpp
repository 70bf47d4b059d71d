#include "analysis/frame_analysis.h"

#include <algorithm>

namespace tonamira {

bool FrameWithin(uint64_t dataSize, uint64_t offset, int32_t n, uint16_t blockAlign,
                 int32_t bits, int32_t channels) {
  if (n <= 0 || blockAlign == 0 || bits <= 0 || channels <= 0) return false;
  const uint64_t byBlocks = static_cast<uint64_t>(n) * blockAlign;
  const uint64_t byReader = FrameBytes(n, bits, channels);
  const uint64_t span = std::max(byBlocks, byReader);
  // The reader steps by whole bytes per sample; a width below 8 bits reads nothing sound.
  if (byReader == 0 || span > dataSize) return false;
  return offset <= dataSize - span;
}

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

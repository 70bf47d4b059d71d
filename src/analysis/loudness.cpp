#include "analysis/loudness.h"

namespace tonamira {

int32_t FirstLoudPoint(std::span<const uint8_t> samples, int32_t step, int32_t count) {
  if (step <= 0) return 0;
  const size_t stride = 2 * static_cast<size_t>(step);
  for (int32_t i = 1; i < kLoudCheckPoints && i < count; ++i) {
    const size_t at = static_cast<size_t>(i) * stride;
    if (at + 1 >= samples.size()) break;
    if (Sample16(samples.data() + at) > kLoudSample) return i;
  }
  return 0;
}

bool FrameTooLoud(const PcmFrame& frame) {
  if (frame.bits != 16 || (frame.channels != 1 && frame.channels != 2) || !frame.Readable())
    return false;
  const std::span<const uint8_t> first = frame.bytes.subspan(frame.offset);
  if (FirstLoudPoint(first, frame.channels, frame.length) != 0) return true;
  return frame.channels == 2 && FirstLoudPoint(first.subspan(2), 2, frame.length) != 0;
}

}  // namespace tonamira

// The formats both backends accept.

#include "devices/audio_devices.h"

namespace tonamira {

namespace {
// Eight channels cover every layout a sound server offers for a sound card (7.1).
constexpr uint16_t kMaxChannels = 8;
// The span of rates sound servers resample from and to without refusing the stream.
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 192000;
}  // namespace

AudioResult CheckDeviceFormat(const WaveFormat& format) {
  if (format.wFormatTag != kFormatPcm) return AudioResult::BadFormat;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return AudioResult::BadFormat;
  if (format.nChannels < 1 || format.nChannels > kMaxChannels) return AudioResult::BadFormat;
  if (format.nSamplesPerSec < kMinRate || format.nSamplesPerSec > kMaxRate)
    return AudioResult::BadFormat;
  // The frame size is what positions and buffers are counted in: it must be exact and
  // never 0.
  const uint32_t frameBytes = static_cast<uint32_t>(format.nChannels) * format.wBitsPerSample / 8u;
  if (format.nBlockAlign != frameBytes) return AudioResult::BadFormat;
  return AudioResult::Ok;
}

}  // namespace tonamira

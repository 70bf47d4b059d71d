#include "sound/wave_format.h"

#include <algorithm>

namespace tonamira {
namespace {

void Put16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t Get16(const uint8_t* in) {
  return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

uint32_t Get32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

WaveFormat FillWaveFormat(const FormatSettings& settings) {
  WaveFormat format;
  format.wFormatTag = kFormatPcm;
  format.nChannels = static_cast<uint16_t>(settings.channels);
  format.nSamplesPerSec = static_cast<uint32_t>(settings.rate);
  // Computed in 64 bits and then cut to the field widths, so odd settings wrap instead of
  // overflowing a signed int.
  const int64_t blockAlign = static_cast<int64_t>(settings.bits / 8) * settings.channels;
  format.nBlockAlign = static_cast<uint16_t>(blockAlign);
  format.nAvgBytesPerSec = format.nSamplesPerSec * static_cast<uint32_t>(format.nBlockAlign);
  format.wBitsPerSample = static_cast<uint16_t>(settings.bits);
  format.cbSize = 0;
  return format;
}

std::array<uint8_t, kWaveFormatBytes> EncodeWaveFormat(const WaveFormat& format) {
  std::array<uint8_t, kWaveFormatBytes> bytes{};
  Put16(&bytes[0], format.wFormatTag);
  Put16(&bytes[2], format.nChannels);
  Put32(&bytes[4], format.nSamplesPerSec);
  Put32(&bytes[8], format.nAvgBytesPerSec);
  Put16(&bytes[12], format.nBlockAlign);
  Put16(&bytes[14], format.wBitsPerSample);
  Put16(&bytes[16], format.cbSize);
  return bytes;
}

WaveFormat DecodeWaveFormat(const uint8_t* bytes) {
  WaveFormat format;
  format.wFormatTag = Get16(&bytes[0]);
  format.nChannels = Get16(&bytes[2]);
  format.nSamplesPerSec = Get32(&bytes[4]);
  format.nAvgBytesPerSec = Get32(&bytes[8]);
  format.nBlockAlign = Get16(&bytes[12]);
  format.wBitsPerSample = Get16(&bytes[14]);
  format.cbSize = Get16(&bytes[16]);
  return format;
}

void OverlayWaveFormat(WaveFormat& format, const uint8_t* bytes, int count) {
  const int n = std::clamp(count, 0, kWaveFormatBytes);
  if (n == 0) return;
  auto layout = EncodeWaveFormat(format);
  std::copy(bytes, bytes + n, layout.begin());
  format = DecodeWaveFormat(layout.data());
}

}  // namespace tonamira

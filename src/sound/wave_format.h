#pragma once
// The format record of the current sound: the 18-byte little-endian PCM format record that
// goes to the audio devices and into a saved file's fmt chunk.

#include <array>
#include <cstdint>

namespace tonamira {

inline constexpr uint16_t kFormatPcm = 1;
inline constexpr int kWaveFormatBytes = 18;

struct WaveFormat {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
  friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// The settings a format is built from (bits per sample, sample rate, channels).
struct FormatSettings {
  int32_t bits = 16;
  int32_t rate = 44100;
  int32_t channels = 1;
  friend bool operator==(const FormatSettings&, const FormatSettings&) = default;
};

// PCM; block align (bits / 8) * channels kept to 16 bits; average bytes rate * block align.
WaveFormat FillWaveFormat(const FormatSettings& settings);

// The 18 bytes of the record, little-endian, in field order.
std::array<uint8_t, kWaveFormatBytes> EncodeWaveFormat(const WaveFormat& format);

// Overwrites the first min(count, 18) bytes of the record with bytes, little-endian, as a
// byte copy onto the record's layout would (so 14 bytes leave wBitsPerSample untouched).
void OverlayWaveFormat(WaveFormat& format, const uint8_t* bytes, int count);

// The record held in 18 little-endian bytes (the inverse of EncodeWaveFormat).
WaveFormat DecodeWaveFormat(const uint8_t* bytes);

}  // namespace tonamira

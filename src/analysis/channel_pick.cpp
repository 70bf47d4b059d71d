#include "analysis/channel_pick.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "analysis/frame.h"
#include "analysis/rounding.h"

namespace tonamira {
namespace {

int ChosenChannel(ChannelChoice choice, int channels) {
  switch (choice) {
    case ChannelChoice::kFirst: return 0;
    case ChannelChoice::kSecond: return 1;
    default: return WindowRuleChannel(channels);
  }
}

// Sample value of 8-bit (unsigned around 128) or 16-bit (signed little-endian) PCM.
int32_t SampleAt(const uint8_t* p, int bits) {
  if (bits == 8) return static_cast<int32_t>(p[0]) - 128;
  return Sample16(p);
}

// Sum of every channel's sample value in one sample frame.
int64_t ChannelSum(const uint8_t* sampleFrame, int bytesPerSample, int bits, int channels) {
  int64_t sum = 0;
  for (int c = 0; c < channels; ++c) sum += SampleAt(sampleFrame + c * bytesPerSample, bits);
  return sum;
}

}  // namespace

void PickPcmChannel(const uint8_t* frame, int n, int bits, int channels, ChannelChoice choice,
                    uint8_t* out) {
  const int bytesPerSample = bits / 8;
  const int64_t stride = static_cast<int64_t>(channels) * bytesPerSample;
  const int chosen = ChosenChannel(choice, channels);
  for (int j = 0; j < n; ++j) {
    const uint8_t* sampleFrame = frame + j * stride;
    uint8_t* dst = out + static_cast<int64_t>(j) * bytesPerSample;
    if (choice != ChannelChoice::kMix) {
      for (int b = 0; b < bytesPerSample; ++b) dst[b] = sampleFrame[chosen * bytesPerSample + b];
      continue;
    }
    const int32_t mean = RoundInt(static_cast<double>(ChannelSum(sampleFrame, bytesPerSample, bits,
                                                                 channels)) /
                                  channels);
    if (bits == 8) {
      dst[0] = static_cast<uint8_t>(mean + 128);
    } else {
      const auto v = static_cast<uint16_t>(static_cast<int16_t>(mean));
      dst[0] = static_cast<uint8_t>(v & 0xFF);
      dst[1] = static_cast<uint8_t>(v >> 8);
    }
  }
}

void PcmChannelToReal(const uint8_t* frame, int n, int bits, int channels,
                      ChannelChoice choice, double* out) {
  const int bytesPerSample = bits / 8;
  const int64_t stride = static_cast<int64_t>(channels) * bytesPerSample;
  const double scale = bits == 8 ? 1.0 / 128.0 : 1.0 / 32768.0;
  if (choice == ChannelChoice::kMix) {
    for (int j = 0; j < n; ++j)
      out[j] = static_cast<double>(ChannelSum(frame + j * stride, bytesPerSample, bits, channels)) *
               scale / channels;
    return;
  }
  // One channel: a plain strided read, the hot loop of the precise method.
  const uint8_t* p = frame + ChosenChannel(choice, channels) * bytesPerSample;
  if (bits == 8) {
    for (int j = 0; j < n; ++j) out[j] = (static_cast<int32_t>(p[j * stride]) - 128) * scale;
    return;
  }
  if (stride == 2 && std::endian::native == std::endian::little) {
    // Mono 16-bit: the bytes are the host's own int16 layout, read in blocks the compiler
    // widens and converts several at a time.
    constexpr int kBlock = 256;
    int16_t block[kBlock];
    for (int j = 0; j < n; j += kBlock) {
      const int count = std::min(kBlock, n - j);
      std::memcpy(block, p + static_cast<int64_t>(j) * 2, static_cast<size_t>(count) * 2);
      for (int i = 0; i < count; ++i) out[j + i] = block[i] * scale;
    }
    return;
  }
  for (int j = 0; j < n; ++j) {
    const uint8_t* q = p + j * stride;
    out[j] = Sample16(q) * scale;
  }
}

void FloatChannelToReal(const float* frame, int n, int channels, ChannelChoice choice,
                        double* out) {
  const int chosen = ChosenChannel(choice, channels);
  for (int j = 0; j < n; ++j) {
    const float* sampleFrame = frame + static_cast<int64_t>(j) * channels;
    if (choice == ChannelChoice::kMix) {
      double sum = 0.0;
      for (int c = 0; c < channels; ++c) sum += sampleFrame[c];
      out[j] = sum / channels;
    } else {
      out[j] = sampleFrame[chosen];
    }
  }
}

}  // namespace tonamira

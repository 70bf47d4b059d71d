#pragma once
// Choosing the channel of an interleaved frame that the pitch is taken from: one channel, or
// the mean of all of them.

#include <cstdint>

namespace tonamira {

enum class ChannelChoice {
  kWindowRule,  // the channel whose spectrum the window's detection reads (see below)
  kFirst,
  kSecond,
  kMix,  // the mean of every channel
};

// The channel the window's detection reads: the second of a stereo frame (its spectrum is
// the one transformed last), otherwise the first.
constexpr int WindowRuleChannel(int channels) { return channels == 2 ? 1 : 0; }

// Whether a sound of `channels` channels has the chosen channel (kSecond needs two or more;
// every choice needs at least one).
constexpr bool HasChannel(ChannelChoice choice, int channels) {
  return channels >= 1 && (choice != ChannelChoice::kSecond || channels >= 2);
}

// Copies the chosen channel of n sample frames of interleaved 8- or 16-bit PCM (sample frame
// j at frame + j * channels * bits / 8, as the window's frame reader steps) into n mono
// samples of the same width at out. The mix is the mean of the channels' sample values
// rounded half to even. The caller guarantees the bytes, HasChannel and bits of 8 or 16.
void PickPcmChannel(const uint8_t* frame, int n, int bits, int channels, ChannelChoice choice,
                    uint8_t* out);

// The chosen channel of the same PCM as reals on a full scale of 1.0: 8-bit (byte - 128) /
// 128, 16-bit value / 32768. The mix is the exact mean.
void PcmChannelToReal(const uint8_t* frame, int n, int bits, int channels,
                      ChannelChoice choice, double* out);

// The chosen channel of n interleaved float sample frames (full scale 1.0).
void FloatChannelToReal(const float* frame, int n, int channels, ChannelChoice choice,
                        double* out);

}  // namespace tonamira

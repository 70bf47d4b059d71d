#pragma once
// The one road a frame takes from PCM bytes to a detection, shared by the window (which draws
// each channel's spectrum as it comes out of the transform) and the command-line tool (which
// only wants the detection): every channel the analysis reads is windowed and transformed in
// turn, so a stereo frame leaves the second channel's spectrum behind, and the pitch and
// level are detected from that last spectrum.

#include <cstdint>

#include "analysis/detection.h"
#include "analysis/fft.h"
#include "analysis/frame.h"
#include "analysis/spectrum.h"

namespace tonamira {

enum class TransformOutcome {
  Done,          // every channel was transformed
  NotTaken,      // the frame is not readable, or the plan or arrays do not fit it
  FirstFailed,   // the transform refused the first channel; nothing was handed on
  SecondFailed,  // the first channel was handed on, the second channel's transform failed
};

// The channels of a frame that the analysis transforms: the first, and the second of a stereo
// frame. Frames of more channels are analysed by their first channel.
constexpr int TransformedChannels(int32_t channels) { return channels == 2 ? 2 : 1; }

// Windows and transforms each transformed channel of frame with plan into arrays (input,
// work, out, mag). After each channel, channelDone(channel, scale) runs while arrays.mag and
// arrays.out hold that channel's spectrum; scale is the drawing scale of the sample width
// (LoadWindowedChannel). Nothing is read unless frame.Readable(), plan.size() equals
// frame.length and the arrays hold at least that many entries.
template <typename ChannelDone>
TransformOutcome TransformChannels(const PcmFrame& frame, const FftPlan& plan,
                                   FftArrays& arrays, ChannelDone&& channelDone) {
  if (!frame.Readable() || !plan.valid() || plan.size() != frame.length ||
      !arrays.allocated() || arrays.capacity < frame.length)
    return TransformOutcome::NotTaken;
  const int count = TransformedChannels(frame.channels);
  for (int channel = 0; channel < count; ++channel) {
    const double scale = LoadWindowedChannel(frame.First(), frame.length, frame.bits,
                                             frame.channels, channel, plan.window(),
                                             arrays.input.get());
    if (!plan.Run(arrays.input.get(), arrays.out.get(), arrays.work.get(), arrays.mag.get()))
      return channel == 0 ? TransformOutcome::FirstFailed : TransformOutcome::SecondFailed;
    channelDone(channel, scale);
  }
  return TransformOutcome::Done;
}

// The whole road without drawing: TransformChannels, then DetectPitch on the last spectrum.
// False when the frame was not transformed or no pitch was found.
bool AnalyzePcmFrame(const PcmFrame& frame, const FftPlan& plan, FftArrays& arrays,
                     const DetectionSettings& settings, DetectionState& state);

}  // namespace tonamira

#pragma once
// The precise tracker on a stream: samples arrive in fragments of any size, a frame is
// analysed every hop as soon as its last sample is in, and each frame's voicing is decided
// with a short, fixed look-ahead instead of over the whole sound.
//
// The per-frame analysis is PitchTracker's, unchanged: the same frames give the same
// estimates and the same forward voicing (a frame leaning on the frame before). What differs
// from the offline form (ExtendVoicingBackward over the whole sequence) is only how far the
// voicing may grow backwards: a frame that just missed the confidence needed becomes voiced
// when a voiced stretch follows it within `lookAhead` frames, through a chain of frames that
// each lead into the next, exactly as the offline rule would; a chain longer than that is cut
// at the look-ahead. So once `lookAhead` later frames are known, a frame's voicing is final.
//
// What a consumer receives (LivePoint, appended to a vector the caller owns):
//  - every frame, when it has been analysed: voiced frames final at once (forward voicing is
//    never taken back, and the backward rule only ever adds voicing); unvoiced frames
//    provisional (isFinal false), their candidate pitch and confidence already known;
//  - every provisional frame once more, final: voiced as soon as a later voiced frame's chain
//    reaches it (in the same Push that analysed that later frame), or unvoiced when the
//    frame `lookAhead` frames later has been analysed without it (or at Finish).
// Each frame thus has exactly one final point, and its provisional point, if any, comes
// before it. Final points of different frames need not come in frame order (a late-voiced
// frame follows the voiced frame that voiced it); a consumer that draws keys them by `frame`.
// A consumer that only wants the decided track keeps the final points.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/pitch_tracker.h"

namespace tonamira {

// The hop of the live trace at this rate: the largest power of two of sample frames that
// lasts at most 10 ms, so between 5 and 10 ms at every rate (256 at 44100 and 48000 Hz,
// 5.8 and 5.3 ms). A power of two divides every frame length and every power-of-two hop of
// the offline method, so the live frames include the offline ones.
int32_t LiveHop(double sampleRate);

// Frames of look-ahead the live voicing waits for by default: 8 hops (46 ms at 44100 Hz),
// the length of the backward chains at note onsets on the tracker corpus (its dev set, at
// the live hop); a longer wait changes almost nothing there. A voiced frame is never held
// back by it: the look-ahead only delays the decision that an unvoiced frame stays unvoiced.
inline constexpr int32_t kDefaultLiveLookAhead = 8;

struct LiveTrackerSettings {
  TrackerSettings tracker;  // rate, pitch range, confidences, silence
  int32_t frameLength = 0;  // 0: PreciseFrameLength of the rate
  int32_t hop = 0;          // 0: LiveHop of the rate
  int32_t lookAhead = kDefaultLiveLookAhead;  // frames; 0 decides every frame at once
};

struct LivePoint {
  int64_t frame = 0;         // the frame's index: it starts at sample frame `frame` x hop
  double timeSeconds = 0.0;  // the frame's centre, in seconds since the stream began
  bool isFinal = false;      // false: the frame may still become voiced (see above)
  bool voiced = false;
  double hz = 0.0;           // the pitch of a voiced frame, to a fraction of a hertz; else 0
  double candidateHz = 0.0;  // the best period's pitch, also of an unvoiced frame
  double confidence = 0.0;   // 0 .. 1
  double levelDb = 0.0;      // RMS in dB of full scale, at least -120
};

class LivePitchTracker {
 public:
  // valid() is false when the frame length, the hop (1 .. frame length), the look-ahead
  // (0 .. 1024) or the tracker settings cannot be worked with; such a tracker emits nothing.
  explicit LivePitchTracker(const LiveTrackerSettings& settings);

  bool valid() const { return tracker_.valid() && hop_ > 0; }
  int32_t frameLength() const { return n_; }
  int32_t hop() const { return hop_; }
  int32_t lookAhead() const { return lookAhead_; }
  double sampleRate() const { return rate_; }
  int64_t samplesSeen() const { return seen_; }
  int64_t framesAnalysed() const { return next_; }

  // Mono samples: 16-bit (value / 32768, the offline method's scale) or reals on a full
  // scale of 1.0. Analyses every frame they complete and appends the points that became
  // known to `out` (which is not cleared). Any split of a stream into fragments gives the
  // same points in the same order.
  void Push(std::span<const int16_t> samples, std::vector<LivePoint>& out);
  void Push(std::span<const double> samples, std::vector<LivePoint>& out);

  // The stream has ended: the frames still waiting for their look-ahead are final as they
  // stand (no later frame can voice them), as the offline rule leaves the last frames. The
  // samples after the last whole frame are not analysed. Then as after Reset.
  void Finish(std::vector<LivePoint>& out);

  // Forgets the stream: the next sample is the first of a new one, at time 0.
  void Reset();

 private:
  template <typename Sample>
  void PushSamples(std::span<const Sample> samples, std::vector<LivePoint>& out);
  void AnalyseReadyFrames(std::vector<LivePoint>& out);
  void Decide(int64_t frame, std::vector<LivePoint>& out);
  LivePoint PointOf(int64_t frame) const;

  PitchTracker tracker_;
  TrackerSettings settings_;
  double rate_ = 0.0;
  int32_t n_ = 0;
  int32_t history_ = 0;  // samples before a frame that the tracker reads (historyLength)
  int32_t hop_ = 0;
  int32_t lookAhead_ = 0;

  // Samples from the next frame's history on; buffer_[0] is sample frame base_ of the
  // stream.
  std::vector<double> buffer_;
  size_t filled_ = 0;  // samples held in buffer_
  int64_t base_ = 0;
  int64_t seen_ = 0;   // samples pushed since the stream began
  int64_t next_ = 0;   // the next frame to analyse

  // The last lookAhead_ + 1 frames' estimates, frame f at f % ring size; `open` marks those
  // whose final point has not been emitted.
  struct Slot {
    PitchEstimate estimate;
    bool open = false;
  };
  std::vector<Slot> ring_;
  Slot& SlotOf(int64_t frame);
  const Slot& SlotOf(int64_t frame) const;
};

}  // namespace tonamira

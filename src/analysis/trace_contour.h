#pragma once
// The pitch contour of one stream of PCM, as the trace shows it: the live tracker run on the
// stream's bytes as they come (any fragment sizes, 8- or 16-bit, any channels), one point kept
// per frame, provisional points replaced by their final ones.
//
// Points are kept compact (a stream of three hours holds about two million frames), and
// handed out as LivePoints for the trace's rules over the stretches they need.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/channel_pick.h"
#include "analysis/live_pitch.h"

namespace tonamira {

class TraceContour {
 public:
  // One frame as kept.
  struct Point {
    float hz = 0.0f;          // voiced: the pitch; unvoiced: 0
    float levelDb = -120.0f;
    bool isFinal = false;
    bool voiced() const { return hz > 0.0f; }
  };

  // An empty contour of no stream.
  TraceContour() = default;

  // Starts a contour of a stream of PCM (rate, channels, 8 or 16 bits, interleaved, sample
  // frames of channels x bits / 8 bytes); the pitch is taken from the channel the window's
  // detection reads. False (and nothing tracked) for a format it cannot track.
  bool Start(double sampleRate, int channels, int bits);
  void Clear();
  bool Tracking() const { return tracking_; }

  // The stream's next bytes; a part of a sample frame at the end waits for the rest.
  void Push(std::span<const uint8_t> bytes);
  // The stream has ended: the frames waiting for their look-ahead are decided.
  void Finish();

  const std::vector<Point>& Points() const { return points_; }
  double HopSeconds() const { return hopSeconds_; }
  // The centre of frame i in seconds since the stream began.
  double TimeOf(int64_t frame) const { return offsetSeconds_ + static_cast<double>(frame) * hopSeconds_; }
  // The frame whose centre lies nearest t, held to the frames there are (-1 when none).
  int64_t FrameAt(double seconds) const;
  // Seconds of the stream pushed so far.
  double SecondsSeen() const { return sampleRate_ > 0.0 ? static_cast<double>(samplesSeen_) / sampleRate_ : 0.0; }
  // The points of frames [from, to) as LivePoints (frame, time, pitch, level, finality).
  void Expand(int64_t from, int64_t to, std::vector<LivePoint>& out) const;

 private:
  void Keep(const std::vector<LivePoint>& points);

  bool tracking_ = false;
  LivePitchTracker tracker_{LiveTrackerSettings{}};
  double sampleRate_ = 0.0;
  int channels_ = 0;
  int bits_ = 0;
  size_t frameBytes_ = 0;
  double hopSeconds_ = 0.0;
  double offsetSeconds_ = 0.0;   // the centre of frame 0
  int64_t samplesSeen_ = 0;
  std::vector<uint8_t> partial_;   // the start of a sample frame not yet complete
  std::vector<double> mono_;       // scratch
  std::vector<LivePoint> fresh_;   // scratch
  std::vector<Point> points_;
};

}  // namespace tonamira

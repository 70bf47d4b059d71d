#pragma once
// Decides when a running device has stopped making progress: no sound read, or no advance
// of the played position, for longer than a limit. Time is in milliseconds of a monotonic
// clock.
//
// The watch only holds against a device the time during which it was looked at: when the
// polls themselves stop for a while (the program's thread was busy), the time since the
// last poll counts as progress, since the device may well have moved meanwhile.

#include <cstdint>

namespace tonamira {

class StallWatch {
 public:
  // A longer gap between two polls than this is the thread being busy, not the device.
  static constexpr int64_t kBusyGapMs = 250;

  // A stream starts: nothing has come yet.
  void Start(int64_t nowMs);
  // The device made progress (sound came, the position moved).
  void Progress(int64_t nowMs);
  // A poll; call before judging.
  void Poll(int64_t nowMs);
  // No progress for stallMs, or, before the first progress since Start, for firstMs.
  bool Stalled(int64_t nowMs, int stallMs, int firstMs) const;

 private:
  int64_t lastProgress_ = 0;
  int64_t lastPoll_ = 0;
  bool progressed_ = false;
};

}  // namespace tonamira

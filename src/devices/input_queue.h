#pragma once
// The buffers queued at an input device, oldest first, the sound that waits for them, and the
// notifications that hand them back. Every backend takes its sound in through Take: it goes
// into the queued buffers in order, and what they have no room for is kept, up to a limit,
// for the buffers added later. So a window that is slow to hand its buffers back loses
// nothing, and the sound stays continuous sample for sample. A buffer that has no room left
// for a whole sample frame is handed back with InputData.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "devices/device_notification.h"
#include "devices/wave_header.h"

namespace tonamira {

class InputBufferQueue {
 public:
  explicit InputBufferQueue(DeviceId device) : device_(device) {}

  // Where notifications go, the sample frame size and how many bytes may be kept while no
  // buffer has room; set when the device opens. Forgets what was kept.
  void Attach(NotificationPoster* poster, uint16_t blockAlign, size_t keepBytes = 0);

  // Queues a prepared header whose buffer holds at least one sample frame (InvalidParam
  // otherwise); marks it held, clears its done flag and its recorded count, and fills it with
  // what was kept (handing it back at once when that fills it).
  AudioResult Add(WaveHeader& header);
  bool Empty() const { return queue_.empty(); }
  size_t Size() const { return queue_.size(); }

  // Sound that came in: into the queued buffers in order, the rest kept. False when not all
  // of it could be kept; what did not fit is dropped.
  bool Take(const uint8_t* bytes, size_t n);
  // Bytes kept for buffers not yet added. While any are kept, no buffer is queued.
  size_t Kept() const { return keptSize_; }
  size_t KeepLimit() const { return kept_.size(); }
  void DropKept() { keptHead_ = keptSize_ = 0; }

  // The free part of the oldest buffer, in whole sample frames; empty when none is queued.
  std::span<uint8_t> HeadRoom() const;
  // Hands back every queued buffer, oldest first, each with its own notification.
  void ReturnAll();
  // Forgets the queue without notifications (the device is being destroyed).
  void Drop();

 private:
  // n bytes (whole frames, at most HeadRoom().size()) were written at HeadRoom().data(); the
  // buffer is handed back when it has no room for another frame.
  void Commit(size_t n);
  // Moves what is kept into the queued buffers, oldest byte first.
  void Drain();
  void HandBack(WaveHeader& header);

  DeviceId device_;
  NotificationPoster* poster_ = nullptr;
  uint16_t blockAlign_ = 1;
  std::deque<WaveHeader*> queue_;
  std::vector<uint8_t> kept_;   // a ring of KeepLimit() bytes
  size_t keptHead_ = 0;         // where the oldest kept byte lies
  size_t keptSize_ = 0;
};

}  // namespace tonamira

#pragma once
// The buffers queued at an input device, oldest first, and the notifications that hand them
// back. Both backends fill through it: they write sound into HeadRoom() and Commit() it; a
// buffer that has no room left for a whole sample frame is handed back with InputData.

#include <cstdint>
#include <deque>
#include <span>

#include "devices/device_notification.h"
#include "devices/wave_header.h"

namespace tonamira {

class InputBufferQueue {
 public:
  explicit InputBufferQueue(DeviceId device) : device_(device) {}

  // Where notifications go and the sample frame size; set when the device opens.
  void Attach(NotificationPoster* poster, uint16_t blockAlign);

  // Queues a prepared header whose buffer holds at least one sample frame (InvalidParam
  // otherwise); marks it held, clears its done flag and its recorded count.
  AudioResult Add(WaveHeader& header);
  bool Empty() const { return queue_.empty(); }
  size_t Size() const { return queue_.size(); }

  // The free part of the oldest buffer, in whole sample frames; empty when none is queued.
  std::span<uint8_t> HeadRoom() const;
  // n bytes (whole frames, at most HeadRoom().size()) were written at HeadRoom().data();
  // the buffer is handed back when it has no room for another frame.
  void Commit(size_t n);
  // Hands back every queued buffer, oldest first, each with its own notification.
  void ReturnAll();
  // Forgets the queue without notifications (the device is being destroyed).
  void Drop();

 private:
  void HandBack(WaveHeader& header);

  DeviceId device_;
  NotificationPoster* poster_ = nullptr;
  uint16_t blockAlign_ = 1;
  std::deque<WaveHeader*> queue_;
};

}  // namespace tonamira

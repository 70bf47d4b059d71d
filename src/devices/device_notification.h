#pragma once
// What the devices tell the window, and how it gets there.
//
// A device never calls the window. It posts a notification to the poster it was opened
// with; the poster queues it, and the window's thread delivers it later, after the handler
// or device call that was running has returned. So a notification is never handled inside
// another handler or inside a device call, and notifications are delivered in the order
// they were posted.
//
// The notifications:
//   InputData   an input buffer was filled, or handed back unfilled or part-filled by a
//               reset; one per buffer, in the order the buffers were added.
//   OutputDone  an output write was played to its last sample, or handed back by a reset;
//               exactly one per accepted write, in the order of the writes.
//   InputLost   the input device went away while started (or overran: it had to keep more
//               than it can while no buffer was queued), posted once everything it had kept
//               has gone into buffers. It fills nothing more, but keeps
//               every buffer it holds or is given, and hands them all back (each with its
//               InputData) at Reset: stopping as usual finishes the recording.
//   OutputLost  the output device went away while a write was pending. Playback stops where
//               it was (Position keeps reporting that point); Reset hands the writes back,
//               each with its OutputDone, as usual.
// A lost device is posted once, and only while it has work (an input started, an output
// write pending); Start, Write and Open fail with AudioResult::DeviceLost afterwards.

#include <cstdint>
#include <deque>

#include "devices/audio_result.h"
#include "devices/wave_header.h"

namespace tonamira {

// Identifies one device object for as long as the factory that made it lives.
using DeviceId = uint64_t;

enum class DeviceEvent : uint8_t { InputData, InputLost, OutputDone, OutputLost };

struct DeviceNotification {
  DeviceEvent event = DeviceEvent::InputData;
  DeviceId device = 0;            // the device that posted it (it may be closed since)
  WaveHeader* header = nullptr;   // InputData, OutputDone: the buffer's header. Its address
                                  // is its identity: compare it, but read it only while the
                                  // header is known to be alive
  uintptr_t user = 0;             // the header's user tag when it was posted
  uint32_t bytesRecorded = 0;     // InputData: bytes of sound in the buffer
  AudioResult reason = AudioResult::Ok;  // InputLost, OutputLost: why
};

// The window's side: one method per kind of notification.
class DeviceEventHandler {
 public:
  virtual ~DeviceEventHandler() = default;
  virtual void OnWimData(const DeviceNotification& n) = 0;     // InputData
  virtual void OnWomDone(const DeviceNotification& n) = 0;     // OutputDone
  virtual void OnDeviceLost(const DeviceNotification& n) = 0;  // InputLost, OutputLost
};

// Calls the handler's method for the notification's kind.
void Dispatch(const DeviceNotification& n, DeviceEventHandler& handler);

// Where a device posts. Post only queues; it never delivers inside the call.
class NotificationPoster {
 public:
  virtual ~NotificationPoster() = default;
  virtual void Post(const DeviceNotification& n) = 0;
};

// A queue the caller pumps by hand: for tests, which decide exactly when each notification
// is delivered.
class ManualPoster final : public NotificationPoster {
 public:
  void Post(const DeviceNotification& n) override { queue_.push_back(n); }

  size_t Pending() const { return queue_.size(); }
  const std::deque<DeviceNotification>& Queue() const { return queue_; }
  // Removes and returns the oldest notification without delivering it (queue not empty).
  DeviceNotification Take();
  // Delivers the oldest notification; false when none is queued.
  bool DeliverOne(DeviceEventHandler& handler);
  // Delivers until the queue is empty, including notifications posted meanwhile by the
  // handler's own device calls. Returns how many were delivered.
  size_t DeliverAll(DeviceEventHandler& handler);

 private:
  std::deque<DeviceNotification> queue_;
};

}  // namespace tonamira

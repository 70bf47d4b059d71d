#pragma once
// What every input and output device does the same way, whichever sound system stands behind
// it: the rules of opening and closing, of headers and of the queue of buffers or writes with
// the notifications that hand them back, the loss posted once, and the input's sound kept
// while no buffer is queued. A backend supplies only its stream: starting it, reading or
// feeding it, following it and stopping it.
//
// Every public call runs under the backend's lock (Lock and Unlock), so a backend whose
// stream runs on a thread of its own holds the same lock around its callbacks and calls the
// protected helpers only with it held.

#include <cstdint>

#include "devices/audio_devices.h"
#include "devices/input_queue.h"
#include "devices/output_queue.h"

namespace tonamira {

// The device calls, for a backend that records or fails them (the simulated one).
enum class DeviceCall : uint8_t {
  OpenInput, PrepareInput, UnprepareInput, AddBuffer, Start, ResetInput, CloseInput,
  OpenOutput, PrepareOutput, UnprepareOutput, Write, Position, Pause, ResetOutput, CloseOutput,
};

// How long an input keeps what comes in while no buffer is queued: well past the longest a
// busy window keeps its buffers (a slow redraw, a machine under load), at a few hundred
// kilobytes.
inline constexpr int kInputKeepMs = 3000;

// A lock a backend holds around each call; the default holds nothing (one thread).
class DeviceLock {
 public:
  virtual ~DeviceLock() = default;
  virtual void Lock() {}
  virtual void Unlock() {}
};

class InputDeviceBase : public InputDevice {
 public:
  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) final;
  AudioResult Prepare(WaveHeader& header) final;
  AudioResult Unprepare(WaveHeader& header) final;
  AudioResult AddBuffer(WaveHeader& header) final;
  AudioResult Start() final;
  AudioResult Reset() final;
  AudioResult Close() final;
  void SetTap(InputTap* tap) final;

 protected:
  InputDeviceBase(DeviceId id, DeviceLock& lock, int keepMs = kInputKeepMs);
  ~InputDeviceBase() override;

  // ---- the backend's part, called with the lock held
  // Starts taking sound in (the device is open, not lost, not yet started).
  virtual AudioResult BeginStream() = 0;
  // Stops taking sound in; what has come so far has been taken in (Sync) before.
  virtual void EndStream() = 0;
  // Takes in what has come by now.
  virtual void Sync() {}
  // An injected failure for the call (Ok: none), and every call's result on its way out.
  virtual AudioResult Enter(DeviceCall) { return AudioResult::Ok; }
  virtual AudioResult Leave(DeviceCall, AudioResult result) { return result; }

  // ---- for the backend, with the lock held
  // Sound that came in, in the open format: to the tap, then into the buffers. Beyond what
  // the device can keep, the rest is dropped and the device stops as lost (Overrun).
  void TakeIn(const uint8_t* bytes, size_t n);
  // The input went away (or overran). It takes nothing more in; the loss is posted once what
  // it kept has gone into buffers, so a take is continuous up to the loss.
  void MarkLost(AudioResult reason);
  bool Taking() const { return open_ && started_ && !lost_; }
  bool IsOpen() const { return open_; }
  bool Started() const { return started_; }
  const WaveFormat& Format() const { return format_; }
  const InputBufferQueue& Queue() const { return queue_; }

 private:
  void PostLossOnceDrained();

  DeviceLock& lock_;
  int keepMs_;
  InputTap* tap_ = nullptr;
  InputBufferQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  bool open_ = false;
  bool started_ = false;
  bool lost_ = false;
  bool lossPending_ = false;
  AudioResult lossReason_ = AudioResult::Ok;
};

class OutputDeviceBase : public OutputDevice {
 public:
  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) final;
  AudioResult Prepare(WaveHeader& header) final;
  AudioResult Unprepare(WaveHeader& header) final;
  AudioResult Write(WaveHeader& header) final;
  AudioResult Position(uint32_t& playedBytes) final;
  AudioResult Pause() final;
  AudioResult Reset() final;
  AudioResult Close() final;

 protected:
  OutputDeviceBase(DeviceId id, DeviceLock& lock);
  ~OutputDeviceBase() override;

  // ---- the backend's part, called with the lock held
  // A write is about to be queued; fresh: none was pending (the next one starts a stream).
  virtual void BeforeWrite(bool fresh) = 0;
  // The write is queued: play it (unless paused).
  virtual void AfterWrite(bool fresh) = 0;
  // Stops playing (Pause, Reset, Close); the position stays where it is.
  virtual void Halt() = 0;
  // Brings the played count and the dones up to now.
  virtual void Sync() {}
  virtual AudioResult Enter(DeviceCall) { return AudioResult::Ok; }
  virtual AudioResult Leave(DeviceCall, AudioResult result) { return result; }

  // ---- for the backend, with the lock held
  // The output went away while playing: it stops where it was; posted once, if a write is
  // pending.
  void MarkLost(AudioResult reason);
  bool IsOpen() const { return open_; }
  bool Paused() const { return paused_; }
  bool Lost() const { return lost_; }
  const WaveFormat& Format() const { return format_; }
  OutputWriteQueue& Queue() { return queue_; }
  const OutputWriteQueue& Queue() const { return queue_; }
  // What Position reports: bytes played since the first write after Open or Reset. It only
  // grows, and never past the bytes written.
  uint64_t PlayedBytes() const { return played_; }
  void SetPlayed(uint64_t played);

 private:
  DeviceLock& lock_;
  OutputWriteQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  bool open_ = false;
  bool paused_ = false;
  bool lost_ = false;
  uint64_t played_ = 0;
};

}  // namespace tonamira

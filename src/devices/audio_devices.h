#pragma once
// The audio devices the window plays and records through: an output device, an input
// device and the factory that makes them. The window receives the factory by injection;
// the program passes the sound server's backend (pulse_devices.h), tests the simulated one
// (sim_audio.h).
//
// Every call returns an AudioResult (0 = success) and has no effect when it fails. A call on
// a device that is not open gives InvalidHandle. Notifications (device_notification.h) go
// to the poster given to Open and are delivered later on the window's thread.
//
// Destroying an open device closes it without posting anything.

#include <cstdint>
#include <memory>
#include <span>

#include "devices/audio_result.h"
#include "devices/device_notification.h"
#include "devices/wave_header.h"
#include "sound/wave_format.h"

namespace tonamira {

// Every byte an input takes in, in order and once, as it comes in fragments of at most
// kTapFragmentMs: for a view that follows the input more closely than the window's chunks do.
// It sees the same sound the buffers get, and changes nothing of what they get.
//
// Started runs in Start, on the caller's thread; Tapped on the device's own thread (the
// sound server's for the real devices) with the device's lock held: it must return quickly,
// never block and never call the device.
class InputTap {
 public:
  virtual ~InputTap() = default;
  // A new stream begins in format (every Start that starts one).
  virtual void Started(const WaveFormat& format) = 0;
  // The next bytes of the stream: whole sample frames.
  virtual void Tapped(std::span<const uint8_t> bytes) = 0;
};

inline constexpr int kTapFragmentMs = 20;

class InputDevice {
 public:
  explicit InputDevice(DeviceId id) : id_(id) {}
  virtual ~InputDevice() = default;
  InputDevice(const InputDevice&) = delete;
  InputDevice& operator=(const InputDevice&) = delete;

  DeviceId Id() const { return id_; }

  // Opens the default input for recording in format (see CheckDeviceFormat); notifications
  // go to poster, which must outlive the device. Not yet recording: see Start.
  virtual AudioResult Open(const WaveFormat& format, NotificationPoster& poster) = 0;
  virtual AudioResult Prepare(WaveHeader& header) = 0;
  // Refused (StillPlaying) while the device holds the header.
  virtual AudioResult Unprepare(WaveHeader& header) = 0;
  // Queues a prepared buffer of at least one sample frame. Buffers are filled in the order
  // they were added, in whole sample frames; each filled buffer is handed back with an
  // InputData notification.
  virtual AudioResult AddBuffer(WaveHeader& header) = 0;
  // Starts recording. Sound that arrives while no buffer is queued is kept (kInputKeepMs,
  // device_base.h) for the buffers added next; an input that must keep more stops as lost
  // (Overrun).
  virtual AudioResult Start() = 0;
  // Stops recording and hands every queued buffer back at once, oldest first, each with
  // its own InputData (bytesRecorded = what it got before the reset, often 0).
  virtual AudioResult Reset() = 0;
  // Refused (StillPlaying) while buffers are queued.
  virtual AudioResult Close() = 0;
  // Where the input's sound is tapped from the next Start on (nullptr: nowhere); the tap
  // must outlive the device. A device that records nothing never calls it.
  virtual void SetTap(InputTap* tap) { (void)tap; }

 private:
  DeviceId id_;
};

class OutputDevice {
 public:
  explicit OutputDevice(DeviceId id) : id_(id) {}
  virtual ~OutputDevice() = default;
  OutputDevice(const OutputDevice&) = delete;
  OutputDevice& operator=(const OutputDevice&) = delete;

  DeviceId Id() const { return id_; }

  // Opens the default output for playing format; notifications go to poster, which must
  // outlive the device.
  virtual AudioResult Open(const WaveFormat& format, NotificationPoster& poster) = 0;
  virtual AudioResult Prepare(WaveHeader& header) = 0;
  // Refused (StillPlaying) while the device holds the header.
  virtual AudioResult Unprepare(WaveHeader& header) = 0;
  // Plays a prepared buffer. Playback starts at once (unless paused) and continues with
  // the next write, if any; exactly one OutputDone follows each accepted write, once its
  // last sample has been played, or when Reset hands it back. A trailing part of a sample
  // frame is not played; the write counts as played when its whole frames are.
  virtual AudioResult Write(WaveHeader& header) = 0;
  // Bytes played since the first write after Open or Reset: what has reached the listener,
  // not what has been handed to the system. Never more than the bytes written; after the
  // last write is done it equals their sum.
  virtual AudioResult Position(uint32_t& playedBytes) = 0;
  // Holds playback where it is; the position stops advancing.
  virtual AudioResult Pause() = 0;
  // Stops playback, hands back every pending write (each with its OutputDone) and sets the
  // position to 0. Also ends a pause.
  virtual AudioResult Reset() = 0;
  // Refused (StillPlaying) while writes are pending.
  virtual AudioResult Close() = 0;

 private:
  DeviceId id_;
};

// Makes device objects for the default input and output; they open nothing until Open.
class AudioDevices {
 public:
  virtual ~AudioDevices() = default;
  virtual std::unique_ptr<InputDevice> CreateInput() = 0;
  virtual std::unique_ptr<OutputDevice> CreateOutput() = 0;
};

// The formats the devices take: PCM, 8 or 16 bits, 1 to 8 channels, 1000 to 192000 Hz, and
// a block alignment of channels * bits / 8. Anything else, including every format whose
// sample frame size is 0, is BadFormat.
AudioResult CheckDeviceFormat(const WaveFormat& format);

}  // namespace tonamira

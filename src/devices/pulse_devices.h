#pragma once
// The audio devices over the sound server's own asynchronous client library (libpulse): the
// system's default output and input, on PulseAudio or on PipeWire's PulseAudio service.
//
// No device call waits for the server. A stream is requested and its answer comes later on
// the library's thread, where the device feeds or reads it, follows its position and posts
// the notifications; the window's thread only ever takes the connection's lock, which the
// library's thread holds just while a callback runs. So:
//   - a start (Start, the first Write) returns at once; a stream that is refused, or that the
//     server has not made ready within startTimeoutMs (a stopped or stalled server), is
//     reported as the device lost, with the reason (NoDriver when nothing answered);
//   - a stream that stops moving (the server stalled mid-stream) is lost after stallMs, one
//     the server drops or a server that dies is lost at once;
//   - the input reads the server's sound continuously, whatever the window is doing, and
//     keeps it for the buffers the window hands back (device_base.h);
//   - destroying the factory closes the connection and joins the library's thread without
//     waiting for the server.
//
// The devices must be destroyed before the factory that made them.

#include <memory>

#include "devices/audio_devices.h"

namespace tonamira {

struct PulseOptions {
  int pollMs = 10;             // how often a running device follows its stream
  int outputAheadMs = 100;     // sound handed to the server ahead of what is heard
  int outputTailMs = 30;       // heard past a write's end before its done: covers the
                               // uncertainty of the position, so that a reset right after
                               // the done never cuts the write's last samples
  int inputFragmentMs = 20;    // the server's input fragment: the longest a recorded sample
                               // waits before the device has it
  int startTimeoutMs = 2000;   // a stream not ready this long after its start is lost
  int stallMs = 1500;          // a ready stream that makes no progress this long is lost
};

class PulseConnection;

class PulseAudioDevices final : public AudioDevices {
 public:
  explicit PulseAudioDevices(PulseOptions options = {});
  ~PulseAudioDevices() override;
  std::unique_ptr<InputDevice> CreateInput() override;
  std::unique_ptr<OutputDevice> CreateOutput() override;

 private:
  PulseOptions options_;
  std::unique_ptr<PulseConnection> connection_;
  DeviceId nextId_ = 0;
};

}  // namespace tonamira

#pragma once
// The audio devices over Qt Multimedia (QAudioSink, QAudioSource) on the system's default
// output and input, for the window's thread and its event loop.
//
// What this backend absorbs of Qt 6.4's PulseAudio layer, so that the window can rely on
// the contract of audio_devices.h:
//   - No device, or no sound server: Qt raises no signal at all. Open and the start of a
//     stream check the device list, what start() returns and error(), and fail with
//     BadDevice or NoDriver.
//   - A stream the sound server drops (its sink or source removed, the stream killed) is
//     only warned about: Qt stays "active". The devices watch the stream themselves (a
//     stream that can no longer be written, a position or an input that stops advancing
//     while active) and report the device lost. A server that goes away altogether is
//     seen through Qt's own stopped state.
//   - Running out of data looks the same as the end of the sound, and stop() throws away
//     what has not been heard yet. The output counts the bytes it hands over itself, feeds
//     silence after the last write until it has been heard, and posts OutputDone only when
//     the played position has passed the write's last sample.
//   - Qt's position is what has been heard; Position reports it in bytes.
//   - Qt lists no monitor sources: the input is whatever the default source is (the test
//     server makes a recordable copy of its sink's monitor).
//   - A write that meets a stream the server has just dropped leaves Qt's lock held for
//     good, and the next wait on the server (a new stream, Qt's reconnection after the
//     server died) hangs. A dropped stream reports no room, so the devices write only right
//     after asking for room, and in batches, which leaves the server only microseconds, a
//     few times a second, to drop the stream in between; that chance cannot be closed from
//     outside Qt.
//   - Qt shrinks its buffer from one stream to the next unless asked afresh; stopping a
//     stream destroys the device Qt handed out; destroying a sink runs the event loop. The
//     devices set the buffer size for every stream, hold Qt's stream device through a
//     guard, and let Qt's objects go through deleteLater, so no notification is ever
//     delivered inside a device call.
//
// Destroyed objects are released by the event loop (deleteLater); a program or test that
// ends without returning to its event loop should send the posted deferred deletes.

#include <memory>

#include "devices/audio_devices.h"

namespace tonamira {

// Call once before the program returns from main, after the last device is closed: releases
// the Qt objects the devices handed to deleteLater and lets the sound server's last replies
// arrive (for ms milliseconds of the event loop). Qt 6.4 disconnects from the server at exit
// without holding the lock its network thread runs under; a reply that arrives just then
// aborts the program.
void SettleAudioBeforeExit(int ms = 250);

struct QtAudioOptions {
  int pollMs = 10;             // how often a running device feeds, reads and watches
  int outputAheadMs = 200;     // sound handed to the sound server ahead of what is heard
  int outputTailMs = 30;       // heard past a write's end before its done: covers the
                               // uncertainty of the position, so a reset right after the
                               // done never cuts the write's last samples
  int inputFragmentMs = 20;    // the server's input fragment: the longest a recorded sample
                               // waits before it is read
  int stallMs = 1500;          // a running device that makes no progress this long is lost
  int firstSoundMs = 4000;     // ... and this long before its first sound after a start
};

class QtAudioDevices final : public AudioDevices {
 public:
  explicit QtAudioDevices(QtAudioOptions options = {}) : options_(options) {}
  std::unique_ptr<InputDevice> CreateInput() override;
  std::unique_ptr<OutputDevice> CreateOutput() override;

 private:
  QtAudioOptions options_;
  DeviceId nextId_ = 0;
};

}  // namespace tonamira

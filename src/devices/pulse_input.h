#pragma once
// The input device over libpulse (pulse_devices.h): a record stream on the default source
// whose fragments are read on the library's thread as they come, into the queued buffers or,
// while none is queued, into what the device keeps for them (device_base.h).

#include "devices/device_base.h"
#include "devices/pulse_stream.h"

namespace tonamira {

class PulseInputDevice final : public InputDeviceBase {
 public:
  PulseInputDevice(DeviceId id, PulseConnection& connection, const PulseOptions& options);
  ~PulseInputDevice() override;

 private:
  AudioResult BeginStream() override;
  void EndStream() override { stream_.End(); }
  void Sync() override { Read(); }

  bool Connect(pa_stream* s);
  static void OnRead(pa_stream* s, size_t, void* self);
  // Takes in every fragment the server has delivered.
  void Read();

  PulseConnection& connection_;
  PulseOptions options_;
  PulseStream stream_;
};

}  // namespace tonamira

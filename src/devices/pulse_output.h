#pragma once
// The output device over libpulse (pulse_devices.h): a playback stream on the default sink,
// fed on the library's thread from the writes (then silence, until the last write has been
// heard), its position taken from what the server has played.
//
// A write made after every earlier one is done starts a stream of its own; one made while
// the stream still plays follows what it plays, and the position counts any silence between
// them as played.

#include <cstdint>
#include <vector>

#include "devices/device_base.h"
#include "devices/pulse_stream.h"

namespace tonamira {

class PulseOutputDevice final : public OutputDeviceBase {
 public:
  PulseOutputDevice(DeviceId id, PulseConnection& connection, const PulseOptions& options);
  ~PulseOutputDevice() override;

 private:
  void BeforeWrite(bool fresh) override;
  void AfterWrite(bool fresh) override;
  void Halt() override { stream_.End(); }
  void Sync() override { Follow(); }

  bool Connect(pa_stream* s);
  static void OnWrite(pa_stream* s, size_t bytes, void* self);
  // Hands the server up to `bytes` more: the writes' data, then silence while a write is
  // pending.
  void Feed(size_t bytes);
  // Brings the played count and the dones up to date from the server's position.
  void Follow();

  PulseConnection& connection_;
  PulseOptions options_;
  PulseStream stream_;
  std::vector<uint8_t> scratch_;
  uint64_t base_ = 0;    // the stream offset at which the server's stream began
  uint64_t fed_ = 0;     // the stream offset handed to the server so far
  uint64_t heard_ = 0;   // the stream offset heard, by the server's position
};

}  // namespace tonamira

#include "devices/pulse_input.h"

#include <vector>

namespace tonamira {

PulseInputDevice::PulseInputDevice(DeviceId id, PulseConnection& connection,
                                   const PulseOptions& options)
    : InputDeviceBase(id, connection),
      connection_(connection),
      options_(options),
      stream_(connection, options,
              {[this](pa_stream* s) { return Connect(s); },
               [] {},
               [this] { Read(); },
               [this](AudioResult reason) { MarkLost(reason); }}) {}

PulseInputDevice::~PulseInputDevice() {
  connection_.Lock();
  stream_.End();
  connection_.Unlock();
}

AudioResult PulseInputDevice::BeginStream() {
  stream_.Begin(Format());
  return AudioResult::Ok;
}

bool PulseInputDevice::Connect(pa_stream* s) {
  pa_stream_set_read_callback(s, &PulseInputDevice::OnRead, this);
  // The server hands over a fragment at a time: the fragment is what a sample waits at most
  // before the device has it. The rest of the attributes are the server's.
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(static_cast<uint64_t>(Format().nSamplesPerSec) *
                                        static_cast<uint64_t>(options_.inputFragmentMs) / 1000u *
                                        Format().nBlockAlign);
  return pa_stream_connect_record(s, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) >= 0;
}

void PulseInputDevice::OnRead(pa_stream*, size_t, void* self) {
  static_cast<PulseInputDevice*>(self)->Read();
}

void PulseInputDevice::Read() {
  pa_stream* s = stream_.Get();
  if (s == nullptr) return;
  std::vector<uint8_t> silence;
  while (Taking() && pa_stream_readable_size(s) > 0) {
    const void* data = nullptr;
    size_t n = 0;
    if (pa_stream_peek(s, &data, &n) < 0 || n == 0) break;
    if (data != nullptr) {
      TakeIn(static_cast<const uint8_t*>(data), n);
    } else {
      // A hole: the server lost this much of the input itself; silence keeps the time.
      silence.assign(n, Format().wBitsPerSample == 8 ? 0x80 : 0);
      TakeIn(silence.data(), n);
    }
    pa_stream_drop(s);
    stream_.Progress();
  }
  // An input that could keep no more has stopped taking sound in: its stream goes.
  if (!Taking()) stream_.End();
}

}  // namespace tonamira

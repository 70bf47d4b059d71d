#include "devices/pulse_output.h"

#include <algorithm>
#include <cstring>

namespace tonamira {

namespace {

constexpr uint64_t kMicrosPerSecond = 1'000'000;

uint64_t BytesOfMs(const WaveFormat& format, int ms) {
  return static_cast<uint64_t>(format.nSamplesPerSec) * static_cast<uint64_t>(ms) / 1000u *
         format.nBlockAlign;
}

}  // namespace

PulseOutputDevice::PulseOutputDevice(DeviceId id, PulseConnection& connection,
                                     const PulseOptions& options)
    : OutputDeviceBase(id, connection),
      connection_(connection),
      options_(options),
      stream_(connection, options,
              {[this](pa_stream* s) { return Connect(s); },
               [] {},
               [this] { Follow(); },
               [this](AudioResult reason) { MarkLost(reason); }}) {}

PulseOutputDevice::~PulseOutputDevice() {
  connection_.Lock();
  stream_.End();
  connection_.Unlock();
}

void PulseOutputDevice::BeforeWrite(bool fresh) {
  // A write that comes after the stream has run into silence follows that silence.
  if (!fresh) Queue().SkipTo(fed_);
}

void PulseOutputDevice::AfterWrite(bool fresh) {
  if (fresh) {
    // The old stream has nothing left to play but silence: the write gets one of its own.
    stream_.End();
    base_ = fed_ = heard_ = Queue().FirstPendingStart();
  }
  if (Paused()) return;
  if (!stream_.Requested()) stream_.Begin(Format());
}

bool PulseOutputDevice::Connect(pa_stream* s) {
  pa_stream_set_write_callback(s, &PulseOutputDevice::OnWrite, this);
  // The server holds outputAheadMs ahead of what is heard and asks for more as it plays; the
  // rest of the attributes are the server's. The position comes from the server's timing,
  // brought up to date by the library and interpolated in between.
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(BytesOfMs(Format(), options_.outputAheadMs));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  return pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) >= 0;
}

void PulseOutputDevice::OnWrite(pa_stream*, size_t bytes, void* self) {
  static_cast<PulseOutputDevice*>(self)->Feed(bytes);
}

void PulseOutputDevice::Feed(size_t bytes) {
  pa_stream* s = stream_.Get();
  if (s == nullptr || Lost() || Queue().Empty()) return;
  // The data of the writes, then silence until the last write has been heard, so that the
  // end of the data is never taken for, or cut like, the end of the stream.
  const size_t align = Format().nBlockAlign;
  bytes -= bytes % align;
  scratch_.resize(bytes);
  const size_t n = Queue().Read(fed_, scratch_.data(), bytes);
  if (n < bytes) std::memset(scratch_.data() + n, Format().wBitsPerSample == 8 ? 0x80 : 0, bytes - n);
  if (bytes == 0) return;
  if (pa_stream_write(s, scratch_.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
    MarkLost(connection_.StreamFailure());
    stream_.End();
    return;
  }
  fed_ += bytes;
}

void PulseOutputDevice::Follow() {
  pa_stream* s = stream_.Get();
  if (s == nullptr || Lost()) return;
  pa_usec_t usecs = 0;
  if (pa_stream_get_time(s, &usecs) < 0) return;   // no timing from the server yet
  const uint64_t frames = usecs * Format().nSamplesPerSec / kMicrosPerSecond;
  // Interpolated between the server's reports, the time may run ahead of what was fed.
  const uint64_t heard = std::min(base_ + frames * Format().nBlockAlign, fed_);
  if (heard > heard_) {
    heard_ = heard;
    stream_.Progress();
  }
  SetPlayed(Queue().Played(std::min(heard_, Queue().PlayableEnd())));
  const uint64_t tail = BytesOfMs(Format(), options_.outputTailMs);
  if (heard_ >= tail) Queue().CompleteUpTo(heard_ - tail);
  // Once every write is done there is nothing left to play or watch.
  if (Queue().Empty()) stream_.End();
}

}  // namespace tonamira

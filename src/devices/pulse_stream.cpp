#include "devices/pulse_stream.h"

#include <utility>

#include "devices/monotonic_clock.h"

namespace tonamira {

PulseStream::PulseStream(PulseConnection& connection, const PulseOptions& options, Events events)
    : connection_(connection), options_(options), events_(std::move(events)) {}

PulseStream::~PulseStream() {
  // The library's thread may be about to run the timer: it goes under the lock.
  connection_.Lock();
  End();
  connection_.FreeTimer(timer_);
  connection_.Unlock();
}

void PulseStream::Begin(const WaveFormat& format) {
  End();
  format_ = format;
  requested_ = true;
  deadlineMs_ = MonotonicMs() + options_.startTimeoutMs;
  const pa_usec_t interval = static_cast<pa_usec_t>(options_.pollMs) * PA_USEC_PER_MSEC;
  if (timer_ == nullptr) timer_ = connection_.NewTimer(interval, &PulseStream::OnTimer, this);
  else connection_.RestartTimer(timer_, interval);
  if (timer_ == nullptr) {
    Fail(AudioResult::NoDriver);   // the library's thread did not start
    return;
  }
  Make();
}

void PulseStream::End() {
  requested_ = false;
  ready_ = false;
  if (stream_ == nullptr) return;
  // The callbacks go first: after this, nothing of the stream reaches the device.
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream* stream = std::exchange(stream_, nullptr);
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_CREATING:
      // The server has not answered the request yet (it may be stopped): the stream is
      // ended once it does, or goes with the connection.
      pa_stream_set_state_callback(stream, &PulseStream::OnOrphanState, nullptr);
      return;
    case PA_STREAM_READY:
      pa_stream_disconnect(stream);   // only sends the request: nothing waits for the answer
      break;
    default: break;
  }
  pa_stream_unref(stream);
}

void PulseStream::OnOrphanState(pa_stream* s, void*) {
  switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY: pa_stream_disconnect(s); return;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      pa_stream_set_state_callback(s, nullptr, nullptr);
      pa_stream_unref(s);
      return;
    default: return;
  }
}

void PulseStream::Progress() { watch_.Progress(MonotonicMs()); }

void PulseStream::Make() {
  if (!requested_ || stream_ != nullptr) return;
  switch (connection_.Connect()) {
    case PulseConnection::State::Connecting: return;   // the poll tries again
    case PulseConnection::State::Failed: Fail(connection_.ContextFailure()); return;
    case PulseConnection::State::Ready: break;
  }
  pa_sample_spec sample{};
  sample.format = format_.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  sample.rate = format_.nSamplesPerSec;
  sample.channels = static_cast<uint8_t>(format_.nChannels);
  pa_channel_map map{};
  pa_channel_map_init_extend(&map, sample.channels, PA_CHANNEL_MAP_DEFAULT);
  stream_ = pa_stream_new(connection_.Context(), "tonamira", &sample, &map);
  if (stream_ == nullptr) {
    Fail(connection_.StreamFailure());
    return;
  }
  pa_stream_set_state_callback(stream_, &PulseStream::OnState, this);
  if (!events_.connect(stream_)) Fail(connection_.StreamFailure());
}

void PulseStream::OnState(pa_stream* s, void* self) {
  auto* stream = static_cast<PulseStream*>(self);
  switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
      stream->ready_ = true;
      stream->watch_.Start(MonotonicMs());
      stream->events_.ready();
      return;
    case PA_STREAM_FAILED: stream->Fail(stream->connection_.StreamFailure()); return;
    case PA_STREAM_TERMINATED: stream->Fail(AudioResult::DeviceLost); return;
    default: return;
  }
}

void PulseStream::OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  static_cast<PulseStream*>(self)->Poll();
}

void PulseStream::Poll() {
  if (!requested_) return;   // the timer stops
  const int64_t now = MonotonicMs();
  connection_.RestartTimer(timer_, static_cast<pa_usec_t>(options_.pollMs) * PA_USEC_PER_MSEC);
  if (!ready_) {
    // Waiting for the connection or for the server's answer: both have the same deadline.
    if (now > deadlineMs_) {
      Fail(AudioResult::NoDriver);
      return;
    }
    Make();
    return;
  }
  watch_.Poll(now);
  events_.poll();
  if (requested_ && watch_.Stalled(now, options_.stallMs, options_.stallMs))
    Fail(AudioResult::DeviceLost);
}

void PulseStream::Fail(AudioResult reason) {
  End();
  events_.lost(reason);
}

}  // namespace tonamira

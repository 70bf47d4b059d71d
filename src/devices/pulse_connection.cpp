#include "devices/pulse_connection.h"

#include <sys/time.h>

namespace tonamira {

namespace {

// The moment usec from now, in the wall-clock form the main loop takes (it turns it into
// its monotonic clock when the timer is set, so a later change of the wall clock does not
// move the timer).
timeval FromNow(pa_usec_t usec) {
  timeval tv{};
  pa_gettimeofday(&tv);
  pa_timeval_add(&tv, usec);
  return tv;
}

}  // namespace

PulseConnection::PulseConnection(const std::string& clientName) : name_(clientName) {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) return;
  pa_threaded_mainloop_set_name(loop_, "tonamira-sound");
  if (pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }
}

PulseConnection::~PulseConnection() {
  if (loop_ == nullptr) return;
  Lock();
  if (context_ != nullptr) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    // Closes the socket at once: nothing is waited for, whatever the server does.
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
  Unlock();
  // Wakes the loop's thread from its poll and joins it.
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

void PulseConnection::Lock() {
  if (loop_ != nullptr) pa_threaded_mainloop_lock(loop_);
}

void PulseConnection::Unlock() {
  if (loop_ != nullptr) pa_threaded_mainloop_unlock(loop_);
}

PulseConnection::State PulseConnection::Connect() {
  if (loop_ == nullptr) return State::Failed;
  if (context_ != nullptr) {
    switch (pa_context_get_state(context_)) {
      case PA_CONTEXT_READY: return State::Ready;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED: break;   // connect afresh below
      default: return State::Connecting;
    }
    // Streams of the old context keep it alive as long as they need it.
    pa_context_unref(context_);
    context_ = nullptr;
  }
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), name_.c_str());
  if (context_ == nullptr) return State::Failed;
  // The server to use comes from the environment and the client configuration; a client of
  // this program never starts a server of its own.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return State::Failed;
  return pa_context_get_state(context_) == PA_CONTEXT_READY ? State::Ready : State::Connecting;
}

AudioResult PulseConnection::ContextFailure() const {
  // Whatever kept the connection from being made, there is no server to play or record.
  return AudioResult::NoDriver;
}

AudioResult PulseConnection::StreamFailure() const {
  if (context_ == nullptr) return AudioResult::NoDriver;
  switch (pa_context_errno(context_)) {
    case PA_ERR_NOENTITY: return AudioResult::BadDevice;      // no such sink or source
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_INVALID: return AudioResult::BadFormat;       // the stream was refused
    case PA_ERR_KILLED:
    case PA_ERR_CONNECTIONTERMINATED: return AudioResult::DeviceLost;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_TIMEOUT: return AudioResult::NoDriver;
    default: return AudioResult::Error;
  }
}

pa_time_event* PulseConnection::NewTimer(pa_usec_t usec, pa_time_event_cb_t cb, void* userdata) {
  if (loop_ == nullptr) return nullptr;
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  const timeval tv = FromNow(usec);
  return api->time_new(api, &tv, cb, userdata);
}

void PulseConnection::RestartTimer(pa_time_event* timer, pa_usec_t usec) {
  if (loop_ == nullptr || timer == nullptr) return;
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  const timeval tv = FromNow(usec);
  api->time_restart(timer, &tv);
}

void PulseConnection::FreeTimer(pa_time_event* timer) {
  if (loop_ == nullptr || timer == nullptr) return;
  pa_threaded_mainloop_get_api(loop_)->time_free(timer);
}

}  // namespace tonamira

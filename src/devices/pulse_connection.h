#pragma once
// One connection to the sound server for the devices of one factory: a libpulse threaded main
// loop (the thread on which every stream callback runs) and the context of the connection.
//
// Nothing here waits for the server. Connecting, and every stream request after it, is sent
// and answered later on the main loop's thread; the devices judge the answers (or their
// absence) against deadlines of their own. So a server that is stopped, stalled or gone can
// never block the caller, and tearing the connection down never waits for it either.
//
// The connection is the devices' lock: every public device call and every callback runs
// holding it (the main loop's own lock, which is recursive and held by its thread only while
// a callback runs).

#include <pulse/pulseaudio.h>

#include <string>

#include "devices/audio_result.h"
#include "devices/device_base.h"

namespace tonamira {

class PulseConnection final : public DeviceLock {
 public:
  explicit PulseConnection(const std::string& clientName);
  ~PulseConnection() override;   // the devices made on it must be gone
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  void Lock() override;
  void Unlock() override;

  // ---- with the lock held
  enum class State { Connecting, Ready, Failed };
  // The state of the connection, which starts connecting afresh when there is none yet or
  // the last one failed (the server may be back).
  State Connect();
  // The context to make a stream on while Connect() gives Ready.
  pa_context* Context() const { return context_; }
  // Why the connection failed (for a Failed state) or why a stream of it failed.
  AudioResult ContextFailure() const;
  AudioResult StreamFailure() const;

  // A timer on the main loop that calls cb(userdata) after usec microseconds (nullptr when
  // the loop did not start); Restart sets it again, Free removes it.
  pa_time_event* NewTimer(pa_usec_t usec, pa_time_event_cb_t cb, void* userdata);
  void RestartTimer(pa_time_event* timer, pa_usec_t usec);
  void FreeTimer(pa_time_event* timer);

 private:
  std::string name_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};

}  // namespace tonamira

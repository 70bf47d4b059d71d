#pragma once
// What the input and output streams over libpulse share: the sample format, the stream's
// life from its request to its end (waiting for the connection, the deadline for the server's
// answer, the callbacks cut before the stream goes), the poll timer and the stall watch.
// The input and output devices each hold one and add their direction's reading or feeding.

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>

#include "devices/pulse_connection.h"
#include "devices/pulse_devices.h"
#include "devices/stall_watch.h"
#include "sound/wave_format.h"

namespace tonamira {

class PulseStream {
 public:
  // What the stream reports to its device, on the library's thread with the lock held.
  struct Events {
    std::function<bool(pa_stream*)> connect;   // the stream is made: connect it (false: refused)
    std::function<void()> ready;               // the server has made it ready
    std::function<void()> poll;                // every pollMs while it is ready
    std::function<void(AudioResult)> lost;     // refused, timed out, dropped or stalled
  };

  PulseStream(PulseConnection& connection, const PulseOptions& options, Events events);
  ~PulseStream();
  PulseStream(const PulseStream&) = delete;
  PulseStream& operator=(const PulseStream&) = delete;

  // Requests a stream of format; it is made once the connection is ready and reported ready
  // or lost later. Any stream before is ended first.
  void Begin(const WaveFormat& format);
  // Ends the stream (or its request) without a word from the server.
  void End();
  pa_stream* Get() const { return ready_ ? stream_ : nullptr; }
  bool Requested() const { return requested_; }
  // The device made progress (sound came, the position moved).
  void Progress();

 private:
  static void OnState(pa_stream* s, void* self);
  // The state of a stream ended before the server answered its request.
  static void OnOrphanState(pa_stream* s, void*);
  static void OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
  void Poll();
  void Make();
  void Fail(AudioResult reason);

  PulseConnection& connection_;
  PulseOptions options_;
  Events events_;
  WaveFormat format_;
  pa_stream* stream_ = nullptr;
  pa_time_event* timer_ = nullptr;
  bool requested_ = false;
  bool ready_ = false;
  int64_t deadlineMs_ = 0;
  StallWatch watch_;
};

}  // namespace tonamira

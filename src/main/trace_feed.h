#pragma once
// The input's tap for the pitch trace: the device's thread hands each fragment over here as
// it comes, and the window's thread takes the fragments into the live contour, in order, as
// soon as its event loop runs. Handing over only copies and queues, so the device is never
// held up by the trace.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "analysis/trace_contour.h"
#include "devices/audio_devices.h"

namespace tonamira {

class TraceFeed final : public InputTap {
 public:
  // The fragments are taken in on context's thread, which must outlive every tapped device.
  explicit TraceFeed(QObject* context);

  void Started(const WaveFormat& format) override;
  void Tapped(std::span<const uint8_t> bytes) override;

  // On context's thread: the contour of the stream tapped last, and what runs each time new
  // fragments have gone into it.
  const TraceContour& Contour() const { return contour_; }
  std::function<void()> OnFed;
  // Takes in what has come (also done by the event loop on its own).
  void Drain();

 private:
  struct Piece {
    bool start = false;
    WaveFormat format;            // of a start
    std::vector<uint8_t> bytes;   // of a fragment
  };
  void Queue(Piece piece);

  QPointer<QObject> context_;
  std::mutex mutex_;
  std::deque<Piece> pending_;
  bool posted_ = false;
  TraceContour contour_;
};

}  // namespace tonamira

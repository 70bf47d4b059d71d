#pragma once
// The writes pending at an output device. Since the last reset the writes form one stream
// of bytes; each write is the stretch [start, end) of it. Both backends play through it:
// they read the stream's bytes from it and report how far playback has got, and it hands
// back each write, with OutputDone, once the played count has passed its end.

#include <cstdint>
#include <deque>

#include "devices/device_notification.h"
#include "devices/wave_header.h"

namespace tonamira {

class OutputWriteQueue {
 public:
  explicit OutputWriteQueue(DeviceId device) : device_(device) {}

  void Attach(NotificationPoster* poster, uint16_t blockAlign);

  // Appends a prepared header's buffer to the stream and marks the header held. A write
  // starts on a whole sample frame: after a write that ended inside a frame, the rest of
  // that frame is silence.
  AudioResult Add(WaveHeader& header);
  bool Empty() const { return writes_.empty(); }
  // The next write starts no earlier than offset: the stream has played silence up to it.
  void SkipTo(uint64_t offset) { total_ = offset > total_ ? offset : total_; }
  // Bytes written since the last reset: the end of the stream.
  uint64_t Total() const { return total_; }
  // The bytes that can be played: the stream without a trailing part of a sample frame.
  uint64_t PlayableEnd() const { return total_ - total_ % blockAlign_; }
  // How many bytes count as played when `played` bytes (whole frames) have been played: a
  // trailing part of a frame counts as played with the frames before it.
  uint64_t Played(uint64_t played) const { return played >= PlayableEnd() ? total_ : played; }

  // Where the oldest pending write starts in the stream (Total() when none is pending).
  uint64_t FirstPendingStart() const { return writes_.empty() ? total_ : writes_.front().start; }
  uint64_t FirstPendingEnd() const { return writes_.empty() ? total_ : writes_.front().end; }
  // Copies up to n bytes of the stream from offset `from` into dst; returns how many. Bytes
  // between writes, and before the oldest pending write, read as silence (0); bytes past
  // the end are not copied. A player never reads what it has already played, so everything
  // before the oldest pending write it asks for is the silent rest of a frame.
  size_t Read(uint64_t from, uint8_t* dst, size_t n) const;
  // Hands back, in order, every write whose end is at or before Played(played).
  void CompleteUpTo(uint64_t played);
  // Hands back every pending write, in order, and starts a new stream at offset 0.
  void ReturnAll();
  // Forgets the writes without notifications (the device is being destroyed).
  void Drop();

 private:
  struct Pending {
    WaveHeader* header;
    uint64_t start;
    uint64_t end;
  };
  void HandBack(WaveHeader& header);

  DeviceId device_;
  NotificationPoster* poster_ = nullptr;
  uint16_t blockAlign_ = 1;
  std::deque<Pending> writes_;
  uint64_t total_ = 0;
};

}  // namespace tonamira

#include "devices/output_queue.h"

#include <algorithm>
#include <cstring>

namespace tonamira {

void OutputWriteQueue::Attach(NotificationPoster* poster, uint16_t blockAlign) {
  poster_ = poster;
  blockAlign_ = blockAlign > 0 ? blockAlign : 1;
}

AudioResult OutputWriteQueue::Add(WaveHeader& header) {
  if (const AudioResult r = CheckQueueable(header); r != AudioResult::Ok) return r;
  header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
  total_ += (blockAlign_ - total_ % blockAlign_) % blockAlign_;
  writes_.push_back({&header, total_, total_ + header.bufferLength});
  total_ += header.bufferLength;
  return AudioResult::Ok;
}

size_t OutputWriteQueue::Read(uint64_t from, uint8_t* dst, size_t n) const {
  size_t copied = 0;
  auto w = writes_.begin();
  while (copied < n) {
    const uint64_t at = from + copied;
    while (w != writes_.end() && w->end <= at) ++w;
    if (w == writes_.end()) break;
    if (at < w->start) {
      // The rest of a sample frame after a write that ended inside it.
      const size_t count = static_cast<size_t>(std::min<uint64_t>(w->start - at, n - copied));
      std::memset(dst + copied, 0, count);
      copied += count;
    } else {
      const size_t count = static_cast<size_t>(std::min<uint64_t>(w->end - at, n - copied));
      std::memcpy(dst + copied, w->header->data + (at - w->start), count);
      copied += count;
    }
  }
  return copied;
}

void OutputWriteQueue::CompleteUpTo(uint64_t played) {
  const uint64_t reached = Played(played);
  while (!writes_.empty() && writes_.front().end <= reached) {
    WaveHeader& header = *writes_.front().header;
    writes_.pop_front();
    HandBack(header);
  }
}

void OutputWriteQueue::ReturnAll() {
  while (!writes_.empty()) {
    WaveHeader& header = *writes_.front().header;
    writes_.pop_front();
    HandBack(header);
  }
  total_ = 0;
}

void OutputWriteQueue::Drop() {
  for (const Pending& w : writes_) w.header->flags &= ~kHeaderInQueue;
  writes_.clear();
  total_ = 0;
}

void OutputWriteQueue::HandBack(WaveHeader& header) {
  header.flags = (header.flags & ~kHeaderInQueue) | kHeaderDone;
  if (poster_ == nullptr) return;
  DeviceNotification n;
  n.event = DeviceEvent::OutputDone;
  n.device = device_;
  n.header = &header;
  n.user = header.user;
  poster_->Post(n);
}

}  // namespace tonamira

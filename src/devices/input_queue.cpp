#include "devices/input_queue.h"

#include <algorithm>
#include <cstring>

namespace tonamira {

void InputBufferQueue::Attach(NotificationPoster* poster, uint16_t blockAlign, size_t keepBytes) {
  poster_ = poster;
  blockAlign_ = blockAlign > 0 ? blockAlign : 1;
  kept_.assign(keepBytes, 0);
  keptHead_ = keptSize_ = 0;
}

AudioResult InputBufferQueue::Add(WaveHeader& header) {
  if (const AudioResult r = CheckQueueable(header); r != AudioResult::Ok) return r;
  if (header.data == nullptr || header.bufferLength < blockAlign_) return AudioResult::InvalidParam;
  header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
  header.bytesRecorded = 0;
  queue_.push_back(&header);
  Drain();
  return AudioResult::Ok;
}

bool InputBufferQueue::Take(const uint8_t* bytes, size_t n) {
  // Straight into the buffers while nothing older waits: kept bytes always go first.
  while (n > 0 && keptSize_ == 0) {
    const std::span<uint8_t> room = HeadRoom();
    const size_t whole = n - n % blockAlign_;
    if (room.empty() || whole == 0) break;
    const size_t count = std::min(room.size(), whole);
    std::memcpy(room.data(), bytes, count);
    Commit(count);
    bytes += count;
    n -= count;
  }
  const size_t fits = std::min(n, kept_.size() - keptSize_);
  for (size_t i = 0; i < fits;) {
    const size_t at = (keptHead_ + keptSize_) % kept_.size();
    const size_t count = std::min(fits - i, kept_.size() - at);
    std::memcpy(kept_.data() + at, bytes + i, count);
    keptSize_ += count;
    i += count;
  }
  Drain();
  return fits == n;
}

void InputBufferQueue::Drain() {
  while (keptSize_ > 0) {
    const std::span<uint8_t> room = HeadRoom();
    const size_t whole = keptSize_ - keptSize_ % blockAlign_;
    if (room.empty() || whole == 0) return;
    // The ring's oldest bytes up to its end, then from its start.
    const size_t count = std::min({room.size(), whole, kept_.size() - keptHead_});
    std::memcpy(room.data(), kept_.data() + keptHead_, count);
    keptHead_ = (keptHead_ + count) % kept_.size();
    keptSize_ -= count;
    if (keptSize_ == 0) keptHead_ = 0;
    Commit(count);
  }
}

std::span<uint8_t> InputBufferQueue::HeadRoom() const {
  if (queue_.empty()) return {};
  WaveHeader& head = *queue_.front();
  const uint32_t free = head.bufferLength - head.bytesRecorded;
  return {head.data + head.bytesRecorded, free - free % blockAlign_};
}

void InputBufferQueue::Commit(size_t n) {
  if (queue_.empty() || n == 0) return;
  WaveHeader& head = *queue_.front();
  head.bytesRecorded += static_cast<uint32_t>(n);
  if (head.bufferLength - head.bytesRecorded < blockAlign_) {
    queue_.pop_front();
    HandBack(head);
  }
}

void InputBufferQueue::ReturnAll() {
  while (!queue_.empty()) {
    WaveHeader& head = *queue_.front();
    queue_.pop_front();
    HandBack(head);
  }
}

void InputBufferQueue::Drop() {
  for (WaveHeader* header : queue_) header->flags &= ~kHeaderInQueue;
  queue_.clear();
  DropKept();
}

void InputBufferQueue::HandBack(WaveHeader& header) {
  header.flags = (header.flags & ~kHeaderInQueue) | kHeaderDone;
  if (poster_ == nullptr) return;
  DeviceNotification n;
  n.event = DeviceEvent::InputData;
  n.device = device_;
  n.header = &header;
  n.user = header.user;
  n.bytesRecorded = header.bytesRecorded;
  poster_->Post(n);
}

}  // namespace tonamira

#include "devices/input_queue.h"

namespace tonamira {

void InputBufferQueue::Attach(NotificationPoster* poster, uint16_t blockAlign) {
  poster_ = poster;
  blockAlign_ = blockAlign > 0 ? blockAlign : 1;
}

AudioResult InputBufferQueue::Add(WaveHeader& header) {
  if (const AudioResult r = CheckQueueable(header); r != AudioResult::Ok) return r;
  if (header.data == nullptr || header.bufferLength < blockAlign_) return AudioResult::InvalidParam;
  header.flags = (header.flags | kHeaderInQueue) & ~kHeaderDone;
  header.bytesRecorded = 0;
  queue_.push_back(&header);
  return AudioResult::Ok;
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

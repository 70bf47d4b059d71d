#include "sound/recording_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tonamira {

RecordingBuffer::RecordingBuffer(uint64_t firstRoom, uint64_t limit)
    : firstRoom_(firstRoom), limit_(std::min(limit, kMaxSoundBytes)) {}

RecordingBuffer::Appended RecordingBuffer::Append(std::span<const uint8_t> chunk,
                                                  const AllocationFault& fault) {
  const uint64_t needed = size_ + chunk.size();
  if (needed > limit_) return Appended::Full;
  if (needed > block_.size) {
    // The first stretch of room, then twice the room each time it runs out: a take of any
    // length costs each byte at most one further copy on average.
    const uint64_t room = std::min(limit_, std::max({firstRoom_, 2 * block_.size, needed}));
    ByteBlock grown;
    if (!grown.Allocate(static_cast<size_t>(room), "RecBuffer", fault)) return Appended::NoMemory;
    if (size_ > 0) std::memcpy(grown.data.get(), block_.data.get(), static_cast<size_t>(size_));
    block_ = std::move(grown);
  }
  if (!chunk.empty()) std::memcpy(block_.data.get() + size_, chunk.data(), chunk.size());
  size_ = needed;
  return Appended::Done;
}

ByteBlock RecordingBuffer::Take() {
  ByteBlock taken = std::move(block_);
  block_.Reset();
  size_ = 0;
  return taken;
}

}  // namespace tonamira

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
  if (needed > block_.capacity()) {
    // The first stretch of room, then a stretch of kGrowthBytes at a time.
    const uint64_t step = block_.capacity() == 0 ? firstRoom_ : block_.capacity() + kGrowthBytes;
    const uint64_t room = std::min(limit_, std::max(step, needed));
    if (fault && fault("RecBuffer")) return Appended::NoMemory;
    if (!block_.Grow(static_cast<size_t>(room))) return Appended::NoMemory;
  }
  if (!chunk.empty()) std::memcpy(block_.data() + size_, chunk.data(), chunk.size());
  size_ = needed;
  return Appended::Done;
}

ByteBlock RecordingBuffer::Take() {
  size_ = 0;
  return block_.Release();
}

}  // namespace tonamira

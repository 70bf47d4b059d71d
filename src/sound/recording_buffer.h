#pragma once
// The recording as it grows, chunk after chunk, until it becomes the current sound. It keeps
// every chunk: it starts with room for the first stretch of the take and grows in place, a
// stretch at a time, as the take goes on (growing_block.h: nothing is copied, and memory is
// taken only for the bytes recorded), up to the largest sound the program holds. At that
// limit, or when the memory for more room is not there, it refuses the chunk and keeps
// everything before it, so the caller can stop the take with nothing lost.

#include <cstdint>
#include <span>

#include "common/allocation_fault.h"
#include "sound/byte_block.h"
#include "sound/growing_block.h"

namespace tonamira {

// The largest sound the program holds: its size is a signed 32-bit count of bytes.
inline constexpr uint64_t kMaxSoundBytes = 0x7FFFFFFFu;

class RecordingBuffer {
 public:
  enum class Appended {
    Done,      // the chunk is in the recording
    Full,      // the chunk would take the recording past the limit: not added
    NoMemory,  // no memory for the room it needs: not added
  };

  // The room made at a time once the first stretch is full: about three minutes of 16-bit
  // stereo at 44100 Hz, so a take grows a few dozen times at most on its way to the limit.
  static constexpr uint64_t kGrowthBytes = 32u << 20;

  // firstRoom: bytes to make room for when the first chunk arrives; limit: the most the
  // recording may hold (at most kMaxSoundBytes).
  explicit RecordingBuffer(uint64_t firstRoom = 0, uint64_t limit = kMaxSoundBytes);

  // Adds a chunk at the end. The room is made (or grown) under the name "RecBuffer", so a
  // test can make it fail.
  Appended Append(std::span<const uint8_t> chunk, const AllocationFault& fault = {});

  uint64_t size() const { return size_; }
  uint64_t room() const { return block_.capacity(); }
  const uint8_t* data() const { return block_.data(); }

  // Hands the recorded block over (it may be larger than size()); the buffer is empty after.
  ByteBlock Take();

 private:
  uint64_t firstRoom_;
  uint64_t limit_;
  uint64_t size_ = 0;
  GrowingBlock block_;
};

}  // namespace tonamira

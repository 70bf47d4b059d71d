#pragma once
// A block that grows in place: an anonymous memory mapping that is extended (and moved by the
// system if it must be) without copying or touching what it holds. Only the bytes written
// take memory, so a block that grows to a long recording costs that recording and no more:
// never a second copy while it grows, never a zero-filled stretch ahead of what is written.

#include <cstddef>
#include <cstdint>

#include "sound/byte_block.h"

namespace tonamira {

class GrowingBlock {
 public:
  GrowingBlock() = default;
  ~GrowingBlock();
  GrowingBlock(GrowingBlock&& other) noexcept;
  GrowingBlock& operator=(GrowingBlock&& other) noexcept;
  GrowingBlock(const GrowingBlock&) = delete;
  GrowingBlock& operator=(const GrowingBlock&) = delete;

  // Makes the block at least `bytes` long (in whole pages), keeping what it holds; the block
  // may move. False, with the block as it was, when the memory (or the address space) is not
  // there.
  bool Grow(size_t bytes);

  uint8_t* data() const { return data_; }
  size_t capacity() const { return capacity_; }

  // Hands the mapping over as a block that frees it; this one is empty afterwards.
  ByteBlock Release();

 private:
  uint8_t* data_ = nullptr;
  size_t capacity_ = 0;
};

}  // namespace tonamira

#pragma once
// A raw block of bytes with its size, owned by exactly one field. Empty when data is null.
//
// A block comes from the heap (Allocate, Adopt) or is an anonymous memory mapping handed over
// by whoever grew it (AdoptMapping: a recording grows in place, see growing_block.h); the
// block frees either kind as it came.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

#include "common/allocation_fault.h"

namespace tonamira {

// Frees a block as it was made: delete[] for the heap, munmap for a mapping.
struct BlockRelease {
  size_t mappedBytes = 0;   // 0: from the heap; otherwise the length of the mapping
  void operator()(uint8_t* p) const;
};

using BlockPtr = std::unique_ptr<uint8_t[], BlockRelease>;

struct ByteBlock {
  BlockPtr data;
  size_t size = 0;

  explicit operator bool() const { return data != nullptr; }
  void Reset() {
    data.reset();
    size = 0;
  }
  // Replaces the block by a zero-filled one of `bytes` bytes. Out of memory, real or named by
  // fault, leaves the block empty and gives false.
  bool Allocate(size_t bytes, std::string_view name, const AllocationFault& fault = {}) {
    Reset();
    if (fault && fault(name)) return false;
    data = BlockPtr(new (std::nothrow) uint8_t[bytes]());
    if (!data) return false;
    size = bytes;
    return true;
  }
  // Takes over a heap block of `bytes` bytes.
  static ByteBlock Adopt(std::unique_ptr<uint8_t[]> heap, size_t bytes) {
    ByteBlock b;
    b.data = BlockPtr(heap.release());
    b.size = b.data ? bytes : 0;
    return b;
  }
  // Takes over an anonymous mapping of mappedBytes at p.
  static ByteBlock AdoptMapping(uint8_t* p, size_t mappedBytes) {
    ByteBlock b;
    b.data = BlockPtr(p, BlockRelease{mappedBytes});
    b.size = p != nullptr ? mappedBytes : 0;
    return b;
  }
};

}  // namespace tonamira

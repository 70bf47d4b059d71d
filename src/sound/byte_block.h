#pragma once
// A raw block of bytes with its size, owned by exactly one field. Empty when data is null.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

#include "common/allocation_fault.h"

namespace tonamira {

struct ByteBlock {
  std::unique_ptr<uint8_t[]> data;
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
    data.reset(new (std::nothrow) uint8_t[bytes]());
    if (!data) return false;
    size = bytes;
    return true;
  }
};

}  // namespace tonamira

#pragma once
// The header of a sound buffer handed to an audio device: where the buffer is, how long it
// is, how much a recording filled, the owner's tag and the device's flags. The window owns
// every header (the current sound's PlayHeader among them) and the buffer it points to; a
// device only borrows both while the header is queued. A header stays where it is while a
// device may hold it: its address is its identity.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

#include "common/allocation_fault.h"

namespace tonamira {

inline constexpr uint32_t kHeaderDone = 0x01;      // handed back by the device
inline constexpr uint32_t kHeaderPrepared = 0x02;  // prepared, may be queued
inline constexpr uint32_t kHeaderInQueue = 0x10;   // held by the device

struct WaveHeader {
  uint8_t* data = nullptr;     // the buffer
  uint32_t bufferLength = 0;   // its length in bytes
  uint32_t bytesRecorded = 0;  // input: bytes filled when it was handed back
  uintptr_t user = 0;          // the owner's tag; devices never touch it
  uint32_t flags = 0;          // kHeader* bits, kept by the device
};

// The bytes of one device buffer header.
inline constexpr size_t kPlayHeaderBytes = sizeof(WaveHeader);

// One owned header, allocated like the sound's other blocks (so that running out of memory
// for it can be reported by name) and empty until then.
struct HeaderBlock {
  std::unique_ptr<WaveHeader> header;
  size_t size = 0;   // kPlayHeaderBytes while held, 0 when empty

  explicit operator bool() const { return header != nullptr; }
  WaveHeader* get() const { return header.get(); }
  void Reset() {
    header.reset();
    size = 0;
  }
  // A fresh, zeroed header. Out of memory, real or named by fault, leaves it empty.
  bool Allocate(std::string_view name, const AllocationFault& fault = {}) {
    Reset();
    if (fault && fault(name)) return false;
    header.reset(new (std::nothrow) WaveHeader{});
    if (!header) return false;
    size = kPlayHeaderBytes;
    return true;
  }
};

}  // namespace tonamira

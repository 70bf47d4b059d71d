#pragma once
// The sample bytes of a PCM sound as the precise method reads them: frame after frame,
// forwards. Either a block already in memory, or streamed from a file through a window that
// slides along it, so a long recording is never held whole (reading a large file into one
// fresh block costs more than tracking it).

#include <cstdint>
#include <span>
#include <vector>

#include "sound/riff.h"

namespace tonamira {

class PcmBytes {
 public:
  virtual ~PcmBytes() = default;
  // Bytes of sample data in all.
  virtual uint64_t size() const = 0;
  // count bytes starting at pos (pos + count <= size()), valid until the next call; null when
  // they cannot be read (the file shrank or failed). Positions must not go backwards.
  virtual const uint8_t* At(uint64_t pos, uint64_t count) = 0;
};

class SpanPcmBytes final : public PcmBytes {
 public:
  explicit SpanPcmBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  const uint8_t* At(uint64_t pos, uint64_t count) override;

 private:
  std::span<const uint8_t> bytes_;
};

// size bytes at offset of source, read in blocks of at least `block` bytes.
class StreamedPcmBytes final : public PcmBytes {
 public:
  static constexpr uint64_t kBlock = 1 << 20;
  StreamedPcmBytes(ByteSource& source, uint64_t offset, uint64_t size, uint64_t block = kBlock)
      : source_(source), offset_(offset), size_(size), block_(block) {}
  uint64_t size() const override { return size_; }
  const uint8_t* At(uint64_t pos, uint64_t count) override;

 private:
  ByteSource& source_;
  uint64_t offset_;
  uint64_t size_;
  uint64_t block_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;  // data position of window_[0]
  uint64_t windowBytes_ = 0;  // valid bytes in window_
};

}  // namespace tonamira

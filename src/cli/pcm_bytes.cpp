#include "cli/pcm_bytes.h"

#include <algorithm>
#include <cstring>

namespace tonamira {

const uint8_t* SpanPcmBytes::At(uint64_t pos, uint64_t count) {
  if (pos > bytes_.size() || count > bytes_.size() - pos) return nullptr;
  return bytes_.data() + pos;
}

const uint8_t* StreamedPcmBytes::At(uint64_t pos, uint64_t count) {
  if (pos > size_ || count > size_ - pos || pos < windowStart_) return nullptr;
  if (pos + count <= windowStart_ + windowBytes_) return window_.data() + (pos - windowStart_);
  // Keep what the window still holds from pos on, then fill it up from the source.
  const uint64_t capacity = std::max<uint64_t>(block_, 2 * count);
  if (window_.size() < capacity) window_.resize(capacity);
  uint64_t kept = 0;
  if (pos < windowStart_ + windowBytes_) {
    kept = windowStart_ + windowBytes_ - pos;
    std::memmove(window_.data(), window_.data() + (pos - windowStart_), kept);
  }
  windowStart_ = pos;
  const uint64_t wanted = std::min<uint64_t>(window_.size(), size_ - pos) - kept;
  const uint64_t got = source_.ReadAt(offset_ + pos + kept, window_.data() + kept, wanted);
  windowBytes_ = kept + got;
  if (windowBytes_ < count) return nullptr;
  return window_.data();
}

}  // namespace tonamira

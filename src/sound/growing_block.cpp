#include "sound/growing_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace tonamira {

namespace {

size_t PageSize() {
  const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<size_t>(page) : 4096u;
}

}  // namespace

GrowingBlock::~GrowingBlock() {
  if (data_ != nullptr) munmap(data_, capacity_);
}

GrowingBlock::GrowingBlock(GrowingBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

GrowingBlock& GrowingBlock::operator=(GrowingBlock&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) munmap(data_, capacity_);
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool GrowingBlock::Grow(size_t bytes) {
  if (bytes <= capacity_) return true;
  const size_t page = PageSize();
  if (bytes > SIZE_MAX - page) return false;
  const size_t wanted = (bytes + page - 1) / page * page;
  void* p = data_ == nullptr
                ? mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                : mremap(data_, capacity_, wanted, MREMAP_MAYMOVE);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<uint8_t*>(p);
  capacity_ = wanted;
  return true;
}

ByteBlock GrowingBlock::Release() {
  ByteBlock block = ByteBlock::AdoptMapping(data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
  return block;
}

}  // namespace tonamira

#include "sound/byte_block.h"

#include <sys/mman.h>

namespace tonamira {

void BlockRelease::operator()(uint8_t* p) const {
  if (p == nullptr) return;
  if (mappedBytes > 0) {
    munmap(p, mappedBytes);
  } else {
    delete[] p;
  }
}

}  // namespace tonamira

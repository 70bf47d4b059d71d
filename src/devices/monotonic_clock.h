#pragma once
// Milliseconds of a monotonic clock: what the devices measure their deadlines and stalls in.

#include <chrono>
#include <cstdint>

namespace tonamira {

inline int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace tonamira

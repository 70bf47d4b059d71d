#include "devices/stall_watch.h"

namespace tonamira {

void StallWatch::Start(int64_t nowMs) {
  lastProgress_ = nowMs;
  lastPoll_ = nowMs;
  progressed_ = false;
}

void StallWatch::Progress(int64_t nowMs) {
  lastProgress_ = nowMs;
  progressed_ = true;
}

void StallWatch::Poll(int64_t nowMs) {
  if (nowMs - lastPoll_ > kBusyGapMs) lastProgress_ = nowMs;
  lastPoll_ = nowMs;
}

bool StallWatch::Stalled(int64_t nowMs, int stallMs, int firstMs) const {
  return nowMs - lastProgress_ > (progressed_ ? stallMs : firstMs);
}

}  // namespace tonamira

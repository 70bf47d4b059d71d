#include "devices/wave_header.h"

namespace tonamira {

AudioResult PrepareHeader(WaveHeader& header) {
  if (header.data == nullptr && header.bufferLength > 0) return AudioResult::InvalidParam;
  header.flags |= kHeaderPrepared;
  return AudioResult::Ok;
}

AudioResult UnprepareHeader(WaveHeader& header) {
  if (header.flags & kHeaderInQueue) return AudioResult::StillPlaying;
  header.flags &= ~kHeaderPrepared;
  return AudioResult::Ok;
}

AudioResult CheckQueueable(const WaveHeader& header) {
  if (!(header.flags & kHeaderPrepared)) return AudioResult::Unprepared;
  if (header.flags & kHeaderInQueue) return AudioResult::StillPlaying;
  return AudioResult::Ok;
}

}  // namespace tonamira

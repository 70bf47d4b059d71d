#include "devices/audio_result.h"

namespace tonamira {

std::string AudioErrorText(AudioResult result) {
  switch (result) {
    case AudioResult::Ok: return "The operation completed successfully.";
    case AudioResult::Error: return "The sound device reported an error without naming it.";
    case AudioResult::BadDevice: return "No sound device is available.";
    case AudioResult::Allocated: return "The sound device is already open.";
    case AudioResult::InvalidHandle: return "The sound device is not open.";
    case AudioResult::NoDriver: return "No sound server or driver answers.";
    case AudioResult::NoMemory: return "Not enough memory for the sound device.";
    case AudioResult::InvalidParam: return "An invalid buffer was passed to the sound device.";
    case AudioResult::BadFormat: return "The sound device does not support this sound format.";
    case AudioResult::StillPlaying: return "Buffers are still queued at the sound device.";
    case AudioResult::Unprepared: return "The buffer has not been prepared for the sound device.";
    case AudioResult::DeviceLost:
      return "The sound device was lost: it was removed, or the sound server stopped.";
    case AudioResult::Overrun:
      return "The program was too busy to take in the sound for several seconds.";
  }
  return "Unknown sound device error " + std::to_string(static_cast<uint32_t>(result)) + ".";
}

}  // namespace tonamira

#pragma once
// Result codes of the audio devices. 0 is success; the other values keep the numbering of
// the waveform-audio results they stand for, so a code in a message means the same thing
// whichever backend gave it. DeviceLost and Overrun are this program's own: the device went
// away while it was open (a sound card unplugged, the sound server stopped or dropped the
// stream), or an input took in more sound than it could keep while the program was busy.

#include <cstdint>
#include <string>

namespace tonamira {

enum class AudioResult : uint32_t {
  Ok = 0,
  Error = 1,           // a failure without a more precise code
  BadDevice = 2,       // no device of that kind is present
  Allocated = 4,       // the device object is already open
  InvalidHandle = 5,   // the device object is not open
  NoDriver = 6,        // no sound server or driver answers
  NoMemory = 7,
  InvalidParam = 11,   // a null buffer, a buffer shorter than one sample frame
  BadFormat = 32,      // a format the device cannot play or record
  StillPlaying = 33,   // buffers are still queued at the device
  Unprepared = 34,     // the buffer header has not been prepared
  DeviceLost = 64,     // the device went away while open
  Overrun = 65,        // an input kept all it could while no buffer was queued; it stopped
};

// Texts are at most this many bytes, so that they fit a 128-byte text buffer with its end.
inline constexpr size_t kAudioErrorTextMax = 127;

// The text shown to the user for a result: one short English sentence, at most
// kAudioErrorTextMax bytes. Unknown codes give "Unknown sound device error N."
std::string AudioErrorText(AudioResult result);

}  // namespace tonamira

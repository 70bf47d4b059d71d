#pragma once
// A device buffer header: the window owns it and the buffer it points to; a device only
// borrows both while the header is queued (added to an input device, written to an output
// device) and hands them back with a notification.
//
// Life of a header: Prepare -> (AddBuffer or Write) -> notification -> ... -> Unprepare. A
// header must stay where it is (its address is its identity) and its buffer must stay valid
// from the add or write until its notification has been posted.

#include <cstdint>

#include "devices/audio_result.h"
#include "sound/buffer_header.h"

namespace tonamira {

// The rules both backends apply to headers.
//
// Prepare: a null buffer with a nonzero length is refused (InvalidParam); otherwise the
// header is marked prepared (preparing twice is harmless).
AudioResult PrepareHeader(WaveHeader& header);
// Unprepare: refused while the device holds the header (StillPlaying).
AudioResult UnprepareHeader(WaveHeader& header);
// Whether a header may be queued: prepared (Unprepared), not already held (StillPlaying).
AudioResult CheckQueueable(const WaveHeader& header);

}  // namespace tonamira

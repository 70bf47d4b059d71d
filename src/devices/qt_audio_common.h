#pragma once
// What the Qt input and output devices share: the format in Qt's terms, the device check
// before a stream starts, the failure of a start, and how Qt's objects are released.

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>

#include "devices/audio_result.h"
#include "sound/wave_format.h"

namespace tonamira {

// The PCM format in Qt's terms (8-bit unsigned, 16-bit signed; the byte layout is the
// same as the format record's on a little-endian machine).
QAudioFormat ToQtFormat(const WaveFormat& format);

// Whether the device is still in the system's list. Qt waits without end for a stream on a
// device the sound server no longer has, so a stream is started only on a listed device.
bool StillListed(const QAudioDevice& device);

// The result for a stream that did not start: Qt's error after start(), or BadDevice when
// Qt reports none.
AudioResult StartFailure(QAudio::Error error);

// Releases a Qt audio object through the event loop: destroying a sink runs the event loop,
// which must never happen inside a device call.
struct DeleteLater {
  void operator()(QObject* object) const {
    if (object != nullptr) object->deleteLater();
  }
};

// Milliseconds of a monotonic clock.
int64_t MonotonicMs();

}  // namespace tonamira

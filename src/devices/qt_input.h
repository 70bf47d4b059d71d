#pragma once
// The input device over QAudioSource (see qt_devices.h for what it absorbs of Qt).
//
// Start opens a Qt stream on the default input; a poll timer and Qt's readyRead read what
// has come into the oldest queued buffer, hand full buffers back and watch for a lost
// device. Sound that comes while no buffer is queued is read and dropped, so that what is
// recorded is never older than the input fragment.

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

#include "devices/audio_devices.h"
#include "devices/input_queue.h"
#include "devices/qt_audio_common.h"
#include "devices/qt_devices.h"
#include "devices/stall_watch.h"

namespace tonamira {

class QtInputDevice final : public InputDevice {
 public:
  QtInputDevice(DeviceId id, const QtAudioOptions& options);
  ~QtInputDevice() override;

  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) override;
  AudioResult Prepare(WaveHeader& header) override;
  AudioResult Unprepare(WaveHeader& header) override;
  AudioResult AddBuffer(WaveHeader& header) override;
  AudioResult Start() override;
  AudioResult Reset() override;
  AudioResult Close() override;

 private:
  void StopStream();
  void Poll();
  // Reads what Qt has into the queued buffers; false when the stream is gone.
  bool Pull();
  void MarkLost(AudioResult reason);

  QtAudioOptions options_;
  InputBufferQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  QAudioFormat qtFormat_;
  QAudioDevice device_;
  std::unique_ptr<QAudioSource, DeleteLater> source_;
  QPointer<QIODevice> io_;      // Qt deletes it when the stream stops
  QTimer timer_;
  StallWatch watch_;
  std::vector<uint8_t> staged_;  // read from Qt, not yet in a buffer (less than a frame)
  bool open_ = false;
  bool started_ = false;
  bool lost_ = false;
};

}  // namespace tonamira

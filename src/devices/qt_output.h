#pragma once
// The output device over QAudioSink (see qt_devices.h for what it absorbs of Qt).
//
// One Qt stream plays the writes from the first write after Open or Reset (or after every
// earlier write was done) until Reset, Pause or Close. A poll timer feeds it from the
// writes, then silence once every write has been handed over, follows the position, posts
// the dones and watches for a lost device. A write that comes while the stream is already
// playing that silence follows it, and the position counts the silence as played.

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

#include "devices/audio_devices.h"
#include "devices/output_queue.h"
#include "devices/qt_audio_common.h"
#include "devices/qt_devices.h"
#include "devices/stall_watch.h"

namespace tonamira {

class QtOutputDevice final : public OutputDevice {
 public:
  QtOutputDevice(DeviceId id, const QtAudioOptions& options);
  ~QtOutputDevice() override;

  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) override;
  AudioResult Prepare(WaveHeader& header) override;
  AudioResult Unprepare(WaveHeader& header) override;
  AudioResult Write(WaveHeader& header) override;
  AudioResult Position(uint32_t& playedBytes) override;
  AudioResult Pause() override;
  AudioResult Reset() override;
  AudioResult Close() override;

 private:
  bool Streaming() const { return io_ != nullptr; }
  AudioResult StartStream();
  void StopStream();
  void Poll();
  // Hands the sound server what it has room for; false when the stream can no longer be
  // written.
  bool Feed();
  // Brings the played count and the dones up to date from Qt's position.
  void Follow();
  void MarkLost(AudioResult reason);

  QtAudioOptions options_;
  OutputWriteQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  QAudioFormat qtFormat_;
  QAudioDevice device_;
  std::unique_ptr<QAudioSink, DeleteLater> sink_;
  QPointer<QIODevice> io_;      // Qt deletes it when the stream stops
  QTimer timer_;
  StallWatch watch_;
  std::vector<uint8_t> scratch_;
  bool open_ = false;
  bool paused_ = false;
  bool lost_ = false;
  uint64_t base_ = 0;           // the stream offset at which the Qt stream began
  uint64_t fed_ = 0;            // the stream offset handed over so far
  uint64_t heard_ = 0;          // the stream offset heard, by Qt's position
  uint64_t played_ = 0;         // what Position reports
};

}  // namespace tonamira

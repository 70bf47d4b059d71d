#pragma once
// The simulated input and output devices that SimAudio makes (sim_audio.h).

#include <cstdint>

#include "devices/audio_devices.h"
#include "devices/input_queue.h"
#include "devices/output_queue.h"
#include "devices/sim_audio.h"

namespace tonamira {

// Records from SimAudio's signal at the format's rate from the moment of Start.
class SimInputDevice final : public InputDevice, public SimClocked {
 public:
  SimInputDevice(SimAudio& sim, DeviceId id);
  ~SimInputDevice() override;

  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) override;
  AudioResult Prepare(WaveHeader& header) override;
  AudioResult Unprepare(WaveHeader& header) override;
  AudioResult AddBuffer(WaveHeader& header) override;
  AudioResult Start() override;
  AudioResult Reset() override;
  AudioResult Close() override;

  uint64_t NextEventTime() const override;
  void CatchUp(uint64_t now) override;
  bool IsInput() const override { return true; }
  bool IsOpen() const override { return open_; }
  void Lose(AudioResult reason) override;

 private:
  AudioResult Done(SimOp op, AudioResult result) { return sim_.Record(op, Id(), result); }
  // Sample frames the device has taken in by the moment t since Start.
  uint64_t FramesAt(uint64_t t) const;
  void WriteFrames(uint8_t* dst, uint64_t firstFrame, uint64_t count) const;

  SimAudio& sim_;
  InputBufferQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  bool open_ = false;
  bool started_ = false;
  bool lost_ = false;
  uint64_t startTime_ = 0;   // the moment of Start
  uint64_t frames_ = 0;      // sample frames taken in since Start (recorded or dropped)
};

// Plays at the format's rate from the moment of the first write after Open or Reset.
class SimOutputDevice final : public OutputDevice, public SimClocked {
 public:
  SimOutputDevice(SimAudio& sim, DeviceId id);
  ~SimOutputDevice() override;

  AudioResult Open(const WaveFormat& format, NotificationPoster& poster) override;
  AudioResult Prepare(WaveHeader& header) override;
  AudioResult Unprepare(WaveHeader& header) override;
  AudioResult Write(WaveHeader& header) override;
  AudioResult Position(uint32_t& playedBytes) override;
  AudioResult Pause() override;
  AudioResult Reset() override;
  AudioResult Close() override;

  uint64_t NextEventTime() const override;
  void CatchUp(uint64_t now) override;
  bool IsInput() const override { return false; }
  bool IsOpen() const override { return open_; }
  void Lose(AudioResult reason) override;

 private:
  AudioResult Done(SimOp op, AudioResult result) { return sim_.Record(op, Id(), result); }
  bool Running() const { return open_ && !paused_ && !lost_ && played_ < queue_.Total(); }
  // The stream offset reached by the moment t while running (whole frames).
  uint64_t BytesAt(uint64_t t) const;
  // Restarts the clock of playback at the current moment from what has been played.
  void Anchor();

  SimAudio& sim_;
  OutputWriteQueue queue_;
  NotificationPoster* poster_ = nullptr;
  WaveFormat format_;
  bool open_ = false;
  bool paused_ = false;
  bool lost_ = false;
  uint64_t played_ = 0;        // bytes played since the first write after Open or Reset
  uint64_t anchorTime_ = 0;    // playback runs from this moment ...
  uint64_t anchorBytes_ = 0;   // ... at this stream offset (a whole frame)
};

}  // namespace tonamira

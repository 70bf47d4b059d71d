#pragma once
// The simulated input and output devices that SimAudio makes (sim_audio.h). The rules every
// device follows are the base's (device_base.h); these add the clock: sound comes in, and is
// played, at the format's rate of SimAudio's time.

#include <cstdint>
#include <vector>

#include "devices/device_base.h"
#include "devices/sim_audio.h"

namespace tonamira {

// Records from SimAudio's signal at the format's rate from the moment of Start.
class SimInputDevice final : public InputDeviceBase, public SimClocked {
 public:
  SimInputDevice(SimAudio& sim, DeviceId id);
  ~SimInputDevice() override;

  uint64_t NextEventTime() const override;
  void CatchUp(uint64_t now) override;
  bool IsInput() const override { return true; }
  bool IsOpen() const override { return InputDeviceBase::IsOpen(); }
  void Lose(AudioResult reason) override;

 private:
  AudioResult BeginStream() override;
  void EndStream() override {}
  void Sync() override { CatchUp(sim_.Now()); }
  AudioResult Enter(DeviceCall call) override { return sim_.Injected(call); }
  AudioResult Leave(DeviceCall call, AudioResult result) override {
    return sim_.Record(call, Id(), result);
  }

  // Sample frames the device has taken in by the moment t since Start.
  uint64_t FramesAt(uint64_t t) const;
  void WriteFrames(uint8_t* dst, uint64_t firstFrame, uint64_t count) const;

  SimAudio& sim_;
  uint64_t startTime_ = 0;   // the moment of Start
  uint64_t frames_ = 0;      // sample frames taken in since Start
  std::vector<uint8_t> scratch_;
};

// Plays at the format's rate from the moment of the first write after Open or Reset.
class SimOutputDevice final : public OutputDeviceBase, public SimClocked {
 public:
  SimOutputDevice(SimAudio& sim, DeviceId id);
  ~SimOutputDevice() override;

  uint64_t NextEventTime() const override;
  void CatchUp(uint64_t now) override;
  bool IsInput() const override { return false; }
  bool IsOpen() const override { return OutputDeviceBase::IsOpen(); }
  void Lose(AudioResult reason) override;

 private:
  void BeforeWrite(bool) override {}
  void AfterWrite(bool fresh) override;
  void Halt() override {}
  void Sync() override { CatchUp(sim_.Now()); }
  AudioResult Enter(DeviceCall call) override { return sim_.Injected(call); }
  AudioResult Leave(DeviceCall call, AudioResult result) override {
    return sim_.Record(call, Id(), result);
  }

  bool Running() const {
    return IsOpen() && !Paused() && !Lost() && PlayedBytes() < Queue().Total();
  }
  // The stream offset reached by the moment t while running (whole frames).
  uint64_t BytesAt(uint64_t t) const;
  // Restarts the clock of playback at the current moment from what has been played.
  void Anchor();

  SimAudio& sim_;
  uint64_t anchorTime_ = 0;    // playback runs from this moment ...
  uint64_t anchorBytes_ = 0;   // ... at this stream offset (a whole frame)
};

}  // namespace tonamira

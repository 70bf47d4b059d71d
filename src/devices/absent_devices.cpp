#include "devices/absent_devices.h"

namespace tonamira {
namespace {

class AbsentInput final : public InputDevice {
 public:
  using InputDevice::InputDevice;
  AudioResult Open(const WaveFormat&, NotificationPoster&) override { return AudioResult::BadDevice; }
  AudioResult Prepare(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult Unprepare(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult AddBuffer(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult Start() override { return AudioResult::InvalidHandle; }
  AudioResult Reset() override { return AudioResult::InvalidHandle; }
  AudioResult Close() override { return AudioResult::InvalidHandle; }
};

class AbsentOutput final : public OutputDevice {
 public:
  using OutputDevice::OutputDevice;
  AudioResult Open(const WaveFormat&, NotificationPoster&) override { return AudioResult::BadDevice; }
  AudioResult Prepare(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult Unprepare(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult Write(WaveHeader&) override { return AudioResult::InvalidHandle; }
  AudioResult Position(uint32_t&) override { return AudioResult::InvalidHandle; }
  AudioResult Pause() override { return AudioResult::InvalidHandle; }
  AudioResult Reset() override { return AudioResult::InvalidHandle; }
  AudioResult Close() override { return AudioResult::InvalidHandle; }
};

}  // namespace

std::unique_ptr<InputDevice> AbsentAudioDevices::CreateInput() {
  return std::make_unique<AbsentInput>(++nextId_);
}

std::unique_ptr<OutputDevice> AbsentAudioDevices::CreateOutput() {
  return std::make_unique<AbsentOutput>(++nextId_);
}

}  // namespace tonamira

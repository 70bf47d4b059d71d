#pragma once
// A machine without sound devices: every device opens with BadDevice, and any other call
// finds it not open. A window made without a device factory plays and records through this,
// so pressing "録音" or "再生" says that there is no device instead of doing nothing.

#include <memory>

#include "devices/audio_devices.h"

namespace tonamira {

class AbsentAudioDevices final : public AudioDevices {
 public:
  std::unique_ptr<InputDevice> CreateInput() override;
  std::unique_ptr<OutputDevice> CreateOutput() override;

 private:
  DeviceId nextId_ = 0;
};

}  // namespace tonamira

#include "devices/qt_devices.h"

#include "devices/qt_input.h"
#include "devices/qt_output.h"

namespace tonamira {

std::unique_ptr<InputDevice> QtAudioDevices::CreateInput() {
  return std::make_unique<QtInputDevice>(++nextId_, options_);
}

std::unique_ptr<OutputDevice> QtAudioDevices::CreateOutput() {
  return std::make_unique<QtOutputDevice>(++nextId_, options_);
}

}  // namespace tonamira

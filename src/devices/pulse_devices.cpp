#include "devices/pulse_devices.h"

#include "devices/pulse_connection.h"
#include "devices/pulse_input.h"
#include "devices/pulse_output.h"

namespace tonamira {

PulseAudioDevices::PulseAudioDevices(PulseOptions options)
    : options_(options), connection_(std::make_unique<PulseConnection>("トナミラ")) {}

PulseAudioDevices::~PulseAudioDevices() = default;

std::unique_ptr<InputDevice> PulseAudioDevices::CreateInput() {
  return std::make_unique<PulseInputDevice>(++nextId_, *connection_, options_);
}

std::unique_ptr<OutputDevice> PulseAudioDevices::CreateOutput() {
  return std::make_unique<PulseOutputDevice>(++nextId_, *connection_, options_);
}

}  // namespace tonamira

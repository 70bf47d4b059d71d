#include "devices/sim_audio.h"

#include <algorithm>

#include "devices/sim_devices.h"

namespace tonamira {

SimAudio::SimAudio() = default;
SimAudio::~SimAudio() = default;

std::unique_ptr<InputDevice> SimAudio::CreateInput() {
  return std::make_unique<SimInputDevice>(*this, ++nextId_);
}

std::unique_ptr<OutputDevice> SimAudio::CreateOutput() {
  return std::make_unique<SimOutputDevice>(*this, ++nextId_);
}

void SimAudio::Advance(uint64_t microseconds) {
  const uint64_t target = now_ + microseconds;
  // Step from one notification moment to the next, so that notifications of different
  // devices are posted in the order of their moments. A device may post several at one
  // moment; catching every device up at each step keeps them all in step.
  // A device caught up to a moment has nothing due at or before it; should one claim
  // otherwise, time moves on rather than the loop spinning.
  uint64_t caughtUpTo = kNever;
  for (;;) {
    uint64_t next = kNever;
    for (const SimClocked* d : devices_) next = std::min(next, d->NextEventTime());
    if (next > target || (caughtUpTo != kNever && next <= caughtUpTo)) break;
    now_ = std::max(now_, next);
    for (SimClocked* d : devices_) d->CatchUp(now_);
    caughtUpTo = now_;
  }
  now_ = target;
  for (SimClocked* d : devices_) d->CatchUp(now_);
}

int16_t SimAudio::Sample(uint64_t frame, int channel) const {
  return signal_ ? signal_(frame, channel) : int16_t{0};
}

void SimAudio::FailCall(SimOp op, AudioResult result, int okCallsFirst, bool persistent) {
  faults_[static_cast<size_t>(op)] = {true, result, std::max(okCallsFirst, 0), persistent};
}

void SimAudio::ClearFailures() {
  for (Fault& f : faults_) f = Fault{};
}

AudioResult SimAudio::Injected(SimOp op) {
  Fault& f = faults_[static_cast<size_t>(op)];
  if (!f.armed) return AudioResult::Ok;
  if (f.okCalls > 0) {
    --f.okCalls;
    return AudioResult::Ok;
  }
  const AudioResult result = f.result;
  if (!f.persistent) f = Fault{};
  return result;
}

AudioResult SimAudio::Record(SimOp op, DeviceId device, AudioResult result) {
  calls_.push_back({op, device, result});
  return result;
}

void SimAudio::LoseInput(AudioResult reason) {
  for (SimClocked* d : devices_)
    if (d->IsInput() && d->IsOpen()) d->Lose(reason);
}

void SimAudio::LoseOutput(AudioResult reason) {
  for (SimClocked* d : devices_)
    if (!d->IsInput() && d->IsOpen()) d->Lose(reason);
}

std::vector<SimOp> SimAudio::CallOps() const {
  std::vector<SimOp> ops;
  ops.reserve(calls_.size());
  for (const SimCall& c : calls_) ops.push_back(c.op);
  return ops;
}

int SimAudio::OpenInputs() const {
  return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [](const SimClocked* d) {
    return d->IsInput() && d->IsOpen();
  }));
}

int SimAudio::OpenOutputs() const {
  return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [](const SimClocked* d) {
    return !d->IsInput() && d->IsOpen();
  }));
}

void SimAudio::Register(SimClocked* device) { devices_.push_back(device); }

void SimAudio::Unregister(SimClocked* device) {
  devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
}

}  // namespace tonamira

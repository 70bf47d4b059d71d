// The simulated input device: records SimAudio's signal.

#include "devices/sim_devices.h"

#include <algorithm>

namespace tonamira {

namespace {
constexpr uint64_t kMicrosPerSecond = 1'000'000;
// Sample frames made at a time while catching up.
constexpr uint64_t kPieceFrames = 4096;
}  // namespace

SimInputDevice::SimInputDevice(SimAudio& sim, DeviceId id)
    : InputDeviceBase(id, sim.NoLock()), sim_(sim) {
  sim_.Register(this);
}

SimInputDevice::~SimInputDevice() { sim_.Unregister(this); }

AudioResult SimInputDevice::BeginStream() {
  startTime_ = sim_.Now();
  frames_ = 0;
  return AudioResult::Ok;
}

uint64_t SimInputDevice::FramesAt(uint64_t t) const {
  return (t - startTime_) * Format().nSamplesPerSec / kMicrosPerSecond;
}

uint64_t SimInputDevice::NextEventTime() const {
  // Sound kept while no buffer is queued posts nothing: it waits for the next buffer.
  if (!Taking() || Queue().Empty()) return SimAudio::kNever;
  const uint64_t full = frames_ + Queue().HeadRoom().size() / Format().nBlockAlign;
  // The first moment at which FramesAt reaches `full`.
  const uint64_t rate = Format().nSamplesPerSec;
  return startTime_ + (full * kMicrosPerSecond + rate - 1) / rate;
}

void SimInputDevice::CatchUp(uint64_t now) {
  const uint64_t target = Taking() ? FramesAt(now) : frames_;
  const uint64_t align = Format().nBlockAlign;
  while (Taking() && frames_ < target) {
    const uint64_t count = std::min(kPieceFrames, target - frames_);
    scratch_.resize(static_cast<size_t>(count * align));
    WriteFrames(scratch_.data(), frames_, count);
    frames_ += count;
    TakeIn(scratch_.data(), scratch_.size());
  }
}

void SimInputDevice::WriteFrames(uint8_t* dst, uint64_t firstFrame, uint64_t count) const {
  const int channels = Format().nChannels;
  const bool sixteen = Format().wBitsPerSample == 16;
  for (uint64_t f = 0; f < count; ++f) {
    for (int ch = 0; ch < channels; ++ch) {
      const int16_t v = sim_.Sample(firstFrame + f, ch);
      if (sixteen) {
        const auto u = static_cast<uint16_t>(v);
        *dst++ = static_cast<uint8_t>(u & 0xFF);
        *dst++ = static_cast<uint8_t>(u >> 8);
      } else {
        *dst++ = static_cast<uint8_t>((v >> 8) + 128);
      }
    }
  }
}

void SimInputDevice::Lose(AudioResult reason) {
  CatchUp(sim_.Now());
  MarkLost(reason);
}

}  // namespace tonamira

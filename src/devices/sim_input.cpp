// The simulated input device: records SimAudio's signal.

#include "devices/sim_devices.h"

#include <algorithm>

namespace tonamira {

namespace {
constexpr uint64_t kMicrosPerSecond = 1'000'000;
}

SimInputDevice::SimInputDevice(SimAudio& sim, DeviceId id)
    : InputDevice(id), sim_(sim), queue_(id) {
  sim_.Register(this);
}

SimInputDevice::~SimInputDevice() {
  queue_.Drop();
  sim_.Unregister(this);
}

AudioResult SimInputDevice::Open(const WaveFormat& format, NotificationPoster& poster) {
  if (open_) return Done(SimOp::OpenInput, AudioResult::Allocated);
  if (const AudioResult r = sim_.Injected(SimOp::OpenInput); r != AudioResult::Ok)
    return Done(SimOp::OpenInput, r);
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok)
    return Done(SimOp::OpenInput, r);
  format_ = format;
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign);
  open_ = true;
  started_ = false;
  lost_ = false;
  frames_ = 0;
  return Done(SimOp::OpenInput, AudioResult::Ok);
}

AudioResult SimInputDevice::Prepare(WaveHeader& header) {
  if (!open_) return Done(SimOp::PrepareInput, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::PrepareInput); r != AudioResult::Ok)
    return Done(SimOp::PrepareInput, r);
  return Done(SimOp::PrepareInput, PrepareHeader(header));
}

AudioResult SimInputDevice::Unprepare(WaveHeader& header) {
  if (!open_) return Done(SimOp::UnprepareInput, AudioResult::InvalidHandle);
  return Done(SimOp::UnprepareInput, UnprepareHeader(header));
}

AudioResult SimInputDevice::AddBuffer(WaveHeader& header) {
  if (!open_) return Done(SimOp::AddBuffer, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::AddBuffer); r != AudioResult::Ok)
    return Done(SimOp::AddBuffer, r);
  // Sound that came while no buffer was queued is gone; the new buffer starts now.
  CatchUp(sim_.Now());
  return Done(SimOp::AddBuffer, queue_.Add(header));
}

AudioResult SimInputDevice::Start() {
  if (!open_) return Done(SimOp::Start, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::Start); r != AudioResult::Ok)
    return Done(SimOp::Start, r);
  if (lost_) return Done(SimOp::Start, AudioResult::DeviceLost);
  if (!started_) {
    started_ = true;
    startTime_ = sim_.Now();
    frames_ = 0;
  }
  return Done(SimOp::Start, AudioResult::Ok);
}

AudioResult SimInputDevice::Reset() {
  if (!open_) return Done(SimOp::ResetInput, AudioResult::InvalidHandle);
  CatchUp(sim_.Now());
  started_ = false;
  queue_.ReturnAll();
  return Done(SimOp::ResetInput, AudioResult::Ok);
}

AudioResult SimInputDevice::Close() {
  if (!open_) return Done(SimOp::CloseInput, AudioResult::InvalidHandle);
  CatchUp(sim_.Now());
  if (!queue_.Empty()) return Done(SimOp::CloseInput, AudioResult::StillPlaying);
  open_ = false;
  started_ = false;
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  return Done(SimOp::CloseInput, AudioResult::Ok);
}

uint64_t SimInputDevice::FramesAt(uint64_t t) const {
  return (t - startTime_) * format_.nSamplesPerSec / kMicrosPerSecond;
}

uint64_t SimInputDevice::NextEventTime() const {
  if (!open_ || !started_ || lost_ || queue_.Empty()) return SimAudio::kNever;
  const uint64_t full = frames_ + queue_.HeadRoom().size() / format_.nBlockAlign;
  // The first moment at which FramesAt reaches `full`.
  const uint64_t rate = format_.nSamplesPerSec;
  return startTime_ + (full * kMicrosPerSecond + rate - 1) / rate;
}

void SimInputDevice::CatchUp(uint64_t now) {
  if (!open_ || !started_ || lost_) return;
  const uint64_t target = FramesAt(now);
  while (frames_ < target) {
    const std::span<uint8_t> room = queue_.HeadRoom();
    if (room.empty()) {
      frames_ = target;  // no buffer: the sound is dropped
      break;
    }
    const uint64_t count = std::min<uint64_t>(room.size() / format_.nBlockAlign, target - frames_);
    WriteFrames(room.data(), frames_, count);
    frames_ += count;
    queue_.Commit(static_cast<size_t>(count * format_.nBlockAlign));
  }
}

void SimInputDevice::WriteFrames(uint8_t* dst, uint64_t firstFrame, uint64_t count) const {
  const int channels = format_.nChannels;
  for (uint64_t f = 0; f < count; ++f) {
    for (int ch = 0; ch < channels; ++ch) {
      const int16_t v = sim_.Sample(firstFrame + f, ch);
      if (format_.wBitsPerSample == 16) {
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
  if (lost_) return;
  lost_ = true;
  if (started_ && poster_ != nullptr) {
    DeviceNotification n;
    n.event = DeviceEvent::InputLost;
    n.device = Id();
    n.reason = reason;
    poster_->Post(n);
  }
}

}  // namespace tonamira

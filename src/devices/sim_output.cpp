// The simulated output device: plays writes against SimAudio's clock and logs what it played.

#include "devices/sim_devices.h"

#include <algorithm>
#include <vector>

namespace tonamira {

namespace {
constexpr uint64_t kMicrosPerSecond = 1'000'000;
}

SimOutputDevice::SimOutputDevice(SimAudio& sim, DeviceId id)
    : OutputDevice(id), sim_(sim), queue_(id) {
  sim_.Register(this);
}

SimOutputDevice::~SimOutputDevice() {
  queue_.Drop();
  sim_.Unregister(this);
}

AudioResult SimOutputDevice::Open(const WaveFormat& format, NotificationPoster& poster) {
  if (open_) return Done(SimOp::OpenOutput, AudioResult::Allocated);
  if (const AudioResult r = sim_.Injected(SimOp::OpenOutput); r != AudioResult::Ok)
    return Done(SimOp::OpenOutput, r);
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok)
    return Done(SimOp::OpenOutput, r);
  format_ = format;
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign);
  open_ = true;
  paused_ = false;
  lost_ = false;
  played_ = 0;
  return Done(SimOp::OpenOutput, AudioResult::Ok);
}

AudioResult SimOutputDevice::Prepare(WaveHeader& header) {
  if (!open_) return Done(SimOp::PrepareOutput, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::PrepareOutput); r != AudioResult::Ok)
    return Done(SimOp::PrepareOutput, r);
  return Done(SimOp::PrepareOutput, PrepareHeader(header));
}

AudioResult SimOutputDevice::Unprepare(WaveHeader& header) {
  if (!open_) return Done(SimOp::UnprepareOutput, AudioResult::InvalidHandle);
  return Done(SimOp::UnprepareOutput, UnprepareHeader(header));
}

AudioResult SimOutputDevice::Write(WaveHeader& header) {
  if (!open_) return Done(SimOp::Write, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::Write); r != AudioResult::Ok)
    return Done(SimOp::Write, r);
  if (lost_) return Done(SimOp::Write, AudioResult::DeviceLost);
  CatchUp(sim_.Now());
  const bool wasRunning = Running();
  if (const AudioResult r = queue_.Add(header); r != AudioResult::Ok) return Done(SimOp::Write, r);
  if (!wasRunning) Anchor();
  // An empty write is played as soon as it is made.
  queue_.CompleteUpTo(played_);
  return Done(SimOp::Write, AudioResult::Ok);
}

AudioResult SimOutputDevice::Position(uint32_t& playedBytes) {
  if (!open_) return Done(SimOp::Position, AudioResult::InvalidHandle);
  if (const AudioResult r = sim_.Injected(SimOp::Position); r != AudioResult::Ok)
    return Done(SimOp::Position, r);
  CatchUp(sim_.Now());
  playedBytes = static_cast<uint32_t>(std::min<uint64_t>(played_, UINT32_MAX));
  return Done(SimOp::Position, AudioResult::Ok);
}

AudioResult SimOutputDevice::Pause() {
  if (!open_) return Done(SimOp::Pause, AudioResult::InvalidHandle);
  CatchUp(sim_.Now());
  paused_ = true;
  return Done(SimOp::Pause, AudioResult::Ok);
}

AudioResult SimOutputDevice::Reset() {
  if (!open_) return Done(SimOp::ResetOutput, AudioResult::InvalidHandle);
  CatchUp(sim_.Now());
  queue_.ReturnAll();
  played_ = 0;
  paused_ = false;
  return Done(SimOp::ResetOutput, AudioResult::Ok);
}

AudioResult SimOutputDevice::Close() {
  if (!open_) return Done(SimOp::CloseOutput, AudioResult::InvalidHandle);
  CatchUp(sim_.Now());
  if (!queue_.Empty()) return Done(SimOp::CloseOutput, AudioResult::StillPlaying);
  open_ = false;
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  return Done(SimOp::CloseOutput, AudioResult::Ok);
}

void SimOutputDevice::Anchor() {
  const uint64_t align = format_.nBlockAlign;
  anchorTime_ = sim_.Now();
  anchorBytes_ = (played_ + align - 1) / align * align;
}

uint64_t SimOutputDevice::BytesAt(uint64_t t) const {
  return anchorBytes_ +
         (t - anchorTime_) * format_.nSamplesPerSec / kMicrosPerSecond * format_.nBlockAlign;
}

uint64_t SimOutputDevice::NextEventTime() const {
  if (!Running() || queue_.Empty()) return SimAudio::kNever;
  // The oldest write is done once the played count reaches its end, or the playable end
  // of the stream when its end lies in a trailing part of a frame.
  const uint64_t align = format_.nBlockAlign;
  uint64_t need = std::min(queue_.FirstPendingEnd(), queue_.PlayableEnd());
  need = (need + align - 1) / align * align;
  if (need <= anchorBytes_) return sim_.Now();
  const uint64_t frames = (need - anchorBytes_) / align;
  const uint64_t rate = format_.nSamplesPerSec;
  return anchorTime_ + (frames * kMicrosPerSecond + rate - 1) / rate;
}

void SimOutputDevice::CatchUp(uint64_t now) {
  if (!Running()) return;
  const uint64_t playable = queue_.PlayableEnd();
  const uint64_t reached = std::min(BytesAt(now), playable);
  if (reached > played_) {
    std::vector<uint8_t> bytes(static_cast<size_t>(reached - played_));
    const size_t n = queue_.Read(played_, bytes.data(), bytes.size());
    sim_.AppendPlayed(bytes.data(), n);
  }
  played_ = std::max(played_, queue_.Played(reached));
  queue_.CompleteUpTo(played_);
}

void SimOutputDevice::Lose(AudioResult reason) {
  CatchUp(sim_.Now());
  if (lost_) return;
  lost_ = true;
  if (!queue_.Empty() && poster_ != nullptr) {
    DeviceNotification n;
    n.event = DeviceEvent::OutputLost;
    n.device = Id();
    n.reason = reason;
    poster_->Post(n);
  }
}

}  // namespace tonamira

#include "devices/device_base.h"

#include <algorithm>

namespace tonamira {

namespace {

// Bytes of whole sample frames in ms milliseconds of format.
size_t BytesOfMs(const WaveFormat& format, int ms) {
  return static_cast<size_t>(static_cast<uint64_t>(format.nSamplesPerSec) *
                             static_cast<uint64_t>(std::max(ms, 0)) / 1000u * format.nBlockAlign);
}

// Holds a device's lock for the length of one call.
class Guard {
 public:
  explicit Guard(DeviceLock& lock) : lock_(lock) { lock_.Lock(); }
  ~Guard() { lock_.Unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  DeviceLock& lock_;
};

}  // namespace

// ---------------------------------------------------------------- input

InputDeviceBase::InputDeviceBase(DeviceId id, DeviceLock& lock, int keepMs)
    : InputDevice(id), lock_(lock), keepMs_(keepMs), queue_(id) {}

InputDeviceBase::~InputDeviceBase() { queue_.Drop(); }

AudioResult InputDeviceBase::Open(const WaveFormat& format, NotificationPoster& poster) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::OpenInput;
  if (open_) return Leave(call, AudioResult::Allocated);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok) return Leave(call, r);
  format_ = format;
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign, BytesOfMs(format, keepMs_));
  open_ = true;
  started_ = false;
  lost_ = false;
  lossPending_ = false;
  return Leave(call, AudioResult::Ok);
}

AudioResult InputDeviceBase::Prepare(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::PrepareInput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  return Leave(call, PrepareHeader(header));
}

AudioResult InputDeviceBase::Unprepare(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::UnprepareInput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  return Leave(call, UnprepareHeader(header));
}

AudioResult InputDeviceBase::AddBuffer(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::AddBuffer;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  // What has come so far goes to the buffers already queued (or is kept) first. A lost
  // device still takes buffers: it hands them all back at Reset, as a stop expects.
  if (Taking()) Sync();
  const AudioResult r = queue_.Add(header);
  PostLossOnceDrained();
  return Leave(call, r);
}

AudioResult InputDeviceBase::Start() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::Start;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  if (lost_) return Leave(call, AudioResult::DeviceLost);
  if (started_) return Leave(call, AudioResult::Ok);
  // Started before the stream is asked for: a stream refused at once is a loss like any
  // other.
  started_ = true;
  if (tap_ != nullptr) tap_->Started(format_);
  if (const AudioResult r = BeginStream(); r != AudioResult::Ok) {
    started_ = false;
    lossPending_ = false;
    return Leave(call, r);
  }
  return Leave(call, AudioResult::Ok);
}

AudioResult InputDeviceBase::Reset() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::ResetInput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  // What has come so far goes into the buffers before they are handed back.
  if (Taking()) Sync();
  if (started_) EndStream();
  started_ = false;
  lossPending_ = false;   // nothing is recording any more: a loss is not news now
  queue_.DropKept();
  queue_.ReturnAll();
  return Leave(call, AudioResult::Ok);
}

AudioResult InputDeviceBase::Close() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::CloseInput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  if (Taking()) Sync();
  if (!queue_.Empty()) return Leave(call, AudioResult::StillPlaying);
  if (started_) EndStream();
  started_ = false;
  lossPending_ = false;
  open_ = false;
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  return Leave(call, AudioResult::Ok);
}

void InputDeviceBase::SetTap(InputTap* tap) {
  Guard g(lock_);
  tap_ = tap;
}

void InputDeviceBase::TakeIn(const uint8_t* bytes, size_t n) {
  if (!Taking() || n == 0) return;
  if (tap_ != nullptr) {
    const size_t fragment = std::max<size_t>(BytesOfMs(format_, kTapFragmentMs), format_.nBlockAlign);
    for (size_t at = 0; at < n; at += fragment)
      tap_->Tapped(std::span<const uint8_t>(bytes + at, std::min(fragment, n - at)));
  }
  if (!queue_.Take(bytes, n)) MarkLost(AudioResult::Overrun);
}

void InputDeviceBase::MarkLost(AudioResult reason) {
  if (lost_) return;
  lost_ = true;
  if (!started_) return;
  lossPending_ = true;
  lossReason_ = reason;
  PostLossOnceDrained();
}

void InputDeviceBase::PostLossOnceDrained() {
  if (!lossPending_ || queue_.Kept() > 0 || poster_ == nullptr) return;
  lossPending_ = false;
  DeviceNotification n;
  n.event = DeviceEvent::InputLost;
  n.device = Id();
  n.reason = lossReason_;
  poster_->Post(n);
}

// ---------------------------------------------------------------- output

OutputDeviceBase::OutputDeviceBase(DeviceId id, DeviceLock& lock)
    : OutputDevice(id), lock_(lock), queue_(id) {}

OutputDeviceBase::~OutputDeviceBase() { queue_.Drop(); }

AudioResult OutputDeviceBase::Open(const WaveFormat& format, NotificationPoster& poster) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::OpenOutput;
  if (open_) return Leave(call, AudioResult::Allocated);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok) return Leave(call, r);
  format_ = format;
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign);
  open_ = true;
  paused_ = false;
  lost_ = false;
  played_ = 0;
  return Leave(call, AudioResult::Ok);
}

AudioResult OutputDeviceBase::Prepare(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::PrepareOutput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  return Leave(call, PrepareHeader(header));
}

AudioResult OutputDeviceBase::Unprepare(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::UnprepareOutput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  return Leave(call, UnprepareHeader(header));
}

AudioResult OutputDeviceBase::Write(WaveHeader& header) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::Write;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  if (lost_) return Leave(call, AudioResult::DeviceLost);
  if (const AudioResult r = CheckQueueable(header); r != AudioResult::Ok) return Leave(call, r);
  Sync();
  const bool fresh = queue_.Empty();
  BeforeWrite(fresh);
  if (const AudioResult r = queue_.Add(header); r != AudioResult::Ok) return Leave(call, r);
  AfterWrite(fresh);
  return Leave(call, AudioResult::Ok);
}

AudioResult OutputDeviceBase::Position(uint32_t& playedBytes) {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::Position;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  Sync();
  playedBytes = static_cast<uint32_t>(std::min<uint64_t>(played_, UINT32_MAX));
  return Leave(call, AudioResult::Ok);
}

AudioResult OutputDeviceBase::Pause() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::Pause;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  Sync();
  paused_ = true;
  Halt();
  return Leave(call, AudioResult::Ok);
}

AudioResult OutputDeviceBase::Reset() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::ResetOutput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  Sync();
  Halt();
  queue_.ReturnAll();
  played_ = 0;
  paused_ = false;
  return Leave(call, AudioResult::Ok);
}

AudioResult OutputDeviceBase::Close() {
  Guard g(lock_);
  constexpr DeviceCall call = DeviceCall::CloseOutput;
  if (!open_) return Leave(call, AudioResult::InvalidHandle);
  if (const AudioResult r = Enter(call); r != AudioResult::Ok) return Leave(call, r);
  Sync();
  if (!queue_.Empty()) return Leave(call, AudioResult::StillPlaying);
  Halt();
  open_ = false;
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  return Leave(call, AudioResult::Ok);
}

void OutputDeviceBase::MarkLost(AudioResult reason) {
  if (lost_) return;
  lost_ = true;
  if (queue_.Empty() || poster_ == nullptr) return;
  DeviceNotification n;
  n.event = DeviceEvent::OutputLost;
  n.device = Id();
  n.reason = reason;
  poster_->Post(n);
}

void OutputDeviceBase::SetPlayed(uint64_t played) {
  played_ = std::min(std::max(played_, played), queue_.Total());
}

}  // namespace tonamira

#include "devices/qt_input.h"

#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace tonamira {

namespace {
// Read from Qt in pieces of at most this many bytes.
constexpr size_t kReadPiece = 16384;
}  // namespace

QtInputDevice::QtInputDevice(DeviceId id, const QtAudioOptions& options)
    : InputDevice(id), options_(options), queue_(id) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(options_.pollMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
}

QtInputDevice::~QtInputDevice() {
  timer_.stop();
  queue_.Drop();
  StopStream();
}

AudioResult QtInputDevice::Open(const WaveFormat& format, NotificationPoster& poster) {
  if (open_) return AudioResult::Allocated;
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok) return r;
  QAudioDevice device = QMediaDevices::defaultAudioInput();
  if (device.isNull()) return AudioResult::BadDevice;
  device_ = device;
  format_ = format;
  qtFormat_ = ToQtFormat(format);
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign);
  source_.reset(new QAudioSource(device_, qtFormat_));
  open_ = true;
  started_ = false;
  lost_ = false;
  staged_.clear();
  return AudioResult::Ok;
}

AudioResult QtInputDevice::Prepare(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  return PrepareHeader(header);
}

AudioResult QtInputDevice::Unprepare(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  return UnprepareHeader(header);
}

AudioResult QtInputDevice::AddBuffer(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  // A lost device still takes buffers: it hands them all back at Reset, as the stop of a
  // recording expects.
  return queue_.Add(header);
}

AudioResult QtInputDevice::Start() {
  if (!open_) return AudioResult::InvalidHandle;
  if (lost_) return AudioResult::DeviceLost;
  if (started_) return AudioResult::Ok;
  if (!StillListed(device_)) return AudioResult::BadDevice;
  // Asked afresh for every stream: Qt may keep what the server granted last time.
  const uint64_t fragment = static_cast<uint64_t>(format_.nSamplesPerSec) *
                            static_cast<uint64_t>(options_.inputFragmentMs) / 1000u *
                            format_.nBlockAlign;
  source_->setBufferSize(static_cast<qsizetype>(fragment));
  QIODevice* io = source_->start();
  if (io == nullptr || source_->state() == QAudio::StoppedState ||
      source_->error() != QAudio::NoError) {
    const AudioResult r = StartFailure(source_->error());
    StopStream();
    return r;
  }
  io_ = io;
  QObject::connect(io, &QIODevice::readyRead, io, [this] { Poll(); });
  started_ = true;
  staged_.clear();
  watch_.Start(MonotonicMs());
  timer_.start();
  return AudioResult::Ok;
}

AudioResult QtInputDevice::Reset() {
  if (!open_) return AudioResult::InvalidHandle;
  // What has come so far goes into the buffers before they are handed back.
  if (started_ && !lost_) Pull();
  timer_.stop();
  StopStream();
  started_ = false;
  staged_.clear();
  queue_.ReturnAll();
  return AudioResult::Ok;
}

AudioResult QtInputDevice::Close() {
  if (!open_) return AudioResult::InvalidHandle;
  if (!queue_.Empty()) return AudioResult::StillPlaying;
  timer_.stop();
  StopStream();
  source_.reset();
  started_ = false;
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  open_ = false;
  return AudioResult::Ok;
}

void QtInputDevice::StopStream() {
  if (source_ && source_->state() != QAudio::StoppedState) source_->stop();
  io_ = nullptr;
}

bool QtInputDevice::Pull() {
  // A server that went away stops Qt's stream and deletes its device.
  if (io_ == nullptr || source_->state() == QAudio::StoppedState) return false;
  const size_t align = format_.nBlockAlign;
  for (;;) {
    const size_t before = staged_.size();
    staged_.resize(before + kReadPiece);
    const qint64 n = io_->read(reinterpret_cast<char*>(staged_.data() + before),
                               static_cast<qint64>(kReadPiece));
    staged_.resize(before + static_cast<size_t>(std::max<qint64>(n, 0)));
    if (n <= 0) break;
    watch_.Progress(MonotonicMs());
    // Whole frames go into the queued buffers in order; without a buffer they are dropped.
    size_t used = 0;
    while (staged_.size() - used >= align) {
      const std::span<uint8_t> room = queue_.HeadRoom();
      const size_t whole = (staged_.size() - used) / align * align;
      if (room.empty()) {
        used += whole;
        break;
      }
      const size_t count = std::min(room.size(), whole);
      std::memcpy(room.data(), staged_.data() + used, count);
      queue_.Commit(count);
      used += count;
    }
    staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(used));
  }
  return true;
}

void QtInputDevice::Poll() {
  if (!open_ || !started_ || lost_) {
    timer_.stop();
    return;
  }
  const int64_t now = MonotonicMs();
  watch_.Poll(now);
  if (!Pull()) {
    MarkLost(AudioResult::DeviceLost);
    return;
  }
  if (watch_.Stalled(now, options_.stallMs, options_.firstSoundMs)) MarkLost(AudioResult::DeviceLost);
}

void QtInputDevice::MarkLost(AudioResult reason) {
  if (lost_) return;
  lost_ = true;
  timer_.stop();
  if (started_ && poster_ != nullptr) {
    DeviceNotification n;
    n.event = DeviceEvent::InputLost;
    n.device = Id();
    n.reason = reason;
    poster_->Post(n);
  }
}

}  // namespace tonamira

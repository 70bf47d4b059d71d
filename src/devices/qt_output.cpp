#include "devices/qt_output.h"

#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace tonamira {

namespace {
constexpr int64_t kMicrosPerSecond = 1'000'000;

// Bytes of whole frames in ms milliseconds of format.
uint64_t BytesOfMs(const WaveFormat& format, int ms) {
  return static_cast<uint64_t>(format.nSamplesPerSec) * static_cast<uint64_t>(ms) / 1000u *
         format.nBlockAlign;
}
}  // namespace

QtOutputDevice::QtOutputDevice(DeviceId id, const QtAudioOptions& options)
    : OutputDevice(id), options_(options), queue_(id) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(options_.pollMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
}

QtOutputDevice::~QtOutputDevice() {
  timer_.stop();
  queue_.Drop();
  StopStream();
}

AudioResult QtOutputDevice::Open(const WaveFormat& format, NotificationPoster& poster) {
  if (open_) return AudioResult::Allocated;
  if (const AudioResult r = CheckDeviceFormat(format); r != AudioResult::Ok) return r;
  QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return AudioResult::BadDevice;
  device_ = device;
  format_ = format;
  qtFormat_ = ToQtFormat(format);
  poster_ = &poster;
  queue_.Attach(poster_, format.nBlockAlign);
  sink_.reset(new QAudioSink(device_, qtFormat_));
  open_ = true;
  paused_ = false;
  lost_ = false;
  base_ = fed_ = heard_ = played_ = 0;
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::Prepare(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  return PrepareHeader(header);
}

AudioResult QtOutputDevice::Unprepare(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  return UnprepareHeader(header);
}

AudioResult QtOutputDevice::Write(WaveHeader& header) {
  if (!open_) return AudioResult::InvalidHandle;
  if (lost_) return AudioResult::DeviceLost;
  if (const AudioResult r = CheckQueueable(header); r != AudioResult::Ok) return r;
  // A write after every earlier one is done starts a stream of its own: the old one has
  // nothing left to play but silence.
  const bool fresh = queue_.Empty();
  if (fresh && !paused_) {
    StopStream();
    if (const AudioResult r = StartStream(); r != AudioResult::Ok) return r;
  }
  // A write that comes after the stream has run into silence follows that silence.
  if (!fresh) queue_.SkipTo(fed_);
  if (const AudioResult r = queue_.Add(header); r != AudioResult::Ok) return r;
  if (fresh) base_ = fed_ = heard_ = queue_.FirstPendingStart();
  if (paused_) return AudioResult::Ok;
  // Playback starts at once: hand over what the server takes now.
  if (!Feed()) MarkLost(AudioResult::DeviceLost);
  Follow();
  if (!timer_.isActive()) timer_.start();
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::Position(uint32_t& playedBytes) {
  if (!open_) return AudioResult::InvalidHandle;
  if (Streaming() && !paused_ && !lost_) Follow();
  playedBytes = static_cast<uint32_t>(std::min<uint64_t>(played_, UINT32_MAX));
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::Pause() {
  if (!open_) return AudioResult::InvalidHandle;
  if (Streaming() && !lost_) Follow();
  // No resume is offered, so a pause keeps the position where it is and lets the stream
  // go at once (a cork would wait on the server, and on a dropped stream never return).
  paused_ = true;
  timer_.stop();
  StopStream();
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::Reset() {
  if (!open_) return AudioResult::InvalidHandle;
  timer_.stop();
  StopStream();
  queue_.ReturnAll();
  base_ = fed_ = heard_ = played_ = 0;
  paused_ = false;
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::Close() {
  if (!open_) return AudioResult::InvalidHandle;
  if (!queue_.Empty()) return AudioResult::StillPlaying;
  timer_.stop();
  StopStream();
  sink_.reset();
  poster_ = nullptr;
  queue_.Attach(nullptr, 1);
  open_ = false;
  return AudioResult::Ok;
}

AudioResult QtOutputDevice::StartStream() {
  if (!StillListed(device_)) return AudioResult::BadDevice;
  // Qt keeps the size the server granted last time as the request for the next stream, and
  // the server grants less than asked: without asking afresh the buffer shrinks with every
  // stream until playback stutters.
  sink_->setBufferSize(static_cast<qsizetype>(BytesOfMs(format_, options_.outputAheadMs)));
  QIODevice* io = sink_->start();
  if (io == nullptr || sink_->state() == QAudio::StoppedState || sink_->error() != QAudio::NoError) {
    const AudioResult r = StartFailure(sink_->error());
    StopStream();
    return r;
  }
  io_ = io;
  watch_.Start(MonotonicMs());
  return AudioResult::Ok;
}

void QtOutputDevice::StopStream() {
  // Stopping a stream the server dropped is safe: Qt only disconnects it. It deletes the
  // stream's device, which io_ notices.
  if (sink_ && sink_->state() != QAudio::StoppedState) sink_->stop();
  io_ = nullptr;
}

bool QtOutputDevice::Feed() {
  if (!Streaming()) return false;
  // What would go next is gathered first: the data of the writes, then silence until the
  // last write has been heard, so that the end of the data is never mistaken for, or cut
  // like, the end of the stream.
  const size_t ahead = static_cast<size_t>(BytesOfMs(format_, options_.outputAheadMs));
  scratch_.resize(ahead);
  size_t n = queue_.Read(fed_, scratch_.data(), ahead);
  if (n < ahead && !queue_.Empty()) {
    std::memset(scratch_.data() + n, format_.wBitsPerSample == 8 ? 0x80 : 0, ahead - n);
    n = ahead;
  }
  if (n == 0) return true;
  // Qt leaves its lock held, for good, when a write meets a stream the server has just
  // dropped; every later wait on the server then hangs. A dropped stream reports no room
  // (-1), so the write follows that check at once, and comes in batches of a quarter of
  // the buffer (at most half what the server granted), to leave the least time between the
  // two for the server to drop the stream.
  const qsizetype room = sink_->bytesFree();
  if (room < 0) return false;
  const size_t align = format_.nBlockAlign;
  const size_t count = std::min(n, static_cast<size_t>(room) / align * align);
  const size_t batch = std::min(ahead / 4, static_cast<size_t>(std::max<qsizetype>(sink_->bufferSize(), 0)) / 2);
  if (count == 0 || count < batch) return true;
  const qint64 written =
      io_->write(reinterpret_cast<const char*>(scratch_.data()), static_cast<qint64>(count));
  if (written < 0 || sink_->error() == QAudio::IOError) return false;
  fed_ += static_cast<uint64_t>(written);
  return true;
}

void QtOutputDevice::Follow() {
  if (!Streaming()) return;
  const int64_t usecs = sink_->processedUSecs();
  const uint64_t frames = static_cast<uint64_t>(std::max<int64_t>(usecs, 0)) *
                          format_.nSamplesPerSec / kMicrosPerSecond;
  const uint64_t heard = std::min(base_ + frames * format_.nBlockAlign, fed_);
  if (heard > heard_) {
    heard_ = heard;
    watch_.Progress(MonotonicMs());
  }
  played_ = std::max(played_, queue_.Played(std::min(heard_, queue_.PlayableEnd())));
  const uint64_t tail = BytesOfMs(format_, options_.outputTailMs);
  if (heard_ >= tail) queue_.CompleteUpTo(heard_ - tail);
}

void QtOutputDevice::Poll() {
  if (!open_ || paused_ || lost_ || queue_.Empty()) {
    timer_.stop();
    return;
  }
  const int64_t now = MonotonicMs();
  watch_.Poll(now);
  // A server that went away stops Qt's stream with an error, and Qt deletes its device.
  if (!Streaming() || sink_->state() == QAudio::StoppedState) {
    MarkLost(AudioResult::DeviceLost);
    return;
  }
  if (!Feed()) {
    MarkLost(AudioResult::DeviceLost);
    return;
  }
  Follow();
  if (queue_.Empty()) {
    timer_.stop();
    return;
  }
  if (watch_.Stalled(now, options_.stallMs, options_.firstSoundMs)) MarkLost(AudioResult::DeviceLost);
}

void QtOutputDevice::MarkLost(AudioResult reason) {
  if (lost_) return;
  lost_ = true;
  timer_.stop();
  if (!queue_.Empty() && poster_ != nullptr) {
    DeviceNotification n;
    n.event = DeviceEvent::OutputLost;
    n.device = Id();
    n.reason = reason;
    poster_->Post(n);
  }
}

}  // namespace tonamira

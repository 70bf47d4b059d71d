// The simulated output device: plays writes against SimAudio's clock and logs what it played.

#include "devices/sim_devices.h"

#include <algorithm>
#include <vector>

namespace tonamira {

namespace {
constexpr uint64_t kMicrosPerSecond = 1'000'000;
}

SimOutputDevice::SimOutputDevice(SimAudio& sim, DeviceId id)
    : OutputDeviceBase(id, sim.NoLock()), sim_(sim) {
  sim_.Register(this);
}

SimOutputDevice::~SimOutputDevice() { sim_.Unregister(this); }

void SimOutputDevice::AfterWrite(bool fresh) {
  // A write after every earlier one was played starts the clock of playback afresh.
  if (fresh) Anchor();
  // An empty write is played as soon as it is made.
  Queue().CompleteUpTo(PlayedBytes());
}

void SimOutputDevice::Anchor() {
  const uint64_t align = Format().nBlockAlign;
  anchorTime_ = sim_.Now();
  anchorBytes_ = (PlayedBytes() + align - 1) / align * align;
}

uint64_t SimOutputDevice::BytesAt(uint64_t t) const {
  return anchorBytes_ +
         (t - anchorTime_) * Format().nSamplesPerSec / kMicrosPerSecond * Format().nBlockAlign;
}

uint64_t SimOutputDevice::NextEventTime() const {
  if (!Running() || Queue().Empty()) return SimAudio::kNever;
  // The oldest write is done once the played count reaches its end, or the playable end
  // of the stream when its end lies in a trailing part of a frame.
  const uint64_t align = Format().nBlockAlign;
  uint64_t need = std::min(Queue().FirstPendingEnd(), Queue().PlayableEnd());
  need = (need + align - 1) / align * align;
  if (need <= anchorBytes_) return sim_.Now();
  const uint64_t frames = (need - anchorBytes_) / align;
  const uint64_t rate = Format().nSamplesPerSec;
  return anchorTime_ + (frames * kMicrosPerSecond + rate - 1) / rate;
}

void SimOutputDevice::CatchUp(uint64_t now) {
  if (!Running()) return;
  const uint64_t playable = Queue().PlayableEnd();
  const uint64_t reached = std::min(BytesAt(now), playable);
  if (reached > PlayedBytes()) {
    std::vector<uint8_t> bytes(static_cast<size_t>(reached - PlayedBytes()));
    const size_t n = Queue().Read(PlayedBytes(), bytes.data(), bytes.size());
    sim_.AppendPlayed(bytes.data(), n);
  }
  SetPlayed(Queue().Played(reached));
  Queue().CompleteUpTo(PlayedBytes());
}

void SimOutputDevice::Lose(AudioResult reason) {
  CatchUp(sim_.Now());
  MarkLost(reason);
}

}  // namespace tonamira

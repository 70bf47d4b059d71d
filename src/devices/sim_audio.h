#pragma once
// Simulated audio devices for tests: deterministic, with a clock the test advances, an input
// filled from a test signal, every failure injectable and every call recorded.
//
//   SimAudio sim;                         // the factory the window receives
//   sim.SetSignal([](uint64_t frame, int) { return int16_t(frame % 1000); });
//   ... the window opens, prepares, adds and starts through sim's devices ...
//   sim.Advance(100'000);                 // 0.1 s passes: buffers fill, writes play
//   poster.DeliverAll(window);            // the notifications reach the window
//
// Time passes only in Advance. Within it, notifications are posted in the order their
// moments come, across all devices (an input buffer that fills at 0.1 s is posted before an
// output write that ends at 0.15 s); devices are also brought up to the current moment by
// every call that depends on it (Position, Reset, Pause, ...).
//
// The SimAudio must outlive the devices it made.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "devices/audio_devices.h"
#include "devices/device_base.h"

namespace tonamira {

using SimOp = DeviceCall;

// One device call and its result, in call order.
struct SimCall {
  SimOp op;
  DeviceId device;
  AudioResult result;
  friend bool operator==(const SimCall&, const SimCall&) = default;
};

// The input's sound: the sample of a channel at a sample frame, counted from the input's
// Start (each Start counts from 0 again), in the 16-bit range. An 8-bit input records the
// sample's top byte as unsigned (value / 256 + 128, rounded down).
using SimSignal = std::function<int16_t(uint64_t frame, int channel)>;

class SimClocked;

class SimAudio final : public AudioDevices {
 public:
  static constexpr uint64_t kNever = UINT64_MAX;

  SimAudio();
  ~SimAudio() override;
  SimAudio(const SimAudio&) = delete;
  SimAudio& operator=(const SimAudio&) = delete;

  std::unique_ptr<InputDevice> CreateInput() override;
  std::unique_ptr<OutputDevice> CreateOutput() override;

  // ---- the clock, in microseconds since the SimAudio was made
  uint64_t Now() const { return now_; }
  void Advance(uint64_t microseconds);

  // ---- the input's sound (silence until set)
  void SetSignal(SimSignal signal) { signal_ = std::move(signal); }
  int16_t Sample(uint64_t frame, int channel) const;

  // ---- failures
  // Makes a call of op fail with result: the call after `okCallsFirst` calls that succeed
  // as usual, and, when persistent, every call after that until ClearFailures. A failing
  // call changes nothing. A call on a device that is not open (or an Open of one that is)
  // fails as it would anyway and does not count.
  void FailCall(SimOp op, AudioResult result, int okCallsFirst = 0, bool persistent = false);
  void ClearFailures();
  // The open input (output) devices go away now: each posts InputLost (OutputLost) if it
  // has work, and behaves as a lost device from then on (device_notification.h).
  void LoseInput(AudioResult reason = AudioResult::DeviceLost);
  void LoseOutput(AudioResult reason = AudioResult::DeviceLost);

  // ---- what happened
  const std::vector<SimCall>& Calls() const { return calls_; }
  std::vector<SimOp> CallOps() const;
  void ClearCalls() { calls_.clear(); }
  // Every byte the output devices have played, in the order played.
  const std::vector<uint8_t>& Played() const { return played_; }
  int OpenInputs() const;
  int OpenOutputs() const;

  // ---- used by the simulated devices
  // The injected result for a call of op (Ok when none is due); counts the call.
  AudioResult Injected(SimOp op);
  AudioResult Record(SimOp op, DeviceId device, AudioResult result);
  void AppendPlayed(const uint8_t* bytes, size_t n) { played_.insert(played_.end(), bytes, bytes + n); }
  void Register(SimClocked* device);
  void Unregister(SimClocked* device);
  // Simulated devices run on the caller's thread: their lock holds nothing.
  DeviceLock& NoLock() { return noLock_; }

 private:
  struct Fault {
    bool armed = false;
    AudioResult result = AudioResult::Ok;
    int okCalls = 0;
    bool persistent = false;
  };
  static constexpr size_t kOps = static_cast<size_t>(SimOp::CloseOutput) + 1;

  uint64_t now_ = 0;
  DeviceId nextId_ = 0;
  SimSignal signal_;
  Fault faults_[kOps];
  std::vector<SimCall> calls_;
  std::vector<uint8_t> played_;
  std::vector<SimClocked*> devices_;
  DeviceLock noLock_;
};

// What SimAudio needs of its devices.
class SimClocked {
 public:
  virtual ~SimClocked() = default;
  // The moment of this device's next notification, or SimAudio::kNever.
  virtual uint64_t NextEventTime() const = 0;
  // Brings the device up to the moment now (fills, plays, posts what is due).
  virtual void CatchUp(uint64_t now) = 0;
  virtual bool IsInput() const = 0;
  virtual bool IsOpen() const = 0;
  virtual void Lose(AudioResult reason) = 0;
};

}  // namespace tonamira

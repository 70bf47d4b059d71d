#pragma once
// What the live-latency benchmarks share: the played sound (silence, then a 440 Hz tone),
// waiting on the event loop, and the moment the tone's first sample is played, taken from
// the output's position.

#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/fft.h"
#include "analysis/rounding.h"
#include "devices/audio_devices.h"
#include "devices/monotonic_clock.h"

namespace tonamira::latency {

inline constexpr double kToneHz = 440.0;
inline constexpr double kBytesPerMs = 88.2;   // 16-bit mono at 44100 Hz

// preMs of silence, then a second of 440 Hz at `fundamental` with its octave at `octave`
// (16-bit mono). The tone starts at byte ToneStart(preMs).
inline std::vector<uint8_t> SilenceThenTone(int preMs, double fundamental, double octave = 0.0) {
  const size_t pre = static_cast<size_t>(preMs) * 441 / 10;
  const size_t n = pre + 44100;
  std::vector<uint8_t> bytes(2 * n, 0);
  for (size_t i = pre; i < n; ++i) {
    const double t = static_cast<double>(i - pre) / 44100.0;
    const int32_t v = RoundInt(fundamental * std::sin(kTwoPi * kToneHz * t) +
                               octave * std::sin(kTwoPi * 2.0 * kToneHz * t));
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  return bytes;
}

inline uint32_t ToneStart(int preMs) { return static_cast<uint32_t>(preMs) * 441 / 10 * 2; }

// Runs the event loop until pred holds or timeoutMs pass (looking every millisecond).
inline bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  const int64_t end = MonotonicMs() + timeoutMs;
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (pred() || MonotonicMs() > end) loop.quit();
  });
  look.start(1);
  if (!pred()) loop.exec();
  return pred();
}

// The moment (MonotonicMs) the output played byte toneStart, once its position has passed
// it; -1 until then. Call it often: it goes back from the position to the moment.
inline int64_t ToneEnteredMs(OutputDevice& output, uint32_t toneStart) {
  uint32_t p = 0;
  if (output.Position(p) != AudioResult::Ok || p < toneStart) return -1;
  return MonotonicMs() - RoundInt64((p - toneStart) / kBytesPerMs);
}

}  // namespace tonamira::latency

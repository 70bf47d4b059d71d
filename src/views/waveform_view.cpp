#include "views/waveform_view.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/frame.h"
#include "analysis/loudness.h"
#include "analysis/rounding.h"

namespace tonamira {

namespace {

// y of a sample value about the baseline; positive values go upwards.
int TraceY(double baseline, int32_t v, double k) { return RoundInt(baseline - v * k); }

int TraceX(int32_t i, double dx) { return RoundInt(i * dx); }

// Samples of the channel that are wholly inside the span: sample i starts at byte
// i * step * bytesPerSample.
int64_t AvailableSamples(std::span<const uint8_t> samples, int32_t step, int bytesPerSample) {
  if (samples.size() < static_cast<size_t>(bytesPerSample)) return 0;
  const int64_t stride = static_cast<int64_t>(step) * bytesPerSample;
  return static_cast<int64_t>((samples.size() - bytesPerSample) / stride) + 1;
}

}  // namespace

void DrawTrace8(Canvas& box, int32_t count, std::span<const uint8_t> samples, int32_t step,
                double baseline, double scale, int32_t zoom) {
  if (count <= 0 || step <= 0) return;
  const int64_t n = std::min<int64_t>(count, AvailableSamples(samples, step, 1));
  if (n <= 0) return;
  const double k = zoom * scale;
  const double dx = static_cast<double>(box.Width()) / count;
  box.MoveTo(0, TraceY(baseline, static_cast<int32_t>(samples[0]) - 128, k));
  for (int64_t i = 1; i < n; ++i) {
    const int32_t v = static_cast<int32_t>(samples[static_cast<size_t>(i * step)]) - 128;
    box.LineTo(TraceX(static_cast<int32_t>(i), dx), TraceY(baseline, v, k));
  }
}

bool DrawTrace16(Canvas& box, int32_t count, std::span<const uint8_t> samples, int32_t step,
                 double baseline, double scale, int32_t zoom) {
  if (count <= 0 || step <= 0) return true;
  const int64_t n = std::min<int64_t>(count, AvailableSamples(samples, step, 2));
  if (n <= 0) return true;
  auto sample = [&](int64_t i) {
    const size_t at = static_cast<size_t>(i * step * 2);
    return static_cast<int32_t>(Sample16(samples.data() + at));
  };
  const double k = zoom * scale;
  const double dx = static_cast<double>(box.Width()) / count;
  const int32_t loud = FirstLoudPoint(samples, step, count);
  const int64_t end = loud != 0 ? loud : n;
  box.MoveTo(0, TraceY(baseline, sample(0), k));
  for (int64_t i = 1; i < end; ++i)
    box.LineTo(TraceX(static_cast<int32_t>(i), dx), TraceY(baseline, sample(i), k));
  return loud == 0;
}

bool DrawWaveform(Canvas& box, int32_t count, std::span<const uint8_t> data, int32_t bits,
                  int32_t channels, size_t offset, int32_t zoom) {
  if (data.empty() || offset >= data.size()) return true;
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return true;
  const std::span<const uint8_t> frame = data.subspan(offset);
  const double height = box.Height();
  const double scale = height / std::pow(2.0, bits) / 2.0;
  const size_t bytesPerSample = static_cast<size_t>(bits / 8);

  auto trace = [&](std::span<const uint8_t> samples, int32_t step, double baseline) {
    if (bits == 8) {
      DrawTrace8(box, count, samples, step, baseline, scale, zoom);
      return true;
    }
    return DrawTrace16(box, count, samples, step, baseline, scale, zoom);
  };

  box.SetPenColor(kRed);
  if (channels == 1) return trace(frame, 1, height / 2.0);

  const bool firstOk = trace(frame, 2, height / 3.0);
  box.SetPenColor(kBlue);
  bool secondOk = true;
  if (frame.size() > bytesPerSample)
    secondOk = trace(frame.subspan(bytesPerSample), 2, 2.0 * height / 3.0);
  return firstOk && secondOk;
}

double TimeAtColumn(int32_t x, int32_t fftSize, uint32_t rate, int32_t width) {
  return x * (static_cast<double>(fftSize) / static_cast<double>(rate) * 1000.0) / width;
}

std::string TimeReadoutText(double ms) {
  if (!std::isfinite(ms)) return {};
  // First to 5 significant digits, then shown with 3 decimals.
  char sig[32];
  std::snprintf(sig, sizeof sig, "%.4e", ms);
  const double rounded = std::strtod(sig, nullptr);
  char out[64];
  std::snprintf(out, sizeof out, "%.3f", rounded);
  return out;
}

void DrawTimeReadout(Canvas& box, int32_t x, int32_t fftSize, uint32_t rate) {
  if (rate == 0 || box.Width() <= 0) return;
  box.SetFontColor(kRed);
  box.TextOut(x + 1, 0, TimeReadoutText(TimeAtColumn(x, fftSize, rate, box.Width())));
}

void DrawLoudWarning(Canvas& box, std::string_view text) {
  box.SetFontColor(kRed);
  box.TextOut(box.Width() / 2, box.Height() / 2, text);
}

}  // namespace tonamira

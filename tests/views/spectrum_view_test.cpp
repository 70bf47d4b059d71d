// The spectrum view: peak picking and drawing, cut-off, noise subtraction and capture, the
// bound of the scan, and the rules of its click and up-down controls.
#include "views/spectrum_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "recording_canvas.h"
#include "views/grid.h"

namespace tonamira {
namespace {

using testing_views::Box;
using testing_views::PixelsOf;
using testing_views::Points;
using testing_views::RecordingCanvas;

constexpr double k16 = -1.0 / 255.0;

// One channel's spectrum as the window draws it: the analysis finds the peaks (capturing the
// noise spectrum when asked), the view draws them.
void DrawSpectrum(Canvas& box, int32_t rate, int32_t count, double baseline, double scale,
                  std::span<const double> mags, std::span<double> noise, double maxDisplayFreq,
                  double zoom, SpectrumPeakState& state) {
  const int32_t bins = DisplayBins(count, rate, maxDisplayFreq);
  std::vector<SpectrumPeak> peaks;
  ScanSpectrumPeaks(count, bins, mags, noise, state, peaks);
  DrawSpectrumPeaks(box, peaks, bins, baseline, scale, zoom);
}

// Start-up drawing of a mono 16-bit frame: 2048 samples at 44100, 2000 Hz, zoom 66, bottom
// baseline 168, red brush.
void DrawStartup(RecordingCanvas& c, std::vector<double>& mags, std::vector<double>& noise,
                 SpectrumPeakState& state) {
  ClearBox(c);
  c.SetBrushColor(kRed);
  DrawSpectrum(c, 44100, 2048, 168.0, k16, mags, noise, 2000.0, 66.0, state);
}

TEST(SpectrumView, ScaleAndBinCount) {
  EXPECT_EQ(SpectrumScale(8), -1.0);
  EXPECT_EQ(SpectrumScale(16), k16);
  EXPECT_EQ(SpectrumScale(24), 0.0);
  EXPECT_EQ(DisplayBins(2048, 44100, 2000.0), 186);
  EXPECT_EQ(DisplayBins(256, 44100, 2000.0), 23);
  EXPECT_EQ(DisplayBins(2048, 8000, 4000.0), 2048);
}

TEST(SpectrumView, PeakAtThresholdIsALineAboveItABox) {
  // Bin 10 at x = Round(10 * 1090 / 186) = 59.
  struct Case {
    double height;
    bool box;
    int top;
  };
  const std::vector<Case> cases = {
      {10.0, false, 165},  // Round(168 - 10 * 66 / 255) = Round(165.41)
      {10.5, true, 165},
      {255.0, true, 102},  // 66 pixels up
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.height);
    std::vector<double> mags(1024, 0.0), noise(1024, 0.0);
    mags[10] = t.height;
    SpectrumPeakState state;
    RecordingCanvas c(545, 169);
    DrawStartup(c, mags, noise, state);
    EXPECT_EQ(state.spectrumPeakMax, t.height);
    if (t.box) {
      ASSERT_EQ(c.rects.size(), 1u);
      EXPECT_TRUE(c.lines.empty());
      const auto& r = c.rects[0];
      EXPECT_EQ(r.x1, 59);
      EXPECT_EQ(r.y1, t.top);
      EXPECT_EQ(r.x2, 63);
      EXPECT_EQ(r.y2, 168);
      EXPECT_EQ(r.pen, kWhite);
      EXPECT_EQ(r.brush, kRed);
      EXPECT_EQ(PixelsOf(c.raster, kRed), Box(60, t.top + 1, 62, 167));
    } else {
      ASSERT_EQ(c.lines.size(), 1u);
      EXPECT_TRUE(c.rects.empty());
      EXPECT_EQ(PixelsOf(c.raster, kWhite), Box(59, t.top, 60, 168));
    }
  }
}

TEST(SpectrumView, WhichBinsArePeaks) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, double>> bins;  // non-zero magnitudes
    uint32_t cutoffBin;
    std::vector<int> peakColumns;
  };
  const std::vector<Case> cases = {
      {"plateau has no peak", {{10, 20.0}, {11, 20.0}}, 1, {}},
      {"equal to left neighbour", {{10, 20.0}, {11, 20.0}, {12, 5.0}}, 1, {}},
      {"two separate peaks", {{10, 20.0}, {20, 5.0}}, 1, {59, 117}},
      {"bin 1 is at the cut-off", {{1, 20.0}}, 1, {}},
      {"bin 2 is above it", {{2, 20.0}}, 1, {12}},
      {"higher cut-off", {{5, 20.0}, {6, 0.5}, {7, 20.0}}, 5, {41}},
      {"cut-off 0 lets bin 1 through", {{1, 20.0}}, 0, {6}},
      {"last examined bin 185", {{185, 20.0}}, 1, {1084}},  // beyond the right edge
      {"bin 186 is not examined", {{186, 20.0}}, 1, {}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<double> mags(1024, 0.0), noise(1024, 0.0);
    for (auto [bin, v] : t.bins) mags[bin] = v;
    SpectrumPeakState state;
    state.cutoffBin = t.cutoffBin;
    RecordingCanvas c(545, 169);
    DrawStartup(c, mags, noise, state);
    std::vector<int> xs;
    for (const auto& r : c.rects) xs.push_back(r.x1);
    for (const auto& l : c.lines) xs.push_back(l.x0);
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(xs, t.peakColumns);
  }
}

TEST(SpectrumView, NoiseIsSubtractedBeforeThePeakTest) {
  std::vector<double> mags(1024, 0.0), noise(1024, 0.0);
  mags[10] = 50.0;
  mags[30] = 50.0;
  noise[10] = 50.0;  // cancelled
  noise[30] = 45.0;  // 5 left: a line
  SpectrumPeakState state;
  RecordingCanvas c(545, 169);
  DrawStartup(c, mags, noise, state);
  EXPECT_TRUE(c.rects.empty());
  ASSERT_EQ(c.lines.size(), 1u);
  EXPECT_EQ(c.lines[0].x0, 176);  // Round(30 * 1090 / 186) = Round(175.8)
  EXPECT_EQ(state.spectrumPeakMax, 5.0);
  EXPECT_EQ(state.peakThreshold, 10.0);
}

TEST(SpectrumView, NoiseCaptureStoresMagnitudesAndRaisesThreshold) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, double>> bins;
    double threshold;
  };
  const std::vector<Case> cases = {
      {"small peaks give at least 10", {{10, 4.0}}, 10.0},
      {"largest peak", {{10, 4.0}, {40, 25.0}, {60, 12.0}}, 25.0},
      // While capturing, the left neighbour is already replaced: a falling slope counts.
      {"falling slope", {{9, 30.0}, {10, 28.0}, {11, 1.0}}, 30.0},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<double> mags(1024, 0.0), noise(1024, -1.0);
    for (auto [bin, v] : t.bins) mags[bin] = v;
    // The button zeroes the first n noise entries before the capture.
    std::fill(noise.begin(), noise.begin() + 186, 0.0);
    SpectrumPeakState state;
    state.captureNoise = true;
    RecordingCanvas c(545, 169);
    DrawStartup(c, mags, noise, state);
    EXPECT_FALSE(state.captureNoise);
    EXPECT_EQ(state.peakThreshold, t.threshold);
    // Bins 0 .. 184 (i - 1 for i up to 185) hold the frame; the rest is untouched.
    for (int j = 0; j <= 184; ++j) ASSERT_EQ(noise[j], mags[j]) << j;
    EXPECT_EQ(noise[185], 0.0);
    EXPECT_EQ(noise[186], -1.0);
  }
}

TEST(SpectrumView, FallingSlopeCaptureFindsEachDescendingBin) {
  std::vector<double> mags(1024, 0.0), noise(1024, 0.0);
  mags[9] = 30.0;
  mags[10] = 28.0;
  mags[11] = 1.0;
  SpectrumPeakState state;
  state.captureNoise = true;
  RecordingCanvas c(545, 169);
  DrawStartup(c, mags, noise, state);
  // Bins 9 and 10 both count as peaks in the capture pass (11 is above 12 too).
  EXPECT_EQ(c.rects.size(), 2u);
  EXPECT_EQ(c.lines.size(), 1u);

  // The next pass subtracts the captured noise: nothing is left.
  RecordingCanvas next(545, 169);
  DrawStartup(next, mags, noise, state);
  EXPECT_TRUE(next.rects.empty());
  EXPECT_TRUE(next.lines.empty());
  EXPECT_EQ(state.spectrumPeakMax, 0.0);
}

TEST(SpectrumView, ScanNeverReadsBeyondHalfTheFrame) {
  // 8000 Hz, 256 samples, 4000 Hz range: n = 256 bins would be examined, but only 128
  // magnitudes exist; the last examined bin is 126. Exactly 128 entries are allocated.
  auto mags = std::make_unique<double[]>(128);
  auto noise = std::make_unique<double[]>(128);
  for (int i = 0; i < 128; ++i) mags[i] = 0.0;
  mags[126] = 20.0;
  SpectrumPeakState state;
  RecordingCanvas c(545, 169);
  DrawSpectrum(c, 8000, 256, 168.0, -1.0, std::span<const double>(mags.get(), 128),
               std::span<double>(noise.get(), 128), 4000.0, 66.0, state);
  EXPECT_EQ(c.rects.size(), 1u);

  // A larger buffer does not widen the scan: bin 127 would be a peak if examined.
  std::vector<double> big(256, 0.0), bigNoise(256, 0.0);
  big[127] = 20.0;
  RecordingCanvas c2(545, 169);
  DrawSpectrum(c2, 8000, 256, 168.0, -1.0, big, bigNoise, 4000.0, 66.0, state);
  EXPECT_TRUE(c2.rects.empty());
  EXPECT_TRUE(c2.lines.empty());
}

TEST(SpectrumView, DegenerateInputsDrawNothing) {
  std::vector<double> mags(1024, 1.0), noise(1024, 0.0);
  mags[10] = 50.0;
  struct Case {
    int rate, count;
    double maxFreq;
  };
  const std::vector<Case> cases = {{0, 2048, 2000.0}, {44100, 0, 2000.0}, {44100, -5, 2000.0},
                                   {44100, 2048, 0.0}};
  for (const auto& t : cases) {
    SpectrumPeakState state;
    RecordingCanvas c(545, 169);
    DrawSpectrum(c, t.rate, t.count, 168.0, k16, mags, noise, t.maxFreq, 66.0, state);
    EXPECT_TRUE(c.rects.empty());
    EXPECT_TRUE(c.lines.empty());
  }
}

TEST(SpectrumView, ThresholdFromClick) {
  struct Case {
    int y, bits;
    double zoom;
    std::optional<double> threshold;
  };
  const std::vector<Case> cases = {
      {20, 16, 66.0, 148.0 * 255.0 / 66.0},  // about 571.8
      {20, 8, 66.0, 148.0 / 66.0},
      {168, 16, 66.0, 0.0},                  // bottom row
      {20, 24, 66.0, std::nullopt},          // no scale: no division by zero
      {20, 16, 0.0, std::nullopt},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(testing::Message() << t.y << " " << t.bits << " " << t.zoom);
    const auto got = ThresholdFromClick(t.y, 169, t.bits, t.zoom);
    ASSERT_EQ(got.has_value(), t.threshold.has_value());
    if (got) {
      EXPECT_NEAR(*got, *t.threshold, 1e-9);
    }
  }
  EXPECT_NEAR(*ThresholdFromClick(20, 169, 16, 66.0), 571.8, 0.05);
}

TEST(SpectrumView, ThresholdLineLandsOnTheClickedRow) {
  RecordingCanvas c(545, 169);
  ClearBox(c);
  const double t = *ThresholdFromClick(20, 169, 16, 66.0);
  DrawThresholdLine(c, 168.0, k16, t, 66.0);
  EXPECT_EQ(PixelsOf(c.raster, kGreen), Box(0, 20, 545, 21));
}

TEST(SpectrumView, CutoffFromClick) {
  const auto c = CutoffFromClick(136, 545, 2000.0, 44100, 2048);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->freq, 499);
  EXPECT_EQ(c->bin, 23u);  // Round(499 * 2047 / 44100) = Round(23.16)
  EXPECT_EQ(CutoffFromClick(0, 545, 2000.0, 44100, 2048)->bin, 0u);
  EXPECT_FALSE(CutoffFromClick(136, 0, 2000.0, 44100, 2048));

  RecordingCanvas box(545, 169);
  ClearBox(box);
  DrawCutoffLine(box, 136);
  DrawCutoffLabel(box, 136, 499);
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0].x, 137);
  EXPECT_EQ(box.texts[0].text, "499");
  EXPECT_EQ(box.texts[0].font, kGreen);
  Points column = Box(136, 0, 137, 169);
  EXPECT_EQ(PixelsOf(box.raster, kGreen), column);
}

TEST(SpectrumView, DisplayRangeSteps) {
  struct Case {
    double from;
    UpDownButton button;
    int rate;
    double to;
  };
  const std::vector<Case> cases = {
      {2000.0, UpDownButton::Next, 44100, 1000.0}, {1000.0, UpDownButton::Next, 44100, 500.0},
      {500.0, UpDownButton::Next, 44100, 250.0},   {250.0, UpDownButton::Next, 44100, 250.0},
      {2000.0, UpDownButton::Previous, 44100, 4000.0}, {4000.0, UpDownButton::Previous, 44100, 8000.0},
      {8000.0, UpDownButton::Previous, 44100, 8000.0}, {2000.0, UpDownButton::Previous, 8000, 4000.0},
      {4000.0, UpDownButton::Previous, 8000, 4000.0},  {2000.0, UpDownButton::Previous, 11025, 4000.0},
      {1000.0, UpDownButton::Previous, 3000, 1000.0},
  };
  for (const auto& t : cases)
    EXPECT_EQ(StepDisplayRange(t.from, t.button, t.rate), t.to) << t.from << " " << t.rate;
}

TEST(SpectrumView, FrameLengthStepsAndMinorGrid) {
  int32_t exp = 3;
  const int32_t downSizes[] = {1024, 512, 256, 256};
  for (int32_t size : downSizes) {
    exp = StepFftSizeExp(exp, UpDownButton::Next);
    EXPECT_EQ(FftSizeFromExp(exp), size);
  }
  const int32_t upSizes[] = {512, 1024, 2048, 2048};
  for (int32_t size : upSizes) {
    exp = StepFftSizeExp(exp, UpDownButton::Previous);
    EXPECT_EQ(FftSizeFromExp(exp), size);
  }
  EXPECT_EQ(FftSizeFromExp(9), 2048);
  EXPECT_EQ(FftSizeFromExp(-2), 256);

  struct Case {
    int32_t size;
    uint32_t rate;
    int32_t minor;
  };
  const std::vector<Case> cases = {
      {2048, 44100, 5}, {1024, 44100, 2}, {512, 44100, 1}, {256, 44100, 1},
      {31, 1000, 5},    {29, 1000, 2},    {21, 1000, 2},   {19, 1000, 1},
      {256, 8000, 5},   {2048, 0, 5},
  };
  for (const auto& t : cases)
    EXPECT_EQ(WaveMinorGridFor(t.size, t.rate), t.minor) << t.size << " " << t.rate;
}

}  // namespace
}  // namespace tonamira

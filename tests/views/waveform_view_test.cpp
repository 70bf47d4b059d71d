// The waveform view: trace geometry and rounding, silence, the loudness rule per channel,
// zoom, unsupported formats, short buffers and the time read-out.
#include "views/waveform_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "recording_canvas.h"
#include "views/grid.h"

namespace tonamira {
namespace {

using testing_views::Box;
using testing_views::PixelsOf;
using testing_views::Points;
using testing_views::RecordingCanvas;

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (int16_t s : samples) {
    const auto u = static_cast<uint16_t>(s);
    bytes.push_back(static_cast<uint8_t>(u & 0xff));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

// Interleaves two channels.
std::vector<int16_t> Stereo(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  std::vector<int16_t> out;
  for (size_t i = 0; i < left.size(); ++i) {
    out.push_back(left[i]);
    out.push_back(right[i]);
  }
  return out;
}

struct Point {
  int x, y;
  bool operator==(const Point&) const = default;
};

// The polyline as drawn: the point moved to, then every line end.
std::vector<Point> Polyline(const RecordingCanvas& c, Rgb pen) {
  std::vector<Point> pts;
  for (const auto& l : c.lines) {
    if (l.pen != pen) continue;
    if (pts.empty()) pts.push_back({l.x0, l.y0});
    pts.push_back({l.x1, l.y1});
  }
  return pts;
}

TEST(WaveformView, ZoomComesFromTheScrollBar) {
  EXPECT_EQ(WaveZoom(10, 4), 7);   // start-up
  EXPECT_EQ(WaveZoom(10, 1), 10);  // thumb at the top
  EXPECT_EQ(WaveZoom(10, 10), 1);  // thumb at the bottom
}

TEST(WaveformView, MonoTraceIsRoundedAfterAddingToBaseline85_5) {
  // Height 171: baseline 85.5, k = 7 * 171 / 65536 / 2; x = Round(i * 545 / 4).
  RecordingCanvas c(545, 171);
  const auto data = Pcm16({0, 1000, -2000, 0});
  EXPECT_TRUE(DrawWaveform(c, 4, data, 16, 1, 0, 7));
  const std::vector<Point> expected = {{0, 86}, {136, 76}, {272, 104}, {409, 86}};
  EXPECT_EQ(Polyline(c, kRed), expected);
}

TEST(WaveformView, SilenceIsAFlatLineOnTheBaseline) {
  struct Case {
    int bits;
    std::vector<uint8_t> data;
  };
  const std::vector<Case> cases = {
      {8, std::vector<uint8_t>(64, 128)},
      {16, std::vector<uint8_t>(128, 0)},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.bits);
    RecordingCanvas c(545, 171);
    ClearBox(c);
    EXPECT_TRUE(DrawWaveform(c, 64, t.data, t.bits, 1, 0, 7));
    // Last point at Round(63 * 545 / 64) = 536, which a line does not include.
    EXPECT_EQ(PixelsOf(c.raster, kRed), Box(0, 86, 536, 87));
  }
}

TEST(WaveformView, StereoLoudLeftEndsOnlyTheRedTrace) {
  std::vector<int16_t> left(16, 0), right(16, 0);
  left[4] = 32767;  // fifth sample
  const auto data = Pcm16(Stereo(left, right));
  RecordingCanvas c(545, 171);
  ClearBox(c);
  EXPECT_FALSE(DrawWaveform(c, 16, data, 16, 2, 0, 7));
  // Red about Height/3 = 57 up to its fourth point x = Round(3 * 545 / 16) = 102 (excluded);
  // blue about 2*Height/3 = 114 in full, up to Round(15 * 545 / 16) = 511 (excluded).
  EXPECT_EQ(PixelsOf(c.raster, kRed), Box(0, 57, 102, 58));
  EXPECT_EQ(PixelsOf(c.raster, kBlue), Box(0, 114, 511, 115));
}

TEST(WaveformView, LoudnessRuleLooksOnlyAtPositiveSamplesOfPoints1To19) {
  struct Case {
    const char* name;
    int position;
    int16_t value;
    bool levelOk;
    size_t linesDrawn;  // of 63 for a full trace of 64 samples
  };
  const std::vector<Case> cases = {
      {"first sample loud", 0, 32767, true, 63},
      {"twenty-first sample loud", 20, 32767, true, 63},
      {"late sample loud", 50, 32767, true, 63},
      {"second sample loud", 1, 32767, false, 0},
      {"third sample 32001", 2, 32001, false, 1},
      {"twentieth sample loud", 19, 32001, false, 18},
      {"exactly 32000", 5, 32000, true, 63},
      {"most negative", 3, -32768, true, 63},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::vector<int16_t> s(64, 0);
    s[t.position] = t.value;
    RecordingCanvas c(545, 171);
    EXPECT_EQ(DrawWaveform(c, 64, Pcm16(s), 16, 1, 0, 7), t.levelOk);
    EXPECT_EQ(c.lines.size(), t.linesDrawn);
  }

  // A frame full of -32768 keeps the flag too.
  RecordingCanvas c(545, 171);
  EXPECT_TRUE(DrawWaveform(c, 64, Pcm16(std::vector<int16_t>(64, -32768)), 16, 1, 0, 7));
  EXPECT_EQ(c.lines.size(), 63u);
}

TEST(WaveformView, EightBitFramesAreNeverTooLoud) {
  RecordingCanvas c(545, 171);
  EXPECT_TRUE(DrawWaveform(c, 32, std::vector<uint8_t>(32, 255), 8, 1, 0, 7));
  EXPECT_EQ(c.lines.size(), 31u);
}

TEST(WaveformView, ZoomScalesAboutTheBaselineAndClips) {
  // 8 bits: scale = 171 / 256 / 2; value 255 is +127.
  struct Case {
    int zoom;
    int y;
  };
  const std::vector<Case> cases = {{1, 43}, {7, -211}, {10, -339}};
  for (const auto& t : cases) {
    SCOPED_TRACE(t.zoom);
    RecordingCanvas c(545, 171);
    DrawWaveform(c, 2, std::vector<uint8_t>{255, 0}, 8, 1, 0, t.zoom);
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0].y0, t.y);
  }
}

TEST(WaveformView, OffsetSelectsTheFrame) {
  std::vector<int16_t> s(8, 0);
  s[4] = 1000;
  RecordingCanvas c(545, 171);
  DrawWaveform(c, 4, Pcm16(s), 16, 1, 8, 7);  // frame starts at sample 4
  ASSERT_FALSE(c.lines.empty());
  EXPECT_EQ(c.lines[0].y0, 76);
}

TEST(WaveformView, NothingDrawnWithoutSoundOrForOtherFormats) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    int bits, channels;
    size_t offset;
  };
  const std::vector<uint8_t> some(64, 0);
  const std::vector<Case> cases = {
      {"no sound", {}, 16, 1, 0},
      {"offset past the data", some, 16, 1, 64},
      {"24 bits", some, 24, 1, 0},
      {"3 channels", some, 16, 3, 0},
      {"0 channels", some, 8, 0, 0},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    RecordingCanvas c(545, 171);
    EXPECT_TRUE(DrawWaveform(c, 16, t.data, t.bits, t.channels, t.offset, 7));
    EXPECT_TRUE(c.lines.empty());
  }
}

TEST(WaveformView, ShortBufferDrawsOnlyTheSamplesItHolds) {
  // 2048 frames requested, 10 16-bit stereo frames present (and an odd trailing byte).
  std::vector<uint8_t> data = Pcm16(std::vector<int16_t>(20, 0));
  data.push_back(0);
  RecordingCanvas c(545, 171);
  EXPECT_TRUE(DrawWaveform(c, 2048, data, 16, 2, 0, 7));
  EXPECT_EQ(Polyline(c, kRed).size(), 10u);
  EXPECT_EQ(Polyline(c, kBlue).size(), 10u);
}

TEST(WaveformView, TimeReadoutText) {
  struct Case {
    double ms;
    const char* text;
  };
  const std::vector<Case> cases = {
      {TimeAtColumn(300, 2048, 44100, 545), "25.563"},
      {TimeAtColumn(0, 2048, 44100, 545), "0.000"},
      {TimeAtColumn(544, 2048, 44100, 545), "46.355"},
      {123.456789, "123.460"},  // five significant digits first
      {9.99996, "10.000"},
      {0.0123456, "0.012"},
  };
  for (const auto& t : cases) EXPECT_EQ(TimeReadoutText(t.ms), t.text) << t.ms;
}

TEST(WaveformView, TimeReadoutIsWrittenRedRightOfTheClick) {
  RecordingCanvas c(545, 171);
  ClearBox(c);
  DrawTimeReadout(c, 300, 2048, 44100);
  ASSERT_EQ(c.texts.size(), 1u);
  EXPECT_EQ(c.texts[0].x, 301);
  EXPECT_EQ(c.texts[0].y, 0);
  EXPECT_EQ(c.texts[0].text, "25.563");
  EXPECT_EQ(c.texts[0].font, kRed);

  RecordingCanvas none(545, 171);
  DrawTimeReadout(none, 300, 2048, 0);
  EXPECT_TRUE(none.texts.empty());
}

TEST(WaveformView, LoudWarningAtTheCentre) {
  RecordingCanvas c(545, 171);
  DrawLoudWarning(c);
  ASSERT_EQ(c.texts.size(), 1u);
  EXPECT_EQ(c.texts[0].x, 272);
  EXPECT_EQ(c.texts[0].y, 85);
  EXPECT_EQ(c.texts[0].text, "音を小さくしてください。");
  EXPECT_EQ(c.texts[0].font, kRed);
}

}  // namespace
}  // namespace tonamira

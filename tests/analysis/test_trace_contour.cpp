// The trace's contour of a PCM stream: the same points as the live tracker on the channel the
// window reads, however the bytes are cut (inside sample frames too), one kept per frame with
// the final decision replacing the provisional one; and the lookups the trace draws with.
#include "analysis/trace_contour.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tonamira {
namespace {

const std::string kData = TONAMIRA_TRACKER_DATA;

std::vector<int16_t> ReadExcerpt(const std::string& name) {
  SF_INFO info{};
  SNDFILE* file = sf_open((kData + "/" + name).c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << name;
  if (!file) return {};
  std::vector<int16_t> samples(static_cast<size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
  sf_close(file);
  return samples;
}

// The excerpt as interleaved PCM of `channels` channels and `bits` bits: the excerpt on the
// channel the window reads (the second of two), a different sound (its reverse) on the others.
std::vector<uint8_t> Pcm(const std::vector<int16_t>& x, int channels, int bits) {
  std::vector<uint8_t> bytes;
  const int read = channels == 2 ? 1 : 0;
  for (size_t i = 0; i < x.size(); ++i) {
    for (int c = 0; c < channels; ++c) {
      const int16_t v = c == read ? x[i] : x[x.size() - 1 - i];
      if (bits == 16) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
      } else {
        bytes.push_back(static_cast<uint8_t>((v >> 8) + 128));
      }
    }
  }
  return bytes;
}

// The final points the live tracker gives for the samples it is fed, keyed by frame.
std::vector<LivePoint> Reference(const std::vector<double>& mono) {
  LiveTrackerSettings settings;
  settings.tracker.sampleRate = 44100.0;
  LivePitchTracker tracker(settings);
  std::vector<LivePoint> all;
  tracker.Push(std::span<const double>(mono), all);
  tracker.Finish(all);
  std::vector<LivePoint> byFrame;
  for (const LivePoint& p : all) {
    if (!p.isFinal) continue;
    if (static_cast<size_t>(p.frame) >= byFrame.size()) byFrame.resize(static_cast<size_t>(p.frame) + 1);
    byFrame[static_cast<size_t>(p.frame)] = p;
  }
  return byFrame;
}

TEST(TraceContour, IsTheLiveTrackersOnTheWindowsChannelHoweverTheBytesAreCut) {
  const std::vector<int16_t> x = ReadExcerpt("notes.flac");
  ASSERT_GT(x.size(), 44100u);
  struct Case {
    const char* name;
    int channels, bits;
    size_t piece;   // bytes per push: some cut sample frames in two
  };
  const Case cases[] = {
      {"16-bit mono in 20 ms fragments", 1, 16, 1764},
      {"16-bit stereo, pieces cutting frames", 2, 16, 4097},
      {"16-bit stereo a byte at a time", 2, 16, 1},
      {"8-bit mono in odd pieces", 1, 8, 777},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = Pcm(x, c.channels, c.bits);
    std::vector<double> mono(x.size());
    for (size_t i = 0; i < x.size(); ++i)
      mono[i] = c.bits == 16 ? x[i] / 32768.0 : (x[i] >> 8) / 128.0;
    const std::vector<LivePoint> want = Reference(mono);

    TraceContour contour;
    ASSERT_TRUE(contour.Start(44100.0, c.channels, c.bits));
    for (size_t at = 0; at < bytes.size(); at += c.piece)
      contour.Push(std::span<const uint8_t>(bytes.data() + at, std::min(c.piece, bytes.size() - at)));
    contour.Finish();
    EXPECT_DOUBLE_EQ(contour.SecondsSeen(), static_cast<double>(x.size()) / 44100.0);
    ASSERT_EQ(contour.Points().size(), want.size());
    size_t voiced = 0;
    for (size_t f = 0; f < want.size(); ++f) {
      const TraceContour::Point& p = contour.Points()[f];
      ASSERT_TRUE(p.isFinal) << f;
      ASSERT_EQ(p.voiced(), want[f].voiced) << f;
      if (p.voiced()) {
        EXPECT_FLOAT_EQ(p.hz, static_cast<float>(want[f].hz)) << f;
      }
      EXPECT_NEAR(contour.TimeOf(static_cast<int64_t>(f)), want[f].timeSeconds, 1e-9);
      voiced += p.voiced();
    }
    EXPECT_GT(voiced, want.size() / 3) << "the excerpt's notes are traced";
  }
}

TEST(TraceContour, LooksUpFramesByTimeAndHandsThemOutAsPoints) {
  std::vector<int16_t> tone(44100);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(2.0 * M_PI * 330.0 * static_cast<double>(i) / 44100.0)));
  TraceContour contour;
  EXPECT_EQ(contour.FrameAt(0.5), -1) << "no frames yet";
  ASSERT_TRUE(contour.Start(44100.0, 1, 16));
  const std::vector<uint8_t> bytes = Pcm(tone, 1, 16);
  contour.Push(bytes);
  const int64_t frames = static_cast<int64_t>(contour.Points().size());
  ASSERT_GT(frames, 100);
  struct Case {
    double seconds;
    int64_t frame;
  };
  const double hop = contour.HopSeconds();
  for (const Case c : {Case{-3.0, 0}, Case{contour.TimeOf(10), 10}, Case{contour.TimeOf(10) + 0.49 * hop, 10},
                       Case{contour.TimeOf(10) + 0.51 * hop, 11}, Case{1e6, frames - 1}}) {
    EXPECT_EQ(contour.FrameAt(c.seconds), c.frame) << c.seconds;
  }
  std::vector<LivePoint> out;
  contour.Expand(-5, 3, out);
  contour.Expand(frames - 2, frames + 5, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[3].frame, frames - 2);
  EXPECT_NEAR(out[4].timeSeconds, contour.TimeOf(frames - 1), 1e-12);
  for (int64_t f = frames / 2; f < frames / 2 + 10; ++f) {
    const TraceContour::Point& p = contour.Points()[static_cast<size_t>(f)];
    ASSERT_TRUE(p.voiced());
    EXPECT_NEAR(p.hz, 330.0, 0.5);
  }
  // A format it cannot track tracks nothing.
  TraceContour none;
  EXPECT_FALSE(none.Start(44100.0, 1, 24));
  none.Push(bytes);
  EXPECT_TRUE(none.Points().empty());
}

}  // namespace
}  // namespace tonamira

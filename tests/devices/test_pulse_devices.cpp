// The sound server's devices against the private PulseAudio server (null sink, recordable
// copy of its monitor as the default source): what is played is recorded again, so the
// tests hear what the output plays.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/detection.h"
#include "analysis/frame_analysis.h"
#include "analysis/spectrum.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "pulse_support.h"

namespace tonamira {
namespace {

using namespace pulse;

constexpr double kMsPerByte = 1000.0 / 88200.0;  // 16-bit mono at 44100 Hz

// A recording and a playback through the devices, driven like the window drives them.
class PulseLoopback : public DeviceTest {
 protected:
  void TearDown() override {
    if (input) {
      input->Reset();
      Pump(50);  // deliver what the reset handed back
      input->Close();
    }
    if (output) {
      output->Reset();
      output->Close();
    }
    input.reset();
    output.reset();
    ReleaseDeferred();
  }

  void StartRecording(size_t chunk) { StartInput(chunk); }
  void Play(std::vector<uint8_t> sound) { StartOutput(std::move(sound)); }

  // Everything recorded so far, in order.
  std::vector<uint8_t> Recorded() const {
    std::vector<uint8_t> all;
    for (const Window::Chunk& c : window.chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
  }
};

TEST_F(PulseLoopback, RecordsThePitchOfAPlayedTone) {
  StartRecording(8820);
  Play(Tone(440.0, 1.0, 12000.0));
  ASSERT_TRUE(WaitFor([&] { return !window.dones.empty(); })) << "no done after the tone";
  // The rest of the tone comes in: wait for a quiet chunk after the done.
  const size_t atDone = window.chunks.size();
  ASSERT_TRUE(WaitFor([&] {
    if (window.chunks.size() <= atDone) return false;
    const auto& b = window.chunks.back().bytes;
    for (size_t i = 0; i < b.size() / 2; ++i)
      if (std::abs(SampleAt(b, i)) > 1000) return false;
    return true;
  }));
  EXPECT_EQ(window.dones.size(), 1u);
  EXPECT_EQ(window.dones[0].header, &played->header);
  EXPECT_EQ(window.doneOutputPosition[0], 88200u) << "the position at the done is the end";
  EXPECT_TRUE(window.losses.empty());

  // Every chunk the tone fills from its start is analysed as the window analyses a chunk:
  // the first 2048 samples.
  FftPlan plan(2048);
  FftArrays arrays;
  ASSERT_TRUE(AllocFftArrays(arrays, 2048));
  DetectionSettings settings;
  settings.cutoffBin = CutoffBinFor(30, 44100, 2048);
  int inTone = 0;
  for (const Window::Chunk& c : window.chunks) {
    ASSERT_EQ(c.bytes.size(), 8820u);
    // Inside the tone when the first and last part of the frame are both loud.
    auto loud = [&](size_t from) {
      int peak = 0;
      for (size_t i = from; i < from + 200; ++i) peak = std::max(peak, std::abs(SampleAt(c.bytes, i)));
      return peak > 8000;
    };
    if (!loud(0) || !loud(1848)) continue;
    ++inTone;
    DetectionState state;
    const PcmFrame frame{c.bytes, 0, 2048, 1, 16, 2};
    ASSERT_TRUE(AnalyzePcmFrame(frame, plan, arrays, settings, state));
    EXPECT_NEAR(state.detectedFreq, 440, 2);
  }
  EXPECT_GE(inTone, 6) << "a second of tone fills at least six whole chunks";
}

TEST_F(PulseLoopback, PositionIsWithin50MsOfWhatIsHeardAndTheTailIsNotCut) {
  // Each sample of a slow ramp says which sample of the sound it is, so every recorded
  // chunk tells how far the listener (the sink's monitor) has heard.
  constexpr size_t kSamples = 2 * 44100;
  const std::vector<uint8_t> ramp = Ramp(kSamples, 4);
  const int16_t last = static_cast<int16_t>(1 + (kSamples - 1) / 4);
  StartRecording(4410);  // 50 ms chunks: about forty measurements
  Play(ramp);
  ASSERT_TRUE(WaitFor([&] { return !window.dones.empty(); })) << "no done after the ramp";
  // As the window does: the done stops the device at once.
  ASSERT_EQ(output->Reset(), AudioResult::Ok);
  ASSERT_EQ(output->Unprepare(played->header), AudioResult::Ok);
  ASSERT_EQ(output->Close(), AudioResult::Ok);
  window.output = nullptr;
  const size_t chunksAtDone = window.chunks.size();
  auto highestHeard = [&] {
    int16_t highest = 0;
    const std::vector<uint8_t> all = Recorded();
    for (size_t i = 0; i < all.size() / 2; ++i) highest = std::max(highest, SampleAt(all, i));
    return highest;
  };
  // Every sample was heard before the done let the reset stop the stream: the last one
  // comes in.
  EXPECT_TRUE(WaitFor([&] { return highestHeard() == last; }, 2000))
      << "the end of the sound was cut: heard up to " << highestHeard() << " of " << last;

  // The position against the newest sample heard when each chunk came in. The chunk's
  // newest sample reached the input a little before it was delivered, so the error is
  // measured from the listener's side and includes the input's own delay.
  std::vector<double> errorsMs;
  for (size_t k = 0; k < chunksAtDone; ++k) {
    const Window::Chunk& c = window.chunks[k];
    const int16_t v = SampleAt(c.bytes, c.bytes.size() / 2 - 1);
    if (v <= 0 || v >= last) continue;  // before the ramp or past its end
    const double heardBytes = 2.0 * 4.0 * (v - 1);
    errorsMs.push_back((c.outputPosition - heardBytes) * kMsPerByte);
  }
  ASSERT_GE(errorsMs.size(), 30u);
  // The error is the position's own plus the input's delay (0 to about 20 ms, the input
  // fragment); on a busy machine the input now and then comes later still. So the bound
  // holds for nine in ten measurements, and no measurement has the position behind.
  std::sort(errorsMs.begin(), errorsMs.end());
  const double median = errorsMs[errorsMs.size() / 2];
  const double p90 = errorsMs[errorsMs.size() * 9 / 10];
  RecordProperty("position_error_min_ms", std::to_string(errorsMs.front()));
  RecordProperty("position_error_median_ms", std::to_string(median));
  RecordProperty("position_error_p90_ms", std::to_string(p90));
  RecordProperty("position_error_max_ms", std::to_string(errorsMs.back()));
  EXPECT_GE(errorsMs.front(), -50.0);
  EXPECT_LE(p90, 50.0);
  EXPECT_LE(std::abs(median), 50.0);
}

TEST_F(PulseLoopback, ASoundShorterThanTheServersPrebufferPlaysAndEnds) {
  Play(Tone(440.0, 0.02, 8000.0));  // 1764 bytes
  ASSERT_TRUE(WaitFor([&] { return !window.dones.empty(); }, 5000));
  EXPECT_EQ(window.doneOutputPosition[0], 1764u);
  uint32_t p = 0;
  EXPECT_EQ(output->Position(p), AudioResult::Ok);
  EXPECT_EQ(p, 1764u);
}

TEST_F(PulseLoopback, ResetHandsBackTheWriteOnceAndTheDeviceReplays) {
  Play(Tone(440.0, 1.0, 8000.0));
  ASSERT_TRUE(WaitFor([&] {
    uint32_t p = 0;
    output->Position(p);
    return p > 8820;
  }));
  uint32_t atReset = 0;
  ASSERT_EQ(output->Position(atReset), AudioResult::Ok);
  EXPECT_LT(atReset, 88200u);
  ASSERT_EQ(output->Pause(), AudioResult::Ok);
  uint32_t paused = 0;
  output->Position(paused);
  Pump(100);
  uint32_t later = 0;
  output->Position(later);
  EXPECT_EQ(later, paused) << "a pause holds the position";
  ASSERT_EQ(output->Reset(), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.dones.size() == 1; }, 1000));
  uint32_t p = 1;
  output->Position(p);
  EXPECT_EQ(p, 0u);
  // The same device plays the write again from its start, to its end.
  ASSERT_EQ(output->Write(played->header), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.dones.size() == 2; }));
  EXPECT_EQ(window.doneOutputPosition[1], 88200u);
  Pump(200);
  EXPECT_EQ(window.dones.size(), 2u) << "one done per write";
}

TEST_F(PulseLoopback, PlaybackStaysCleanAfterManyStreams) {
  // Every write after a reset is a new stream; the buffer ahead of the listener must not
  // shrink from one stream to the next, or the sound breaks up into underruns.
  Play(Tone(440.0, 0.03, 8000.0));
  for (int i = 0; i < 14; ++i) {
    ASSERT_TRUE(WaitFor([&] { return window.dones.size() == static_cast<size_t>(i + 1); }, 3000));
    ASSERT_EQ(output->Reset(), AudioResult::Ok);
    ASSERT_EQ(output->Write(played->header), AudioResult::Ok);
  }
  ASSERT_TRUE(WaitFor([&] { return window.dones.size() == 15; }, 3000));
  ASSERT_EQ(output->Reset(), AudioResult::Ok);
  ASSERT_EQ(output->Unprepare(played->header), AudioResult::Ok);
  StartRecording(8820);
  Buffer tone(Tone(440.0, 1.0, 12000.0), 8);
  ASSERT_EQ(output->Prepare(tone.header), AudioResult::Ok);
  ASSERT_EQ(output->Write(tone.header), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.dones.size() == 16; }));
  FftPlan plan(2048);
  FftArrays arrays;
  ASSERT_TRUE(AllocFftArrays(arrays, 2048));
  DetectionSettings settings;
  settings.cutoffBin = CutoffBinFor(30, 44100, 2048);
  int clean = 0;
  for (const Window::Chunk& c : window.chunks) {
    int quiet = 0;
    for (size_t i = 0; i < 2048; ++i) quiet += std::abs(SampleAt(c.bytes, i)) < 100;
    if (quiet > 50) continue;  // not wholly inside the tone
    DetectionState state;
    const PcmFrame frame{c.bytes, 0, 2048, 1, 16, 2};
    ASSERT_TRUE(AnalyzePcmFrame(frame, plan, arrays, settings, state));
    EXPECT_NEAR(state.detectedFreq, 440, 2);
    ++clean;
  }
  EXPECT_GE(clean, 6);
  ASSERT_EQ(output->Reset(), AudioResult::Ok);
  ASSERT_EQ(output->Unprepare(tone.header), AudioResult::Ok);
}

TEST_F(PulseLoopback, SoundThatComesWhileTheBuffersAreHeldIsKeptInOrder) {
  // A ramp in which every sample says where it lies; the listener holds both buffers for a
  // second and a half of it, as a busy window does, then hands them back.
  constexpr size_t kSamples = 2 * 44100;
  const std::vector<uint8_t> ramp = Ramp(kSamples, 3);
  StartRecording(8820);
  ASSERT_TRUE(WaitFor([&] { return !window.chunks.empty(); })) << "not recording";
  Play(ramp);
  auto playedPast = [&](uint32_t bytes) {
    uint32_t p = 0;
    output->Position(p);
    return p >= bytes;
  };
  ASSERT_TRUE(WaitFor([&] { return playedPast(26460); }));   // 0.3 s in
  window.handBack = false;
  ASSERT_TRUE(WaitFor([&] { return window.held.size() == 2; }, 1000));
  ASSERT_TRUE(WaitFor([&] { return playedPast(26460 + 132300); }, 5000));   // 1.5 s later
  window.handBack = true;
  for (WaveHeader* h : window.held) ASSERT_EQ(input->AddBuffer(*h), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return !window.dones.empty(); }, 5000));
  const int16_t last = static_cast<int16_t>(1 + (kSamples - 1) / 3);
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<uint8_t> all = Recorded();
    for (size_t i = 0; i < all.size() / 2; ++i)
      if (SampleAt(all, i) == last) return all.size() / 2 > i + 4410;
    return false;
  }, 3000)) << "the end of the ramp never came in";
  // From the ramp's first sample to its last, the recording is the ramp: nothing dropped,
  // nothing twice.
  const std::vector<uint8_t> all = Recorded();
  size_t start = 0;
  while (start < all.size() / 2 && SampleAt(all, start) != 1) ++start;
  ASSERT_LT(start + kSamples, all.size() / 2);
  size_t wrong = 0;
  for (size_t k = 0; k < kSamples; ++k)
    wrong += SampleAt(all, start + k) != static_cast<int16_t>(1 + k / 3);
  EXPECT_EQ(wrong, 0u);
}

TEST_F(PulseLoopback, ResetHandsBackBothQueuedInputBuffers) {
  StartRecording(8820);
  ASSERT_TRUE(WaitFor([&] { return window.chunks.size() >= 3; }));
  window.handBack = false;
  const size_t before = window.chunks.size();
  ASSERT_EQ(input->Reset(), AudioResult::Ok);
  ASSERT_TRUE(WaitFor([&] { return window.chunks.size() == before + 2; }, 1000));
  Pump(200);
  EXPECT_EQ(window.chunks.size(), before + 2) << "nothing after the two returned buffers";
  EXPECT_LT(window.chunks.back().bytes.size(), 8820u) << "the second was still filling";
  EXPECT_EQ(input->Unprepare(first->header), AudioResult::Ok);
  EXPECT_EQ(input->Unprepare(second->header), AudioResult::Ok);
  EXPECT_EQ(input->Close(), AudioResult::Ok);
  input.reset();
}

}  // namespace
}  // namespace tonamira

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  return result;
}

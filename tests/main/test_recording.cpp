// Recording through the simulated input device: the chunks of a take, the live analysis of
// every second chunk, the stop handshake, a take that outgrows its first stretch of room or
// reaches the limit, every failure of the start, a device that goes away, and closing the
// window while recording.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::ServiceCall;
using testing::Window;

constexpr uint64_t kChunkMicros = 100'000;

// A 440 Hz tone at a quarter of full scale; the second channel carries half of it.
int16_t Tone440(uint64_t frame, int channel) {
  const double v = 8000.0 * std::sin(kTwoPi * 440.0 * static_cast<double>(frame) / 44100.0);
  return static_cast<int16_t>(std::lround(channel == 0 ? v : v / 2.0));
}

// Starts a take of `channels` channels with the tone as input.
void StartTake(Window& w, int channels, SimSignal signal = Tone440) {
  w.sim.SetSignal(std::move(signal));
  w.form.RadioGroupchan->SetItemIndex(channels - 1);
  w.form.RecButtonClick();
}

void RecordChunks(Window& w, int chunks) {
  for (int i = 0; i < chunks; ++i) w.Advance(kChunkMicros);
}

void StopTake(Window& w) {
  w.form.RecButtonClick();
  w.Pump();
}

bool Idle(const FormMain& f) {
  return !f.Devices.Recording && !f.Devices.InputOpen && !f.Devices.InputRunning &&
         !f.Devices.RecStopRequested && !f.Devices.RecStopDone && !f.RecButton->isHidden() &&
         f.RecButton->Caption() == QString::fromUtf8("録音");
}

// Sample of channel c at sample frame n of the current sound (16-bit).
int16_t SampleAt(const FormMain& f, uint64_t n, int c) {
  int16_t v = 0;
  std::memcpy(&v, f.Sound.WaveData + (n * f.Sound.WaveFormat.nChannels + c) * 2, 2);
  return v;
}

TEST(Recording, ATakeHoldsEveryChunkItRecorded) {
  struct Case {
    int channels;
    int32_t chunkBytes;
  };
  for (const Case c : {Case{1, 8820}, Case{2, 17640}}) {
    SCOPED_TRACE(c.channels);
    Window w;
    w.form.show();
    StartTake(w, c.channels);
    EXPECT_TRUE(w.form.Devices.Recording);
    EXPECT_EQ(w.form.RecButton->Caption(), QString::fromUtf8("録音停止"));
    EXPECT_TRUE(w.form.RecButton->isVisible());
    EXPECT_EQ(w.form.Sound.WaveDataSize, c.chunkBytes);
    RecordChunks(w, 25);
    EXPECT_EQ(w.form.Sound.RecPos, static_cast<uint32_t>(25 * c.chunkBytes));
    EXPECT_EQ(w.form.PlayScrollBar->Position(), 25 * c.chunkBytes);
    // The chunks of the first buffer are analysed as they come: 13 of 25, each a column.
    EXPECT_EQ(w.form.Display.VoiceprintColumn, 13);
    EXPECT_EQ(w.form.LbfftValue->Caption(), "440");
    EXPECT_EQ(w.form.KeyPanels[34]->Color(), kRed);

    w.form.RecButtonClick();
    EXPECT_EQ(w.form.RecButton->Caption(), QString::fromUtf8("録音停止"));   // until the first
    EXPECT_EQ(w.Pump(), 2u);                                                // of the two
    EXPECT_TRUE(Idle(w.form));
    EXPECT_TRUE(w.form.Devices.HasSound);
    EXPECT_EQ(w.form.Sound.WaveDataSize, 25 * c.chunkBytes);
    EXPECT_EQ(w.form.Sound.WaveFormat.nChannels, c.channels);
    EXPECT_EQ(w.form.Sound.FramePos, 0u);
    EXPECT_EQ(w.form.PlayScrollBar->Position(), 0);
    EXPECT_EQ(w.sim.OpenInputs(), 0);
    for (uint64_t n : {0ull, 1ull, 4409ull, 4410ull, 110249ull}) {
      for (int ch = 0; ch < c.channels; ++ch) EXPECT_EQ(SampleAt(w.form, n, ch), Tone440(n, ch));
    }
    EXPECT_TRUE(w.services.calls.empty());
  }
}

TEST(Recording, AStopBeforeTheFirstChunkGivesAnEmptySound) {
  Window w;
  StartTake(w, 1);
  StopTake(w);
  EXPECT_TRUE(Idle(w.form));
  EXPECT_EQ(w.form.Sound.WaveDataSize, 0);
  EXPECT_EQ(w.services.Boxes(),
            (std::vector<ServiceCall>{{"MessageBox", "プログラムを閉じてください", "Wait"}}));
}

TEST(Recording, AThreeMinuteTakeKeepsAllThreeMinutes) {
  Window w;
  // Each sample frame carries its own number, so a chunk out of place would show.
  StartTake(w, 1, [](uint64_t frame, int) { return static_cast<int16_t>(frame % 30011); });
  RecordChunks(w, 1800);
  // The take outgrew its first 90 s of room; the bar's range followed it.
  EXPECT_EQ(w.form.PlayScrollBar->Max(), 1800 * 8820);
  StopTake(w);
  ASSERT_EQ(w.form.Sound.WaveDataSize, 1800 * 8820);
  for (uint64_t n : {0ull, 3'969'000ull, 3'969'001ull, 7'937'999ull})
    EXPECT_EQ(SampleAt(w.form, n, 0), static_cast<int16_t>(n % 30011)) << n;
  EXPECT_TRUE(w.services.calls.empty());
}

TEST(Recording, ATakeThatCannotGrowStopsItselfAndKeepsWhatItHas) {
  struct Case {
    const char* name;
    uint64_t limit;           // the largest take
    int32_t rateBefore;       // the rate before the start sets the first room: rate x 180
    const char* failing;      // an allocation that fails on its second request
    int chunksKept;
    ServiceCall box;
  };
  const Case cases[] = {
      {"at the limit", 10 * 8820, 44100, "", 10,
       {"MessageBox",
        "録音できる長さの上限に達したので、録音を止めました。ここまでの録音は残っています。",
        "録音"}},
      {"no memory to grow", kMaxSoundBytes, 245, "RecBuffer", 5,   // room for 5 chunks
       {"MessageBox", "No pwavedata[0]", "ERROR"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int asked = 0;
    Window w([&](std::string_view name) { return name == c.failing && ++asked == 2; });
    w.form.Recording.RecLimit = c.limit;
    w.form.Sound.RecRate = c.rateBefore;
    StartTake(w, 1);
    RecordChunks(w, c.chunksKept + 3);
    EXPECT_TRUE(Idle(w.form));
    EXPECT_EQ(w.form.Sound.WaveDataSize, c.chunksKept * 8820);
    EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{c.box});
    EXPECT_EQ(w.sim.OpenInputs(), 0);
  }
}

TEST(Recording, AFailedStartSaysWhyAndReturnsToIdle) {
  struct Case {
    const char* name;
    SimOp op;            // a device call that fails after okFirst good ones ...
    int okFirst;
    const char* block;   // ... or an allocation, the first time it is asked for
    ServiceCall box;
  };
  const ServiceCall noDevice{"MessageBox", AudioErrorText(AudioResult::BadDevice), "ERROR"};
  const Case cases[] = {
      {"open", SimOp::OpenInput, 0, "", noDevice},
      {"second prepare", SimOp::PrepareInput, 1, "", noDevice},
      {"second add", SimOp::AddBuffer, 1, "", noDevice},
      {"start", SimOp::Start, 0, "", noDevice},
      {"second buffer", SimOp::Position, 0, "RecChunk2", {"MessageBox", "No pwavedata", "ERROR"}},
      {"second header", SimOp::Position, 0, "RecHeader2", {"MessageBox", "No pwaveheader", "ERROR"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool failed = false;
    Window w([&](std::string_view name) { return name == c.block && !std::exchange(failed, true); });
    if (std::string_view(c.block).empty()) w.sim.FailCall(c.op, AudioResult::BadDevice, c.okFirst);
    w.form.show();
    StartTake(w, 1);
    EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{c.box});
    EXPECT_TRUE(Idle(w.form));
    EXPECT_EQ(w.sim.OpenInputs(), 0);
    // Nothing left queued that could later be taken for a chunk.
    w.sim.ClearFailures();
    RecordChunks(w, 3);
    EXPECT_TRUE(Idle(w.form));
    EXPECT_EQ(w.form.Sound.RecPos, 0u);
    // And a new start works.
    w.services.calls.clear();
    StartTake(w, 1);
    RecordChunks(w, 2);
    StopTake(w);
    EXPECT_EQ(w.form.Sound.WaveDataSize, 2 * 8820);
    EXPECT_TRUE(w.services.calls.empty());
  }
}

TEST(Recording, ALostInputKeepsTheTakeSoFarAndSaysSo) {
  Window w;
  StartTake(w, 2);
  RecordChunks(w, 5);
  w.sim.LoseInput();
  w.Pump();
  EXPECT_TRUE(Idle(w.form));
  EXPECT_EQ(w.form.Sound.WaveDataSize, 5 * 17640);
  ASSERT_EQ(w.services.Boxes().size(), 1u);
  EXPECT_EQ(w.services.Boxes()[0].caption, "ERROR");
  EXPECT_NE(w.services.Boxes()[0].text.find(AudioErrorText(AudioResult::DeviceLost)),
            std::string::npos);
  RecordChunks(w, 3);   // nothing more arrives, nothing waits
  EXPECT_EQ(w.form.Sound.WaveDataSize, 5 * 17640);
}

TEST(Recording, NoiseRemovalLearnsTheBackgroundWhileRecording) {
  Window w;
  w.form.ButfftampfilsetClick();   // not recording: nothing
  EXPECT_FALSE(w.form.Analysis.CaptureNoise);
  StartTake(w, 1);
  RecordChunks(w, 1);
  ASSERT_EQ(w.form.LbfftValue->Caption(), "440");
  w.form.ButfftampfilsetClick();
  RecordChunks(w, 2);   // the next analysed chunk is taken as the noise
  EXPECT_FALSE(w.form.Analysis.CaptureNoise);
  EXPECT_GT(w.form.Analysis.PeakThreshold, 10.0);
  RecordChunks(w, 2);   // the steady tone is background now: no pitch
  EXPECT_TRUE(w.form.LbfftValue->Caption().isEmpty());
  StopTake(w);
}

TEST(Recording, ClosingTheWindowWhileRecordingStopsEverything) {
  Window w;
  w.form.show();
  StartTake(w, 1);
  RecordChunks(w, 3);
  EXPECT_TRUE(w.form.close());
  EXPECT_EQ(w.sim.OpenInputs(), 0);
  EXPECT_FALSE(w.form.Devices.Recording);
  w.Pump();   // the stop's notifications arrive after the window has closed
  RecordChunks(w, 2);
  EXPECT_FALSE(w.form.SoundPresent());
  EXPECT_TRUE(w.services.calls.empty());
}

TEST(Recording, NoRecordingWhilePlaying) {
  Window w;
  w.form.PlayButtonClick();
  ASSERT_TRUE(w.form.Devices.Playing);
  w.form.RecButtonClick();
  EXPECT_FALSE(w.form.Devices.Recording);
  EXPECT_EQ(w.sim.OpenInputs(), 0);
}

}  // namespace
}  // namespace tonamira

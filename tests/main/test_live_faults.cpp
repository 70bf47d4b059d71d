// The live sound path under the faults a user meets: boxes whose event loop delivers what
// is queued (the stop handshake of a take shorter than a frame, a double click, an input lost
// before it gave sound), a window too busy to hand its buffers back, the device calls as the
// window makes them, a playback whose end the timer finds, and the smaller faults around the
// starts, a file's huge rate and the mixer's length.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "sound/wav_reader.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::LoopWindow;
using testing::ServiceCall;
using testing::Window;

constexpr uint64_t kChunkMicros = 100'000;

// Every sample frame says which one it is (on channel 1 too, shifted), so a gap or a chunk
// twice would show.
int16_t Ramp(uint64_t frame, int channel) {
  return static_cast<int16_t>((frame + static_cast<uint64_t>(channel) * 7) % 30011);
}

template <typename W>
void StartTake(W& w, int channels = 1) {
  w.sim.SetSignal(Ramp);
  w.form.RadioGroupchan->SetItemIndex(channels - 1);
  w.form.RecButtonClick();
}

bool Idle(const FormMain& f) {
  return !f.Devices.Recording && !f.Devices.InputOpen && !f.Devices.InputRunning &&
         !f.Devices.RecStopRequested && !f.Devices.RecStopDone && !f.RecButton->isHidden() &&
         f.RecButton->Caption() == QString::fromUtf8("録音");
}

// Whether the current sound is the ramp from its first sample, frames long.
bool HoldsTheRamp(const FormMain& f, uint64_t frames) {
  const std::span<const uint8_t> bytes = f.Sound.Bytes();
  const int channels = f.Sound.WaveFormat.nChannels;
  if (bytes.size() != frames * 2 * static_cast<uint64_t>(channels)) return false;
  for (uint64_t n = 0; n < frames; ++n) {
    for (int c = 0; c < channels; ++c) {
      int16_t v = 0;
      std::memcpy(&v, bytes.data() + (n * static_cast<uint64_t>(channels) + static_cast<uint64_t>(c)) * 2, 2);
      if (v != Ramp(n, c)) return false;
    }
  }
  return true;
}

std::vector<uint8_t> SavedData(const std::string& path) {
  WavReadResult r = ReadWavFile(path, WaveFormat{});
  if (!r.ok) return {};
  return {r.data.get(), r.data.get() + r.size};
}

TEST(StopHandshake, EveryTakeBecomesTheCurrentSoundWhateverTheBoxesDeliver) {
  struct Case {
    const char* name;
    void (*firstTake)(LoopWindow&);
    int32_t firstSize;                     // the first take as the current sound
    std::vector<ServiceCall> boxes;        // what the first take showed
  };
  const ServiceCall wait{"MessageBox", "プログラムを閉じてください", "Wait"};
  const Case cases[] = {
      {"a double click: the stop comes before the first chunk",
       [](LoopWindow& w) {
         StartTake(w);
         w.form.RecButtonClick();
       },
       0, {wait}},
      {"a take shorter than a chunk",
       [](LoopWindow& w) {
         StartTake(w);
         w.Advance(50'000);
         w.form.RecButtonClick();
       },
       0, {wait}},
      {"an input lost before it gave any sound",
       [](LoopWindow& w) {
         StartTake(w);
         w.sim.LoseInput();
       },
       0, {{"MessageBox", AudioErrorText(AudioResult::DeviceLost), "ERROR"}}},
      {"an input lost after a second",
       [](LoopWindow& w) {
         StartTake(w);
         for (int i = 0; i < 10; ++i) w.Advance(kChunkMicros);
         w.sim.LoseInput();
       },
       10 * 8820,
       {{"MessageBox",
         AudioErrorText(AudioResult::DeviceLost) + "\n録音を止めました。ここまでの録音は残っています。",
         "ERROR"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    LoopWindow w;
    c.firstTake(w);
    w.Deliver();
    EXPECT_TRUE(Idle(w.form));
    EXPECT_EQ(w.services.Boxes(), c.boxes);
    EXPECT_EQ(w.form.Sound.WaveDataSize, c.firstSize);

    // The take after: three seconds, kept whole, saved whole.
    w.services.calls.clear();
    StartTake(w);
    for (int i = 0; i < 30; ++i) w.Advance(kChunkMicros);
    w.form.RecButtonClick();
    w.Deliver();
    EXPECT_TRUE(Idle(w.form));
    EXPECT_TRUE(w.services.calls.empty());
    ASSERT_EQ(w.form.Sound.WaveDataSize, 30 * 8820);
    EXPECT_TRUE(HoldsTheRamp(w.form, 30 * 4410));
    const std::string path = dir.filePath("take.wav").toStdString();
    w.services.fileAnswers.push_back(path);
    w.form.SaveClick();
    const std::vector<uint8_t> saved = SavedData(path);
    const std::span<const uint8_t> take = w.form.Sound.Bytes();
    EXPECT_EQ(saved, std::vector<uint8_t>(take.begin(), take.end()));
  }
}

TEST(BusyWindow, ATakeIsContinuousAcrossAStallOfTheWindow) {
  struct Case {
    const char* name;
    int channels;
    uint64_t stall;   // the window hands nothing back for this long
    bool overruns;
  };
  const Case cases[] = {
      {"a slow redraw, mono", 1, 300'000, false},
      {"a second and a half, stereo", 2, 1'500'000, false},
      {"just under what the input keeps", 1, 2'850'000, false},
      {"longer than the input keeps", 2, 4'000'000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    StartTake(w, c.channels);
    for (int i = 0; i < 5; ++i) w.Advance(kChunkMicros);
    w.sim.Advance(c.stall);   // the window is busy: nothing is delivered
    for (int i = 0; i < 40; ++i) w.Advance(kChunkMicros);
    if (!c.overruns) {
      ASSERT_TRUE(w.form.Devices.Recording);
      w.form.RecButtonClick();
      w.Pump();
      EXPECT_TRUE(w.services.calls.empty());
    } else {
      // The take stopped itself where the input could keep no more, and said so.
      ASSERT_EQ(w.services.Boxes().size(), 1u);
      EXPECT_NE(w.services.Boxes()[0].text.find(AudioErrorText(AudioResult::Overrun)),
                std::string::npos);
    }
    EXPECT_TRUE(Idle(w.form));
    const uint64_t frames = w.form.Sound.Bytes().size() / (2u * static_cast<uint64_t>(c.channels));
    EXPECT_TRUE(HoldsTheRamp(w.form, frames)) << "a gap or a chunk twice";
    const uint64_t recorded = (500'000 + c.stall + 40 * kChunkMicros) * 441 / 10'000;
    if (!c.overruns) EXPECT_EQ(frames, recorded / 4410 * 4410);
    else EXPECT_LT(frames, recorded);
  }
}

TEST(DeviceCalls, ARecordAndAPlayCallTheDevicesInTheirOrder) {
  using Op = SimOp;
  struct Case {
    const char* name;
    void (*act)(Window&);
    std::vector<SimOp> ops;
  };
  const Case cases[] = {
      {"a take of two chunks",
       [](Window& w) {
         StartTake(w);
         w.Advance(2 * kChunkMicros);
         w.form.RecButtonClick();
         w.Pump();
       },
       {Op::OpenInput, Op::PrepareInput, Op::PrepareInput, Op::AddBuffer, Op::AddBuffer, Op::Start,
        Op::AddBuffer, Op::AddBuffer, Op::ResetInput, Op::UnprepareInput, Op::UnprepareInput,
        Op::CloseInput}},
      {"a playback the user stops",
       [](Window& w) {
         w.form.PlayButtonClick();
         w.Advance(200'000);
         w.form.Timer1.Fire();
         w.form.PlayButtonClick();
         w.Pump();
       },
       {Op::OpenOutput, Op::PrepareOutput, Op::Write, Op::Position, Op::Position, Op::Pause,
        Op::ResetOutput, Op::UnprepareOutput, Op::CloseOutput}},
      {"a playback to its end",
       [](Window& w) {
         w.form.PlayButtonClick();
         w.Advance(600'000);
       },
       {Op::OpenOutput, Op::PrepareOutput, Op::Write, Op::Position, Op::Pause, Op::ResetOutput,
        Op::UnprepareOutput, Op::CloseOutput}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    c.act(w);
    EXPECT_EQ(w.sim.CallOps(), c.ops);
    for (const SimCall& call : w.sim.Calls()) EXPECT_EQ(call.result, AudioResult::Ok);
    EXPECT_EQ(w.sim.OpenInputs() + w.sim.OpenOutputs(), 0);
  }
}

TEST(Playback, AnEndTheTimerFindsSwallowsTheDoneAndKeepsThePosition) {
  struct Case {
    const char* name;
    uint16_t channels;
    size_t bytes;        // the sound's data
    int lastFrame;       // where the last whole frame starts
  };
  const Case cases[] = {
      {"mono", 1, 44100, 44100 - 4096},
      {"stereo whose data ends in half a frame", 2, 80002, 80000 - 8192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    Window w;
    testing::WavHeader h;
    h.channels = c.channels;
    h.blockAlign = static_cast<uint16_t>(2 * c.channels);
    std::vector<uint8_t> data(c.bytes);
    for (size_t i = 0; i < c.bytes; ++i) data[i] = static_cast<uint8_t>(i * 37);
    w.Open(testing::WriteFile(dir, "sound.wav", testing::WavBytes(h, data)));
    w.services.calls.clear();
    w.form.PlayButtonClick();
    ASSERT_TRUE(w.form.Devices.Playing);
    w.sim.Advance(1'000'000);   // all of it played; the device's done waits in the queue
    w.form.Timer1.Fire();
    EXPECT_FALSE(w.form.Devices.Playing);
    EXPECT_EQ(w.form.PlayScrollBar->Position(), c.lastFrame - 1);
    EXPECT_EQ(w.Pump(), 1u);   // the done, swallowed
    EXPECT_FALSE(w.form.Devices.IgnoreNextDone);
    EXPECT_EQ(w.form.Sound.FramePos, 0u);   // still the start of the playback
    EXPECT_EQ(w.form.PlayScrollBar->Position(), c.lastFrame - 1);
    EXPECT_TRUE(w.services.calls.empty());
    EXPECT_EQ(w.sim.Played().size(), c.bytes - c.bytes % h.blockAlign);
  }
}

TEST(FailedStarts, AFailedWriteShowsOneBoxWhileItsLoopRuns) {
  LoopWindow w;
  w.sim.FailCall(SimOp::Write, AudioResult::BadDevice);
  w.form.PlayButtonClick();
  w.Deliver();
  EXPECT_EQ(w.services.Boxes(),
            (std::vector<ServiceCall>{{"MessageBox", AudioErrorText(AudioResult::BadDevice), "wave"}}));
  EXPECT_FALSE(w.form.Timer1.Enabled());
  EXPECT_FALSE(w.form.Devices.Playing);
}

TEST(FailedStarts, AfterAFailedRecordStartThereIsNoSoundToPlayOrSave) {
  struct Case {
    const char* name;
    void (*fail)(Window&);
  };
  const Case cases[] = {
      {"the device does not open", [](Window& w) { w.sim.FailCall(SimOp::OpenInput, AudioResult::BadDevice); }},
      {"the device does not start", [](Window& w) { w.sim.FailCall(SimOp::Start, AudioResult::NoDriver); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    c.fail(w);
    StartTake(w);
    ASSERT_EQ(w.services.Boxes().size(), 1u);
    EXPECT_TRUE(Idle(w.form));
    w.services.calls.clear();
    w.sim.ClearCalls();
    w.form.PlayButtonClick();
    EXPECT_FALSE(w.form.Devices.Playing);
    EXPECT_TRUE(w.sim.Calls().empty()) << "the silent chunk was played";
    w.form.SaveClick();
    EXPECT_EQ(w.services.calls, (std::vector<ServiceCall>{{"MessageBox", "no data", "error"}}));
  }
}

TEST(Recording, AFileOfAHugeRateBeforeTheStartGivesAWorkingTake) {
  for (const int32_t rate : {11'930'000, 12'000'000, INT32_MAX}) {
    SCOPED_TRACE(rate);
    Window w;
    w.form.Sound.RecRate = rate;   // as a file of that rate leaves it
    StartTake(w);
    EXPECT_GT(w.form.PlayScrollBar->Max(), 0);
    EXPECT_LE(static_cast<uint64_t>(w.form.Recording.RecCapacity), kMaxSoundBytes);
    for (int i = 0; i < 3; ++i) w.Advance(kChunkMicros);
    w.form.RecButtonClick();
    w.Pump();
    EXPECT_EQ(w.form.Sound.WaveDataSize, 3 * 8820);
    EXPECT_TRUE(HoldsTheRamp(w.form, 3 * 4410));
    EXPECT_TRUE(w.services.calls.empty());
  }
}

TEST(Mixer, ALengthChangeKeepsTheToneCurrentSoundTrueToItsBytes) {
  QTemporaryDir dir;
  Window w;
  w.form.HarmonicBars[1]->SetPosition(0);
  w.form.TransmitClick();   // half a second of tone becomes the current sound
  w.Advance(700'000);
  ASSERT_TRUE(w.form.Sound.SoundSetAside);
  ASSERT_EQ(w.form.Sound.WaveDataSize, 44100);
  int scroll = 40004;
  w.form.PlayScrollBarScroll(scroll);   // the last frame of the half second
  ASSERT_EQ(w.form.Sound.FramePos, 40004u);

  w.form.TBmixtime->SetPosition(1);     // a tenth of a second
  EXPECT_EQ(w.form.Sound.WaveDataSize, 8820);
  EXPECT_EQ(w.form.PlayScrollBar->Max(), 8820 - 4096);
  EXPECT_EQ(w.form.Sound.FramePos, static_cast<uint32_t>(8820 - 4096));
  EXPECT_EQ(w.form.Sound.Bytes().size(), 8820u);
  EXPECT_FALSE(w.form.LbfftValue->Caption().isEmpty()) << "the frame shown is inside the tone";
  w.form.TBmixtime->SetPosition(5);     // longer again: the tone itself stays as it is
  EXPECT_EQ(w.form.Sound.WaveDataSize, 8820);
  const std::string path = dir.filePath("tone.wav").toStdString();
  w.services.fileAnswers.push_back(path);
  w.form.SaveClick();
  EXPECT_EQ(SavedData(path).size(), 8820u);
}

}  // namespace
}  // namespace tonamira

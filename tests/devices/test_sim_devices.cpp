// The contract of the simulated devices, which is the contract the window relies on from
// every backend: buffers filled in the order queued, every queued buffer handed back with
// its own notification on a reset, exactly one done per write, injected failures that
// change nothing, and a lost device that leaves nothing waiting.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "devices/audio_devices.h"
#include "devices/sim_audio.h"
#include "devices/stall_watch.h"

namespace tonamira {
namespace {

constexpr uint64_t kMs = 1000;  // microseconds

WaveFormat Pcm(int bits, int rate, int channels) {
  return FillWaveFormat({bits, rate, channels});
}

// A signal in which every sample says where it came from.
int16_t FrameTag(uint64_t frame, int channel) {
  return static_cast<int16_t>(frame % 30000 + static_cast<uint64_t>(channel) * 1);
}

int16_t SampleAt(const uint8_t* data, size_t index) {
  return static_cast<int16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

// A buffer and its header, as the window holds them.
struct Buffer {
  explicit Buffer(size_t size, uintptr_t tag = 0) : bytes(size, 0xEE) {
    header.data = bytes.data();
    header.bufferLength = static_cast<uint32_t>(size);
    header.user = tag;
  }
  std::vector<uint8_t> bytes;
  WaveHeader header;
};

// An input opened, two chunk buffers prepared and added, started: how the window records.
struct Recording {
  explicit Recording(WaveFormat f = Pcm(16, 44100, 1), size_t chunk = 8820)
      : format(f), first(chunk, 1), second(chunk, 2) {
    sim.SetSignal(FrameTag);
    input = sim.CreateInput();
    EXPECT_EQ(input->Open(format, poster), AudioResult::Ok);
    EXPECT_EQ(input->Prepare(first.header), AudioResult::Ok);
    EXPECT_EQ(input->Prepare(second.header), AudioResult::Ok);
    EXPECT_EQ(input->AddBuffer(first.header), AudioResult::Ok);
    EXPECT_EQ(input->AddBuffer(second.header), AudioResult::Ok);
    EXPECT_EQ(input->Start(), AudioResult::Ok);
  }
  SimAudio sim;
  ManualPoster poster;
  WaveFormat format;
  Buffer first, second;
  std::unique_ptr<InputDevice> input;
};

// An output opened with a buffer of `bytes` prepared, not yet written.
struct Playback {
  explicit Playback(size_t bytes, WaveFormat f = Pcm(16, 44100, 1)) : format(f), buffer(bytes, 7) {
    for (size_t i = 0; i < bytes; ++i) buffer.bytes[i] = static_cast<uint8_t>(i * 7);
    output = sim.CreateOutput();
    EXPECT_EQ(output->Open(format, poster), AudioResult::Ok);
    EXPECT_EQ(output->Prepare(buffer.header), AudioResult::Ok);
  }
  uint32_t Position() {
    uint32_t p = 0xDEADBEEF;
    EXPECT_EQ(output->Position(p), AudioResult::Ok);
    return p;
  }
  SimAudio sim;
  ManualPoster poster;
  WaveFormat format;
  Buffer buffer;
  std::unique_ptr<OutputDevice> output;
};

// --- recording: buffers are filled in the order queued ----------------------------------

struct FillCase {
  const char* name;
  int bits, rate, channels;
  size_t chunk;            // bytes per buffer
  uint64_t advance;        // microseconds per step
  std::vector<uintptr_t> filledTags;  // the buffers handed back after each step, in order
};

TEST(SimRecording, FillsBuffersInTheOrderQueued) {
  const FillCase cases[] = {
      {"mono chunk per 0.1 s", 16, 44100, 1, 8820, 100 * kMs, {1}},
      {"stereo chunk per 0.1 s", 16, 44100, 2, 17640, 100 * kMs, {1}},
      {"both chunks in one step", 16, 44100, 1, 8820, 200 * kMs, {1, 2}},
      {"8-bit chunk", 8, 44100, 1, 4410, 100 * kMs, {1}},
      {"not yet full", 16, 44100, 1, 8820, 99 * kMs, {}},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.name);
    Recording rec(Pcm(c.bits, c.rate, c.channels), c.chunk);
    rec.sim.Advance(c.advance);
    std::vector<uintptr_t> tags;
    for (const DeviceNotification& n : rec.poster.Queue()) {
      EXPECT_EQ(n.event, DeviceEvent::InputData);
      EXPECT_EQ(n.device, rec.input->Id());
      EXPECT_EQ(n.bytesRecorded, c.chunk);
      tags.push_back(n.user);
    }
    EXPECT_EQ(tags, c.filledTags);
  }
}

TEST(SimRecording, ChunksHoldTheSignalInOrderWhenHandedBackAtOnce) {
  // The window's loop: every filled buffer goes back to the device at once. 25 chunks
  // alternate between the two buffers and together hold 25 chunks of the signal.
  Recording rec;
  struct Readd final : DeviceEventHandler {
    Recording* rec;
    std::vector<int16_t> recorded;
    std::vector<uintptr_t> order;
    void OnWimData(const DeviceNotification& n) override {
      order.push_back(n.user);
      const auto* data = n.header->data;
      for (size_t i = 0; i < n.bytesRecorded / 2; ++i) recorded.push_back(SampleAt(data, i));
      EXPECT_EQ(rec->input->AddBuffer(*n.header), AudioResult::Ok);
    }
    void OnWomDone(const DeviceNotification&) override { ADD_FAILURE(); }
    void OnDeviceLost(const DeviceNotification&) override { ADD_FAILURE(); }
  } window;
  window.rec = &rec;
  for (int step = 0; step < 25; ++step) {
    rec.sim.Advance(100 * kMs);
    rec.poster.DeliverAll(window);
  }
  ASSERT_EQ(window.order.size(), 25u);
  for (size_t k = 0; k < window.order.size(); ++k) EXPECT_EQ(window.order[k], k % 2 + 1);
  ASSERT_EQ(window.recorded.size(), 25u * 4410u);
  for (size_t i = 0; i < window.recorded.size(); ++i)
    ASSERT_EQ(window.recorded[i], FrameTag(i, 0)) << "sample " << i;
}

TEST(SimRecording, ThreeMinutesKeepTime) {
  // 1800 chunks of a tenth of a second in three simulated minutes, whether time passes in
  // chunk steps or in uneven steps that do not divide a chunk.
  for (const uint64_t step : {100 * kMs, 37 * kMs + 3}) {
    Recording rec;
    size_t chunks = 0;
    struct Count final : DeviceEventHandler {
      Recording* rec;
      size_t* chunks;
      void OnWimData(const DeviceNotification& n) override {
        ++*chunks;
        rec->input->AddBuffer(*n.header);
      }
      void OnWomDone(const DeviceNotification&) override {}
      void OnDeviceLost(const DeviceNotification&) override {}
    } window;
    window.rec = &rec;
    window.chunks = &chunks;
    while (rec.sim.Now() + step <= 180'000 * kMs) {
      rec.sim.Advance(step);
      rec.poster.DeliverAll(window);
    }
    rec.sim.Advance(180'000 * kMs - rec.sim.Now());
    rec.poster.DeliverAll(window);
    EXPECT_EQ(chunks, 1800u) << "step " << step;
  }
}

TEST(SimRecording, EightBitRecordsTheTopByteUnsigned) {
  Recording rec(Pcm(8, 44100, 1), 4);
  rec.sim.SetSignal([](uint64_t frame, int) {
    const int16_t values[] = {0, -32768, 32767, -1};
    return values[frame % 4];
  });
  rec.sim.Advance(1 * kMs);
  ASSERT_GE(rec.poster.Pending(), 1u);
  const uint8_t expected[] = {128, 0, 255, 127};
  EXPECT_EQ(std::memcmp(rec.first.bytes.data(), expected, 4), 0);
}

// A window that holds its buffers for a while, then hands each back as it comes: what came
// meanwhile was kept and arrives in order, sample for sample.
struct SlowWindow final : DeviceEventHandler {
  Recording* rec = nullptr;
  std::vector<int16_t> recorded;
  std::vector<DeviceNotification> losses;
  void OnWimData(const DeviceNotification& n) override {
    for (size_t i = 0; i < n.bytesRecorded / 2; ++i) recorded.push_back(SampleAt(n.header->data, i));
    rec->input->AddBuffer(*n.header);
  }
  void OnWomDone(const DeviceNotification&) override { ADD_FAILURE(); }
  void OnDeviceLost(const DeviceNotification& n) override { losses.push_back(n); }
};

TEST(SimRecording, SoundThatComesWhileTheWindowHoldsItsBuffersIsKept) {
  struct Case {
    const char* name;
    uint64_t heldFor;      // how long the window keeps both buffers before handing them back
    bool overruns;         // longer than the device keeps: the take ends at the overrun
  };
  const Case cases[] = {
      {"a tenth of a second", 100 * kMs, false},
      {"a second and a half", 1500 * kMs, false},
      {"just inside what is kept", (kInputKeepMs - 1) * kMs, false},
      {"longer than what is kept", (kInputKeepMs + 500) * kMs, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recording rec;
    SlowWindow window;
    window.rec = &rec;
    rec.sim.Advance(200 * kMs + c.heldFor);   // both buffers filled, then held
    for (int step = 0; step < 60; ++step) {
      rec.poster.DeliverAll(window);
      rec.sim.Advance(100 * kMs);
    }
    rec.poster.DeliverAll(window);
    // Continuous from the first sample: nothing dropped, nothing twice.
    for (size_t i = 0; i < window.recorded.size(); ++i)
      ASSERT_EQ(window.recorded[i], FrameTag(i, 0)) << "sample " << i;
    if (!c.overruns) {
      EXPECT_TRUE(window.losses.empty());
      EXPECT_EQ(window.recorded.size(), static_cast<size_t>(rec.sim.Now() / (100 * kMs)) * 4410u);
    } else {
      // Posted once, after everything kept has gone into buffers: the take holds the two
      // chunks and what was kept up to the overrun, in whole chunks.
      ASSERT_EQ(window.losses.size(), 1u);
      EXPECT_EQ(window.losses[0].reason, AudioResult::Overrun);
      const size_t kept = static_cast<size_t>(kInputKeepMs) * 441 / 10;
      EXPECT_EQ(window.recorded.size(), (2 * 4410 + kept) / 4410 * 4410);
      EXPECT_EQ(rec.input->Start(), AudioResult::DeviceLost);
    }
  }
}

// Collects what an input taps.
struct Tap final : InputTap {
  std::vector<WaveFormat> starts;
  std::vector<int16_t> samples;
  size_t largestFragment = 0;
  void Started(const WaveFormat& format) override { starts.push_back(format); }
  void Tapped(std::span<const uint8_t> bytes) override {
    largestFragment = std::max(largestFragment, bytes.size());
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) samples.push_back(SampleAt(bytes.data(), i / 2));
  }
};

TEST(SimRecording, TheTapGetsEverySampleOnceInOrderInSmallFragments) {
  struct Case {
    const char* name;
    uint64_t heldFor;   // the window holds its buffers this long after the first two
  };
  for (const Case c : {Case{"the window keeping up", 0}, Case{"a busy window", 1500 * kMs}}) {
    SCOPED_TRACE(c.name);
    Tap tap;
    SimAudio sim;
    ManualPoster poster;
    sim.SetSignal(FrameTag);
    auto input = sim.CreateInput();
    input->SetTap(&tap);
    Buffer first(8820, 1), second(8820, 2);
    ASSERT_EQ(input->Open(Pcm(16, 44100, 1), poster), AudioResult::Ok);
    for (Buffer* b : {&first, &second}) {
      ASSERT_EQ(input->Prepare(b->header), AudioResult::Ok);
      ASSERT_EQ(input->AddBuffer(b->header), AudioResult::Ok);
    }
    ASSERT_EQ(input->Start(), AudioResult::Ok);
    struct Readd final : DeviceEventHandler {
      InputDevice* in = nullptr;
      std::vector<int16_t> recorded;
      void OnWimData(const DeviceNotification& n) override {
        for (size_t i = 0; i < n.bytesRecorded / 2; ++i) recorded.push_back(SampleAt(n.header->data, i));
        in->AddBuffer(*n.header);
      }
      void OnWomDone(const DeviceNotification&) override {}
      void OnDeviceLost(const DeviceNotification&) override {}
    } window;
    window.in = input.get();
    sim.Advance(200 * kMs + c.heldFor);
    for (int step = 0; step < 30; ++step) {
      poster.DeliverAll(window);
      sim.Advance(100 * kMs);
    }
    poster.DeliverAll(window);
    // Every sample taken in, in order, once: as many as time has brought.
    ASSERT_EQ(tap.samples.size(), static_cast<size_t>(sim.Now() * 441 / 10'000));
    for (size_t i = 0; i < tap.samples.size(); ++i) ASSERT_EQ(tap.samples[i], FrameTag(i, 0)) << i;
    EXPECT_LE(tap.largestFragment, 882u * 2u) << "fragments of at most 20 ms";
    ASSERT_EQ(tap.starts.size(), 1u);
    EXPECT_EQ(tap.starts[0].nSamplesPerSec, 44100u);
    // What the buffers got is the same sound.
    ASSERT_LE(window.recorded.size(), tap.samples.size());
    EXPECT_TRUE(std::equal(window.recorded.begin(), window.recorded.end(), tap.samples.begin()));
    // A new start is a new stream from its first sample.
    ASSERT_EQ(input->Reset(), AudioResult::Ok);
    poster.Take();
    poster.Take();
    const size_t before = tap.samples.size();
    input->AddBuffer(first.header);
    ASSERT_EQ(input->Start(), AudioResult::Ok);
    sim.Advance(50 * kMs);
    ASSERT_EQ(tap.starts.size(), 2u);
    ASSERT_GT(tap.samples.size(), before);
    EXPECT_EQ(tap.samples[before], FrameTag(0, 0));
    input->Reset();
  }
}

// --- recording: a reset hands every queued buffer back ----------------------------------

struct ResetCase {
  const char* name;
  uint64_t before;                     // time recorded before the reset
  std::vector<uint32_t> returnedBytes; // bytesRecorded of each notification, in order
};

TEST(SimRecording, ResetHandsBackEveryQueuedBufferWithItsOwnNotification) {
  const ResetCase cases[] = {
      {"before any sound", 0, {0, 0}},
      {"first half full", 50 * kMs, {4410, 0}},
      {"first full, second part-filled", 150 * kMs, {8820, 4410}},
      {"both full before the reset", 200 * kMs, {8820, 8820}},
  };
  for (const ResetCase& c : cases) {
    SCOPED_TRACE(c.name);
    Recording rec;
    rec.sim.Advance(c.before);
    ASSERT_EQ(rec.input->Reset(), AudioResult::Ok);
    std::vector<uint32_t> bytes;
    std::vector<uintptr_t> tags;
    for (const DeviceNotification& n : rec.poster.Queue()) {
      bytes.push_back(n.bytesRecorded);
      tags.push_back(n.user);
    }
    EXPECT_EQ(bytes, c.returnedBytes);
    EXPECT_EQ(tags, (std::vector<uintptr_t>{1, 2}));
    EXPECT_EQ(rec.first.header.flags & kHeaderInQueue, 0u);
    EXPECT_NE(rec.first.header.flags & kHeaderDone, 0u);
    // Nothing more after the reset, and the device closes cleanly.
    rec.sim.Advance(500 * kMs);
    EXPECT_EQ(rec.poster.Pending(), 2u);
    EXPECT_EQ(rec.input->Unprepare(rec.first.header), AudioResult::Ok);
    EXPECT_EQ(rec.input->Unprepare(rec.second.header), AudioResult::Ok);
    EXPECT_EQ(rec.input->Close(), AudioResult::Ok);
    EXPECT_EQ(rec.sim.OpenInputs(), 0);
  }
}

// --- playback: one done per write ------------------------------------------------------

TEST(SimPlayback, PositionCountsWhatHasBeenPlayedSinceTheWrite) {
  struct Step {
    uint64_t advance;
    uint32_t position;
    size_t dones;
  };
  // 44100 bytes of 16-bit mono: half a second.
  const Step steps[] = {
      {0, 0, 0},
      {100 * kMs, 8820, 0},
      {1, 8820, 0},            // less than a sample frame's time
      {399'977, 44098, 0},     // 499.978 ms: 22049 frames, one short of the end
      {21, 44098, 0},
      {1, 44100, 1},           // 500 ms: the last sample, and exactly one done
      {1000 * kMs, 44100, 1},  // and no other
  };
  Playback play(44100);
  ASSERT_EQ(play.output->Write(play.buffer.header), AudioResult::Ok);
  for (const Step& s : steps) {
    play.sim.Advance(s.advance);
    EXPECT_EQ(play.Position(), s.position) << "at " << play.sim.Now();
    EXPECT_EQ(play.poster.Pending(), s.dones) << "at " << play.sim.Now();
  }
  EXPECT_EQ(play.sim.Played(), play.buffer.bytes);
}

struct DoneCase {
  const char* name;
  size_t bytes;
  WaveFormat format;
  uint64_t doneAt;     // the moment of the done, microseconds
  uint32_t position;   // the position once done
};

TEST(SimPlayback, DoneComesWhenTheLastSampleHasBeenPlayed) {
  const DoneCase cases[] = {
      {"16-bit mono", 44100, Pcm(16, 44100, 1), 500'000, 44100},
      {"odd byte count of 16-bit: the half frame is not played", 44101, Pcm(16, 44100, 1), 500'000,
       44101},
      {"odd byte count of 8-bit", 4411, Pcm(8, 44100, 1), 100'023, 4411},
      {"16-bit stereo", 17640, Pcm(16, 44100, 2), 100'000, 17640},
      {"shorter than a frame", 1, Pcm(16, 44100, 1), 0, 1},
      {"empty", 0, Pcm(16, 44100, 1), 0, 0},
  };
  for (const DoneCase& c : cases) {
    SCOPED_TRACE(c.name);
    Playback play(c.bytes, c.format);
    if (c.bytes == 0) play.buffer.header.data = nullptr;
    ASSERT_EQ(play.output->Write(play.buffer.header), AudioResult::Ok);
    if (c.doneAt > 0) {
      play.sim.Advance(c.doneAt - 1);
      EXPECT_EQ(play.poster.Pending(), 0u);
      play.sim.Advance(1);
    }
    play.sim.Advance(0);
    ASSERT_EQ(play.poster.Pending(), 1u);
    EXPECT_EQ(play.poster.Queue()[0].event, DeviceEvent::OutputDone);
    EXPECT_EQ(play.poster.Queue()[0].header, &play.buffer.header);
    EXPECT_EQ(play.Position(), c.position);
    play.sim.Advance(1000 * kMs);
    EXPECT_EQ(play.poster.Pending(), 1u);
    EXPECT_EQ(play.output->Close(), AudioResult::Ok) << "the done write is no longer held";
  }
}

TEST(SimPlayback, ResetHandsBackThePendingWriteOnce) {
  Playback play(44100);
  play.output->Write(play.buffer.header);
  play.sim.Advance(200 * kMs);
  EXPECT_EQ(play.Position(), 17640u);
  ASSERT_EQ(play.output->Pause(), AudioResult::Ok);
  play.sim.Advance(100 * kMs);
  EXPECT_EQ(play.Position(), 17640u) << "paused";
  EXPECT_EQ(play.output->Close(), AudioResult::StillPlaying);
  ASSERT_EQ(play.output->Reset(), AudioResult::Ok);
  EXPECT_EQ(play.poster.Pending(), 1u);
  EXPECT_EQ(play.Position(), 0u);
  play.sim.Advance(1000 * kMs);
  EXPECT_EQ(play.poster.Pending(), 1u) << "no second done";
  EXPECT_EQ(play.output->Unprepare(play.buffer.header), AudioResult::Ok);
  EXPECT_EQ(play.output->Close(), AudioResult::Ok);
  EXPECT_EQ(std::vector<uint8_t>(play.buffer.bytes.begin(), play.buffer.bytes.begin() + 17640),
            play.sim.Played());
}

TEST(SimPlayback, WritesPlayOneAfterAnotherEachWithItsDone) {
  Playback play(8820);
  Buffer second(4410, 9);
  ASSERT_EQ(play.output->Prepare(second.header), AudioResult::Ok);
  play.output->Write(play.buffer.header);
  play.output->Write(second.header);
  play.sim.Advance(100 * kMs);
  ASSERT_EQ(play.poster.Pending(), 1u);
  play.sim.Advance(50 * kMs);
  ASSERT_EQ(play.poster.Pending(), 2u);
  EXPECT_EQ(play.poster.Queue()[0].user, 7u);
  EXPECT_EQ(play.poster.Queue()[1].user, 9u);
  EXPECT_EQ(play.Position(), 13230u);
}

TEST(SimPlayback, AWriteAfterOneThatEndsInsideAFrameStartsOnTheNextFrame) {
  // 16-bit: three bytes leave half a frame; the rest of that frame is silence and the next
  // write starts on a whole frame, so its samples are not shifted by a byte.
  Playback play(3);
  Buffer second(4, 9);
  second.bytes = {0x11, 0x22, 0x33, 0x44};
  ASSERT_EQ(play.output->Prepare(second.header), AudioResult::Ok);
  ASSERT_EQ(play.output->Write(play.buffer.header), AudioResult::Ok);
  ASSERT_EQ(play.output->Write(second.header), AudioResult::Ok);
  play.sim.Advance(1 * kMs);
  ASSERT_EQ(play.poster.Pending(), 2u);
  EXPECT_EQ(play.poster.Queue()[0].user, 7u);
  EXPECT_EQ(play.poster.Queue()[1].user, 9u);
  const std::vector<uint8_t> expected = {play.buffer.bytes[0], play.buffer.bytes[1],
                                         play.buffer.bytes[2], 0, 0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(play.sim.Played(), expected);
  EXPECT_EQ(play.Position(), 8u);
}

TEST(SimDevices, NotificationsOfBothDevicesComeInTheOrderOfTheirMoments) {
  Recording rec;
  Playback play(13230);  // 0.15 s of 16-bit mono
  // Both devices of one simulation: make the output in the recording's simulation.
  auto output = rec.sim.CreateOutput();
  ASSERT_EQ(output->Open(play.format, rec.poster), AudioResult::Ok);
  ASSERT_EQ(output->Prepare(play.buffer.header), AudioResult::Ok);
  ASSERT_EQ(output->Write(play.buffer.header), AudioResult::Ok);
  rec.sim.Advance(250 * kMs);
  std::vector<DeviceEvent> events;
  for (const DeviceNotification& n : rec.poster.Queue()) events.push_back(n.event);
  EXPECT_EQ(events, (std::vector<DeviceEvent>{DeviceEvent::InputData, DeviceEvent::OutputDone,
                                              DeviceEvent::InputData}));
}

// --- injected failures change nothing ----------------------------------------------------

TEST(SimFailures, AFailingOpenLeavesTheDeviceClosed) {
  for (const SimOp op : {SimOp::OpenInput, SimOp::OpenOutput}) {
    SimAudio sim;
    ManualPoster poster;
    sim.FailCall(op, AudioResult::BadDevice);
    WaveHeader h;
    AudioResult opened, prepared;
    if (op == SimOp::OpenInput) {
      auto in = sim.CreateInput();
      opened = in->Open(Pcm(16, 44100, 1), poster);
      prepared = in->Prepare(h);
    } else {
      auto out = sim.CreateOutput();
      opened = out->Open(Pcm(16, 44100, 1), poster);
      prepared = out->Prepare(h);
    }
    EXPECT_EQ(opened, AudioResult::BadDevice);
    EXPECT_EQ(prepared, AudioResult::InvalidHandle);
    EXPECT_EQ(sim.OpenInputs() + sim.OpenOutputs(), 0);
  }
}

TEST(SimFailures, RecordingCallsFailWithoutEffect) {
  struct Case {
    const char* name;
    SimOp op;
    int okCallsFirst;
    std::vector<uintptr_t> filled;  // buffers handed back after 0.2 s
  };
  const Case cases[] = {
      {"first prepare", SimOp::PrepareInput, 0, {2}},
      {"second prepare", SimOp::PrepareInput, 1, {1}},
      {"first add", SimOp::AddBuffer, 0, {2}},
      {"second add", SimOp::AddBuffer, 1, {1}},
      {"start", SimOp::Start, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimAudio sim;
    ManualPoster poster;
    sim.FailCall(c.op, AudioResult::NoMemory, c.okCallsFirst);
    auto in = sim.CreateInput();
    ASSERT_EQ(in->Open(Pcm(16, 44100, 1), poster), AudioResult::Ok);
    Buffer a(8820, 1), b(8820, 2);
    std::vector<AudioResult> results = {in->Prepare(a.header), in->Prepare(b.header)};
    results.push_back(in->AddBuffer(a.header));
    results.push_back(in->AddBuffer(b.header));
    results.push_back(in->Start());
    EXPECT_EQ(std::count(results.begin(), results.end(), AudioResult::NoMemory), 1);
    sim.Advance(200 * kMs);
    std::vector<uintptr_t> filled;
    for (const DeviceNotification& n : poster.Queue()) filled.push_back(n.user);
    EXPECT_EQ(filled, c.filled);
  }
}

TEST(SimFailures, PlaybackCallsFailWithoutEffect) {
  {
    Playback play(8820);
    play.sim.FailCall(SimOp::Write, AudioResult::Error);
    EXPECT_EQ(play.output->Write(play.buffer.header), AudioResult::Error);
    EXPECT_EQ(play.buffer.header.flags & kHeaderInQueue, 0u);
    play.sim.Advance(1000 * kMs);
    EXPECT_EQ(play.poster.Pending(), 0u) << "no done for a write that was refused";
    EXPECT_EQ(play.output->Close(), AudioResult::Ok);
  }
  {
    Playback play(8820);
    WaveHeader other;
    play.sim.FailCall(SimOp::PrepareOutput, AudioResult::NoMemory);
    EXPECT_EQ(play.output->Prepare(other), AudioResult::NoMemory);
    EXPECT_EQ(other.flags, 0u);
    EXPECT_EQ(play.output->Write(other), AudioResult::Unprepared);
  }
  {
    Playback play(8820);
    play.output->Write(play.buffer.header);
    play.sim.Advance(50 * kMs);
    play.sim.FailCall(SimOp::Position, AudioResult::Error, 1, true);
    uint32_t p = 0;
    EXPECT_EQ(play.output->Position(p), AudioResult::Ok);
    EXPECT_EQ(p, 4410u);
    for (int i = 0; i < 3; ++i) {
      uint32_t q = 12345;
      EXPECT_EQ(play.output->Position(q), AudioResult::Error);
      EXPECT_EQ(q, 12345u) << "untouched";
    }
    play.sim.ClearFailures();
    play.sim.Advance(50 * kMs);
    EXPECT_EQ(play.Position(), 8820u);
  }
}

// --- a lost device leaves nothing waiting -------------------------------------------------

TEST(SimLoss, ALostInputPostsOnceAndStillHandsEveryBufferBack) {
  Recording rec;
  rec.sim.Advance(130 * kMs);         // first chunk posted, second part-filled
  rec.sim.LoseInput();
  rec.sim.Advance(1000 * kMs);        // nothing more is recorded
  ASSERT_EQ(rec.poster.Pending(), 2u);
  const DeviceNotification chunk = rec.poster.Take();
  const DeviceNotification lost = rec.poster.Take();
  EXPECT_EQ(chunk.event, DeviceEvent::InputData);
  EXPECT_EQ(lost.event, DeviceEvent::InputLost);
  EXPECT_EQ(lost.device, rec.input->Id());
  EXPECT_EQ(lost.reason, AudioResult::DeviceLost);
  // The window hands the chunk back as usual; the lost device keeps it.
  EXPECT_EQ(rec.input->AddBuffer(*chunk.header), AudioResult::Ok);
  EXPECT_EQ(rec.input->Start(), AudioResult::DeviceLost);
  rec.sim.LoseInput();                // lost once only
  EXPECT_EQ(rec.poster.Pending(), 0u);
  // The usual stop: both buffers come back, the second with what it got before the loss.
  ASSERT_EQ(rec.input->Reset(), AudioResult::Ok);
  ASSERT_EQ(rec.poster.Pending(), 2u);
  EXPECT_EQ(rec.poster.Queue()[0].user, 2u);
  // 0.13 s is 5733 frames: 4410 in the first buffer, 1323 (2646 bytes) in the second.
  EXPECT_EQ(rec.poster.Queue()[0].bytesRecorded, 2646u);
  EXPECT_EQ(rec.poster.Queue()[1].user, 1u);
  EXPECT_EQ(rec.poster.Queue()[1].bytesRecorded, 0u);
  EXPECT_EQ(rec.input->Unprepare(rec.first.header), AudioResult::Ok);
  EXPECT_EQ(rec.input->Unprepare(rec.second.header), AudioResult::Ok);
  EXPECT_EQ(rec.input->Close(), AudioResult::Ok);
}

TEST(SimLoss, ALostOutputStopsWhereItWasAndHandsTheWriteBackOnReset) {
  Playback play(44100);
  play.output->Write(play.buffer.header);
  play.sim.Advance(100 * kMs);
  play.sim.LoseOutput();
  play.sim.Advance(1000 * kMs);
  ASSERT_EQ(play.poster.Pending(), 1u);
  EXPECT_EQ(play.poster.Queue()[0].event, DeviceEvent::OutputLost);
  EXPECT_EQ(play.Position(), 8820u);
  Buffer again(100, 8);
  play.output->Prepare(again.header);
  EXPECT_EQ(play.output->Write(again.header), AudioResult::DeviceLost);
  ASSERT_EQ(play.output->Pause(), AudioResult::Ok);
  ASSERT_EQ(play.output->Reset(), AudioResult::Ok);
  ASSERT_EQ(play.poster.Pending(), 2u);
  EXPECT_EQ(play.poster.Queue()[1].event, DeviceEvent::OutputDone);
  EXPECT_EQ(play.poster.Queue()[1].header, &play.buffer.header);
  EXPECT_EQ(play.output->Unprepare(play.buffer.header), AudioResult::Ok);
  EXPECT_EQ(play.output->Close(), AudioResult::Ok);
}

TEST(SimLoss, ALossWithoutWorkPostsNothingButRefusesNewWork) {
  Playback play(8820);
  play.sim.LoseOutput();
  EXPECT_EQ(play.poster.Pending(), 0u);
  EXPECT_EQ(play.output->Write(play.buffer.header), AudioResult::DeviceLost);
  SimAudio sim;
  ManualPoster poster;
  auto in = sim.CreateInput();
  in->Open(Pcm(16, 44100, 1), poster);
  sim.LoseInput();
  EXPECT_EQ(poster.Pending(), 0u);
  EXPECT_EQ(in->Start(), AudioResult::DeviceLost);
}

// --- buffer and device rules ------------------------------------------------------------

TEST(SimRules, HeadersAndDevicesFollowTheQueueRules) {
  Recording rec;
  Buffer loose(8820, 3), tiny(1, 4);
  EXPECT_EQ(rec.input->AddBuffer(loose.header), AudioResult::Unprepared);
  EXPECT_EQ(rec.input->AddBuffer(rec.first.header), AudioResult::StillPlaying);
  EXPECT_EQ(rec.input->Unprepare(rec.first.header), AudioResult::StillPlaying);
  rec.input->Prepare(tiny.header);
  EXPECT_EQ(rec.input->AddBuffer(tiny.header), AudioResult::InvalidParam) << "under one frame";
  WaveHeader nullBuffer;
  nullBuffer.bufferLength = 10;
  EXPECT_EQ(rec.input->Prepare(nullBuffer), AudioResult::InvalidParam);
  EXPECT_EQ(rec.input->Close(), AudioResult::StillPlaying);
  EXPECT_EQ(rec.input->Open(rec.format, rec.poster), AudioResult::Allocated);
  auto closed = rec.sim.CreateInput();
  EXPECT_EQ(closed->Start(), AudioResult::InvalidHandle);
  EXPECT_EQ(closed->Reset(), AudioResult::InvalidHandle);
  EXPECT_EQ(closed->Close(), AudioResult::InvalidHandle);
  EXPECT_NE(closed->Id(), rec.input->Id());
}

TEST(SimRules, CallsAreRecordedInOrderWithTheirResults) {
  Playback play(8820);
  play.output->Write(play.buffer.header);
  play.output->Pause();
  play.output->Reset();
  play.output->Unprepare(play.buffer.header);
  play.output->Close();
  EXPECT_EQ(play.sim.CallOps(),
            (std::vector<SimOp>{SimOp::OpenOutput, SimOp::PrepareOutput, SimOp::Write, SimOp::Pause,
                                SimOp::ResetOutput, SimOp::UnprepareOutput, SimOp::CloseOutput}));
  for (const SimCall& c : play.sim.Calls()) EXPECT_EQ(c.result, AudioResult::Ok);
}

TEST(SimRules, DestroyingAnOpenDevicePostsNothing) {
  SimAudio sim;
  ManualPoster poster;
  Buffer b(8820);
  {
    auto out = sim.CreateOutput();
    out->Open(Pcm(16, 44100, 1), poster);
    out->Prepare(b.header);
    out->Write(b.header);
  }
  sim.Advance(1000 * kMs);
  EXPECT_EQ(poster.Pending(), 0u);
  EXPECT_EQ(sim.OpenOutputs(), 0);
  EXPECT_EQ(b.header.flags & kHeaderInQueue, 0u);
}

// --- the watch that tells a stalled device ----------------------------------------------

TEST(StallWatch, HoldsOnlyWatchedTimeAgainstTheDevice) {
  // Polled every 10 ms; limits of 1500 ms once the device has moved and 4000 ms before its
  // first sound. The device moves once, at 3950 ms.
  struct Verdict {
    int64_t at;
    bool stalled;
  };
  const Verdict verdicts[] = {
      {0, false}, {3900, false},  // waiting for the first sound, within 4 s
      {3950, false},              // the first sound
      {5450, false},              // 1.5 s since
      {5460, true},               // past it
  };
  StallWatch watch;
  watch.Start(0);
  size_t next = 0;
  for (int64_t t = 0; next < std::size(verdicts); t += 10) {
    watch.Poll(t);
    if (t == 3950) watch.Progress(t);
    if (verdicts[next].at == t) {
      EXPECT_EQ(watch.Stalled(t, 1500, 4000), verdicts[next].stalled) << "at " << t;
      ++next;
    }
  }
}

TEST(StallWatch, ABusyThreadIsNotTheDevicesFault) {
  StallWatch watch;
  watch.Start(0);
  watch.Progress(0);
  watch.Poll(10);
  // The thread was busy for 3 s: no poll ran. The first poll after it does not judge the
  // device on that time.
  watch.Poll(3010);
  EXPECT_FALSE(watch.Stalled(3010, 1500, 4000));
  watch.Poll(3020);
  EXPECT_FALSE(watch.Stalled(3020, 1500, 4000));
  for (int64_t t = 3030; t <= 4520; t += 10) watch.Poll(t);
  EXPECT_TRUE(watch.Stalled(4520, 1500, 4000)) << "watched for 1.5 s without progress";
}

// --- formats and texts ------------------------------------------------------------------

TEST(DeviceFormat, RefusesEveryFormatWithoutAWholeSampleFrame) {
  struct Case {
    const char* name;
    WaveFormat format;
    AudioResult expected;
  };
  WaveFormat zeroAlign = Pcm(16, 44100, 1);
  zeroAlign.nBlockAlign = 0;
  WaveFormat wrongAlign = Pcm(16, 44100, 2);
  wrongAlign.nBlockAlign = 2;
  WaveFormat notPcm = Pcm(16, 44100, 1);
  notPcm.wFormatTag = 3;
  const Case cases[] = {
      {"16-bit mono", Pcm(16, 44100, 1), AudioResult::Ok},
      {"8-bit stereo 22050", Pcm(8, 22050, 2), AudioResult::Ok},
      {"block align 0", zeroAlign, AudioResult::BadFormat},
      {"block align not the frame", wrongAlign, AudioResult::BadFormat},
      {"4 bits: frame size 0", Pcm(4, 44100, 1), AudioResult::BadFormat},
      {"24 bits", Pcm(24, 44100, 1), AudioResult::BadFormat},
      {"no channels", Pcm(16, 44100, 0), AudioResult::BadFormat},
      {"rate 0", Pcm(16, 0, 1), AudioResult::BadFormat},
      {"not PCM", notPcm, AudioResult::BadFormat},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckDeviceFormat(c.format), c.expected) << c.name;
  SimAudio sim;
  ManualPoster poster;
  EXPECT_EQ(sim.CreateOutput()->Open(zeroAlign, poster), AudioResult::BadFormat);
}

TEST(AudioErrorText, EveryTextFitsTheTextBuffer) {
  for (uint32_t code = 0; code < 300; ++code) {
    const std::string text = AudioErrorText(static_cast<AudioResult>(code));
    EXPECT_FALSE(text.empty());
    EXPECT_LE(text.size(), kAudioErrorTextMax) << code;
  }
  EXPECT_NE(AudioErrorText(AudioResult::DeviceLost), AudioErrorText(AudioResult::BadDevice));
}

}  // namespace
}  // namespace tonamira

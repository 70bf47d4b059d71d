// The current sound's rules without a window: who owns which block while the mixer's tone
// stands in, what a release frees, how many bytes the frame reader may see, and where the
// frame position may go.

#include "sound/current_sound.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace tonamira {
namespace {

// A sound as start-up makes it (16-bit mono at 44100 Hz, 44100 bytes of a 1000000-byte
// block, a header) and two tones the mixer could own.
struct Held {
  CurrentSound sound;
  std::vector<uint8_t> toneA = std::vector<uint8_t>(8820, 0xa1);
  std::vector<uint8_t> toneB = std::vector<uint8_t>(4410, 0xb2);
  uint8_t* original = nullptr;

  Held() {
    sound.RecBits = sound.OutBits = 16;
    sound.RecRate = sound.OutRate = 44100;
    sound.RecChannels = sound.OutChannels = 1;
    sound.FillWaveFormat();
    sound.OwnedWaveData.Allocate(1000000, "WaveData");
    sound.PlayHeader.Allocate("PlayHeader");
    sound.WaveData = original = sound.OwnedWaveData.data.get();
    sound.WaveDataSize = 44100;
  }
};

enum class Points { Original, ToneA, ToneB, Nothing };

TEST(CurrentSound, OwnershipTable) {
  struct Case {
    const char* name;
    std::function<void(Held&)> act;
    Points waveData;
    bool setAside;
    size_t bytes;           // what the frame reader may see
    int32_t savedSize;
    uint16_t blockAlign;
  };
  const Case cases[] = {
      {"start", [](Held&) {}, Points::Original, false, 44100, 0, 2},
      {"tone set aside", [](Held& s) { s.sound.SetAside(s.toneA); }, Points::ToneA, true,
       8820, 44100, 2},
      {"tone claims more than its block",
       [](Held& s) {
         s.sound.SetAside(s.toneB);
         s.sound.WaveDataSize = 8820;
       },
       Points::ToneB, true, 4410, 44100, 2},
      {"second tone keeps the first kept sound",
       [](Held& s) {
         s.sound.SetAside(s.toneA);
         s.sound.WaveDataSize = 8820;
         s.sound.SetAside(s.toneB);
         s.sound.WaveDataSize = 4410;
       },
       Points::ToneB, true, 4410, 44100, 2},
      {"put back in the last loaded format",
       [](Held& s) {
         s.sound.SetAside(s.toneA);
         s.sound.WaveDataSize = 8820;
         s.sound.OutChannels = 2;
         EXPECT_TRUE(s.sound.PutBack());
       },
       Points::Original, false, 44100, 44100, 4},
      {"put back with nothing aside",
       [](Held& s) {
         s.sound.OutChannels = 2;
         EXPECT_FALSE(s.sound.PutBack());
       },
       Points::Original, false, 44100, 0, 2},
      {"release with the tone current frees the kept sound",
       [](Held& s) {
         s.sound.SetAside(s.toneA);
         s.sound.Release();
       },
       Points::Nothing, false, 0, 44100, 2},
      {"restore before a release keeps the format",
       [](Held& s) {
         s.sound.SetAside(s.toneA);
         s.sound.OutChannels = 2;
         s.sound.RestoreSetAsideForRelease();
       },
       Points::Original, false, 44100, 44100, 2},
      {"size beyond the block", [](Held& s) { s.sound.WaveDataSize = 2000000; },
       Points::Original, false, 1000000, 0, 2},
      {"negative size", [](Held& s) { s.sound.WaveDataSize = -4; }, Points::Original, false, 0,
       0, 2},
      {"no header", [](Held& s) { s.sound.PlayHeader.Reset(); }, Points::Original, false, 0, 0,
       2},
      {"refs cleared", [](Held& s) { s.sound.ClearRefs(); }, Points::Nothing, false, 0, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Held s;
    c.act(s);
    const uint8_t* want = c.waveData == Points::Original ? s.original
                          : c.waveData == Points::ToneA  ? s.toneA.data()
                          : c.waveData == Points::ToneB  ? s.toneB.data()
                                                         : nullptr;
    EXPECT_EQ(s.sound.WaveData, want);
    EXPECT_EQ(s.sound.SoundSetAside, c.setAside);
    EXPECT_EQ(s.sound.Bytes().size(), c.bytes);
    if (c.bytes > 0) {
      EXPECT_EQ(s.sound.Bytes().data(), want);
    }
    EXPECT_EQ(s.sound.SavedWaveDataSize, c.savedSize);
    EXPECT_EQ(s.sound.WaveFormat.nBlockAlign, c.blockAlign);
    // Only a kept-aside sound is held in SavedWaveData, and the owned block is the current
    // sound's whenever no tone stands in.
    EXPECT_EQ(static_cast<bool>(s.sound.SavedWaveData), c.setAside);
    if (!c.setAside && want != nullptr) {
      EXPECT_EQ(s.sound.OwnedWaveData.data.get(), want);
    }
  }
}

TEST(CurrentSound, FramePositionRules) {
  Held s;
  // The last whole 2048-sample frame of 44100 bytes starts at 40004 and is readable; one
  // sample frame further is not.
  EXPECT_TRUE(s.sound.FrameAt(40004, 2048).Readable());
  EXPECT_FALSE(s.sound.FrameAt(40006, 2048).Readable());

  s.sound.ScrollTo(4003);
  EXPECT_EQ(s.sound.FramePos, 4002u);   // whole 2-byte sample frames only
  const PlayRange r = s.sound.ResetPlayRange(2048, 3);
  EXPECT_EQ(s.sound.FramePos, 0u);
  EXPECT_EQ(r.max, 40004);

  s.sound.FramePos = 40004;
  s.sound.WaveDataSize = 40000;
  const ClampedRange c = s.sound.ClampPlayRange(2048, 40004);
  EXPECT_EQ(c.max, 40000 - 4096);
  EXPECT_EQ(s.sound.FramePos, static_cast<uint32_t>(40000 - 4096));

  // A tone shorter than its claimed size frames only what its block holds.
  s.sound.SetAside(s.toneB);          // 4410 bytes: 2205 sample frames
  s.sound.WaveDataSize = 44100;
  EXPECT_TRUE(s.sound.FrameAt(0, 2048).Readable());
  EXPECT_FALSE(s.sound.FrameAt(4410 - 4096 + 2, 2048).Readable());
}

}  // namespace
}  // namespace tonamira

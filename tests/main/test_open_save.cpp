// Opening and saving through the window's buttons, the scripted file dialogs and the
// messages; files of unusual formats framed safely.

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::CountColor;
using testing::Pcm16;
using testing::ReadFile;
using testing::ServiceCall;
using testing::ToneSamples;
using testing::WavBytes;
using testing::WavHeader;
using testing::Window;
using testing::WriteFile;

const ServiceCall kOpenDialog{"Open", kOpenFilter, ""};
const ServiceCall kSaveDialog{"Save", "wav|*.wav", ""};
const ServiceCall kStop{"ShowMessage", "stop", "トナミラ"};

std::string ToneFile(const QTemporaryDir& dir, const std::string& name, double f0,
                     int frames = 44100, int channels = 1) {
  WavHeader h;
  h.channels = static_cast<uint16_t>(channels);
  h.blockAlign = static_cast<uint16_t>(2 * channels);
  return WriteFile(dir, name, WavBytes(h, Pcm16(ToneSamples(f0, frames), channels)));
}

TEST(OpenSave, OpenNothingWhileBusyAndCancelKeepsTheSound) {
  for (int busy = 0; busy < 3; ++busy) {
    Window w;
    w.form.Devices.Playing = busy == 1;
    w.form.Devices.Recording = busy == 2;
    const uint8_t* before = w.form.Sound.WaveData;
    w.form.OpenClick();   // no answer queued: the dialog is cancelled
    EXPECT_EQ(w.form.Sound.WaveData, before);
    EXPECT_TRUE(w.form.Devices.HasSound);
    EXPECT_EQ(w.services.calls,
              busy == 0 ? std::vector<ServiceCall>{kOpenDialog} : std::vector<ServiceCall>{});
  }
}

TEST(OpenSave, OpeningAToneShowsItsPitchAndResetsTheSettings) {
  QTemporaryDir dir;
  const std::string path = ToneFile(dir, "e4 tone.wav", 330.0);
  Window w;
  // Settings the load puts back.
  w.form.UpDownChoicedataClick(UpDown::Button::Next);
  w.form.UpDownfftscaleClick(UpDown::Button::Next);
  w.form.Analysis.PeakThreshold = 99.0;
  w.Open(path);

  EXPECT_EQ(w.services.calls, std::vector<ServiceCall>{kOpenDialog});
  EXPECT_TRUE(w.form.Devices.HasSound);
  EXPECT_EQ(w.form.Sound.WaveDataSize, 88200);
  EXPECT_EQ(w.form.Sound.PlayHeader.size, 32u);
  EXPECT_EQ(w.form.Sound.FramePos, 0u);
  EXPECT_EQ(w.form.Analysis.FftSize, 2048);
  EXPECT_EQ(w.form.Analysis.FftSizeExp, 3);
  EXPECT_EQ(w.form.Display.MaxDisplayFreq, 2000.0);
  EXPECT_EQ(w.form.freq->Max(), 2000);
  EXPECT_EQ(w.form.Display.WaveMinorGrid, 5);
  EXPECT_EQ(w.form.Analysis.PeakThreshold, 10.0);
  EXPECT_EQ(w.form.PlayScrollBar->Max(), 88200 - 4096);
  EXPECT_EQ(w.form.Sound.RecBits, 16);
  EXPECT_EQ(w.form.Sound.OutRate, 44100);
  EXPECT_EQ(w.form.Sound.OutChannels, 1);
  EXPECT_FALSE(w.form.Sound.SoundSetAside);
  EXPECT_NEAR(w.form.LbfftValue->Caption().toInt(), 330, 1);
  EXPECT_NE(w.form.Label21->Caption(), "");
  EXPECT_EQ(w.form.KeyPanels[29]->Color(), kRed);   // E, 330 Hz
  // The voiceprint was cleared after the redraws: no column yet.
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 0);
  EXPECT_EQ(CountColor(w.form.PaintBoxSeimon->Canvas(), kBlack), 206 * 395);

  // Scrolling shows later frames of the same tone.
  int pos = 20001;
  w.form.PlayScrollBarScroll(pos);
  EXPECT_EQ(w.form.Sound.FramePos, 20000u);
  EXPECT_NEAR(w.form.LbfftValue->Caption().toInt(), 330, 1);
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 1);
}

TEST(OpenSave, EightBitFileLowersTheThreshold) {
  QTemporaryDir dir;
  std::vector<uint8_t> data;
  for (int16_t v : ToneSamples(330.0, 8192, 44100.0, 30.0)) data.push_back(static_cast<uint8_t>(128 + v));
  WavHeader h;
  h.bits = 8;
  h.blockAlign = 1;
  Window w;
  w.Open(WriteFile(dir, "eight.wav", WavBytes(h, data)));
  EXPECT_EQ(w.form.Analysis.PeakThreshold, 0.1);
  EXPECT_NEAR(w.form.LbfftValue->Caption().toInt(), 330, 1);
}

// A window whose named allocation fails on its second request (the first is start-up's).
AllocationFault FailSecond(std::string name) {
  auto count = std::make_shared<int>(0);
  return [name, count](std::string_view block) { return block == name && ++*count == 2; };
}

// The own reader's refusals of a WAV file (files that are no RIFF WAVE at all, or of another
// format tag, go to the decoders: test_open_formats.cpp).
TEST(OpenSave, EveryReaderFailureSaysSoThenStopAndHoldsNoSound) {
  QTemporaryDir dir;
  const std::vector<uint8_t> tone = Pcm16(ToneSamples(330.0, 4096), 1);
  std::vector<uint8_t> noFmt = WavBytes({}, tone);
  std::memcpy(noFmt.data() + 12, "junk", 4);
  std::vector<uint8_t> noData = WavBytes({}, tone);
  std::memcpy(noData.data() + 36, "dat_", 4);
  std::vector<uint8_t> emptyData = WavBytes({}, {});
  std::vector<uint8_t> blockZero = WavBytes({1, 1, 44100, 0, 16}, tone);

  struct Case {
    const char* name;
    std::string path;
    std::string fault;
    std::string message;
  };
  const std::string good = WriteFile(dir, "good.wav", WavBytes({}, tone));
  const Case cases[] = {
      {"missing", dir.filePath("none.wav").toStdString(), "", "No File"},
      {"no fmt", WriteFile(dir, "b.wav", noFmt), "", "No fmt"},
      {"no data", WriteFile(dir, "d.wav", noData), "", "No data"},
      {"empty data", WriteFile(dir, "e.wav", emptyData), "", "No read"},
      {"block align 0", WriteFile(dir, "f.wav", blockZero), "", "No blockalign"},
      {"no memory for samples", good, "WaveData", "No pwavedata"},
      {"no memory for header", good, "PlayHeader", "No pwaveheader"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w(c.fault.empty() ? AllocationFault{} : FailSecond(c.fault));
    ASSERT_TRUE(w.form.Devices.HasSound);
    w.Open(c.path);
    EXPECT_EQ(w.services.calls,
              (std::vector<ServiceCall>{kOpenDialog, {"MessageBox", c.message, "ERROR"}, kStop}));
    EXPECT_FALSE(w.form.Devices.HasSound);
    EXPECT_EQ(w.form.Sound.WaveData, nullptr);
    EXPECT_FALSE(w.form.Sound.PlayHeader);
    EXPECT_FALSE(w.form.SoundPresent());

    // Scrolling snaps back; saving has nothing to save; redrawing shows grids only.
    int pos = 100;
    w.form.PlayScrollBarScroll(pos);
    EXPECT_EQ(pos, 0);
    w.services.calls.clear();
    w.form.SaveClick();
    EXPECT_EQ(w.services.calls, (std::vector<ServiceCall>{{"MessageBox", "no data", "error"}}));
    w.form.UpDownfftscaleClick(UpDown::Button::Next);
    EXPECT_EQ(w.form.LbfftValue->Caption(), "");
    EXPECT_EQ(CountColor(w.form.PaintBoxGra->Canvas(), kRed, 0, 20, 545, 171), 0);

    // A later good load brings a sound back.
    w.services.calls.clear();
    w.Open(good);
    EXPECT_TRUE(w.form.Devices.HasSound);
    EXPECT_EQ(w.services.calls, std::vector<ServiceCall>{kOpenDialog});
  }
}

TEST(OpenSave, OpeningPutsASetAsideSoundBackBeforeReleasingIt) {
  QTemporaryDir dir;
  Window w;
  uint8_t* mix = w.form.Mixer.MixBuffer.data.get();
  w.form.SetSoundAside();
  ASSERT_TRUE(w.form.Sound.SoundSetAside);
  w.Open(ToneFile(dir, "t.wav", 330.0));
  EXPECT_FALSE(w.form.Sound.SoundSetAside);
  EXPECT_FALSE(w.form.Sound.SavedWaveData);
  EXPECT_EQ(w.form.Mixer.MixBuffer.data.get(), mix);
  EXPECT_EQ(w.form.Mixer.MixBuffer.size, 44100u);
  EXPECT_NE(w.form.Sound.WaveData, mix);
}

// Files the analysis cannot frame in the ordinary way: never a read outside the samples
// (the sanitizer build checks), grids only where no whole frame of 8- or 16-bit samples fits.
TEST(OpenSave, UnusualFormatsAreFramedSafely) {
  QTemporaryDir dir;
  const std::vector<int16_t> tone = ToneSamples(330.0, 6000);
  std::vector<uint8_t> pcm24;
  for (int16_t v : tone) {
    pcm24.push_back(0);
    testing::PutLe(pcm24, static_cast<uint16_t>(v), 2);
  }
  struct Case {
    const char* name;
    WavHeader header;
    std::vector<uint8_t> data;
    bool wantTakenAtStart;
    bool wantPitch;
    int wantFft;
  };
  const Case cases[] = {
      // Decoded into 16-bit samples, which the analysis reads.
      {"24-bit mono", {1, 1, 44100, 3, 24}, pcm24, true, true, 2048},
      {"six channels", {1, 6, 44100, 12, 16}, Pcm16(tone, 6), true, true, 2048},
      // Stereo samples under a block alignment of 2: the reader needs twice the bytes the
      // play range allows for.
      {"block align below the samples", {1, 2, 44100, 2, 16}, Pcm16(tone, 2), true, true, 2048},
      {"shorter than 256 frames", {}, Pcm16(ToneSamples(330.0, 200), 1), false, false, 256},
      {"odd byte count", {}, [&] {
         auto d = Pcm16(ToneSamples(330.0, 3000), 1);
         d.push_back(7);
         return d;
       }(), true, true, 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.Open(WriteFile(dir, "f.wav", WavBytes(c.header, c.data)));
    ASSERT_TRUE(w.form.Devices.HasSound);
    EXPECT_EQ(w.form.Analysis.FftSize, c.wantFft);
    EXPECT_EQ(w.form.CurrentFrameTaken(), c.wantTakenAtStart);
    EXPECT_EQ(w.form.LbfftValue->Caption() != "", c.wantPitch);
    const RasterCanvas& fft = w.form.PaintBoxFft->Canvas();
    if (!c.wantTakenAtStart) {
      EXPECT_EQ(CountColor(w.form.PaintBoxGra->Canvas(), kRed, 0, 20, 545, 171), 0);
      EXPECT_EQ(CountColor(fft, kWhite), 0);
    }
    // Scroll to the very end, then through every frame length and back.
    int pos = w.form.PlayScrollBar->Max();
    w.form.PlayScrollBarScroll(pos);
    for (int i = 0; i < 4; ++i) w.form.UpDownChoicedataClick(UpDown::Button::Next);
    pos = w.form.PlayScrollBar->Max();
    w.form.PlayScrollBarScroll(pos);
    for (int i = 0; i < 4; ++i) w.form.UpDownChoicedataClick(UpDown::Button::Previous);
    w.form.PaintBoxGraPaint();
    w.form.PaintBoxFftPaint();
    w.form.PaintBoxFftMouseDown(Qt::LeftButton, Qt::ShiftModifier, 10, 20);
    if (!w.form.CurrentFrameTaken()) {
      EXPECT_EQ(w.form.LbfftValue->Caption(), "");
    }
  }
}

TEST(OpenSave, MismatchedBlockAlignTakesOnlyFramesTheSamplesHold) {
  QTemporaryDir dir;
  Window w;
  // 2600 stereo frames (10400 bytes) declared with a block alignment of 2: the play range
  // reaches 10400 - 4096, but the reader needs 8192 bytes per frame.
  w.Open(WriteFile(dir, "m.wav",
                   WavBytes({1, 2, 44100, 2, 16}, Pcm16(ToneSamples(330.0, 2600), 2))));
  EXPECT_EQ(w.form.PlayScrollBar->Max(), 10400 - 4096);
  EXPECT_TRUE(w.form.CurrentFrameTaken());
  int pos = 2208;
  w.form.PlayScrollBarScroll(pos);
  EXPECT_TRUE(w.form.CurrentFrameTaken());   // 2208 + 8192 = 10400
  pos = 2210;
  w.form.PlayScrollBarScroll(pos);
  EXPECT_FALSE(w.form.CurrentFrameTaken());
  EXPECT_EQ(w.form.LbfftValue->Caption(), "");
  EXPECT_EQ(CountColor(w.form.PaintBoxGra->Canvas(), kRed, 0, 20, 545, 171), 0);
}

TEST(OpenSave, SaveNamesAndSuffixes) {
  struct Case {
    const char* typed;
    const char* written;
  };
  const Case cases[] = {
      {"take1", "take1.wav"},
      {"take1.WAV", "take1.WAV"},
      {"take1.wav", "take1.wav"},
      {"take1.Wav", "take1.Wav.wav"},
      {"名前", "名前.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(SaveNameWithSuffix(c.typed), c.written);
    QTemporaryDir dir;
    Window w;
    const std::string typed = dir.filePath(QString::fromUtf8(c.typed)).toStdString();
    w.services.fileAnswers.push_back(typed);
    w.form.SaveClick();
    EXPECT_EQ(w.services.calls, std::vector<ServiceCall>{kSaveDialog});
    const std::vector<uint8_t> bytes =
        ReadFile(dir.filePath(QString::fromUtf8(c.written)).toStdString());
    ASSERT_EQ(bytes.size(), 46u + 44100u);
    EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16, 44138);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
  }
}

TEST(OpenSave, OverwriteQuestionNamesTheTypedName) {
  struct Case {
    ConfirmAnswer answer;
    bool wantWritten;
  };
  for (const Case c : {Case{ConfirmAnswer::No, false}, Case{ConfirmAnswer::Cancel, false},
                       Case{ConfirmAnswer::Yes, true}}) {
    for (const char* existing : {"take1", "take1.wav", "take1.WAV"}) {
      SCOPED_TRACE(existing);
      QTemporaryDir dir;
      const std::string old = WriteFile(dir, existing, {1, 2, 3});
      const std::string typed = dir.filePath("take1").toStdString();
      Window w;
      w.services.fileAnswers.push_back(typed);
      w.services.confirmAnswers.push_back(c.answer);
      w.form.SaveClick();
      EXPECT_EQ(w.services.calls,
                (std::vector<ServiceCall>{kSaveDialog,
                                          {"Confirm", "上書きしていいですか？ " + typed, "確認"}}));
      const std::vector<uint8_t> target = ReadFile(typed + ".wav");
      if (c.wantWritten) {
        EXPECT_EQ(target.size(), 46u + 44100u);
      } else if (std::string(existing) == "take1.wav") {
        EXPECT_EQ(target, (std::vector<uint8_t>{1, 2, 3}));
      } else {
        EXPECT_TRUE(target.empty());
      }
    }
  }
}

TEST(OpenSave, SaveWhileBusyDoesNothingAndAFailedSaveSaysSo) {
  Window w;
  w.form.Devices.Playing = true;
  w.form.SaveClick();
  EXPECT_TRUE(w.services.calls.empty());
  w.form.Devices.Playing = false;

  QTemporaryDir dir;
  const std::string typed = dir.filePath("missing/take1").toStdString();
  w.services.fileAnswers.push_back(typed);
  w.form.SaveClick();
  EXPECT_EQ(w.services.calls,
            (std::vector<ServiceCall>{kSaveDialog,
                                      {"MessageBox", "No File", "ERROR"},
                                      {"MessageBox", "no save file", typed + ".wav"}}));
  w.services.calls.clear();
  w.form.SaveClick();   // cancelled dialog
  EXPECT_EQ(w.services.calls, std::vector<ServiceCall>{kSaveDialog});
}

TEST(OpenSave, AFolderOrPipeOfTheNameIsRefusedWithoutAQuestion) {
  for (const char* kind : {"folder", "pipe"}) {
    SCOPED_TRACE(kind);
    QTemporaryDir dir;
    const std::string typed = dir.filePath("take1").toStdString();
    const std::string target = typed + ".wav";
    if (std::string(kind) == "folder") {
      ASSERT_TRUE(QDir().mkdir(QString::fromStdString(target)));
    } else {
      ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    }
    Window w;
    w.services.fileAnswers.push_back(typed);
    w.form.SaveClick();
    EXPECT_EQ(w.services.calls,
              (std::vector<ServiceCall>{kSaveDialog,
                                        {"MessageBox", "Not a regular file", "ERROR"},
                                        {"MessageBox", "no save file", target}}));
    const QFileInfo after(QString::fromStdString(target));
    EXPECT_EQ(after.isDir(), std::string(kind) == "folder");
    EXPECT_FALSE(after.isFile());
  }
}

TEST(OpenSave, SavedSoundReopensIdentically) {
  QTemporaryDir dir;
  Window w;
  w.Open(ToneFile(dir, "stereo.wav", 330.0, 5001, 2));
  const std::vector<uint8_t> samples(w.form.Sound.WaveData,
                                     w.form.Sound.WaveData + w.form.Sound.WaveDataSize);
  const WaveFormat format = w.form.Sound.WaveFormat;
  const QString pitch = w.form.LbfftValue->Caption();
  const std::string copy = dir.filePath("copy").toStdString();
  w.services.fileAnswers.push_back(copy);
  w.form.SaveClick();

  Window again;
  again.Open(copy + ".wav");
  ASSERT_TRUE(again.form.Devices.HasSound);
  EXPECT_EQ(again.form.Sound.WaveFormat, format);
  EXPECT_EQ(again.form.Sound.WaveFormat.nBlockAlign, 4);
  EXPECT_EQ(again.form.Sound.WaveFormat.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(std::vector<uint8_t>(again.form.Sound.WaveData,
                                 again.form.Sound.WaveData + again.form.Sound.WaveDataSize),
            samples);
  EXPECT_EQ(again.form.LbfftValue->Caption(), pitch);
}

TEST(OpenSave, SizesAWindowCanHold) {
  EXPECT_TRUE(SoundSizeFits(0));
  EXPECT_TRUE(SoundSizeFits(0x7FFFFFFFu));
  EXPECT_FALSE(SoundSizeFits(0x80000000u));
  EXPECT_FALSE(SoundSizeFits(0xFFFFFFFFu));
}

}  // namespace
}  // namespace tonamira

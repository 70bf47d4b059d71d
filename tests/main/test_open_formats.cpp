// Opening every common sound format through the window's "開く": each file is decoded into
// 16-bit PCM and becomes the current sound as an opened WAV does (its pitch shown, its key
// marked); a file no decoder reads, and a cancelled decode, leave the current sound as it was.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "sound/decoder.h"
#include "support/sound_tools.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::CommonFormats;
using testing::FormatRecipe;
using testing::LoopWindow;
using testing::Pcm16;
using testing::RunQueuedEvents;
using testing::ServiceCall;
using testing::ToneSamples;
using testing::WavBytes;
using testing::WavHeader;
using testing::Window;
using testing::WriteFile;

constexpr double kNoteHz = 330.0;   // E4, the 29th key
constexpr int kNoteKey = 29;
constexpr int kSeconds = 2;

const ServiceCall kOpenDialog{"Open", kOpenFilter, ""};

ServiceCall ProgressOf(const std::string& file) {
  return {"Progress", "読み込み中: " + file, kApplicationTitle};
}

// A held E4 in 16-bit PCM: channel 0 the note, the others the note at half its level.
std::vector<uint8_t> HeldNote(int channels, int seconds = kSeconds) {
  return Pcm16(ToneSamples(kNoteHz, seconds * 44100), channels);
}

std::string NoteWav(const QTemporaryDir& dir, const std::string& name,
                    const std::vector<uint8_t>& pcm, int channels) {
  WavHeader h;
  h.channels = static_cast<uint16_t>(channels);
  h.blockAlign = static_cast<uint16_t>(2 * channels);
  return WriteFile(dir, name, WavBytes(h, pcm));
}

std::string Made(const QTemporaryDir& dir, const FormatRecipe& r, const std::string& source,
                 const std::string& stem) {
  const std::string out = dir.filePath(QString::fromStdString(stem + r.suffix)).toStdString();
  EXPECT_TRUE(testing::MakeWith(r, source, out)) << r.name << ": is " << r.before[0] << " installed?";
  return out;
}

// The samples of a sound's first channels, 16-bit.
std::vector<uint8_t> Bytes(const FormMain& form) {
  return {form.Sound.WaveData, form.Sound.WaveData + form.Sound.WaveDataSize};
}

// A 24-bit PCM WAV of tag 1 (the own reader takes such a file, but the analysis does not read
// 24-bit samples, so it is decoded): the 16-bit samples with a zero low byte.
std::vector<uint8_t> Pcm24Wav(const std::vector<uint8_t>& pcm16, int channels) {
  std::vector<uint8_t> data;
  for (size_t i = 0; i + 1 < pcm16.size(); i += 2) {
    data.push_back(0);
    data.push_back(pcm16[i]);
    data.push_back(pcm16[i + 1]);
  }
  return WavBytes({1, static_cast<uint16_t>(channels), 44100,
                   static_cast<uint16_t>(3 * channels), 24},
                  data);
}

// The note is read and its key marked on the first frame, as opened, and a tenth of a second
// in.
void ExpectOpenedNote(Window& w, int channels, int rate, int64_t frames, int64_t extraFrames) {
  ASSERT_TRUE(w.form.Devices.HasSound);
  const WaveFormat& f = w.form.Sound.WaveFormat;
  EXPECT_EQ(f.wFormatTag, 1);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nChannels, channels);
  EXPECT_EQ(f.nSamplesPerSec, static_cast<uint32_t>(rate));
  EXPECT_EQ(f.nBlockAlign, 2 * channels);
  EXPECT_EQ(w.form.Sound.RecBits, 16);
  EXPECT_EQ(w.form.Sound.OutChannels, channels);
  EXPECT_EQ(w.form.Sound.OutRate, rate);
  const int64_t got = w.form.Sound.WaveDataSize / (2 * channels);
  EXPECT_GE(got, frames);
  EXPECT_LE(got, frames + extraFrames);
  EXPECT_EQ(w.form.Sound.FramePos, 0u);
  EXPECT_EQ(w.form.Analysis.FftSize, 2048);
  EXPECT_EQ(w.form.Analysis.PeakThreshold, 10.0);
  EXPECT_EQ(w.form.PlayScrollBar->Max(), w.form.Sound.WaveDataSize - 2048 * 2 * channels);
  EXPECT_FALSE(w.form.Sound.SoundSetAside);
  for (int pos : {0, rate / 10 * 2 * channels}) {
    SCOPED_TRACE(pos);
    if (pos > 0) w.form.PlayScrollBarScroll(pos);
    EXPECT_NEAR(w.form.LbfftValue->Caption().toInt(), kNoteHz, 2);
    EXPECT_EQ(w.form.KeyPanels[kNoteKey]->Color(), kRed);
    int marked = 0;
    for (int k = 1; k <= kKeyCount; ++k) marked += w.form.KeyPanels[k]->Color() == kRed;
    EXPECT_EQ(marked, 1);
  }
}

std::string FileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

TEST(OpenFormats, EveryCommonFormatOpensAndMarksItsNote) {
  QTemporaryDir dir;
  for (int channels : {1, 2}) {
    const std::string n = std::to_string(channels);
    const std::vector<uint8_t> pcm = HeldNote(channels);
    const std::string source = NoteWav(dir, "source" + n + ".wav", pcm, channels);
    struct File {
      std::string name;
      std::string path;
      bool lossless;
    };
    std::vector<File> files = {{"24-bit WAV", WriteFile(dir, "pcm24-" + n + ".wav",
                                                        Pcm24Wav(pcm, channels)), true}};
    for (const FormatRecipe& r : CommonFormats())
      files.push_back({r.name, Made(dir, r, source, "note" + n + "-" + std::to_string(files.size())),
                       r.lossless});
    for (const File& file : files) {
      SCOPED_TRACE(file.name + ", " + n + " channel(s)");
      const int rate = file.name == "Opus" ? 48000 : 44100;   // Opus decodes at 48 kHz
      Window w;
      w.Open(file.path);
      EXPECT_EQ(w.services.calls,
                (std::vector<ServiceCall>{kOpenDialog, ProgressOf(FileName(file.path))}));
      // Lossless files give back the very samples; a lossy codec's frames may add up to
      // two of its blocks of padding at the end.
      if (file.lossless) {
        EXPECT_EQ(Bytes(w.form), pcm);
      }
      ExpectOpenedNote(w, channels, rate, int64_t{kSeconds} * rate, file.lossless ? 0 : 2048);
    }
  }
}

TEST(OpenFormats, MoreThanTwoChannelsKeepTheFirstTwo) {
  QTemporaryDir dir;
  const std::vector<uint8_t> six = HeldNote(6);
  // Channel c of the six carries the note at 1 / (c + 1) of its level, so each is told apart.
  std::vector<uint8_t> distinct = six;
  for (size_t i = 0; i + 1 < distinct.size(); i += 2) {
    const size_t c = (i / 2) % 6;
    const auto v = static_cast<int16_t>(distinct[i] | distinct[i + 1] << 8);
    const auto scaled = static_cast<uint16_t>(static_cast<int16_t>(v / static_cast<int>(c + 1)));
    distinct[i] = static_cast<uint8_t>(scaled);
    distinct[i + 1] = static_cast<uint8_t>(scaled >> 8);
  }
  std::vector<uint8_t> firstTwo;
  for (size_t i = 0; i < distinct.size(); i += 12)
    firstTwo.insert(firstTwo.end(), distinct.begin() + static_cast<std::ptrdiff_t>(i),
                    distinct.begin() + static_cast<std::ptrdiff_t>(i + 4));
  // A six-channel 16-bit WAV stays with the own reader (it takes any channel count of the
  // widths it reads); the 24-bit and FLAC forms are decoded.
  const std::string source = NoteWav(dir, "six.wav", distinct, 6);
  const std::vector<std::string> files = {
      WriteFile(dir, "six24.wav", Pcm24Wav(distinct, 6)),
      Made(dir, CommonFormats()[0], source, "six-extensible"),
      Made(dir, CommonFormats()[2], source, "six"),
  };
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Window w;
    w.Open(path);
    EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{});
    EXPECT_EQ(Bytes(w.form), firstTwo);
    ExpectOpenedNote(w, 2, 44100, int64_t{kSeconds} * 44100, 0);
  }
}

// Files each decoder knows but cannot read, and files no decoder knows: one box with the
// decoder's own reason under "ERROR", and the current sound exactly as it was.
TEST(OpenFormats, AFileNoDecoderReadsSaysWhyAndKeepsTheSound) {
  QTemporaryDir dir;
  const std::vector<uint8_t> pcm = HeldNote(1);
  const std::string source = NoteWav(dir, "source.wav", pcm, 1);
  const std::vector<uint8_t> flac = testing::ReadFile(Made(dir, CommonFormats()[2], source, "good"));
  const std::vector<uint8_t> m4a = testing::ReadFile(Made(dir, CommonFormats()[7], source, "good"));
  ASSERT_GT(flac.size(), 1000u);
  ASSERT_GT(m4a.size(), 3000u);

  // A 24-bit WAV whose data chunk is empty: libsndfile opens it and finds no sample frame.
  std::vector<uint8_t> empty24 = Pcm24Wav({}, 1);
  // The M4A's audio turned to noise: FFmpeg knows the file, its AAC decoder no packet of it.
  std::vector<uint8_t> noisyAac = m4a;
  const auto mdat = std::search(noisyAac.begin(), noisyAac.end(), std::begin("mdat"),
                                std::begin("mdat") + 4);
  const auto moov = std::search(noisyAac.begin(), noisyAac.end(), std::begin("moov"),
                                std::begin("moov") + 4);
  ASSERT_TRUE(mdat != noisyAac.end() && moov != noisyAac.end() && mdat < moov);
  std::fill(mdat + 4, moov - 4, uint8_t{0xFF});
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string reasonStart;
  };
  const Case cases[] = {
      {"FLAC cut after its header", std::vector<uint8_t>(flac.begin(), flac.begin() + 600),
       "libsndfile: Error : flac decoder lost sync."},
      {"24-bit WAV without samples", empty24, "libsndfile: no audio samples"},
      {"M4A cut short", std::vector<uint8_t>(m4a.begin(), m4a.begin() + 3000),
       "libsndfile: Format not recognised.; FFmpeg: Invalid data found when processing input"},
      {"M4A of noise", noisyAac, "FFmpeg: "},
      {"text", {'n', 'o', 't', 'e', 's', '\n'},
       "libsndfile: Format not recognised.; FFmpeg: Invalid data found when processing input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.Open(source);
    int pos = 8000;
    w.form.PlayScrollBarScroll(pos);
    const uint8_t* before = w.form.Sound.WaveData;
    const std::vector<uint8_t> samples = Bytes(w.form);
    const QString pitch = w.form.LbfftValue->Caption();
    const RasterCanvas& canvas = w.form.PaintBoxGra->Canvas();
    const std::vector<uint32_t> wave(canvas.Bits(),
                                     canvas.Bits() + canvas.Width() * canvas.Height());
    w.services.calls.clear();

    const std::string path = WriteFile(dir, std::string("bad-") + c.name, c.bytes);
    w.Open(path);
    ASSERT_EQ(w.services.calls.size(), 3u);
    EXPECT_EQ(w.services.calls[1], ProgressOf(FileName(path)));
    EXPECT_EQ(w.services.calls[2].kind, "MessageBox");
    EXPECT_EQ(w.services.calls[2].caption, "ERROR");
    EXPECT_EQ(w.services.calls[2].text.rfind(c.reasonStart, 0), 0u) << w.services.calls[2].text;
    EXPECT_TRUE(w.form.Devices.HasSound);
    EXPECT_EQ(w.form.Sound.WaveData, before);
    EXPECT_EQ(Bytes(w.form), samples);
    EXPECT_EQ(w.form.Sound.FramePos, 8000u);
    EXPECT_EQ(w.form.Sound.WaveFormat.nChannels, 1);
    EXPECT_EQ(w.form.LbfftValue->Caption(), pitch);
    EXPECT_EQ(w.form.KeyPanels[kNoteKey]->Color(), kRed);
    EXPECT_TRUE(std::equal(wave.begin(), wave.end(), canvas.Bits()));
  }
}

TEST(OpenFormats, ACancelledDecodeKeepsTheSound) {
  QTemporaryDir dir;
  const std::string source = NoteWav(dir, "long.wav", HeldNote(1, 20), 1);
  const std::string flac = Made(dir, CommonFormats()[2], source, "long");
  const std::string m4a = Made(dir, CommonFormats()[7], source, "long");
  for (const std::string& path : {flac, m4a}) {
    SCOPED_TRACE(path);
    Window w;
    const uint8_t* before = w.form.Sound.WaveData;
    const int32_t size = w.form.Sound.WaveDataSize;
    w.services.progressCancelAt = 3;
    w.Open(path);
    EXPECT_EQ(w.services.progressUpdates, 3);
    EXPECT_EQ(w.services.calls,
              (std::vector<ServiceCall>{kOpenDialog, ProgressOf(FileName(path))}));
    EXPECT_EQ(w.form.Sound.WaveData, before);
    EXPECT_EQ(w.form.Sound.WaveDataSize, size);
    EXPECT_EQ(w.form.Sound.WaveFormat.nSamplesPerSec, 44100u);
    EXPECT_TRUE(w.form.Devices.HasSound);
    // The progress only goes forward, and a decode let run reaches the end.
    for (size_t i = 1; i < w.services.progressFractions.size(); ++i)
      EXPECT_GE(w.services.progressFractions[i], w.services.progressFractions[i - 1]);
    w.services.progressCancelAt = 0;
    w.services.progressFractions.clear();
    w.Open(path);
    ASSERT_FALSE(w.services.progressFractions.empty());
    EXPECT_GT(w.services.progressFractions.back(), 0.95);
    EXPECT_EQ(w.form.Sound.WaveDataSize / 2 / 44100, 20);
  }
}

// Opens path through "開く" in a window whose boxes and dialogs run a nested event loop.
void Open(LoopWindow& w, const std::string& path) {
  w.services.fileAnswers.push_back(path);
  w.form.OpenClick();
}

// A playback the user stopped leaves the device's "done" on its way; the next file may be
// decoded with a progress dialog, whose event loop delivers it (or not, when the decode is
// short and no dialog is shown). Either way the stop's done is taken as the stop's, and the
// next playback of the new sound ends by itself at its end.
TEST(OpenFormats, TheStoppedPlaybacksDoneIsTheStopsWhereverItArrives) {
  QTemporaryDir dir;
  const std::string first = NoteWav(dir, "first.wav", HeldNote(1), 1);
  const std::string second = Made(dir, CommonFormats()[2], first, "second");
  const std::string third = NoteWav(dir, "third.wav", HeldNote(1), 1);
  struct Case {
    const char* name;
    std::string next;
    int shownAt;   // 0: the decode is short, no dialog and no event loop
  };
  const Case cases[] = {
      {"decoded with the dialog shown", second, 1},
      {"decoded without a dialog", second, 0},
      {"a WAV of the own reader", third, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopWindow w;
    w.services.progressShownAt = c.shownAt;
    Open(w, first);
    ASSERT_TRUE(w.form.Devices.HasSound);
    w.form.PlayToggle();
    ASSERT_TRUE(w.form.Devices.Playing);
    w.Advance(300'000);
    w.form.PlayToggle();   // the user's stop; its done is queued
    ASSERT_FALSE(w.form.Devices.Playing);
    Open(w, c.next);
    w.Deliver();
    EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{});
    ASSERT_EQ(w.form.Sound.WaveDataSize, kSeconds * 44100 * 2);

    // The new sound plays to its end, and the window knows it has ended.
    w.form.PlayToggle();
    ASSERT_TRUE(w.form.Devices.Playing);
    for (int i = 0; i < 25 && w.form.Devices.Playing; ++i) w.Advance(100'000);
    EXPECT_FALSE(w.form.Devices.Playing);
    EXPECT_EQ(w.form.PlayButton->Caption(), QString::fromUtf8("再生"));
    EXPECT_EQ(w.form.Sound.FramePos, 0u);
  }
}

// A take the user stopped finishes through two notifications; a file opened at once and
// decoded with the dialog shown takes them in its event loop: the take becomes the current
// sound there, and the decoded file replaces it after, with the handshake over.
TEST(OpenFormats, ATakeStoppedJustBeforeFinishesInsideTheDecode) {
  QTemporaryDir dir;
  const std::string source = NoteWav(dir, "source.wav", HeldNote(1), 1);
  const std::string flac = Made(dir, CommonFormats()[2], source, "note");
  LoopWindow w;
  w.form.RecButtonClick();
  ASSERT_TRUE(w.form.Devices.Recording);
  for (int i = 0; i < 5; ++i) w.Advance(100'000);
  w.form.RecButtonClick();   // the stop; its two notifications are on their way
  ASSERT_TRUE(w.form.Devices.RecStopRequested);
  int shown = 0;
  w.services.whileShown = [&] {
    ++shown;
    RunQueuedEvents();
  };
  Open(w, flac);
  w.Deliver();
  EXPECT_GT(shown, 0);
  EXPECT_FALSE(w.form.Devices.RecStopRequested);
  EXPECT_FALSE(w.form.Devices.InputOpen);
  EXPECT_FALSE(w.form.Devices.Recording);
  EXPECT_EQ(w.form.RecButton->Caption(), QString::fromUtf8("録音"));
  EXPECT_EQ(w.form.Sound.WaveDataSize, kSeconds * 44100 * 2);
  EXPECT_EQ(w.form.KeyPanels[kNoteKey]->Color(), kRed);
  EXPECT_EQ(w.services.Boxes(), std::vector<ServiceCall>{});
}

// While the dialog runs its event loop, nothing opens a second file, and a window closed in
// it keeps no decoded sound.
TEST(OpenFormats, NothingReentersTheOpenFromTheDialogsEventLoop) {
  QTemporaryDir dir;
  const std::string source = NoteWav(dir, "source.wav", HeldNote(1), 1);
  const std::string flac = Made(dir, CommonFormats()[2], source, "note");
  const std::string m4a = Made(dir, CommonFormats()[7], source, "note");
  LoopWindow w;
  int reentered = 0;
  w.services.whileShown = [&] {
    ++reentered;
    w.form.OpenFile(m4a);   // a drop or a recent file, say, while the dialog is up
  };
  Open(w, flac);
  EXPECT_GT(reentered, 0);
  // One decode ran: the FLAC's.
  EXPECT_EQ(std::count_if(w.services.calls.begin(), w.services.calls.end(),
                          [](const ServiceCall& call) { return call.kind == "Progress"; }),
            1);
  EXPECT_EQ(w.form.Sound.WaveDataSize, kSeconds * 44100 * 2);

  LoopWindow closing;
  const uint8_t* before = closing.form.Sound.WaveData;
  ASSERT_NE(before, nullptr);
  closing.services.whileShown = [&] { closing.form.close(); };
  Open(closing, flac);
  EXPECT_TRUE(closing.form.Devices.Closing);
  EXPECT_FALSE(closing.form.SoundPresent());
  EXPECT_EQ(closing.services.Boxes(), std::vector<ServiceCall>{});
}

}  // namespace
}  // namespace tonamira

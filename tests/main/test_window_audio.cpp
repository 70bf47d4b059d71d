// The window on real sound devices: the private PulseAudio server's null sink is both what
// the window plays into and, through a recordable copy of its monitor, what it records. A
// second pair of devices stands in for the singer (playing into the sink) and for the ear
// (recording what the window plays). These tests wait on the event loop, with deadlines,
// because the sound server runs in real time.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "analysis/frame_analysis.h"
#include "devices/pulse_support.h"
#include "devices/pulse_devices.h"
#include "devices/qt_poster.h"
#include "synth/peaks_to_mixer.h"
#include "window_fixture.h"

namespace tonamira {
namespace {

using namespace pulse;
using testing::App;
using testing::ScriptedServices;

// A tone of fundamental hz with harmonics of the given amplitudes, 16-bit mono.
std::vector<uint8_t> HarmonicTone(double hz, double seconds, std::initializer_list<double> amps) {
  const auto n = static_cast<size_t>(seconds * 44100.0);
  std::vector<uint8_t> bytes(2 * n);
  for (size_t i = 0; i < n; ++i) {
    double v = 0.0;
    int h = 1;
    for (double a : amps) v += a * std::sin(kTwoPi * hz * h++ * static_cast<double>(i) / 44100.0);
    const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v)));
    bytes[2 * i] = static_cast<uint8_t>(s & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(s >> 8);
  }
  return bytes;
}

// The read-out shows a pitch within 2 Hz of hz: the window's detector gives whole hertz from
// frames that fall anywhere on the sound, so the last digit may move by one or two.
bool ShowsPitchNear(const FormMain& form, int hz) {
  bool ok = false;
  const int shown = form.LbfftValue->Caption().toInt(&ok);
  return ok && std::abs(shown - hz) <= 2;
}

class WindowOnTheServer : public ::testing::Test {
 protected:
  void SetUp() override {
    TONAMIRA_NEED_PULSE();
    App();
    form = std::make_unique<FormMain>(services, audio);
    poster = std::make_unique<QtQueuedPoster>(&context, other);
  }
  void TearDown() override {
    if (form) form->close();
    form.reset();
    singer.reset();
    ear.reset();
    ReleaseDeferred();
  }

  // Plays sound through a device of the test's own, as a singer into the microphone.
  void Sing(std::vector<uint8_t> sound) {
    singer = devices.CreateOutput();
    other.output = singer.get();
    ASSERT_EQ(singer->Open(Mono16(), *poster), AudioResult::Ok);
    song = std::make_unique<Buffer>(std::move(sound), 9);
    ASSERT_EQ(singer->Prepare(song->header), AudioResult::Ok);
    ASSERT_EQ(singer->Write(song->header), AudioResult::Ok);
  }

  // Records what is played, as an ear by the loudspeaker.
  void Listen() {
    ear = devices.CreateInput();
    other.input = ear.get();
    ASSERT_EQ(ear->Open(Mono16(), *poster), AudioResult::Ok);
    heard1 = std::make_unique<Buffer>(std::vector<uint8_t>(8820), 1);
    heard2 = std::make_unique<Buffer>(std::vector<uint8_t>(8820), 2);
    for (Buffer* b : {heard1.get(), heard2.get()}) {
      ASSERT_EQ(ear->Prepare(b->header), AudioResult::Ok);
      ASSERT_EQ(ear->AddBuffer(b->header), AudioResult::Ok);
    }
    ASSERT_EQ(ear->Start(), AudioResult::Ok);
  }

  void StopListening() {
    other.handBack = false;
    ear->Reset();
    WaitFor([&] { return false; }, 100);
    ear->Unprepare(heard1->header);
    ear->Unprepare(heard2->header);
    ear->Close();
  }

  // The detection of each heard chunk that carries sound, as the window detects a frame.
  std::vector<DetectionState> HeardDetections(bool labelHarmonics) {
    std::vector<DetectionState> found;
    FftPlan plan(2048);
    FftArrays arrays;
    AllocFftArrays(arrays, 2048);
    DetectionSettings settings;
    settings.drivesMixer = labelHarmonics;
    for (const auto& c : other.chunks) {
      if (c.bytes.size() < 4096) continue;
      DetectionState state;
      const PcmFrame frame{c.bytes, 0, 2048, 1, 16, 2};
      if (AnalyzePcmFrame(frame, plan, arrays, settings, state)) found.push_back(state);
    }
    return found;
  }

  ScriptedServices services;
  PulseAudioDevices audio;
  std::unique_ptr<FormMain> form;
  QObject context;
  pulse::Window other;
  std::unique_ptr<QtQueuedPoster> poster;
  PulseAudioDevices devices;
  std::unique_ptr<OutputDevice> singer;
  std::unique_ptr<InputDevice> ear;
  std::unique_ptr<Buffer> song, heard1, heard2;
};

TEST_F(WindowOnTheServer, ASungNoteIsFollowedLiveKeptAndPlayedBack) {
  form->show();
  form->RecButtonClick();
  ASSERT_TRUE(form->Devices.Recording);
  ASSERT_TRUE(WaitFor([&] { return form->Sound.RecPos > 0; })) << "nothing recorded";
  Sing(HarmonicTone(440.0, 2.0, {8000.0, 3000.0}));
  ASSERT_TRUE(WaitFor([&] { return ShowsPitchNear(*form, 440); }, 5000))
      << "the pitch did not show while recording";
  EXPECT_NE(form->KeyPanels[34]->Color(), kWhite);   // marked
  ASSERT_TRUE(WaitFor([&] { return !other.dones.empty(); }, 5000));

  form->RecButtonClick();
  ASSERT_TRUE(WaitFor([&] { return form->RecButton->Caption() == QString::fromUtf8("録音"); }, 3000));
  EXPECT_FALSE(form->Devices.Recording);
  EXPECT_GE(form->Sound.WaveDataSize, 2 * 88200);
  EXPECT_TRUE(services.calls.empty());

  // Scrolling through the take finds the note.
  bool noteFound = false;
  for (int pos = 0; pos + 4096 <= form->Sound.WaveDataSize && !noteFound; pos += 8820) {
    int scroll = pos;
    form->PlayScrollBarScroll(scroll);
    noteFound = ShowsPitchNear(*form, 440);
  }
  EXPECT_TRUE(noteFound);

  // Played back from the start, the views follow and the playback ends by itself.
  int scroll = 0;
  form->PlayScrollBarScroll(scroll);
  Listen();
  form->PlayButtonClick();
  ASSERT_TRUE(form->Devices.Playing);
  ASSERT_TRUE(WaitFor([&] { return form->PlayScrollBar->Position() > 0; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.Playing; }, 10000)) << "playback never ended";
  EXPECT_EQ(form->Sound.FramePos, 0u);
  StopListening();
  bool heardNote = false;
  for (const DetectionState& d : HeardDetections(false)) heardNote |= std::abs(d.detectedFreq - 440) <= 2;
  EXPECT_TRUE(heardNote);
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(WindowOnTheServer, KeyThirtyFourSoundsAtFourHundredAndFortyHertz) {
  Listen();
  form->Panel1Click(form->KeyPanels[34]);
  ASSERT_TRUE(form->Devices.Playing);
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.Playing; }, 5000));
  WaitFor([&] { return false; }, 300);
  StopListening();
  const std::vector<DetectionState> heard = HeardDetections(false);
  ASSERT_FALSE(heard.empty()) << "nothing was heard";
  for (const DetectionState& d : heard) EXPECT_NEAR(d.detectedFreq, 440, 2);
}

TEST_F(WindowOnTheServer, TheMixerResynthesisesAHeldNoteWithItsHarmonics) {
  form->RecButtonClick();
  ASSERT_TRUE(WaitFor([&] { return form->Sound.RecPos > 0; })) << "nothing recorded";
  Sing(HarmonicTone(220.0, 3.0, {8000.0, 4000.0, 2000.0}));
  ASSERT_TRUE(WaitFor([&] { return ShowsPitchNear(*form, 220); }, 5000));
  WaitFor([&] { return false; }, 500);
  form->RecButtonClick();   // while the note is still held
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.RecStopRequested; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return !other.dones.empty(); }, 5000));
  const HarmonicLevels detected = form->Mixer.HarmonicLevel;
  ASSERT_EQ(detected[1], 100);
  ASSERT_GT(detected[2], 0);

  Listen();
  form->TransmitClick();
  ASSERT_TRUE(form->Devices.Playing);
  ASSERT_TRUE(WaitFor([&] { return !form->Devices.Playing; }, 5000));
  WaitFor([&] { return false; }, 300);
  StopListening();
  // The heard tone's harmonics, measured the way the detection measures them, in the chunks
  // that lie wholly inside the tone (not its first or last, which hold its edges).
  std::vector<DetectionState> heard = HeardDetections(true);
  int loudest = 0;
  for (const DetectionState& d : heard) loudest = std::max(loudest, d.detectedLevel);
  int compared = 0;
  for (DetectionState& d : heard) {
    if (d.detectedLevel < loudest * 9 / 10) continue;
    HarmonicLevels heardLevels{};
    ::tonamira::LevelsFromPeaks(d.peaks, d.detectedFreq, heardLevels);
    for (int k = 1; k <= 3; ++k) {
      if (detected[k] < 10) continue;
      ASSERT_GT(heardLevels[k], 0) << "harmonic " << k;
      const double db = 20.0 * std::log10(static_cast<double>(heardLevels[k]) / detected[k]);
      EXPECT_LE(std::abs(db), 2.0) << "harmonic " << k << ": " << heardLevels[k] << " against "
                                   << detected[k];
    }
    ++compared;
  }
  EXPECT_GE(compared, 2);
}

}  // namespace
}  // namespace tonamira

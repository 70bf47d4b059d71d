// Playback: "再生" plays the current sound from the frame position to its end as one buffer
// through the output device, and stops it again. While it plays, a 200 ms timer asks the
// device how far it has got and analyses the frame there, so the views follow the sound.
// The tone mixer plays its tone through PlayBuffer too.
//
// IgnoreNextDone is the one handshake: a stop the program makes itself is followed by one
// "done" from the device, which must not be taken for the natural end of a later playback.

#include <QString>

#include <algorithm>

#include "main/form_main.h"

namespace tonamira {

namespace {

uint32_t RoundDownEven(uint64_t bytes) {
  return static_cast<uint32_t>(std::min<uint64_t>(bytes & ~uint64_t{1}, UINT32_MAX));
}

}  // namespace

void FormMain::PlayButtonClick() { PlayToggle(); }

void FormMain::PlayToggle() {
  if (Devices.Recording) return;

  if (Devices.Playing) {
    // The user's stop: the frame where the sound has got to is shown.
    uint32_t played = Devices.PlayTime;
    if (!Devices.hWaveOut || Devices.hWaveOut->Position(played) != AudioResult::Ok) {
      MessageBox("error", "won");
      played = Devices.PlayTime;
    }
    Devices.PlayTime = played;
    Sound.FramePos = RoundDownEven(uint64_t{Sound.FramePos} + played);
    const int64_t lastFrame = static_cast<int64_t>(Sound.WaveDataSize) -
                              int64_t{Sound.WaveFormat.nBlockAlign} * Analysis.FftSize;
    if (lastFrame >= 0 && Sound.FramePos > lastFrame) Sound.FramePos = static_cast<uint32_t>(lastFrame);
    PlayScrollBar->SetPosition(static_cast<int>(Sound.FramePos));
    Devices.IgnoreNextDone = true;
    StopPlayback();
    RedrawAll();
    return;
  }

  // Nothing to play without a sound (after a failed load).
  if (!SoundPresent()) return;
  Devices.DetectionDrivesMixer = true;
  if (Sound.SoundSetAside) PutSoundBack();   // the sound before the tone, from its start
  ShowCaption(PlayButton, QT_TR_NOOP("停止"));
  if (!PlayBuffer(Sound.WaveData, Sound.FramePos, static_cast<uint32_t>(std::max(Sound.WaveDataSize, 0))))
    ShowCaption(PlayButton, QT_TR_NOOP("再生"));
}

bool FormMain::PlayBuffer(const uint8_t* sound, uint32_t start, uint32_t end) {
  if (!OpenOutput()) return false;
  if (!PrepareOutput(sound, start, end)) return false;
  Timer1.SetEnabled(true);
  const AudioResult r = Devices.hWaveOut->Write(*Sound.PlayHeader.get());
  if (r == AudioResult::Ok) {
    Devices.Playing = true;
    Devices.PlayTime = 0;
    return true;
  }
  CloseOutput();
  // The timer stops before the box: the box's event loop would tick it, and a tick on the
  // closed device would raise a second box.
  Timer1.SetEnabled(false);
  DeviceError(r, "wave");
  return false;
}

bool FormMain::OpenOutput() {
  // A stop's done is swallowed only from the device that was stopped: one that was dropped
  // before its done arrived (a file opened, a tone played at once) never delivers it here,
  // and the new device's own done must end the new playback.
  Devices.IgnoreNextDone = false;
  Devices.hWaveOut = audio_.CreateOutput();
  const AudioResult r = Devices.hWaveOut->Open(Sound.WaveFormat, *poster_);
  if (r == AudioResult::Ok) {
    Devices.HasSound = true;
    return true;
  }
  Devices.hWaveOut.reset();
  Devices.HasSound = false;
  DeviceError(r, "ERROR");
  return false;
}

bool FormMain::PrepareOutput(const uint8_t* sound, uint32_t start, uint32_t end) {
  // The header goes with the sound; a sound without one (or a start past the end) is a
  // buffer the device refuses.
  AudioResult r = AudioResult::InvalidParam;
  if (Sound.PlayHeader && sound != nullptr && start < end) {
    WaveHeader& header = *Sound.PlayHeader.get();
    header = WaveHeader{const_cast<uint8_t*>(sound) + start, end - start, 0, 0, 0};
    r = Devices.hWaveOut->Prepare(header);
  }
  if (r == AudioResult::Ok) return true;
  CloseOutput();
  DeviceError(r, "wave");
  return false;
}

void FormMain::StopPlayback() {
  Timer1.SetEnabled(false);
  Devices.Playing = false;
  ShowCaption(PlayButton, QT_TR_NOOP("再生"));
  if (!Devices.hWaveOut) return;
  OutputDevice& out = *Devices.hWaveOut;
  out.Pause();
  out.Reset();
  if (Sound.PlayHeader) out.Unprepare(*Sound.PlayHeader.get());
  out.Close();
}

void FormMain::CloseOutput() {
  if (Devices.hWaveOut) {
    // After StopPlayback the device is closed already and these change nothing.
    OutputDevice& out = *Devices.hWaveOut;
    out.Reset();
    if (Sound.PlayHeader) out.Unprepare(*Sound.PlayHeader.get());
    out.Close();
  }
  Devices.hWaveOut.reset();
  Devices.HasSound = false;
}

void FormMain::Timer1Timer() {
  uint32_t played = 0;
  if (!Devices.hWaveOut || Devices.hWaveOut->Position(played) != AudioResult::Ok) {
    Timer1.SetEnabled(false);
    MessageBox("error", "time");
    return;
  }
  Devices.PlayTime = played;
  const uint32_t frameBytes =
      static_cast<uint32_t>(std::max(Sound.RecBits, 0) * std::max(Sound.RecChannels, 0) / 8);
  if (frameBytes == 0) {
    // No whole sample frames to follow (the device refuses such formats; nothing divides
    // by it here either).
    Timer1.SetEnabled(false);
    return;
  }
  const uint64_t reached = uint64_t{Sound.FramePos} + played;
  const uint64_t pos = reached - reached % frameBytes;
  const uint64_t size = static_cast<uint64_t>(std::max(Sound.WaveDataSize, 0));
  const uint64_t frame = uint64_t{Sound.WaveFormat.nBlockAlign} * static_cast<uint64_t>(Analysis.FftSize);
  if (pos + frame <= size) {
    AnalyzeFrame(Analysis.FftSize, Sound.WaveData, Sound.Bytes().size(), static_cast<uint32_t>(pos),
                 Sound.RecChannels, Sound.RecBits, PaintBoxGra, PaintBoxFft);
    PlayScrollBar->SetPosition(static_cast<int>(pos));
  }
  // The whole sound has been heard, up to a last part of a sample frame that has no sound of
  // its own (the device counts it as played with the frames before it).
  if (reached >= size) {
    // Heard before the device said so: stop here and show the last whole frame; the
    // device's "done" that follows is swallowed.
    Timer1.SetEnabled(false);
    Devices.IgnoreNextDone = true;
    StopPlayback();
    const uint64_t whole = size - size % frameBytes;
    if (whole >= frame) {
      const auto last = static_cast<uint32_t>(whole - frame);
      AnalyzeFrame(Analysis.FftSize, Sound.WaveData, Sound.Bytes().size(), last, Sound.RecChannels,
                   Sound.RecBits, PaintBoxGra, PaintBoxFft);
      PlayScrollBar->SetPosition(static_cast<int>(last) - 1);
    }
  }
}

void FormMain::OnWomDone(const DeviceNotification& n) {
  if (closed_) return;
  // A done of a device that has since been replaced belongs to a playback already over.
  if (!Devices.hWaveOut || n.device != Devices.hWaveOut->Id()) return;
  Timer1.SetEnabled(false);
  if (Devices.IgnoreNextDone) {
    Devices.IgnoreNextDone = false;
    return;
  }
  uint32_t played = Devices.PlayTime;
  if (Devices.hWaveOut->Position(played) != AudioResult::Ok) {
    MessageBox("error", "won");
    played = Devices.PlayTime;
  }
  Devices.PlayTime = played;
  const uint64_t reached = uint64_t{Sound.FramePos} + played;
  Sound.FramePos = RoundDownEven(reached);
  // The end of the sound: the played count reaches its last byte. An odd byte count (8-bit
  // sound) ends here too, although its even-rounded position falls one short.
  if (Devices.Playing && reached >= static_cast<uint64_t>(std::max(Sound.WaveDataSize, 0))) {
    StopPlayback();
    Sound.FramePos = 0;
    PlayScrollBar->SetPosition(0);
    RedrawAll();
  }
}

void FormMain::OnOutputLost(const DeviceNotification& n) {
  if (!Devices.Playing || !Devices.hWaveOut || n.device != Devices.hWaveOut->Id()) return;
  PlayToggle();   // stops where the sound had got to
  MessageBox(AudioErrorText(n.reason) + "\n" + tr("再生を止めました。").toStdString(), "ERROR");
}

}  // namespace tonamira

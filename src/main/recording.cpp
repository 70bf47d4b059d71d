// Recording: "録音" starts a take from the input device in 16-bit 44100 Hz mono or stereo,
// with two device buffers of a tenth of a second each that take turns. Every chunk that
// comes back is handed to the device again at once and appended to the take; the chunks of
// the first buffer are analysed as they arrive, so the views follow the singer live.
// "録音停止" stops the device; the two notifications that follow end the handshake, and the
// take becomes the current sound. The two are known by the device that was stopped, and the
// first is marked taken before anything can show a box: a box runs an event loop, which may
// deliver the second while the first is still being handled.
//
// The take keeps every chunk (the recording buffer grows in place; it never starts over). A
// take that reaches the largest sound the program holds, or finds no memory to grow, stops
// itself and keeps what it has; so does a take whose input device goes away or overruns. An
// input that goes before it gave any sound (a start the server refused or never answered) is
// a start that failed.

#include <QString>

#include <cstring>

#include "analysis/rounding.h"
#include "main/form_main.h"

namespace tonamira {

namespace {

// One chunk: a tenth of a second of the recording format, in bytes.
uint32_t ChunkBytesOf(const WaveFormat& format, double seconds) {
  const double bytes = seconds * format.nSamplesPerSec * format.nBlockAlign;
  return static_cast<uint32_t>(std::max(RoundInt(bytes), 0));
}

}  // namespace

uint32_t RecCapacityFor(int32_t rateBefore, uint64_t limit) {
  // 180 times the rate of the sound before the start (90 s of 16-bit mono at that rate), in
  // 64 bits: a file's rate can be anything up to 2^31, and the room is never more than a take
  // may hold.
  const uint64_t room = static_cast<uint64_t>(std::max(rateBefore, 0)) * 180u;
  return static_cast<uint32_t>(std::min({room, limit, kMaxSoundBytes}));
}

void FormMain::RecButtonClick() { RecordToggle(); }

void FormMain::RecordToggle() {
  if (Devices.Playing) return;

  if (Devices.Recording) {
    // The stop: closing the input makes the device hand back both buffers first; their two
    // notifications finish the take (OnWimData).
    Devices.Recording = false;
    Devices.RecStopRequested = true;
    Devices.RecStopDone = false;
    Recording.StopDevice = Devices.hWaveIn ? Devices.hWaveIn->Id() : 0;
    CloseInput();
    Devices.HasSound = true;
    return;
  }

  // The start. The old sound goes (a tone standing in for it brings it back first, so that
  // it, never the mixer's buffer, is what is released).
  RestoreSetAsideForRelease();
  ReleaseDevicesAndSound();
  Sound.RecPos = 0;
  Recording.RecCapacity = RecCapacityFor(Sound.RecRate, Recording.RecLimit);
  Recording.RecBuffer = RecordingBuffer(Recording.RecCapacity, Recording.RecLimit);
  Devices.RecStopRequested = false;
  Devices.RecStopDone = false;
  Devices.InputRunning = true;
  Devices.Recording = true;
  Devices.DetectionDrivesMixer = true;
  Devices.InputOpen = true;
  Sound.SoundSetAside = false;
  ShowCaption(RecButton, QT_TR_NOOP("録音停止"));
  RecButton->hide();
  Sound.RecBits = 16;
  Sound.RecRate = 44100;
  Sound.RecChannels = RadioGroupchan->ItemIndex() + 1;
  Sound.OutBits = Sound.RecBits;
  Sound.OutRate = Sound.RecRate;
  Sound.OutChannels = Sound.RecChannels;
  Display.WaveMinorGrid = 5;
  ResetFftSettings();
  ResetVoiceprint();
  Analysis.PeakThreshold = 10.0;
  FillWaveFormat();
  Recording.ChunkBytes = ChunkBytesOf(Sound.WaveFormat, Sound.RecChunkSeconds);
  Sound.WaveDataSize = static_cast<int32_t>(Recording.ChunkBytes);
  ClampPlayRange();
  PlayScrollBar->SetMax(static_cast<int>(Recording.RecCapacity));

  if (OpenInput(Recording.ChunkBytes) && StartInput()) {
    RecButton->show();
    return;
  }
  AbandonRecordStart();
}

void FormMain::AbandonRecordStart() {
  Devices.Recording = false;
  Devices.InputRunning = false;
  Devices.InputOpen = false;
  Devices.RecStopRequested = false;
  Devices.RecStopDone = false;
  ShowCaption(RecButton, QT_TR_NOOP("録音"));
  RecButton->show();
  // The old sound went at the start, and the silent first buffer is not a sound to play or
  // save: the window holds none, as after a file that could not be read.
  ReleaseSound();
  Recording.RecBuffer.Take();
  Sound.WaveDataSize = 0;
  Sound.RecPos = 0;
  Sound.FramePos = 0;
  Devices.HasSound = false;
  PlayScrollBar->SetPosition(0);
  PlayScrollBar->SetMax(0);
  RedrawAll();
}

bool FormMain::OpenInput(uint32_t chunkBytes) {
  if (!Allocate(Sound.OwnedWaveData, chunkBytes, "WaveData") ||
      !Allocate(Recording.RecChunk2, chunkBytes, "RecChunk2")) {
    Sound.OwnedWaveData.Reset();
    Sound.WaveData = nullptr;
    Recording.RecChunk2.Reset();
    MessageBox("No pwavedata", "ERROR");
    return false;
  }
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  if (!Allocate(Sound.PlayHeader, "PlayHeader") ||
      !Allocate(Recording.RecHeader2, "RecHeader2")) {
    Sound.PlayHeader.Reset();
    Recording.RecHeader2.Reset();
    Sound.OwnedWaveData.Reset();
    Sound.WaveData = nullptr;
    Recording.RecChunk2.Reset();
    MessageBox("No pwaveheader", "ERROR");
    return false;
  }

  WaveHeader& first = *Sound.PlayHeader.get();
  WaveHeader& second = *Recording.RecHeader2.get();
  first = WaveHeader{Sound.WaveData, chunkBytes, 0, 1, 0};
  second = WaveHeader{Recording.RecChunk2.data.get(), chunkBytes, 0, 2, 0};

  Devices.hWaveIn = audio_.CreateInput();
  InputDevice& in = *Devices.hWaveIn;
  in.SetTap(inputTap_);
  AudioResult r = in.Open(Sound.WaveFormat, *poster_);
  if (r == AudioResult::Ok) r = in.Prepare(first);
  if (r == AudioResult::Ok) r = in.Prepare(second);
  if (r == AudioResult::Ok) r = in.AddBuffer(first);
  if (r == AudioResult::Ok) r = in.AddBuffer(second);
  if (r == AudioResult::Ok) return true;
  DeviceError(r, "ERROR");
  UndoOpenInput();
  return false;
}

bool FormMain::StartInput() {
  const AudioResult r = Devices.hWaveIn->Start();
  if (r == AudioResult::Ok) return true;
  DeviceError(r, "ERROR");
  UndoOpenInput();
  return false;
}

void FormMain::UndoOpenInput() {
  InputDevice& in = *Devices.hWaveIn;
  // The device gives back what it holds, the headers are unprepared, the device closed.
  in.Reset();
  in.Unprepare(*Sound.PlayHeader.get());
  in.Unprepare(*Recording.RecHeader2.get());
  in.Close();
  Devices.hWaveIn.reset();
  Recording.RecChunk2.Reset();
  Recording.RecHeader2.Reset();
}

void FormMain::CloseInput() {
  if (Devices.hWaveIn) {
    InputDevice& in = *Devices.hWaveIn;
    // A device that still holds a buffer hands it back first: nothing may stay queued on a
    // buffer that is about to be released.
    in.Reset();
    if (Devices.RecStopRequested) {
      if (Sound.PlayHeader) in.Unprepare(*Sound.PlayHeader.get());
      if (Recording.RecHeader2) in.Unprepare(*Recording.RecHeader2.get());
      Recording.RecChunk2.Reset();
      Recording.RecHeader2.Reset();
      Devices.InputRunning = false;
    } else if (Sound.PlayHeader) {
      in.Unprepare(*Sound.PlayHeader.get());
    }
    in.Close();
  } else if (Devices.RecStopRequested) {
    Recording.RecChunk2.Reset();
    Recording.RecHeader2.Reset();
    Devices.InputRunning = false;
  }
  Devices.hWaveIn.reset();
  Devices.InputOpen = false;
}

void FormMain::OnWimData(const DeviceNotification& n) {
  if (closed_) return;

  if (Devices.RecStopRequested && n.device == Recording.StopDevice) {
    // One of the two notifications that follow a stop. Their buffers are not part of the
    // take, and their headers are not looked at: the second one is already released.
    if (!Devices.RecStopDone) {
      // Marked first: making the take current may show a box, whose event loop may deliver
      // the second notification before this one is done.
      Devices.RecStopDone = true;
      FinishTake();
    } else {
      Devices.RecStopDone = false;
      Devices.RecStopRequested = false;
    }
    return;
  }

  if (!Devices.InputRunning || !Devices.hWaveIn || n.device != Devices.hWaveIn->Id()) return;
  WaveHeader& header = *n.header;
  const std::span<const uint8_t> chunk(header.data, std::min(n.bytesRecorded, header.bufferLength));
  // The chunk goes into the take before the buffer goes back: the device may fill it again at
  // once (from what it kept while the window was busy). Then back to the device before
  // anything else, so that it always has a buffer to fill.
  const uint64_t at = Recording.RecBuffer.size();
  const RecordingBuffer::Appended appended = Recording.RecBuffer.Append(chunk, fault_);
  Devices.hWaveIn->AddBuffer(header);
  if (appended != RecordingBuffer::Appended::Done) {
    StopTakeThatCannotGrow(appended);
    return;
  }
  Sound.RecPos = static_cast<uint32_t>(Recording.RecBuffer.size());
  // The chunks of the first buffer are analysed, from their copy in the take.
  if (&header == Sound.PlayHeader.get()) {
    AnalyzeFrame(Analysis.FftSize, Recording.RecBuffer.data() + at, chunk.size(), 0,
                 Sound.WaveFormat.nChannels, Sound.WaveFormat.wBitsPerSample, PaintBoxGra,
                 PaintBoxFft);
  }
  // The bar's range follows a take that outgrows the first stretch of room.
  if (Sound.RecPos > static_cast<uint32_t>(PlayScrollBar->Max()))
    PlayScrollBar->SetMax(static_cast<int>(Sound.RecPos));
  PlayScrollBar->SetPosition(static_cast<int>(Sound.RecPos));
}

// A take whose stop still waits for the device's two notifications becomes the current sound
// now, so that a file opened in that moment (dropped, named, or from the recent files, which
// need no dialog) replaces the take as it would a moment later, and is not itself replaced
// when the notifications come: the first of them is then taken as the second, and the other
// finds the input closed.
void FormMain::SettlePendingTake() {
  if (!Devices.RecStopRequested || Devices.RecStopDone) return;
  Devices.RecStopDone = true;
  FinishTake();
}

void FormMain::FinishTake() {
  Sound.OwnedWaveData = Recording.RecBuffer.Take();
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  Sound.WaveDataSize = static_cast<int32_t>(Sound.RecPos);
  RecButton->show();
  Devices.Recording = false;
  ShowCaption(RecButton, QT_TR_NOOP("録音"));
  ResetPlayRange();
  // The views show the last frame of the take; the position itself stays at 0.
  const int64_t last = static_cast<int64_t>(Sound.WaveDataSize) -
                       static_cast<int64_t>(Analysis.FftSize) * Sound.WaveFormat.nBlockAlign;
  Sound.FramePos = last > 0 ? static_cast<uint32_t>(last) : 0u;
  RedrawAll();
  Sound.FramePos = 0;
}

void FormMain::StopTakeThatCannotGrow(RecordingBuffer::Appended why) {
  // The take stops here and keeps everything recorded so far.
  RecordToggle();
  if (why == RecordingBuffer::Appended::Full) {
    MessageBox(
        tr("録音できる長さの上限に達したので、録音を止めました。ここまでの録音は残っています。")
            .toStdString(),
        tr("録音", "the caption of a box").toStdString());
  } else {
    MessageBox("No pwavedata[0]", "ERROR");
  }
}

void FormMain::OnInputLost(const DeviceNotification& n) {
  if (!Devices.Recording || !Devices.hWaveIn || n.device != Devices.hWaveIn->Id()) return;
  if (Recording.RecBuffer.size() == 0) {
    // Nothing came before the input went: the start failed, and is undone as one that
    // failed at once.
    UndoOpenInput();
    AbandonRecordStart();
    DeviceError(n.reason, "ERROR");
    return;
  }
  // The lost device hands both buffers back at the stop, so the take ends as usual.
  RecordToggle();
  MessageBox(AudioErrorText(n.reason) + "\n" +
                 tr("録音を止めました。ここまでの録音は残っています。").toStdString(),
             "ERROR");
}

}  // namespace tonamira

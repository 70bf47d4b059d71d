// Recording: "録音" starts a take from the input device in 16-bit 44100 Hz mono or stereo,
// with two device buffers of a tenth of a second each that take turns. Every chunk that
// comes back is handed to the device again at once and appended to the take; the chunks of
// the first buffer are analysed as they arrive, so the views follow the singer live.
// "録音停止" stops the device; the two notifications that follow end the handshake, and the
// take becomes the current sound.
//
// The take keeps every chunk (the recording buffer grows; it never starts over). A take that
// reaches the largest sound the program holds, or finds no memory to grow, stops itself and
// keeps what it has; so does a take whose input device goes away.

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

void FormMain::DeviceError(AudioResult result, const char* caption) {
  MessageBox(AudioErrorText(result), caption);
}

void FormMain::RecButtonClick() { RecordToggle(); }

void FormMain::RecordToggle() {
  if (Devices.Playing) return;

  if (Devices.Recording) {
    // The stop: closing the input makes the device hand back both buffers first; their two
    // notifications finish the take (OnWimData).
    Devices.Recording = false;
    Devices.RecStopRequested = true;
    CloseInput();
    Devices.HasSound = true;
    return;
  }

  // The start. The old sound goes (a tone standing in for it brings it back first, so that
  // it, never the mixer's buffer, is what is released).
  RestoreSetAsideForRelease();
  ReleaseDevicesAndSound();
  Sound.RecPos = 0;
  Recording.RecCapacity = static_cast<uint32_t>(std::max(Sound.RecRate, 0)) * 180u;
  Recording.RecBuffer = RecordingBuffer(Recording.RecCapacity, Recording.RecLimit);
  Devices.RecStopRequested = false;
  Devices.InputRunning = true;
  Devices.Recording = true;
  Devices.DetectionDrivesMixer = true;
  Devices.InputOpen = true;
  Sound.SoundSetAside = false;
  RecButton->SetCaption(QString::fromUtf8("録音停止"));
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
  RecButton->SetCaption(QString::fromUtf8("録音"));
  RecButton->show();
  // What is left is the silent first buffer: shown, but not a sound to play or save.
  ResetPlayRange();
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

  if (Devices.RecStopRequested) {
    // One of the two notifications that follow a stop. Their buffers are not part of the
    // take, and their headers are not looked at: the second one is already released.
    if (!Devices.RecStopDone) {
      Sound.OwnedWaveData = Recording.RecBuffer.Take();
      Sound.WaveData = Sound.OwnedWaveData.data.get();
      Sound.WaveDataSize = static_cast<int32_t>(Sound.RecPos);
      RecButton->show();
      Devices.Recording = false;
      RecButton->SetCaption(QString::fromUtf8("録音"));
      ResetPlayRange();
      Devices.RecStopDone = true;
      // The views show the last frame of the take; the position itself stays at 0.
      const int64_t last = static_cast<int64_t>(Sound.WaveDataSize) -
                           static_cast<int64_t>(Analysis.FftSize) * Sound.WaveFormat.nBlockAlign;
      Sound.FramePos = last > 0 ? static_cast<uint32_t>(last) : 0u;
      RedrawAll();
      Sound.FramePos = 0;
    } else {
      Devices.RecStopDone = false;
      Devices.RecStopRequested = false;
    }
    return;
  }

  if (!Devices.InputRunning || !Devices.hWaveIn || n.device != Devices.hWaveIn->Id()) return;
  WaveHeader& header = *n.header;
  // Back to the device before its data is used, so that it always has a buffer to fill.
  Devices.hWaveIn->AddBuffer(header);
  const std::span<const uint8_t> chunk(header.data, std::min(n.bytesRecorded, header.bufferLength));
  if (&header == Sound.PlayHeader.get()) {
    AnalyzeFrame(Analysis.FftSize, chunk.data(), chunk.size(), 0, Sound.WaveFormat.nChannels,
                 Sound.WaveFormat.wBitsPerSample, PaintBoxGra, PaintBoxFft);
  }
  AppendChunk(chunk);
}

void FormMain::AppendChunk(std::span<const uint8_t> chunk) {
  const RecordingBuffer::Appended a = Recording.RecBuffer.Append(chunk, fault_);
  if (a == RecordingBuffer::Appended::Done) {
    Sound.RecPos = static_cast<uint32_t>(Recording.RecBuffer.size());
    // The bar's range follows a take that outgrows the first stretch of room.
    if (Sound.RecPos > static_cast<uint32_t>(PlayScrollBar->Max()))
      PlayScrollBar->SetMax(static_cast<int>(Sound.RecPos));
    PlayScrollBar->SetPosition(static_cast<int>(Sound.RecPos));
    return;
  }
  // The take cannot grow: it stops here and keeps everything recorded so far.
  RecordToggle();
  if (a == RecordingBuffer::Appended::Full) {
    MessageBox(
        "録音できる長さの上限に達したので、録音を止めました。ここまでの録音は残っています。",
        "録音");
  } else {
    MessageBox("No pwavedata[0]", "ERROR");
  }
}

void FormMain::ButtonRecLevelClick() {
  if (Devices.Playing || Devices.Recording) return;
  StartVolumeControl(kRecordingLevelsCommand);
}

}  // namespace tonamira

// Opening a sound file as the current sound and saving the current sound as a WAV file.
// The program's own reader opens the PCM WAV files of up to 16-bit samples, with its messages;
// every other sound file is decoded (libsndfile, FFmpeg) into 16-bit PCM first.

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "main/form_main.h"
#include "sound/decoder.h"
#include "sound/riff.h"
#include "sound/wav_reader.h"
#include "sound/wav_writer.h"

namespace tonamira {

bool SoundSizeFits(uint64_t bytes) { return bytes <= static_cast<uint64_t>(INT32_MAX); }

std::filesystem::path PathFromDialog(const std::string& name) {
  const QByteArray local = QFile::encodeName(QString::fromStdString(name));
  return std::filesystem::path(std::string(local.constData(), static_cast<size_t>(local.size())));
}

std::string SaveNameWithSuffix(const std::string& name) {
  if (name.size() >= 4) {
    const std::string tail = name.substr(name.size() - 4);
    if (tail == ".wav" || tail == ".WAV") return name;
  }
  return name + ".wav";
}

namespace {

// Only an existing regular file (or a link to one) can be overwritten; anything else of that
// name is refused by the writer without a question.
bool Exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromDialog(name), ec);
}

// Whether the own reader opens the file: a PCM WAV of at most 16-bit samples, and every file
// it refuses for a reason of its own (one it cannot open, a damaged WAV), whose message stands.
// The checks are the reader's own, on the record as it stands (a short fmt chunk keeps the
// rest of it), without reading the samples.
bool OwnReaderOpens(const std::filesystem::path& path, const WaveFormat& previous) {
  FileByteSource source(path);
  if (!source.IsOpen()) return true;
  const WavDataLocation where = LocateWavData(source, previous);
  if (!where.ok) return !DecodersMayTake(where.message);
  return !DecodedRatherThanOwn(where.format.wBitsPerSample);
}

QString FileNameOf(const std::string& name) {
  return QFileInfo(QString::fromStdString(name)).fileName();
}

}  // namespace

void FormMain::OpenClick() {
  if (Devices.Playing || Devices.Recording) return;
  const std::optional<std::string> chosen = services_.OpenFileName(kOpenFilter);
  if (!chosen) return;
  OpenFile(*chosen);
}

void FormMain::OpenFile(const std::string& name) {
  // A decode's progress dialog runs the event loop; nothing opens a second file inside it.
  if (Devices.Playing || Devices.Recording || decoding_) return;
  SettlePendingTake();
  const std::filesystem::path path = PathFromDialog(name);
  if (!OwnReaderOpens(path, Sound.WaveFormat)) {
    OpenDecoded(name, path);
    return;
  }

  // The old sound goes first, whatever the outcome; a kept-aside sound is put back so that
  // it, and never the mixer's buffer, is what gets released.
  RestoreSetAsideForRelease();
  ReleaseDevicesAndSound();
  ReleaseSound();

  WavReadResult read = ReadWavFile(path, Sound.WaveFormat, fault_);
  // From the fmt chunk on, the record holds what the file said, even when the read failed.
  Sound.WaveFormat = read.format;
  std::string failure = read.message;
  if (read.ok && !SoundSizeFits(read.size)) failure = "Too large";
  if (failure.empty()) {
    Sound.OwnedWaveData = ByteBlock::Adopt(std::move(read.data), read.size);
    Sound.WaveData = Sound.OwnedWaveData.data.get();
    if (!Allocate(Sound.PlayHeader, "PlayHeader")) {
      Sound.OwnedWaveData.Reset();
      Sound.WaveData = nullptr;
      failure = "No pwaveheader";
    }
  }
  if (!failure.empty()) {
    MessageBox(failure, "ERROR");
    services_.ShowMessage("stop");
    ClearSoundRefs();
    Devices.HasSound = false;
    return;
  }

  BecomeOpenedSound(read.size, name);
}

void FormMain::OpenDecoded(const std::string& name, const std::filesystem::path& path) {
  // The old sound stays until the new one is there: a file that cannot be decoded, and a
  // cancelled decode, leave the window as it was.
  DecodedPcm decoded;
  {
    decoding_ = true;
    const QString text = tr("読み込み中: %1").arg(FileNameOf(name));
    std::unique_ptr<Progress> progress = services_.StartProgress(text.toStdString());
    decoded = DecodeToPcm16(
        path, [&progress](double done) { return progress->Update(done); }, kMaxSoundBytes,
        fault_);
    decoding_ = false;
  }
  if (decoded.cancelled) return;
  if (!decoded.ok) {
    MessageBox(decoded.message, "ERROR");
    return;
  }
  // The dialog's event loop may have delivered device notifications, timer ticks and the
  // window's close; none may start a device, but a sound is never released under one.
  if (closed_ || Devices.Closing || Devices.Playing || Devices.Recording) return;
  HeaderBlock header;
  if (!Allocate(header, "PlayHeader")) {
    MessageBox("No pwaveheader", "ERROR");
    return;
  }

  RestoreSetAsideForRelease();
  ReleaseDevicesAndSound();
  ReleaseSound();
  Sound.OwnedWaveData = std::move(decoded.data);
  Sound.WaveData = Sound.OwnedWaveData.data.get();
  Sound.PlayHeader = std::move(header);
  Sound.WaveFormat = decoded.format;
  BecomeOpenedSound(decoded.size, name);
}

void FormMain::BecomeOpenedSound(uint64_t size, const std::string& name) {
  Sound.WaveDataSize = static_cast<int32_t>(size);
  Sound.OutBits = Sound.WaveFormat.wBitsPerSample;
  Sound.OutRate = static_cast<int32_t>(std::min<uint32_t>(Sound.WaveFormat.nSamplesPerSec,
                                                          INT32_MAX));
  Sound.OutChannels = Sound.WaveFormat.nChannels;
  Sound.RecBits = Sound.OutBits;
  Sound.RecRate = Sound.OutRate;
  Sound.RecChannels = Sound.OutChannels;
  Sound.SoundSetAside = false;
  Analysis.PeakThreshold = Sound.RecBits == 16 ? 10.0 : 0.1;
  ResetFftSettings();
  Display.WaveMinorGrid = 5;
  ResetPlayRange();

  Devices.HasSound = true;
  ResetPlayRange();
  ResetVoiceprint();
  if (OnFileOpened) OnFileOpened(name);
}

void FormMain::SaveClick() {
  if (Devices.Playing || Devices.Recording) return;
  if (!Devices.HasSound) {
    MessageBox("no data", "error");
    return;
  }
  const std::optional<std::string> chosen = services_.SaveFileName(kWavFilter);
  if (!chosen) return;
  std::string name = *chosen;
  if (Exists(name) || Exists(name + ".wav") || Exists(name + ".WAV")) {
    const QString question =
        tr("上書きしていいですか？ %1").arg(QString::fromStdString(name));
    if (services_.Confirm(question.toStdString()) != ConfirmAnswer::Yes) return;
  }
  name = SaveNameWithSuffix(name);

  const std::span<const uint8_t> bytes = Sound.Bytes();
  const auto count = static_cast<uint32_t>(bytes.size());
  const WavWriteResult written =
      WriteWavFile(PathFromDialog(name), Sound.WaveFormat, bytes.data(), count);
  if (!written.ok) {
    MessageBox(written.message, "ERROR");
    MessageBox("no save file", name);
  }
}

}  // namespace tonamira

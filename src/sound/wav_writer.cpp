#include "sound/wav_writer.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>

#include "sound/riff.h"

namespace tonamira {
namespace {

void Put32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool WriteChunkHeader(ByteSink& sink, uint32_t id, uint32_t size) {
  uint8_t header[kChunkHeaderBytes];
  Put32(header, id);
  Put32(header + 4, size);
  return sink.Write(header, sizeof header);
}

// Closes the chunk whose header stands at headerOffset: adds a zero pad byte when its
// content is odd and sets its size field to the content bytes actually written.
bool CloseChunk(ByteSink& sink, uint64_t headerOffset) {
  const uint64_t contentStart = headerOffset + kChunkHeaderBytes;
  if (sink.Size() < contentStart) return false;
  const uint64_t content = sink.Size() - contentStart;
  if (content > std::numeric_limits<uint32_t>::max()) return false;
  if (content & 1u) {
    const uint8_t pad = 0;
    if (!sink.Write(&pad, 1)) return false;
  }
  uint8_t size[4];
  Put32(size, static_cast<uint32_t>(content));
  return sink.Patch(headerOffset + 4, size, 4);
}

WavWriteResult Failed(ByteSink& sink, const char* message) {
  sink.Cancel();
  return {false, message};
}

}  // namespace

bool MemoryByteSink::Open() {
  bytes_.clear();
  open_ = true;
  committed_ = false;
  return true;
}

bool MemoryByteSink::Write(const uint8_t* bytes, uint64_t count) {
  if (!open_) return false;
  bytes_.insert(bytes_.end(), bytes, bytes + count);
  return true;
}

bool MemoryByteSink::Patch(uint64_t offset, const uint8_t* bytes, uint64_t count) {
  if (!open_ || offset > bytes_.size() || count > bytes_.size() - offset) return false;
  std::copy(bytes, bytes + count, bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

bool MemoryByteSink::Commit() {
  if (!open_) return false;
  open_ = false;
  committed_ = true;
  return true;
}

void MemoryByteSink::Cancel() {
  bytes_.clear();
  open_ = false;
  committed_ = false;
}

FileByteSink::FileByteSink(std::filesystem::path path) : path_(std::move(path)) {}

FileByteSink::~FileByteSink() { Cancel(); }

bool FileByteSink::Open() {
  Cancel();
  const QString name = QFile::decodeName(QByteArray::fromStdString(path_.native()));
  file_ = std::make_unique<QSaveFile>(name);
  // Never fall back to writing the target in place: that is what could leave a half file.
  file_->setDirectWriteFallback(false);
  size_ = 0;
  if (!file_->open(QIODevice::WriteOnly)) {
    file_.reset();
    return false;
  }
  return true;
}

bool FileByteSink::Write(const uint8_t* bytes, uint64_t count) {
  if (!file_) return false;
  uint64_t done = 0;
  while (done < count) {
    const qint64 piece = static_cast<qint64>(std::min<uint64_t>(count - done, 1u << 30));
    const qint64 put = file_->write(reinterpret_cast<const char*>(bytes + done), piece);
    if (put <= 0) return false;
    done += static_cast<uint64_t>(put);
  }
  size_ += count;
  return true;
}

bool FileByteSink::Patch(uint64_t offset, const uint8_t* bytes, uint64_t count) {
  if (!file_ || offset > size_ || count > size_ - offset) return false;
  if (!file_->seek(static_cast<qint64>(offset))) return false;
  const qint64 put = file_->write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
  const bool back = file_->seek(static_cast<qint64>(size_));
  return put == static_cast<qint64>(count) && back;
}

bool FileByteSink::Commit() {
  if (!file_) return false;
  const bool ok = file_->commit();
  file_.reset();  // after a failed commit the destructor removes the temporary file
  return ok;
}

void FileByteSink::Cancel() {
  if (!file_) return;
  file_->cancelWriting();
  file_.reset();  // discards the temporary file; the target is not touched
  size_ = 0;
}

WavWriteResult WriteWav(ByteSink& sink, const WaveFormat& format, const uint8_t* data,
                        uint32_t byteCount) {
  if (!sink.Open()) return {false, "No File"};

  // RIFF content: "WAVE", the fmt chunk (8 + 18), the data chunk (8 + N + pad).
  const uint64_t pad = byteCount & 1u;
  const uint64_t riffSize = 4 + kChunkHeaderBytes + kWaveFormatBytes + kChunkHeaderBytes +
                            uint64_t{byteCount} + pad;
  const uint64_t riffStart = sink.Size();
  if (riffSize > std::numeric_limits<uint32_t>::max() ||
      !WriteChunkHeader(sink, kFourCCRiff, static_cast<uint32_t>(riffSize))) {
    return Failed(sink, "No Wave");
  }
  uint8_t form[4];
  Put32(form, kFourCCWave);
  if (!sink.Write(form, 4)) return Failed(sink, "No Wave");

  const uint64_t fmtStart = sink.Size();
  if (!WriteChunkHeader(sink, kFourCCFmt, kWaveFormatBytes)) return Failed(sink, "No fmt");
  const auto record = EncodeWaveFormat(format);
  if (!sink.Write(record.data(), record.size())) return Failed(sink, "No fmtSize");
  if (!CloseChunk(sink, fmtStart)) return Failed(sink, "No asend");

  const uint64_t dataStart = sink.Size();
  if (!WriteChunkHeader(sink, kFourCCData, byteCount)) return Failed(sink, "No data");
  if (byteCount > 0 && (data == nullptr || !sink.Write(data, byteCount))) {
    return Failed(sink, "No Write");
  }
  if (!CloseChunk(sink, dataStart)) return Failed(sink, "No assend1");
  if (!CloseChunk(sink, riffStart)) return Failed(sink, "No assend2");

  if (!sink.Commit()) return Failed(sink, "No close");
  return {true, {}};
}

SaveTarget ResolveSaveTarget(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  // As many links as the system itself follows before it calls the chain a loop.
  constexpr int kMaxLinks = 40;
  fs::path target = path;
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
    if (hops == kMaxLinks) return {false, "No File", {}};
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) return {false, "No File", {}};
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status))
    return {false, "Not a regular file", {}};
  return {true, {}, target};
}

WavWriteResult WriteWavFile(const std::filesystem::path& path, const WaveFormat& format,
                            const uint8_t* data, uint32_t byteCount) {
  const SaveTarget target = ResolveSaveTarget(path);
  if (!target.ok) return {false, target.message};
  FileByteSink sink(target.path);
  return WriteWav(sink, format, data, byteCount);
}

}  // namespace tonamira

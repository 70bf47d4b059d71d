#pragma once
// Writing a PCM WAV file: a RIFF "WAVE" chunk holding an 18-byte "fmt " chunk and a "data"
// chunk, through a byte sink so that a failure at any step can be tested.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/wave_format.h"

class QSaveFile;

namespace tonamira {

// Where a file's bytes go. Bytes are appended; size fields already written are patched in
// place when a chunk is closed. Nothing is final until Commit; Cancel drops the lot.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Open() = 0;
  // Appends all count bytes or fails.
  virtual bool Write(const uint8_t* bytes, uint64_t count) = 0;
  // Overwrites count bytes already written at offset, or fails.
  virtual bool Patch(uint64_t offset, const uint8_t* bytes, uint64_t count) = 0;
  // Bytes appended so far.
  virtual uint64_t Size() const = 0;
  virtual bool Commit() = 0;
  virtual void Cancel() = 0;
};

// Collects the bytes in memory.
class MemoryByteSink : public ByteSink {
 public:
  bool Open() override;
  bool Write(const uint8_t* bytes, uint64_t count) override;
  bool Patch(uint64_t offset, const uint8_t* bytes, uint64_t count) override;
  uint64_t Size() const override { return bytes_.size(); }
  bool Commit() override;
  void Cancel() override;

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  bool committed() const { return committed_; }

 private:
  std::vector<uint8_t> bytes_;
  bool open_ = false;
  bool committed_ = false;
};

// Writes a file atomically: the bytes go to a temporary file beside the target, which
// replaces the target only on Commit. A cancelled or failed save leaves an existing file
// as it was and no temporary file behind.
class FileByteSink : public ByteSink {
 public:
  explicit FileByteSink(std::filesystem::path path);
  ~FileByteSink() override;
  FileByteSink(const FileByteSink&) = delete;
  FileByteSink& operator=(const FileByteSink&) = delete;

  bool Open() override;
  bool Write(const uint8_t* bytes, uint64_t count) override;
  bool Patch(uint64_t offset, const uint8_t* bytes, uint64_t count) override;
  uint64_t Size() const override { return size_; }
  bool Commit() override;
  void Cancel() override;

 private:
  std::filesystem::path path_;
  std::unique_ptr<QSaveFile> file_;
  uint64_t size_ = 0;
};

struct WavWriteResult {
  bool ok = false;
  // Empty on success; otherwise the text to show the user under the caption "ERROR".
  std::string message;
};

// Writes format and the first byteCount bytes of data as a WAV file through sink. Steps and
// their failure messages: open "No File", RIFF header "No Wave", fmt header "No fmt", the 18
// format bytes "No fmtSize", closing fmt "No asend", data header "No data", the samples
// "No Write", closing data (pad byte, size) "No assend1", closing RIFF "No assend2", and
// making the file final "No close". On any failure after opening, the sink is cancelled.
WavWriteResult WriteWav(ByteSink& sink, const WaveFormat& format, const uint8_t* data,
                        uint32_t byteCount);

// Where a save to path really goes: the file a chain of symbolic links ends at (so the
// links stay links), or path itself. An existing target that is not a regular file (a
// folder, a device, a pipe, a socket) is refused with "Not a regular file", so that it is
// never replaced by a regular file; a loop of links is refused with "No File".
struct SaveTarget {
  bool ok = false;
  std::string message;            // why not, when !ok
  std::filesystem::path path;     // the file to write, when ok
};
SaveTarget ResolveSaveTarget(const std::filesystem::path& path);

// The same into the file at path (resolved by ResolveSaveTarget), replacing an existing
// file only when everything was written.
WavWriteResult WriteWavFile(const std::filesystem::path& path, const WaveFormat& format,
                            const uint8_t* data, uint32_t byteCount);

}  // namespace tonamira

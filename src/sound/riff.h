#pragma once
// A small RIFF chunk reader over an abstract byte source. Every chunk is a four-character
// identifier, a 32-bit little-endian content size and the content, followed by one pad byte
// when the size is odd. All offsets are 64-bit; the searches never read outside the source
// and always move forward by at least one chunk header, so malformed sizes cannot make them
// loop or wrap.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace tonamira {

inline constexpr uint64_t kChunkHeaderBytes = 8;

// The four-character code of a 4-letter literal, as the little-endian value stored in a file.
constexpr uint32_t MakeFourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24);
}

inline constexpr uint32_t kFourCCRiff = MakeFourCC("RIFF");
inline constexpr uint32_t kFourCCWave = MakeFourCC("WAVE");
inline constexpr uint32_t kFourCCFmt = MakeFourCC("fmt ");
inline constexpr uint32_t kFourCCData = MakeFourCC("data");

// Random-access bytes to read chunks from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total number of bytes available.
  virtual uint64_t Size() const = 0;
  // Copies up to count bytes starting at offset into dest and returns how many were copied:
  // fewer at the end of the source or after a read error, 0 at or past the end.
  virtual uint64_t ReadAt(uint64_t offset, uint8_t* dest, uint64_t count) = 0;
};

// Bytes held in memory by the caller (they must outlive the source).
class SpanByteSource final : public ByteSource {
 public:
  explicit SpanByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  uint64_t ReadAt(uint64_t offset, uint8_t* dest, uint64_t count) override;

 private:
  std::span<const uint8_t> bytes_;
};

// A regular file opened read-only. Reads go straight into the caller's buffer.
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(const std::filesystem::path& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  // False when the path could not be opened or is not a regular file.
  bool IsOpen() const { return fd_ >= 0; }
  uint64_t Size() const override { return size_; }
  uint64_t ReadAt(uint64_t offset, uint8_t* dest, uint64_t count) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

struct RiffChunk {
  uint32_t id = 0;
  uint32_t size = 0;            // content size as declared in the header
  uint64_t headerOffset = 0;    // where the identifier stands
  uint64_t contentOffset = 0;   // headerOffset + 8

  // Offset of the next chunk: after the declared content and its pad byte.
  uint64_t NextOffset() const { return contentOffset + size + (size & 1u); }
  // End of the declared content (no pad byte).
  uint64_t ContentEnd() const { return contentOffset + size; }
};

// Reads the chunk header at offset; nothing when fewer than 8 bytes stand there.
std::optional<RiffChunk> ReadChunkHeader(ByteSource& source, uint64_t offset);

// The first top-level "RIFF" chunk whose 4-byte form type is `form`, scanning from the
// start of the source and skipping other top-level chunks by their sizes.
std::optional<RiffChunk> FindRiffForm(ByteSource& source, uint32_t form);

// The first chunk with identifier `id` whose header lies wholly within [begin, end) (end is
// clipped to the source size), skipping other chunks by size plus pad byte. A header that
// does not fit ends the search.
std::optional<RiffChunk> FindChunk(ByteSource& source, uint32_t id, uint64_t begin,
                                   uint64_t end);

// The range the inner chunks of a RIFF chunk are searched in: from after its form type to
// the end of its declared content, clipped to the source.
uint64_t RiffInnerBegin(const RiffChunk& riff);
uint64_t RiffInnerEnd(const RiffChunk& riff, const ByteSource& source);

}  // namespace tonamira

#include "sound/riff.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonamira {
namespace {

uint32_t Le32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

uint64_t SpanByteSource::ReadAt(uint64_t offset, uint8_t* dest, uint64_t count) {
  if (offset >= bytes_.size()) return 0;
  const uint64_t n = std::min<uint64_t>(count, bytes_.size() - offset);
  if (n > 0) std::memcpy(dest, bytes_.data() + offset, n);
  return n;
}

FileByteSource::FileByteSource(const std::filesystem::path& path) {
  // O_NONBLOCK keeps a FIFO from blocking the open; such files are refused below anyway.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t FileByteSource::ReadAt(uint64_t offset, uint8_t* dest, uint64_t count) {
  if (fd_ < 0 || offset >= size_) return 0;
  count = std::min(count, size_ - offset);
  uint64_t done = 0;
  while (done < count) {
    // pread takes at most about 2 GiB per call on Linux; larger reads go in pieces.
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
    const ssize_t got = ::pread(fd_, dest + done, piece, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got == 0) break;  // the file became shorter since it was opened
    done += static_cast<uint64_t>(got);
  }
  return done;
}

std::optional<RiffChunk> ReadChunkHeader(ByteSource& source, uint64_t offset) {
  uint8_t header[kChunkHeaderBytes];
  if (source.ReadAt(offset, header, kChunkHeaderBytes) != kChunkHeaderBytes) return std::nullopt;
  RiffChunk chunk;
  chunk.id = Le32(header);
  chunk.size = Le32(header + 4);
  chunk.headerOffset = offset;
  chunk.contentOffset = offset + kChunkHeaderBytes;
  return chunk;
}

std::optional<RiffChunk> FindRiffForm(ByteSource& source, uint32_t form) {
  const uint64_t end = source.Size();
  uint64_t pos = 0;
  while (pos < end && end - pos >= kChunkHeaderBytes) {
    const auto chunk = ReadChunkHeader(source, pos);
    if (!chunk) break;
    if (chunk->id == kFourCCRiff) {
      uint8_t type[4];
      if (source.ReadAt(chunk->contentOffset, type, 4) == 4 && Le32(type) == form) return chunk;
    }
    pos = chunk->NextOffset();  // at least 8 bytes further, and no wrap in 64 bits
  }
  return std::nullopt;
}

std::optional<RiffChunk> FindChunk(ByteSource& source, uint32_t id, uint64_t begin,
                                   uint64_t end) {
  end = std::min(end, source.Size());
  uint64_t pos = begin;
  while (pos < end && end - pos >= kChunkHeaderBytes) {
    const auto chunk = ReadChunkHeader(source, pos);
    if (!chunk) break;
    if (chunk->id == id) return chunk;
    pos = chunk->NextOffset();
  }
  return std::nullopt;
}

uint64_t RiffInnerBegin(const RiffChunk& riff) { return riff.contentOffset + 4; }

uint64_t RiffInnerEnd(const RiffChunk& riff, const ByteSource& source) {
  return std::min(riff.ContentEnd(), source.Size());
}

}  // namespace tonamira

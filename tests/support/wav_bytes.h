#pragma once
// Builds RIFF/WAV byte images for the tests, chunk by chunk, independently of the writer.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace tonamira::testing {

class Bytes {
 public:
  Bytes& Id(std::string_view four) {
    for (char c : four) b_.push_back(static_cast<uint8_t>(c));
    return *this;
  }
  Bytes& U16(uint16_t v) {
    b_.push_back(static_cast<uint8_t>(v));
    b_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& Fill(size_t n, uint8_t v) {
    b_.insert(b_.end(), n, v);
    return *this;
  }
  Bytes& Raw(const std::vector<uint8_t>& v) {
    b_.insert(b_.end(), v.begin(), v.end());
    return *this;
  }
  // A chunk with the given content, its size field the content length and a pad byte when
  // the content is odd.
  Bytes& Chunk(std::string_view id, const std::vector<uint8_t>& content, bool pad = true) {
    Id(id).U32(static_cast<uint32_t>(content.size())).Raw(content);
    if (pad && (content.size() & 1)) b_.push_back(0);
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return b_; }
  std::vector<uint8_t>& bytes() { return b_; }
  operator std::vector<uint8_t>() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

struct FmtFields {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint32_t avg = 88200;
  uint16_t align = 2;
  uint16_t bits = 16;
};

// The 16 bytes of a PCM fmt chunk, optionally followed by extra bytes.
inline std::vector<uint8_t> FmtContent(const FmtFields& f, std::initializer_list<uint8_t> extra = {}) {
  Bytes b;
  b.U16(f.tag).U16(f.channels).U32(f.rate).U32(f.avg).U16(f.align).U16(f.bits);
  std::vector<uint8_t> v = b;
  v.insert(v.end(), extra.begin(), extra.end());
  return v;
}

// A RIFF WAVE image around the given inner bytes, its size field the true content size.
inline std::vector<uint8_t> Riff(const std::vector<uint8_t>& inner, std::string_view form = "WAVE") {
  Bytes b;
  b.Id("RIFF").U32(static_cast<uint32_t>(inner.size() + 4)).Id(form).Raw(inner);
  return b;
}

// The canonical 44-byte-header file.
inline std::vector<uint8_t> CanonicalWav(const FmtFields& f, const std::vector<uint8_t>& samples) {
  return Riff(Bytes().Chunk("fmt ", FmtContent(f)).Chunk("data", samples));
}

inline std::vector<uint8_t> Ramp(size_t n, uint8_t start = 1) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i * 7);
  return v;
}

}  // namespace tonamira::testing

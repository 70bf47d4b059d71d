// Writes the seed corpora of the fuzz harnesses: for the WAV reader a few valid small files
// and many hand-made malformed ones; for the frame road valid files of every sample layout
// the reader accepts, each holding at least one 256-sample frame.
// Usage: tonamira-fuzz-corpus-gen <reader directory> [<frame road directory>]

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Id(Bytes& b, std::string_view four) {
  for (char c : four) b.push_back(static_cast<uint8_t>(c));
}
void U16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void U32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A chunk with its true size (or `size` when given) and a pad byte when wanted.
Bytes Chunk(std::string_view id, const Bytes& content, bool pad = true,
            int64_t size = -1) {
  Bytes b;
  Id(b, id);
  U32(b, size < 0 ? static_cast<uint32_t>(content.size()) : static_cast<uint32_t>(size));
  Append(b, content);
  if (pad && (content.size() & 1)) b.push_back(0);
  return b;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits,
          size_t extra = 0) {
  Bytes b;
  U16(b, tag);
  U16(b, channels);
  U32(b, rate);
  U32(b, rate * align);
  U16(b, align);
  U16(b, bits);
  b.insert(b.end(), extra, 0);
  return b;
}

Bytes Riff(const Bytes& inner, std::string_view form = "WAVE", int64_t size = -1) {
  Bytes b;
  Id(b, "RIFF");
  U32(b, size < 0 ? static_cast<uint32_t>(inner.size() + 4) : static_cast<uint32_t>(size));
  Id(b, form);
  Append(b, inner);
  return b;
}

Bytes Samples(size_t n, uint8_t step = 37) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * step);
  return b;
}

Bytes Wav(const Bytes& fmt, const Bytes& data) {
  Bytes inner = Chunk("fmt ", fmt);
  Append(inner, Chunk("data", data));
  return Riff(inner);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const auto& p : parts) Append(b, p);
  return b;
}

// A 440 Hz tone of `frames` sample frames, every channel the same, `bytesPerSample` bytes a
// sample (8-bit unsigned, wider signed little-endian), at the given peak.
Bytes Tone(size_t frames, int channels, int bytesPerSample, double peak) {
  Bytes b;
  for (size_t n = 0; n < frames; ++n) {
    const double x = peak * std::sin(6.283185307179586 * 440.0 * static_cast<double>(n) / 44100.0);
    for (int c = 0; c < channels; ++c) {
      if (bytesPerSample == 1) {
        b.push_back(static_cast<uint8_t>(128 + static_cast<int>(x / 256.0)));
        continue;
      }
      const auto v = static_cast<int32_t>(x) * (1 << (8 * (bytesPerSample - 2)));
      for (int k = 0; k < bytesPerSample; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
  }
  return b;
}

void FrameRoadSeeds(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  auto put = [&](const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  put("mono8.wav", Wav(Fmt(1, 1, 44100, 1, 8), Tone(300, 1, 1, 20000.0)));
  put("stereo8.wav", Wav(Fmt(1, 2, 22050, 2, 8), Tone(300, 2, 1, 20000.0)));
  put("mono16.wav", Wav(Fmt(1, 1, 44100, 2, 16), Tone(2100, 1, 2, 12000.0)));
  put("stereo16.wav", Wav(Fmt(1, 2, 44100, 4, 16), Tone(600, 2, 2, 12000.0)));
  put("three16.wav", Wav(Fmt(1, 3, 48000, 6, 16), Tone(300, 3, 2, 12000.0)));
  put("loud16.wav", Wav(Fmt(1, 1, 44100, 2, 16), Tone(300, 1, 2, 32767.0)));
  put("align-below-samples.wav", Wav(Fmt(1, 2, 44100, 1, 16), Tone(300, 2, 2, 12000.0)));
  put("align-above-samples.wav", Wav(Fmt(1, 1, 44100, 6, 16), Tone(900, 1, 2, 12000.0)));
  put("odd-size16.wav", Wav(Fmt(1, 1, 44100, 2, 16), Samples(601)));
  put("bits24.wav", Wav(Fmt(1, 2, 44100, 6, 24), Tone(300, 2, 3, 12000.0)));
  put("bits12.wav", Wav(Fmt(1, 1, 44100, 2, 12), Tone(300, 1, 2, 1000.0)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <reader directory> [<frame road directory>]\n", argv[0]);
    return 2;
  }
  if (argc == 3) FrameRoadSeeds(argv[2]);
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  auto put = [&](const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };

  const Bytes mono16 = Fmt(1, 1, 44100, 2, 16);
  const Bytes stereo16 = Fmt(1, 2, 44100, 4, 16);
  const Bytes mono8 = Fmt(1, 1, 8000, 1, 8);
  const Bytes stereo8 = Fmt(1, 2, 22050, 2, 8);

  // Valid small files.
  put("valid-mono16.wav", Wav(mono16, Samples(64)));
  put("valid-stereo16.wav", Wav(stereo16, Samples(128)));
  put("valid-mono8.wav", Wav(mono8, Samples(33)));
  put("valid-stereo8.wav", Wav(stereo8, Samples(40)));
  put("valid-fmt18.wav", Wav(Fmt(1, 1, 44100, 2, 16, 2), Samples(20)));
  put("valid-24bit-6ch.wav", Wav(Fmt(1, 6, 48000, 18, 24), Samples(36)));
  put("valid-list-around.wav",
      Riff(Cat({Chunk("LIST", Samples(9)), Chunk("fmt ", mono16), Chunk("LIST", Samples(5)),
                Chunk("data", Samples(16))})));
  const Bytes stereo8k = Fmt(1, 2, 8000, 2, 8);
  put("valid-fmt14.wav", Riff(Cat({Chunk("fmt ", Bytes(stereo8k.begin(), stereo8k.begin() + 14)),
                                   Chunk("data", Samples(8))})));
  put("valid-fmt0.wav", Riff(Cat({Chunk("fmt ", {}), Chunk("data", Samples(8))})));
  put("valid-avi-then-wave.wav",
      Cat({Riff(Chunk("hdrl", Samples(4)), "AVI "), Wav(mono8, Samples(10))}));

  // Truncated files: the canonical file cut inside each of its fields.
  const Bytes canonical = Wav(mono16, Samples(16));
  for (size_t cut : {0u, 3u, 8u, 11u, 15u, 19u, 27u, 35u, 39u, 43u, 44u, 50u}) {
    put("truncated-" + std::to_string(cut) + ".wav", Bytes(canonical.begin(), canonical.begin() + cut));
  }

  // Huge and wrapping sizes.
  put("huge-riff.wav", Riff(Cat({Chunk("fmt ", mono16), Chunk("data", Samples(8))}), "WAVE", 0xFFFFFFFF));
  put("huge-fmt.wav", Riff(Cat({Chunk("fmt ", mono16, true, 0xFFFFFFFF), Chunk("data", Samples(8))})));
  put("huge-fmt-odd.wav", Riff(Cat({Chunk("fmt ", mono16, true, 0xFFFFFFFD), Chunk("data", Samples(8))})));
  put("huge-list.wav", Riff(Cat({Chunk("fmt ", mono16), Chunk("LIST", Samples(4), true, 0xFFFFFFFF),
                                 Chunk("data", Samples(8))})));
  put("huge-list-first.wav", Riff(Cat({Chunk("LIST", {}, true, 0xFFFFFFF8), Chunk("fmt ", mono16)})));
  put("huge-data.wav", Riff(Cat({Chunk("fmt ", mono16), Chunk("data", Samples(8), true, 0xFFFFFFFF)})));
  put("long-data.wav", Riff(Cat({Chunk("fmt ", mono16), Chunk("data", Samples(8), true, 1000)})));
  put("huge-top-junk.wav", Cat({Chunk("JUNK", {}, true, 0xFFFFFFFF), Wav(mono16, Samples(8))}));
  put("small-riff.wav", Riff(Cat({Chunk("fmt ", mono16), Chunk("data", Samples(8))}), "WAVE", 4));

  // Odd chunks with and without their pad byte.
  put("odd-with-pad.wav", Riff(Cat({Chunk("fmt ", mono8), Chunk("fact", Samples(3)), Chunk("data", Samples(7))})));
  put("odd-without-pad.wav",
      Riff(Cat({Chunk("fmt ", mono8), Chunk("fact", Samples(3), false), Chunk("data", Samples(7))})));
  put("odd-data-at-end.wav", Riff(Cat({Chunk("fmt ", mono8), Chunk("data", Samples(7), false)})));

  // Formats that cannot be framed, and other tags.
  put("zero-channels.wav", Wav(Fmt(1, 0, 44100, 2, 16), Samples(8)));
  put("zero-bits.wav", Wav(Fmt(1, 1, 44100, 2, 0), Samples(8)));
  put("zero-align.wav", Wav(Fmt(1, 1, 44100, 0, 16), Samples(8)));
  put("zero-rate.wav", Wav(Fmt(1, 1, 0, 2, 16), Samples(8)));
  put("tag-float.wav", Wav(Fmt(3, 1, 44100, 4, 32), Samples(8)));
  put("tag-extensible.wav", Wav(Fmt(65534, 2, 48000, 6, 24, 24), Samples(12)));

  // Chunk order and absence.
  put("data-before-fmt.wav", Riff(Cat({Chunk("data", Samples(8)), Chunk("fmt ", mono16)})));
  put("no-fmt.wav", Riff(Chunk("data", Samples(8))));
  put("no-data.wav", Riff(Chunk("fmt ", mono16)));
  put("zero-data.wav", Wav(mono16, {}));
  put("rifx.wav", [&] { Bytes b = Wav(mono16, Samples(8)); b[3] = 'X'; return b; }());

  // Thousands of tiny chunks before and after fmt.
  Bytes many;
  for (int i = 0; i < 3000; ++i) Append(many, Chunk("JUNK", {}));
  Append(many, Chunk("fmt ", mono16));
  for (int i = 0; i < 3000; ++i) Append(many, Chunk("junk", {static_cast<uint8_t>(i)}));
  Append(many, Chunk("data", Samples(8)));
  put("many-tiny-chunks.wav", Riff(many));
  return 0;
}

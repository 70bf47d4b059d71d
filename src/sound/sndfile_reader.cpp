#include "sound/sndfile_reader.h"

#include <sndfile.h>

#include <algorithm>
#include <memory>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// Samples read per call, whatever the channel count (256 kB of floats; a header that claims a
// thousand channels does not make the chunk larger): a progress report every 0.7 s of stereo
// sound at 44100 Hz.
constexpr sf_count_t kChunkSamples = 1 << 16;

std::string FormatName(int format) {
  SF_FORMAT_INFO major{};
  major.format = format & SF_FORMAT_TYPEMASK;
  SF_FORMAT_INFO minor{};
  minor.format = format & SF_FORMAT_SUBMASK;
  std::string name;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name)
    name = major.name;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor) == 0 && minor.name)
    name += (name.empty() ? "" : ", ") + std::string(minor.name);
  return name;
}

int StoredBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
  }
}

struct FileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

DecodeOutcome DecodeWithSndfile(const std::filesystem::path& path, SampleSink& sink,
                                const DecodeProgress& progress) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, FileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) return {DecodeEnd::NotOpened, sf_strerror(nullptr)};
  if (info.channels < 1 || info.samplerate < 1)
    return {DecodeEnd::Failed, "no channels or no sample rate"};
  sink.Begin({FormatName(info.format), info.channels, info.samplerate, StoredBits(info.format)});

  // The declared length is used for the progress only: nothing is sized by it, so a header
  // that claims more than the file holds costs nothing.
  const auto declared = static_cast<double>(info.frames);
  const auto channels = static_cast<size_t>(info.channels);
  const sf_count_t chunkFrames = std::max<sf_count_t>(1, kChunkSamples / info.channels);
  std::vector<float> chunk(static_cast<size_t>(chunkFrames) * channels);
  int64_t frames = 0;
  for (;;) {
    const sf_count_t got = sf_readf_float(file.get(), chunk.data(), chunkFrames);
    if (got <= 0) break;
    SilenceNonFinite(chunk.data(), static_cast<size_t>(got) * channels);
    if (!sink.Take(chunk.data(), static_cast<size_t>(got))) return {DecodeEnd::Stopped, {}};
    frames += got;
    if (progress && !progress(ShareDone(static_cast<double>(frames), declared)))
      return {DecodeEnd::Cancelled, {}};
  }
  const int error = sf_error(file.get());
  if (error != SF_ERR_NO_ERROR && frames == 0) return {DecodeEnd::Failed, sf_error_number(error)};
  return {DecodeEnd::Decoded, {}};
}

int16_t Pcm16Sample(float x) {
  const double scaled = RoundEven(static_cast<double>(x) * 32768.0);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

uint8_t* PutPcm16(float x, uint8_t* out) {
  const auto u = static_cast<uint16_t>(Pcm16Sample(x));
  out[0] = static_cast<uint8_t>(u & 0xFF);
  out[1] = static_cast<uint8_t>(u >> 8);
  return out + 2;
}

std::vector<uint8_t> ToPcm16(const std::vector<float>& samples) {
  std::vector<uint8_t> pcm(samples.size() * 2);
  uint8_t* out = pcm.data();
  for (float x : samples) out = PutPcm16(x, out);
  return pcm;
}

}  // namespace tonamira

#include "cli/sndfile_reader.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "analysis/rounding.h"

namespace tonamira {
namespace {

// Sample frames read per call.
constexpr sf_count_t kChunkFrames = 1 << 15;

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

}  // namespace

SndfileSound ReadWithSndfile(const std::filesystem::path& path) {
  SndfileSound sound;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    sound.message = sf_strerror(nullptr);
    return sound;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    sound.message = "no channels or no sample rate";
    return sound;
  }
  sound.channels = info.channels;
  sound.sampleRate = info.samplerate;
  sound.bits = StoredBits(info.format);
  sound.description = FormatName(info.format);

  // The declared length only sizes the first reservation (never beyond what a chunked read
  // would reach anyway); the samples kept are the ones actually read.
  const auto channels = static_cast<size_t>(info.channels);
  sound.samples.reserve(static_cast<size_t>(std::clamp<sf_count_t>(info.frames, 0, 1 << 24)) *
                        channels);
  std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, chunk.data(), kChunkFrames);
    if (got <= 0) break;
    const auto count = static_cast<size_t>(got) * channels;
    // A float file may hold NaN or infinities; they carry no sound and would poison every
    // sum over the frame, so they are read as silence.
    for (size_t i = 0; i < count; ++i)
      if (!std::isfinite(chunk[i])) chunk[i] = 0.0f;
    sound.samples.insert(sound.samples.end(), chunk.begin(),
                         chunk.begin() + static_cast<std::ptrdiff_t>(count));
    sound.frames += got;
  }
  const int error = sf_error(file);
  if (error != SF_ERR_NO_ERROR && sound.frames == 0) {
    sound.message = sf_error_number(error);
    sf_close(file);
    return sound;
  }
  sf_close(file);
  sound.ok = true;
  return sound;
}

std::vector<uint8_t> ToPcm16(const std::vector<float>& samples) {
  std::vector<uint8_t> pcm(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const double scaled = RoundEven(static_cast<double>(samples[i]) * 32768.0);
    const auto v = static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    const auto u = static_cast<uint16_t>(v);
    pcm[2 * i] = static_cast<uint8_t>(u & 0xFF);
    pcm[2 * i + 1] = static_cast<uint8_t>(u >> 8);
  }
  return pcm;
}

}  // namespace tonamira

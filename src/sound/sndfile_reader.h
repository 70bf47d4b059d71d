#pragma once
// Reading the audio files the program's own WAV reader does not take (24- and 32-bit
// integer, float and extensible WAV, FLAC, Ogg Vorbis and Opus, MP3, AIFF, ...) through
// libsndfile.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/sample_sink.h"

namespace tonamira {

struct SndfileSound {
  bool ok = false;
  std::string message;      // libsndfile's reason when not ok
  std::string description;  // "FLAC, Signed 24 bit PCM", from libsndfile's format names
  int channels = 0;
  int sampleRate = 0;
  int bits = 0;             // bits per sample of the stored data; 0 for a compressed kind
  int64_t frames = 0;       // sample frames actually read
  // Interleaved samples on a full scale of 1.0 (integer data divided by its full scale);
  // samples that are not finite numbers (NaN, infinities in a float file) are read as 0.
  std::vector<float> samples;
};

// Reads the whole file; every sample frame libsndfile yields is kept.
SndfileSound ReadWithSndfile(const std::filesystem::path& path);

// Decodes the file through libsndfile into sink. NotOpened when libsndfile does not know
// the file; Failed when it knew it but could not read one sample frame of it.
DecodeOutcome DecodeWithSndfile(const std::filesystem::path& path, SampleSink& sink,
                                const DecodeProgress& progress = {});

// Collects everything a decoder yields, every channel, into a SndfileSound (the
// description and bits of StreamInfo, the frames taken).
class FloatSink final : public SampleSink {
 public:
  explicit FloatSink(SndfileSound& sound) : sound_(sound) {}
  void Begin(const StreamInfo& info) override;
  bool Take(const float* samples, size_t frames) override;
  std::string StopReason() const override { return {}; }

 private:
  SndfileSound& sound_;
};

// One sample on a full scale of 1.0 as a 16-bit value: round(x * 32768) half to even,
// clamped to -32768 .. 32767.
int16_t Pcm16Sample(float x);

// Pcm16Sample(x) as two little-endian bytes at out; returns the byte after them.
uint8_t* PutPcm16(float x, uint8_t* out);

// The samples as 16-bit little-endian PCM, channels interleaved, each by Pcm16Sample.
std::vector<uint8_t> ToPcm16(const std::vector<float>& samples);

}  // namespace tonamira

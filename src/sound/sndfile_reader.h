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

// Every channel of a decoded file as floats (DecodeToFloat reads it through either decoder).
struct SndfileSound {
  bool ok = false;
  std::string message;      // the decoders' reason when not ok
  std::string description;  // "FLAC, Signed 24 bit PCM", the decoder's format names
  int channels = 0;
  int sampleRate = 0;
  int bits = 0;             // bits per sample of the stored data; 0 for a compressed kind
  int64_t frames = 0;       // sample frames actually read
  // Interleaved samples on a full scale of 1.0 (integer data divided by its full scale);
  // samples that are not finite numbers (NaN, infinities in a float file) are read as 0.
  std::vector<float> samples;
};

// Decodes the file through libsndfile into sink. NotOpened when libsndfile does not know
// the file; Failed when it knew it but could not read one sample frame of it.
DecodeOutcome DecodeWithSndfile(const std::filesystem::path& path, SampleSink& sink,
                                const DecodeProgress& progress = {});

// One sample on a full scale of 1.0 as a 16-bit value: round(x * 32768) half to even,
// clamped to -32768 .. 32767.
int16_t Pcm16Sample(float x);

// Pcm16Sample(x) as two little-endian bytes at out; returns the byte after them.
uint8_t* PutPcm16(float x, uint8_t* out);

// The samples as 16-bit little-endian PCM, channels interleaved, each by Pcm16Sample.
std::vector<uint8_t> ToPcm16(const std::vector<float>& samples);

}  // namespace tonamira

#pragma once
// Every sound file the program's own WAV reader does not take (WAV of other widths, float and
// extensible WAV, FLAC, Ogg Vorbis and Opus, MP3, AIFF, M4A/AAC, ...), decoded through
// libsndfile where it reads the file and through FFmpeg otherwise.

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/allocation_fault.h"
#include "sound/byte_block.h"
#include "sound/recording_buffer.h"
#include "sound/sample_sink.h"
#include "sound/sndfile_reader.h"
#include "sound/wave_format.h"

namespace tonamira {

// Whether a refusal of the own reader leaves the file to the decoders: no RIFF WAVE at all
// ("No Wave": FLAC, Ogg, AIFF, MP3, M4A, ...) or a format tag other than PCM ("No fmttag":
// float, extensible, compressed WAV). Every other refusal is a damaged WAV, whose own
// reader's message stands.
bool DecodersMayTake(const std::string& ownMessage);

// Whether a PCM WAV the own reader takes is decoded instead: samples wider than the 16 bits
// the analysis reads (24- and 32-bit files), which the decoders bring to 16 bits. Narrower
// widths (8, 16, and odd ones no decoder reads better) stay with the own reader.
bool DecodedRatherThanOwn(int bitsPerSample);

struct DecodedPcm {
  bool ok = false;
  bool cancelled = false;  // the progress callback stopped it
  // Why not, when neither ok nor cancelled: the decoder's own reason after its name
  // ("FFmpeg: Invalid data found when processing input"), both when neither knew the file;
  // "Too large" beyond the limit, "No Memory" when the room for the samples is not there.
  std::string message;
  std::string decoder;      // "libsndfile" or "FFmpeg"
  std::string description;  // the decoder's names of the format and codec
  int fileChannels = 0;     // the file's channels; the sound keeps the first two
  WaveFormat format;        // PCM, 16 bits, the file's rate, 1 or 2 channels
  ByteBlock data;           // the samples: size bytes at its start (the block may be larger)
  uint64_t size = 0;
};

// Decodes the whole file into 16-bit PCM at its own rate, its first two channels (each sample
// by Pcm16Sample). The room grows with the samples decoded (in steps of kPcmGrowthBytes, under
// the name "Decoded" for fault), never by a length a header declares. progress is called
// after every chunk of the decode.
inline constexpr uint64_t kPcmGrowthBytes = 4u << 20;
DecodedPcm DecodeToPcm16(const std::filesystem::path& path, const DecodeProgress& progress = {},
                         uint64_t limit = kMaxSoundBytes, const AllocationFault& fault = {});

// The same choice of decoder for the command-line tool: every channel, as floats (message as
// DecodedPcm's; decoder names which one read it).
SndfileSound DecodeToFloat(const std::filesystem::path& path, std::string* decoder = nullptr);

}  // namespace tonamira

#pragma once
// Reading a PCM WAV file into an owned sample block and a format record.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "common/allocation_fault.h"
#include "sound/riff.h"
#include "sound/wave_format.h"

namespace tonamira {

// The sample block is asked for under the name "WaveData".

struct WavReadResult {
  bool ok = false;
  // Empty on success; otherwise the text to show the user under the caption "ERROR".
  std::string message;
  // The previous record overlaid with the first min(16, fmt size) bytes of the file's fmt
  // chunk once that chunk has been read; the previous record unchanged before that.
  WaveFormat format;
  // The samples (only on success), exactly `size` bytes, all of them read from the file.
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
};

// Reads the first RIFF "WAVE" chunk of the source: its first "fmt " chunk, then the first
// "data" chunk after it. Checks, in order, with their messages: "No Wave", "No fmt",
// "No fmtSize", "No fmttag", "No channels", "No blockalign", "No samplerate", "No data",
// "No pwavedata", "No read". A data chunk declaring more bytes than the source holds gives
// the bytes that are present.
WavReadResult ReadWav(ByteSource& source, const WaveFormat& previousFormat,
                      const AllocationFault& fault = {});

// Where the samples of the first RIFF "WAVE" chunk lie, found by the same checks, in the same
// order and with the same messages as ReadWav up to "No data", without reading them. size is
// what ReadWav would read: the data chunk's declared size cut to the bytes the source holds
// after the chunk header. Lets a caller stream the samples instead of holding them all.
struct WavDataLocation {
  bool ok = false;
  std::string message;  // empty on success
  WaveFormat format;    // as WavReadResult::format
  uint64_t offset = 0;  // of the first sample byte
  uint32_t size = 0;
};
WavDataLocation LocateWavData(ByteSource& source, const WaveFormat& previousFormat);

// The file at path; "No File" when it cannot be opened as a regular file.
WavReadResult ReadWavFile(const std::filesystem::path& path, const WaveFormat& previousFormat,
                          const AllocationFault& fault = {});

// The same reading over bytes in memory.
WavReadResult ReadWavBytes(std::span<const uint8_t> bytes, const WaveFormat& previousFormat,
                           const AllocationFault& fault = {});

}  // namespace tonamira

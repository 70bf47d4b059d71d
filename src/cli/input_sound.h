#pragma once
// Opening a sound file for the command-line tool: 8- and 16-bit PCM WAV through the
// program's own reader (its messages, and samples byte for byte as the window reads them),
// every other kind libsndfile knows through libsndfile.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/sndfile_reader.h"
#include "sound/riff.h"
#include "sound/wav_reader.h"
#include "sound/wave_format.h"

namespace tonamira {

enum class InputPurpose {
  kInfo,     // any file the own reader accepts stays with it, whatever its bit depth
  kAnalyze,  // the own reader keeps only the 8- and 16-bit files the analysis reads
  kStream,   // as kAnalyze, but the own reader's files are located, not read: their samples
             // are streamed (StreamedPcmBytes) by the precise method
};

struct InputSound {
  bool ok = false;
  std::string message;  // why neither reader took the file
  bool viaSndfile = false;
  bool streamed = false;  // kStream: the samples are left in the file (source, where)
  WavReadResult wav;      // the own reader's result (also kept when libsndfile took over)
  std::unique_ptr<FileByteSource> source;
  WavDataLocation where;
  SndfileSound other;     // libsndfile's sound, when viaSndfile
  std::string decoder;    // which decoder read it ("libsndfile" or "FFmpeg"), when viaSndfile

  // The own reader's format record (of the read or of the located file).
  const WaveFormat& ownFormat() const { return streamed ? where.format : wav.format; }
  int channels() const;
  uint32_t sampleRate() const;
  int64_t frames() const;  // whole sample frames
};

// The readers are opened one at a time, whichever thread of a batch asks.
InputSound OpenInput(const std::filesystem::path& path, InputPurpose purpose);

// The sound as 8- or 16-bit PCM bytes with their format record, the form the window's
// detection reads: the own reader's data as it is, a libsndfile sound converted to 16-bit
// samples (ToPcm16) in a record of tag 1.
struct PcmView {
  WaveFormat format;
  std::vector<uint8_t> converted;  // only for a libsndfile sound
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};
PcmView MakePcmView(const InputSound& sound);

}  // namespace tonamira

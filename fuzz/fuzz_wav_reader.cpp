// libFuzzer harness of the WAV reader: any bytes must give a clean result, never a crash,
// an out-of-bounds read or a block larger than the input. A successful read is written back
// through the writer and read again; the second read must give the same format and samples.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "sound/wav_reader.h"
#include "sound/wav_writer.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tonamira;
  // The start-up format as the previous record, so a 0-byte fmt chunk can load.
  const WaveFormat previous = FillWaveFormat({16, 44100, 1});
  const auto result = ReadWavBytes(std::span<const uint8_t>(data, size), previous);
  if (!result.ok) {
    Check(!result.message.empty() && result.data == nullptr && result.size == 0);
    return 0;
  }
  Check(result.message.empty() && result.data != nullptr);
  Check(result.size > 0 && result.size <= size);
  Check(result.format.wFormatTag == kFormatPcm && result.format.nChannels != 0 &&
        result.format.nBlockAlign != 0 && result.format.nSamplesPerSec != 0);
  Check(result.format.cbSize == previous.cbSize);

  MemoryByteSink sink;
  const auto written = WriteWav(sink, result.format, result.data.get(), result.size);
  Check(written.ok);
  Check(sink.bytes().size() == 46u + result.size + (result.size & 1u));

  const auto again = ReadWavBytes(sink.bytes(), WaveFormat{});
  Check(again.ok);
  Check(again.format == result.format);
  Check(again.size == result.size);
  Check(std::memcmp(again.data.get(), result.data.get(), result.size) == 0);
  return 0;
}

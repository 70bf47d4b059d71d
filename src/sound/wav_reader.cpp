#include "sound/wav_reader.h"

#include <algorithm>
#include <new>

namespace tonamira {
namespace {

// The format record takes at most its first 16 bytes from the file; cbSize is never read.
constexpr uint32_t kFmtBytesRead = 16;

WavReadResult Fail(WavReadResult& result, const char* message) {
  result.ok = false;
  result.message = message;
  result.data.reset();
  result.size = 0;
  return std::move(result);
}

}  // namespace

WavDataLocation LocateWavData(ByteSource& source, const WaveFormat& previousFormat) {
  WavDataLocation where;
  where.format = previousFormat;
  auto fail = [&](const char* message) {
    where.message = message;
    return where;
  };

  const auto riff = FindRiffForm(source, kFourCCWave);
  if (!riff) return fail("No Wave");
  const uint64_t innerBegin = RiffInnerBegin(*riff);
  const uint64_t innerEnd = RiffInnerEnd(*riff, source);

  const auto fmt = FindChunk(source, kFourCCFmt, innerBegin, innerEnd);
  if (!fmt) return fail("No fmt");

  const uint32_t fmtCount = std::min(kFmtBytesRead, fmt->size);
  uint8_t fmtBytes[kFmtBytesRead] = {};
  if (source.ReadAt(fmt->contentOffset, fmtBytes, fmtCount) < fmtCount) return fail("No fmtSize");
  OverlayWaveFormat(where.format, fmtBytes, static_cast<int>(fmtCount));

  if (where.format.wFormatTag != kFormatPcm) return fail("No fmttag");
  // A format that cannot be framed: every frame position is aligned to the block, every
  // frame steps through the channels, and the play position is measured in samples.
  if (where.format.nChannels == 0) return fail("No channels");
  if (where.format.nBlockAlign == 0) return fail("No blockalign");
  if (where.format.nSamplesPerSec == 0) return fail("No samplerate");

  const auto data = FindChunk(source, kFourCCData, fmt->NextOffset(), innerEnd);
  if (!data) return fail("No data");

  // Bounded by what the file holds after the data chunk header, never by the declared size
  // alone, so a lying header cannot demand memory the file does not back.
  const uint64_t available =
      source.Size() > data->contentOffset ? source.Size() - data->contentOffset : 0;
  where.offset = data->contentOffset;
  where.size = static_cast<uint32_t>(std::min<uint64_t>(data->size, available));
  where.ok = true;
  return where;
}

WavReadResult ReadWav(ByteSource& source, const WaveFormat& previousFormat,
                      const AllocationFault& fault) {
  WavReadResult result;
  const WavDataLocation where = LocateWavData(source, previousFormat);
  result.format = where.format;
  if (!where.ok) return Fail(result, where.message.c_str());
  const uint32_t wanted = where.size;

  if (fault && fault("WaveData")) return Fail(result, "No pwavedata");
  result.data.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(wanted, 1)]);
  if (!result.data) return Fail(result, "No pwavedata");

  // Straight into the sample block: the samples are held in memory once.
  const uint64_t got = wanted > 0 ? source.ReadAt(where.offset, result.data.get(), wanted) : 0;
  if (got == 0) return Fail(result, "No read");

  result.size = static_cast<uint32_t>(got);
  result.ok = true;
  return result;
}

WavReadResult ReadWavFile(const std::filesystem::path& path, const WaveFormat& previousFormat,
                          const AllocationFault& fault) {
  FileByteSource source(path);
  if (!source.IsOpen()) {
    WavReadResult result;
    result.format = previousFormat;
    result.message = "No File";
    return result;
  }
  return ReadWav(source, previousFormat, fault);
}

WavReadResult ReadWavBytes(std::span<const uint8_t> bytes, const WaveFormat& previousFormat,
                           const AllocationFault& fault) {
  SpanByteSource source(bytes);
  return ReadWav(source, previousFormat, fault);
}

}  // namespace tonamira

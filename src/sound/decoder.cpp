#include "sound/decoder.h"

#include <algorithm>
#include <new>

#include "sound/ffmpeg_reader.h"
#include "sound/growing_block.h"

namespace tonamira {
namespace {

// libsndfile first: it reads the formats it knows exactly (every integer width, float,
// FLAC, Ogg, MP3, AIFF); FFmpeg takes what it does not open or cannot read a frame of.
DecodeOutcome DecodeWithEither(const std::filesystem::path& path, SampleSink& sink,
                               const DecodeProgress& progress, std::string& decoder) {
  decoder = "libsndfile";
  DecodeOutcome first = DecodeWithSndfile(path, sink, progress);
  if (first.end != DecodeEnd::NotOpened && first.end != DecodeEnd::Failed) return first;
  decoder = "FFmpeg";
  DecodeOutcome second = DecodeWithFfmpeg(path, sink, progress);
  if (second.end == DecodeEnd::NotOpened || second.end == DecodeEnd::Failed) {
    // When libsndfile knew the file, its reason is the one that names what is wrong.
    if (first.end == DecodeEnd::Failed) {
      decoder = "libsndfile";
      second.message = "libsndfile: " + first.message;
    } else if (second.end == DecodeEnd::NotOpened) {
      second.message = "libsndfile: " + first.message + "; FFmpeg: " + second.message;
    } else {
      second.message = "FFmpeg: " + second.message;
    }
  }
  return second;
}

// The first two channels as 16-bit PCM, in a block that grows with them.
class Pcm16Sink final : public SampleSink {
 public:
  Pcm16Sink(uint64_t limit, const AllocationFault& fault) : limit_(limit), fault_(fault) {}

  void Begin(const StreamInfo& info) override {
    info_ = info;
    kept_ = std::min(info.channels, 2);
    size_ = 0;
  }

  bool Take(const float* samples, size_t frames) override {
    const uint64_t bytes = uint64_t{frames} * static_cast<uint64_t>(kept_) * 2;
    if (size_ + bytes > limit_) return Stop("Too large");
    if (size_ + bytes > block_.capacity()) {
      const uint64_t room = std::min(limit_, size_ + bytes + kPcmGrowthBytes);
      if ((fault_ && fault_("Decoded")) || !block_.Grow(static_cast<size_t>(room)))
        return Stop("No Memory");
    }
    uint8_t* out = block_.data() + size_;
    const auto stride = static_cast<size_t>(info_.channels);
    for (size_t f = 0; f < frames; ++f)
      for (size_t c = 0; c < static_cast<size_t>(kept_); ++c)
        out = PutPcm16(samples[f * stride + c], out);
    size_ += bytes;
    return true;
  }

  std::string StopReason() const override { return reason_; }

  const StreamInfo& info() const { return info_; }
  int channels() const { return info_.channels; }
  int kept() const { return kept_; }
  uint64_t size() const { return size_; }
  ByteBlock Release() { return block_.Release(); }

 private:
  bool Stop(const char* why) {
    reason_ = why;
    return false;
  }
  uint64_t limit_;
  const AllocationFault& fault_;
  StreamInfo info_;
  GrowingBlock block_;
  uint64_t size_ = 0;
  int kept_ = 0;
  std::string reason_;
};

// Every channel as floats, in a vector that grows by what is taken (at most doubling), never
// by a declared length.
class FloatSink final : public SampleSink {
 public:
  explicit FloatSink(SndfileSound& sound) : sound_(sound) {}

  void Begin(const StreamInfo& info) override {
    sound_.description = info.description;
    sound_.channels = info.channels;
    sound_.sampleRate = info.sampleRate;
    sound_.bits = info.bits;
  }

  bool Take(const float* samples, size_t frames) override {
    sound_.samples.insert(sound_.samples.end(), samples,
                          samples + frames * static_cast<size_t>(sound_.channels));
    sound_.frames += static_cast<int64_t>(frames);
    return true;
  }

  std::string StopReason() const override { return {}; }

 private:
  SndfileSound& sound_;
};

}  // namespace

bool DecodersMayTake(const std::string& ownMessage) {
  return ownMessage == "No Wave" || ownMessage == "No fmttag";
}

bool DecodedRatherThanOwn(int bitsPerSample) { return bitsPerSample > 16; }

DecodedPcm DecodeToPcm16(const std::filesystem::path& path, const DecodeProgress& progress,
                         uint64_t limit, const AllocationFault& fault) {
  DecodedPcm result;
  Pcm16Sink pcm(std::min(limit, kMaxSoundBytes), fault);
  DecodeOutcome outcome;
  try {
    outcome = DecodeWithEither(path, pcm, progress, result.decoder);
  } catch (const std::bad_alloc&) {
    // A decoder's working buffers (a frame, a chunk) out of memory: the decode ends, and
    // everything it held is freed on the way here.
    result.message = "No Memory";
    return result;
  }
  switch (outcome.end) {
    case DecodeEnd::Decoded: break;
    case DecodeEnd::Cancelled: result.cancelled = true; return result;
    case DecodeEnd::Stopped: result.message = pcm.StopReason(); return result;
    case DecodeEnd::NotOpened:
    case DecodeEnd::Failed: result.message = outcome.message; return result;
  }
  if (pcm.size() == 0) {
    result.message = result.decoder + ": no audio samples";
    return result;
  }
  result.ok = true;
  result.description = pcm.info().description;
  result.fileChannels = pcm.channels();
  result.format = FillWaveFormat(FormatSettings{16, pcm.info().sampleRate, pcm.kept()});
  result.size = pcm.size();
  result.data = pcm.Release();
  return result;
}

SndfileSound DecodeToFloat(const std::filesystem::path& path, std::string* decoder) {
  SndfileSound sound;
  FloatSink sink(sound);
  std::string which;
  const DecodeOutcome outcome = DecodeWithEither(path, sink, {}, which);
  if (decoder) *decoder = which;
  sound.ok = outcome.end == DecodeEnd::Decoded;
  sound.message = outcome.message;
  return sound;
}

}  // namespace tonamira

#include "cli/input_sound.h"

#include <mutex>

#include "analysis/frame_analysis.h"
#include "sound/decoder.h"

namespace tonamira {
namespace {

// The decoders' reading (libsndfile, then FFmpeg) of a file the own reader did not keep;
// ownMessage is the own reader's refusal, or empty when it took the file but its bit depth is
// not analysed.
InputSound WithDecoders(InputSound sound, const std::filesystem::path& path,
                        const std::string& ownMessage, int ownBits) {
  sound.other = DecodeToFloat(path, &sound.decoder);
  if (!sound.other.ok) {
    sound.message = ownMessage.empty() ? "cannot analyse " + std::to_string(ownBits) +
                                             "-bit samples (" + sound.other.message + ")"
                                       : ownMessage + " (" + sound.other.message + ")";
    return sound;
  }
  sound.ok = true;
  sound.viaSndfile = true;
  sound.streamed = false;
  sound.source.reset();
  sound.wav.data.reset();  // the own reader's copy of a file a decoder took is not needed
  return sound;
}

}  // namespace

int InputSound::channels() const { return viaSndfile ? other.channels : ownFormat().nChannels; }

uint32_t InputSound::sampleRate() const {
  return viaSndfile ? static_cast<uint32_t>(other.sampleRate) : ownFormat().nSamplesPerSec;
}

int64_t InputSound::frames() const {
  if (viaSndfile) return other.frames;
  const uint32_t bytes = streamed ? where.size : wav.size;
  return ownFormat().nBlockAlign ? bytes / ownFormat().nBlockAlign : 0;
}

namespace {

InputSound OpenOne(const std::filesystem::path& path, InputPurpose purpose) {
  InputSound sound;
  if (purpose == InputPurpose::kStream) {
    sound.source = std::make_unique<FileByteSource>(path);
    if (!sound.source->IsOpen()) {
      sound.message = "No File";
      return sound;
    }
    sound.where = LocateWavData(*sound.source, WaveFormat{});
    if (!sound.where.ok) {
      if (!DecodersMayTake(sound.where.message)) {
        sound.message = sound.where.message;
        return sound;
      }
      const std::string ownMessage = sound.where.message;
      return WithDecoders(std::move(sound), path, ownMessage, 0);
    }
    const int ownBits = sound.where.format.wBitsPerSample;
    if (!AnalysableBits(ownBits)) return WithDecoders(std::move(sound), path, "", ownBits);
    // The own reader's last check: a data chunk that yields no bytes.
    if (sound.where.size == 0) {
      sound.message = "No read";
      return sound;
    }
    sound.ok = true;
    sound.streamed = true;
    return sound;
  }

  sound.wav = ReadWavFile(path, WaveFormat{});
  const bool ownReaderKeeps =
      sound.wav.ok &&
      (purpose == InputPurpose::kInfo || AnalysableBits(sound.wav.format.wBitsPerSample));
  if (ownReaderKeeps) {
    sound.ok = true;
    return sound;
  }
  if (!sound.wav.ok && !DecodersMayTake(sound.wav.message)) {
    sound.message = sound.wav.message;
    return sound;
  }
  const std::string ownMessage = sound.wav.ok ? std::string() : sound.wav.message;
  const int ownBits = sound.wav.format.wBitsPerSample;
  return WithDecoders(std::move(sound), path, ownMessage, ownBits);
}

}  // namespace

InputSound OpenInput(const std::filesystem::path& path, InputPurpose purpose) {
  static std::mutex oneAtATime;
  const std::lock_guard held(oneAtATime);
  return OpenOne(path, purpose);
}

PcmView MakePcmView(const InputSound& sound) {
  PcmView view;
  if (!sound.viaSndfile) {
    view.format = sound.wav.format;
    view.data = sound.wav.data.get();
    view.size = sound.wav.size;
    return view;
  }
  view.converted = ToPcm16(sound.other.samples);
  view.format = FillWaveFormat(FormatSettings{16, sound.other.sampleRate, sound.other.channels});
  view.data = view.converted.data();
  view.size = view.converted.size();
  return view;
}

}  // namespace tonamira

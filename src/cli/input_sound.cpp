#include "cli/input_sound.h"

#include "analysis/frame_analysis.h"

namespace tonamira {
namespace {

// The own reader's refusals after which another reader may still know the file: no RIFF
// WAVE at all (FLAC, Ogg, AIFF, ...) and a format tag other than PCM (float, extensible,
// compressed WAV). Any other refusal is a damaged WAV and keeps the own reader's message.
bool AnotherReaderMayTake(const WavReadResult& wav) {
  return wav.message == "No Wave" || wav.message == "No fmttag";
}

}  // namespace

int InputSound::channels() const { return viaSndfile ? other.channels : wav.format.nChannels; }

uint32_t InputSound::sampleRate() const {
  return viaSndfile ? static_cast<uint32_t>(other.sampleRate) : wav.format.nSamplesPerSec;
}

int64_t InputSound::frames() const {
  if (viaSndfile) return other.frames;
  return wav.format.nBlockAlign ? wav.size / wav.format.nBlockAlign : 0;
}

InputSound OpenInput(const std::filesystem::path& path, InputPurpose purpose) {
  InputSound sound;
  sound.wav = ReadWavFile(path, WaveFormat{});
  const bool ownReaderKeeps =
      sound.wav.ok &&
      (purpose == InputPurpose::kInfo || AnalysableBits(sound.wav.format.wBitsPerSample));
  if (ownReaderKeeps) {
    sound.ok = true;
    return sound;
  }
  if (!sound.wav.ok && !AnotherReaderMayTake(sound.wav)) {
    sound.message = sound.wav.message;
    return sound;
  }
  sound.other = ReadWithSndfile(path);
  if (!sound.other.ok) {
    sound.message = sound.wav.ok ? "cannot analyse " +
                                       std::to_string(sound.wav.format.wBitsPerSample) +
                                       "-bit samples (libsndfile: " + sound.other.message + ")"
                                 : sound.wav.message + " (libsndfile: " + sound.other.message + ")";
    return sound;
  }
  sound.ok = true;
  sound.viaSndfile = true;
  sound.wav.data.reset();  // the own reader's copy of a file libsndfile took is not needed
  return sound;
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

#pragma once
// Decoding the audio files libsndfile does not know (M4A/AAC, and whatever else FFmpeg's
// demuxers and decoders read) through FFmpeg's libavformat, libavcodec and libswresample.

#include <filesystem>

#include "sound/sample_sink.h"

namespace tonamira {

// Decodes the best audio stream of the file into sink, converted to floats in the stream's
// own channels and rate. Only the local file is read: no other protocol, no file a playlist
// or reference inside it names. NotOpened when FFmpeg finds no audio it can decode; Failed
// when it could not decode one sample frame. A damaged packet after some sound is skipped,
// as players do; a change of rate or channels in the middle of the stream ends the decode
// there.
DecodeOutcome DecodeWithFfmpeg(const std::filesystem::path& path, SampleSink& sink,
                               const DecodeProgress& progress = {});

}  // namespace tonamira

#include "sound/ffmpeg_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tonamira {
namespace {

// FFmpeg's text for an error code; a decoder's own code that has none is said as such.
std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0)
    return "the audio could not be decoded (error " + std::to_string(code) + ")";
  return text;
}

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

// FFmpeg logs to standard error by default; its reasons reach the user through the outcome
// instead, so its own log stays quiet.
void QuietLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// The decoded frames of one stream converted to interleaved floats in their own channels and
// rate (no remixing, no resampling: only the sample format changes).
class FloatConverter {
 public:
  // False when the frame's format cannot be converted; the reason in error.
  bool Match(const AVFrame& frame, std::string& error) {
    if (swr_ && frame.format == format_ && frame.sample_rate == rate_ &&
        frame.ch_layout.nb_channels == channels_)
      return true;
    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
      av_channel_layout_default(&layout, frame.ch_layout.nb_channels);
    else if (av_channel_layout_copy(&layout, &frame.ch_layout) < 0)
      return Refuse("No Memory", error);
    SwrContext* raw = nullptr;
    int r = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, frame.sample_rate, &layout,
                                static_cast<AVSampleFormat>(frame.format), frame.sample_rate,
                                0, nullptr);
    av_channel_layout_uninit(&layout);
    swr_.reset(raw);
    if (r >= 0) r = swr_init(swr_.get());
    if (r < 0) {
      swr_.reset();
      return Refuse(AvError(r), error);
    }
    format_ = frame.format;
    rate_ = frame.sample_rate;
    channels_ = frame.ch_layout.nb_channels;
    return true;
  }

  // The frame's samples; every sample that is not a finite number is read as silence.
  const std::vector<float>& Convert(const AVFrame& frame, int& frames, std::string& error) {
    frames = 0;
    const int room = swr_get_out_samples(swr_.get(), frame.nb_samples);
    if (room <= 0) return samples_;
    samples_.resize(static_cast<size_t>(room) * static_cast<size_t>(channels_));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(samples_.data())};
    const int got = swr_convert(swr_.get(), out, room,
                                const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (got < 0) {
      error = AvError(got);
      return samples_;
    }
    frames = got;
    SilenceNonFinite(samples_.data(), static_cast<size_t>(got) * static_cast<size_t>(channels_));
    return samples_;
  }

 private:
  static bool Refuse(const std::string& why, std::string& error) {
    error = why;
    return false;
  }
  std::unique_ptr<SwrContext, SwrFree> swr_;
  int format_ = -1;
  int rate_ = 0;
  int channels_ = 0;
  std::vector<float> samples_;
};

class StreamDecoder {
 public:
  StreamDecoder(AVFormatContext& format, AVCodecContext& codec, std::string description,
                int bits, SampleSink& sink)
      : format_(format), codec_(codec), description_(std::move(description)), bits_(bits),
        sink_(sink) {}

  DecodeOutcome Run(int stream, const DecodeProgress& progress) {
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet || !frame_) return {DecodeEnd::Failed, "No Memory"};
    const int64_t fileSize = format_.pb ? avio_size(format_.pb) : -1;
    while (!ended_) {
      const int r = av_read_frame(&format_, packet.get());
      if (r < 0) {
        // The end of the file, or a read error: either way the decode ends with what it has.
        if (r != AVERROR_EOF) lastError_ = AvError(r);
        break;
      }
      if (packet->stream_index == stream) Send(packet.get());
      av_packet_unref(packet.get());
      if (stopped_) return {DecodeEnd::Stopped, {}};
      if (progress) {
        const int64_t at = format_.pb ? avio_tell(format_.pb) : -1;
        if (!progress(ShareDone(static_cast<double>(at), static_cast<double>(fileSize))))
          return {DecodeEnd::Cancelled, {}};
      }
    }
    if (!ended_) Send(nullptr);  // the frames the decoder still holds
    if (stopped_) return {DecodeEnd::Stopped, {}};
    if (taken_ == 0)
      return {DecodeEnd::Failed, lastError_.empty() ? "no audio samples" : lastError_};
    return {DecodeEnd::Decoded, {}};
  }

 private:
  // A packet (nullptr: the end) to the decoder, then every frame it gives back. A damaged
  // packet is skipped; its reason is kept in case nothing decodes at all.
  void Send(const AVPacket* packet) {
    int r = avcodec_send_packet(&codec_, packet);
    if (r == AVERROR(EAGAIN)) {
      Receive();
      r = avcodec_send_packet(&codec_, packet);
    }
    if (r < 0 && r != AVERROR_EOF) lastError_ = AvError(r);
    Receive();
  }

  void Receive() {
    while (!ended_ && !stopped_) {
      const int r = avcodec_receive_frame(&codec_, frame_.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        lastError_ = AvError(r);
        return;
      }
      Take(*frame_);
      av_frame_unref(frame_.get());
    }
  }

  void Take(const AVFrame& frame) {
    if (frame.nb_samples <= 0) return;
    if (frame.sample_rate < 1 || frame.ch_layout.nb_channels < 1) {
      lastError_ = "no channels or no sample rate";
      return;
    }
    if (begun_ && (frame.sample_rate != rate_ || frame.ch_layout.nb_channels != channels_)) {
      // One sound has one rate and one channel count: a stream that changes them (a
      // concatenation, a broadcast capture) ends where it changes.
      ended_ = true;
      return;
    }
    if (!converter_.Match(frame, lastError_)) {
      ended_ = true;
      return;
    }
    if (!begun_) {
      begun_ = true;
      rate_ = frame.sample_rate;
      channels_ = frame.ch_layout.nb_channels;
      sink_.Begin({description_, channels_, rate_, bits_});
    }
    int frames = 0;
    const std::vector<float>& samples = converter_.Convert(frame, frames, lastError_);
    if (frames <= 0) return;
    if (!sink_.Take(samples.data(), static_cast<size_t>(frames))) {
      stopped_ = true;
      return;
    }
    taken_ += frames;
  }

  AVFormatContext& format_;
  AVCodecContext& codec_;
  std::string description_;
  int bits_;
  SampleSink& sink_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  FloatConverter converter_;
  std::string lastError_;
  bool begun_ = false;
  bool ended_ = false;
  bool stopped_ = false;
  int rate_ = 0;
  int channels_ = 0;
  int64_t taken_ = 0;
};

}  // namespace

DecodeOutcome DecodeWithFfmpeg(const std::filesystem::path& path, SampleSink& sink,
                               const DecodeProgress& progress) {
  QuietLog();
  // The file protocol only, named explicitly, so that a name is never taken for a URL and
  // no demuxer opens anything but this file.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const std::string url = "file:" + path.string();
  AVFormatContext* raw = nullptr;
  int r = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (r < 0) return {DecodeEnd::NotOpened, AvError(r)};
  std::unique_ptr<AVFormatContext, FormatClose> format(raw);

  r = avformat_find_stream_info(format.get(), nullptr);
  if (r < 0) return {DecodeEnd::NotOpened, AvError(r)};
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || !codec)
    return {DecodeEnd::NotOpened,
            stream == AVERROR_DECODER_NOT_FOUND ? "no decoder for its audio" : "no audio stream"};
  const AVCodecParameters& parameters = *format->streams[stream]->codecpar;

  std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(codec));
  if (!context) return {DecodeEnd::Failed, "No Memory"};
  r = avcodec_parameters_to_context(context.get(), &parameters);
  if (r >= 0) {
    context->pkt_timebase = format->streams[stream]->time_base;
    r = avcodec_open2(context.get(), codec, nullptr);
  }
  if (r < 0) return {DecodeEnd::Failed, AvError(r)};

  std::string description = format->iformat->name;
  description += ", ";
  description += codec->long_name ? codec->long_name : codec->name;
  StreamDecoder decoder(*format, *context, description, parameters.bits_per_raw_sample, sink);
  return decoder.Run(stream, progress);
}

}  // namespace tonamira

// Owning handles for the FFmpeg objects the component uses, so that every
// context, frame, packet and resampler is released on every path, and a few
// helpers around channel layouts and error texts.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <memory>
#include <string>

namespace qel::media::ff {

struct InputContextDeleter {
  void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
// An output context also owns the file it writes (closed before freeing).
struct OutputContextDeleter {
  void operator()(AVFormatContext* ctx) const {
    if (ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE)) avio_closep(&ctx->pb);
    avformat_free_context(ctx);
  }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrDeleter {
  void operator()(SwrContext* swr) const { swr_free(&swr); }
};
struct ParametersDeleter {
  void operator()(AVCodecParameters* par) const { avcodec_parameters_free(&par); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct ChapterDeleter {
  void operator()(AVChapter* chapter) const {
    av_dict_free(&chapter->metadata);
    av_free(chapter);
  }
};

using InputContext = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContext = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Resampler = std::unique_ptr<SwrContext, SwrDeleter>;
using Parameters = std::unique_ptr<AVCodecParameters, ParametersDeleter>;
using AudioFifo = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
// A chapter until an output context takes it.
using Chapter = std::unique_ptr<AVChapter, ChapterDeleter>;

// An AVDictionary that frees itself; Out() for the calls that fill or consume one.
class Dictionary {
 public:
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary() { av_dict_free(&dict_); }
  void Set(const char* key, const std::string& value) {
    av_dict_set(&dict_, key, value.c_str(), 0);
  }
  AVDictionary** Out() { return &dict_; }
  AVDictionary* get() const { return dict_; }

 private:
  AVDictionary* dict_ = nullptr;
};

// An AVChannelLayout that releases what it holds.
class ChannelLayout {
 public:
  ChannelLayout() = default;
  ChannelLayout(const ChannelLayout& other) { av_channel_layout_copy(&layout_, &other.layout_); }
  ChannelLayout& operator=(const ChannelLayout& other) {
    if (this != &other) av_channel_layout_copy(&layout_, &other.layout_);
    return *this;
  }
  ~ChannelLayout() { av_channel_layout_uninit(&layout_); }

  // The layout of `channels` channels with the speaker mask `mask` (Windows speaker
  // bits, which FFmpeg's native channel bits share); a mask that does not name as
  // many speakers as there are channels gives FFmpeg's default layout for the count.
  static ChannelLayout FromMask(int channels, uint64_t mask);
  static ChannelLayout From(const AVChannelLayout& source);

  const AVChannelLayout* get() const { return &layout_; }
  AVChannelLayout* get() { return &layout_; }
  int channels() const { return layout_.nb_channels; }
  // The speaker mask, FFmpeg's default for the count when the order is not native.
  uint32_t Mask() const;

 private:
  AVChannelLayout layout_{};
};

// The speaker mask FFmpeg uses by default for a channel count (4 for mono, 3 for stereo).
uint32_t DefaultMask(int channels);

// A readable text for an FFmpeg error number.
std::string ErrorText(int error);

}  // namespace qel::media::ff

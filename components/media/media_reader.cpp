#include "media_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "com/bstr.h"
#include "file_types.h"

namespace qel::media {

namespace {

// Audio packets kept while only video is read, before the reader stops keeping them.
constexpr size_t kMaxQueuedAudioBytes = 64u << 20;

bool IsPassthroughCodec(AVCodecID id, int32_t* bits) {
  switch (id) {
    case AV_CODEC_ID_PCM_U8:
      *bits = 8;
      return true;
    case AV_CODEC_ID_PCM_S16LE:
      *bits = 16;
      return true;
    case AV_CODEC_ID_PCM_S24LE:
      *bits = 24;
      return true;
    case AV_CODEC_ID_PCM_S32LE:
      *bits = 32;
      return true;
    default:
      return false;
  }
}

// The format of PCM whose packets already are what the caller gets (whole
// frames of 8-bit unsigned or 16/24/32-bit little-endian samples).
std::optional<PcmFormat> PassthroughFormat(const AVCodecParameters* par,
                                           const std::optional<uint32_t>& mask) {
  int32_t bits = 0;
  if (!IsPassthroughCodec(par->codec_id, &bits) || par->ch_layout.nb_channels <= 0 ||
      par->block_align != bits / 8 * par->ch_layout.nb_channels || par->sample_rate <= 0)
    return std::nullopt;
  PcmFormat f{par->sample_rate, par->ch_layout.nb_channels, bits,
              mask.value_or(ff::ChannelLayout::From(par->ch_layout).Mask())};
  if (!f.Valid()) return std::nullopt;
  return f;
}

int32_t BitsOf(AVSampleFormat format, int rawBits) {
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
      return 8;
    case AV_SAMPLE_FMT_S16:
      return 16;
    case AV_SAMPLE_FMT_S32:
      return rawBits > 0 && rawBits <= 24 ? 24 : 32;
    default:
      return 32;  // float, double and 64-bit samples become 32-bit integers
  }
}

const char* RawDemuxer(const RawInput& raw) {
  switch (raw.tag) {
    case kWaveFormatPcm:
      switch (raw.bits) {
        case 8:
          return "u8";
        case 16:
          return "s16le";
        case 24:
          return "s24le";
        case 32:
          return "s32le";
      }
      return nullptr;
    case kWaveFormatFloat:
      return raw.bits == 32 ? "f32le" : raw.bits == 64 ? "f64le" : nullptr;
    case kWaveFormatALaw:
      return "alaw";
    case kWaveFormatMuLaw:
      return "mulaw";
  }
  return nullptr;
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Metadata entry by name, compared without regard to case.
std::string Tag(const AVDictionary* dict, const char* key) {
  const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
  return e ? e->value : std::string();
}

std::u16string Text(const std::string& utf8) {
  return com::Utf8ToUtf16(utf8);
}

}  // namespace

MediaError MediaReader::Fail(Failure kind, std::string detail) {
  detail_ = std::move(detail);
  switch (family_) {
    case Family::Mov:
      return kind == Failure::Container    ? MediaError::QuickTimeContainer
             : kind == Failure::AudioCodec ? MediaError::QuickTimeAudioCodec
                                           : MediaError::QuickTimeVideoCodec;
    case Family::Avi:
      return kind == Failure::Container    ? MediaError::AviContainer
             : kind == Failure::AudioCodec ? MediaError::AcmAudioCodec
                                           : MediaError::AcmVideoCodec;
    case Family::Other:
      break;
  }
  return kind == Failure::Container    ? MediaError::FileFormat
         : kind == Failure::AudioCodec ? MediaError::AudioUnsupported
                                       : MediaError::VideoUnsupported;
}

MediaError MediaReader::Open(const std::string& path, const std::optional<RawInput>& raw) {
  path_ = path;
  raw_ = raw;
  detail_.clear();
  // Access first, with the system's own answer: a missing file, a directory or a
  // file without read permission is an access error whatever its contents.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    detail_ = std::strerror(errno);
    return MediaError::FileAccess;
  }
  if (!S_ISREG(st.st_mode)) {
    detail_ = "not a regular file";
    return MediaError::FileAccess;
  }
  File probe(std::fopen(path.c_str(), "rb"));
  if (!probe) {
    detail_ = std::strerror(errno);
    return MediaError::FileAccess;
  }
  // Which container family the file claims to be, for the family's result codes
  // even when it is too damaged to open.
  uint8_t head[12] = {};
  size_t got = std::fread(head, 1, sizeof head, probe.get());
  std::string ext = Lower(std::filesystem::path(path).extension().string());
  if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0)
    family_ = Family::Avi;
  else if (got >= 8 &&
           (std::memcmp(head + 4, "ftyp", 4) == 0 || std::memcmp(head + 4, "moov", 4) == 0 ||
            std::memcmp(head + 4, "mdat", 4) == 0))
    family_ = Family::Mov;
  else if (ext == ".mov" || ext == ".mp4" || ext == ".m4a" || ext == ".m4v" || ext == ".3gp")
    family_ = Family::Mov;
  else if (ext == ".avi")
    family_ = Family::Avi;
  if (st.st_size == 0 && !raw) return Fail(Failure::Container, "empty file");

  if (MediaError e = OpenDemuxer(); e != MediaError::None) return e;

  for (unsigned i = 0; i < input_->nb_streams; ++i) {
    const AVStream* s = input_->streams[i];
    if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
      audioStreams_.push_back(static_cast<int>(i));
    else if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
             !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
      videoStreams_.push_back(static_cast<int>(i));
  }
  if (audioStreams_.empty() && videoStreams_.empty())
    return Fail(Failure::Container, "no audio or video track");
  for (int index : videoStreams_)
    if (!avcodec_find_decoder(input_->streams[index]->codecpar->codec_id))
      return Fail(Failure::VideoCodec, "no decoder for the video track");
  videoTrack_ = videoStreams_.empty() ? -1 : 0;

  if (input_->iformat && std::strcmp(input_->iformat->name, "wav") == 0) {
    File file(std::fopen(path.c_str(), "rb"));
    if (file) {
      if (auto riff = ScanRiff(file.get())) {
        if (riff->format && riff->format->mask) riffMask_ = riff->format->mask;
        // Frame positions become the middle of their frame in milliseconds (a
        // zero length stays zero), so that truncating back to frames at the
        // file's rate, as the control does, finds the same frame despite rounding.
        const double rate = riff->format ? riff->format->rate : 0;
        auto ms = [rate](int64_t frames) {
          return (static_cast<double>(frames) + 0.5) * 1000.0 / rate;
        };
        for (const FileMarker& m : riff->markers) {
          if (rate <= 0) break;
          markers_.push_back(
              {ms(m.position), m.length > 0 ? ms(m.length) : 0.0, m.label, m.note, m.attributes});
        }
        comment_ = riff->comment;
        if (riff->rf64) fileType_ = kFileTypeRf64;
        if (riff->hasData) region_ = Region{riff->dataOffset, riff->dataBytes};
      }
    }
  }
  if (raw_) region_ = Region{0, static_cast<uint64_t>(st.st_size)};
  // Plain PCM in a wave or headerless file is read from the file straight into
  // the caller's blocks, without FFmpeg's packets in between.
  if (region_ && audioStreams_.size() == 1) {
    regionFormat_ = PassthroughFormat(input_->streams[audioStreams_[0]]->codecpar, riffMask_);
    if (regionFormat_) pcmFile_ = std::move(probe);
  }
  if (!pcmFile_) region_.reset();

  if (!audioStreams_.empty())
    if (MediaError e = SelectAudioTrack(0); e != MediaError::None) return e;
  if (!raw_ && markers_.empty()) ReadFileMarkers();
  DetectFileType();
  return MediaError::None;
}

MediaError MediaReader::OpenDemuxer() {
  input_.reset();
  const AVInputFormat* format = nullptr;
  ff::Dictionary options;
  if (raw_) {
    const char* name = RawDemuxer(*raw_);
    if (!name || raw_->rate <= 0 || raw_->channels <= 0 || raw_->channels > 64) {
      detail_ = "raw format not supported";
      return MediaError::AudioUnsupported;
    }
    format = av_find_input_format(name);
    options.Set("sample_rate", std::to_string(raw_->rate));
    ff::ChannelLayout layout = ff::ChannelLayout::FromMask(raw_->channels, raw_->mask);
    char text[128] = {};
    if (av_channel_layout_describe(layout.get(), text, sizeof text) < 0) {
      detail_ = "raw channel layout not supported";
      return MediaError::AudioUnsupported;
    }
    options.Set("ch_layout", text);
  }
  AVFormatContext* ctx = nullptr;
  // Always the file protocol: a name with a colon is a file name, not a URL.
  const std::string url = "file:" + path_;
  int err = avformat_open_input(&ctx, url.c_str(), format, options.Out());
  if (err < 0) {
    if (err == AVERROR(ENOENT) || err == AVERROR(EACCES) || err == AVERROR(EISDIR)) {
      detail_ = ff::ErrorText(err);
      return MediaError::FileAccess;
    }
    return Fail(Failure::Container, ff::ErrorText(err));
  }
  input_.reset(ctx);
  fresh_ = true;
  err = avformat_find_stream_info(input_.get(), nullptr);
  if (err < 0) return Fail(Failure::Container, ff::ErrorText(err));
  return MediaError::None;
}

MediaError MediaReader::SelectAudioTrack(int track) {
  if (track < -1 || track >= AudioTracks()) return MediaError::InvalidArgument;
  audioTrack_ = track;
  formatKnown_ = false;
  fileFormat_ = outputFormat_ = {};
  if (MediaError e = Restart(0); e != MediaError::None) return e;
  if (audioTrack_ < 0 || direct_) return MediaError::None;
  // Decode the first block now: a track whose start cannot be decoded fails here,
  // at the open, rather than in the middle of the caller's reading.
  while (Buffered() == 0 && !finished_)
    if (MediaError e = Pull(); e != MediaError::None) return e;
  if (!formatKnown_) {
    if (decodeErrors_ > 0) return Fail(Failure::Container, "no audio could be decoded");
    // An empty track: the format comes from the stream's parameters.
    if (MediaError e = FillFormatFrom(nullptr); e != MediaError::None) return e;
  }
  return MediaError::None;
}

bool MediaReader::SelectVideoTrack(int track) {
  if (track < -1 || track >= VideoTracks()) return false;
  if (track != videoTrack_) {
    videoTrack_ = track;
    videoQueue_.clear();
    wantVideo_ = false;
  }
  return true;
}

MediaError MediaReader::OpenDecoder() {
  decoder_.reset();
  passthrough_ = false;
  if (audioTrack_ < 0) return MediaError::None;
  const AVStream* stream = input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]];
  const AVCodecParameters* par = stream->codecpar;
  // PCM that already is what the caller gets is copied from the packets as it is.
  if (auto f = PassthroughFormat(par, riffMask_); f && (!requested_ || *requested_ == *f)) {
    passthrough_ = true;
    if (!formatKnown_) {
      fileFormat_ = *f;
      formatKnown_ = true;
    }
    outputFormat_ = requested_.value_or(fileFormat_);
    return MediaError::None;
  }
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return Fail(Failure::AudioCodec, "no decoder for the audio track");
  decoder_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  if (!decoder_ || !frame_) return MediaError::AudioUnsupported;
  int err = avcodec_parameters_to_context(decoder_.get(), par);
  if (err >= 0) {
    decoder_->pkt_timebase = stream->time_base;
    err = avcodec_open2(decoder_.get(), codec, nullptr);
  }
  // A decoder that exists but will not start has been given a broken stream.
  if (err < 0) return Fail(Failure::Container, ff::ErrorText(err));
  return MediaError::None;
}

MediaError MediaReader::FillFormatFrom(const AVFrame* frame) {
  const AVCodecParameters* par =
      input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]]->codecpar;
  const AVChannelLayout& layout = frame && frame->ch_layout.nb_channels > 0 ? frame->ch_layout
                                  : decoder_ && decoder_->ch_layout.nb_channels > 0
                                      ? decoder_->ch_layout
                                      : par->ch_layout;
  PcmFormat f;
  f.rate = frame && frame->sample_rate > 0         ? frame->sample_rate
           : decoder_ && decoder_->sample_rate > 0 ? decoder_->sample_rate
                                                   : par->sample_rate;
  f.channels = layout.nb_channels;
  AVSampleFormat sampleFormat = frame      ? static_cast<AVSampleFormat>(frame->format)
                                : decoder_ ? decoder_->sample_fmt
                                           : static_cast<AVSampleFormat>(par->format);
  int rawBits = decoder_ ? decoder_->bits_per_raw_sample : par->bits_per_raw_sample;
  f.bits = BitsOf(sampleFormat, rawBits);
  f.mask = riffMask_.value_or(ff::ChannelLayout::From(layout).Mask());
  if (!f.Valid()) return Fail(Failure::Container, "audio format out of range");
  fileFormat_ = f;
  formatKnown_ = true;
  outputFormat_ = requested_.value_or(fileFormat_);
  return MediaError::None;
}

MediaError MediaReader::SetOutputFormat(const std::optional<PcmFormat>& format) {
  if (format && !format->Valid()) return MediaError::InvalidArgument;
  requested_ = format;
  if (!input_ || audioTrack_ < 0) return MediaError::None;
  // Continue from the same point in time in the new format.
  double ms = outputFormat_.rate > 0 ? delivered_ * 1000.0 / outputFormat_.rate : 0;
  return Seek(ms);
}

MediaError MediaReader::Restart(double ms) {
  // Seeking to the start opens the file afresh, so that a second reading from the
  // beginning gives exactly the bytes of the first, whatever the container's
  // seeking does with start padding.
  fifo_.clear();
  fifoRead_ = 0;
  demuxEnded_ = finished_ = false;
  decodeErrors_ = 0;
  audioQueue_.clear();
  videoQueue_.clear();
  audioQueueBytes_ = 0;
  wantAudio_ = audioTrack_ >= 0;
  wantVideo_ = false;
  packetsRead_ = false;
  sourcePos_ = -1;
  startMs_ = std::max(ms, 0.0);
  direct_ = region_ && audioTrack_ == 0 && (!requested_ || *requested_ == *regionFormat_);
  if (direct_) {
    passthrough_ = true;
    fileFormat_ = outputFormat_ = *regionFormat_;
    formatKnown_ = true;
    const int64_t ba = fileFormat_.BlockAlign();
    const int64_t frames = static_cast<int64_t>(region_->bytes) / ba;
    delivered_ = startFrames_ =
        std::min<int64_t>(std::llround(startMs_ * fileFormat_.rate / 1000.0), frames);
    regionPos_ = static_cast<uint64_t>(delivered_ * ba);
    return MediaError::None;
  }
  if (ms <= 0 || !input_) {
    if (!fresh_)
      if (MediaError e = OpenDemuxer(); e != MediaError::None) return e;
    skipUntil_ = 0;
  } else {
    // Seek on the chosen audio track, else on the chosen video track.
    const int index = audioTrack_ >= 0   ? audioStreams_[static_cast<size_t>(audioTrack_)]
                      : videoTrack_ >= 0 ? videoStreams_[static_cast<size_t>(videoTrack_)]
                                         : 0;
    const AVStream* stream = input_->streams[index];
    int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    int64_t ts = origin + av_rescale_q(static_cast<int64_t>(std::llround(ms * 1000.0)),
                                       AVRational{1, 1000000}, stream->time_base);
    fresh_ = false;
    if (av_seek_frame(input_.get(), stream->index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
      // Not seekable: read again from the start and drop what comes before.
      if (MediaError e = OpenDemuxer(); e != MediaError::None) return e;
    }
    skipUntil_ = formatKnown_ ? std::llround(ms * fileFormat_.rate / 1000.0) : 0;
  }
  if (MediaError e = OpenDecoder(); e != MediaError::None) return e;
  // The converter is set up again from the first decoded frame.
  converter_ = PcmConverter();
  if (formatKnown_) outputFormat_ = requested_.value_or(fileFormat_);
  delivered_ = startFrames_ =
      outputFormat_.rate > 0 ? std::llround(startMs_ * outputFormat_.rate / 1000.0) : 0;
  return MediaError::None;
}

MediaError MediaReader::Seek(double ms) {
  if (!input_) return MediaError::InvalidOperation;
  if (!std::isfinite(ms)) return MediaError::InvalidArgument;
  return Restart(ms);
}

bool MediaReader::ReadPacket(ff::Packet& packet) {
  packet.reset(av_packet_alloc());
  if (!packet) return false;
  fresh_ = false;
  if (av_read_frame(input_.get(), packet.get()) < 0) return false;
  packetsRead_ = true;
  return true;
}

MediaError MediaReader::Pull() {
  if (finished_) return MediaError::None;
  if (demuxEnded_) return Drain();
  ff::Packet packet;
  if (!audioQueue_.empty()) {
    packet = std::move(audioQueue_.front());
    audioQueue_.pop_front();
    audioQueueBytes_ -= static_cast<size_t>(packet->size);
    return Feed(packet.get());
  }
  const int audioIndex = audioStreams_[static_cast<size_t>(audioTrack_)];
  const int videoIndex = videoTrack_ >= 0 ? videoStreams_[static_cast<size_t>(videoTrack_)] : -1;
  while (true) {
    if (!ReadPacket(packet)) {
      demuxEnded_ = true;
      return Drain();
    }
    if (packet->stream_index == audioIndex) return Feed(packet.get());
    if (packet->stream_index == videoIndex && wantVideo_) videoQueue_.push_back(std::move(packet));
  }
}

MediaError MediaReader::Feed(const AVPacket* packet) {
  if (passthrough_) {
    const int ba = fileFormat_.BlockAlign();
    const uint8_t* data = packet->data;
    return Deliver(&data, packet->size / ba, packet->pts, true);
  }
  int err = avcodec_send_packet(decoder_.get(), packet);
  if (err == AVERROR(EAGAIN)) {
    if (MediaError e = ReceiveFrames(); e != MediaError::None) return e;
    err = avcodec_send_packet(decoder_.get(), packet);
  }
  if (err < 0) {
    if (err != AVERROR_EOF) ++decodeErrors_;  // a damaged packet is skipped
    return MediaError::None;
  }
  return ReceiveFrames();
}

MediaError MediaReader::ReceiveFrames() {
  while (true) {
    int err = avcodec_receive_frame(decoder_.get(), frame_.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return MediaError::None;
    if (err < 0) {
      ++decodeErrors_;
      return MediaError::None;
    }
    if (!formatKnown_)
      if (MediaError e = FillFormatFrom(frame_.get()); e != MediaError::None) return e;
    MediaError e =
        Deliver(frame_->extended_data, frame_->nb_samples, frame_->best_effort_timestamp, false);
    av_frame_unref(frame_.get());
    if (e != MediaError::None) return e;
  }
}

MediaError MediaReader::Drain() {
  if (!passthrough_ && decoder_) {
    avcodec_send_packet(decoder_.get(), nullptr);
    if (MediaError e = ReceiveFrames(); e != MediaError::None) return e;
    if (converter_.Ready() && !converter_.Flush(fifo_)) return MediaError::AudioUnsupported;
  }
  finished_ = true;
  return MediaError::None;
}

MediaError MediaReader::Deliver(const uint8_t* const* planes, int samples, int64_t pts,
                                bool packed) {
  if (samples <= 0) return MediaError::None;
  const AVStream* stream = input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]];
  // Where these samples sit in the track, to drop what lies before a seek target.
  if (pts != AV_NOPTS_VALUE) {
    int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    sourcePos_ = av_rescale_q(pts - origin, stream->time_base, AVRational{1, fileFormat_.rate});
  } else if (sourcePos_ < 0) {
    sourcePos_ = skipUntil_;
  }
  int skip = 0;
  if (sourcePos_ < skipUntil_)
    skip = static_cast<int>(std::min<int64_t>(skipUntil_ - sourcePos_, samples));
  sourcePos_ += samples;
  if (skip == samples) return MediaError::None;

  if (packed) {
    const size_t ba = static_cast<size_t>(fileFormat_.BlockAlign());
    const uint8_t* from = planes[0] + static_cast<size_t>(skip) * ba;
    fifo_.insert(fifo_.end(), from, from + static_cast<size_t>(samples - skip) * ba);
    return MediaError::None;
  }
  SampleInput in;
  in.format = static_cast<AVSampleFormat>(frame_->format);
  in.rate = frame_->sample_rate > 0 ? frame_->sample_rate : fileFormat_.rate;
  in.layout = frame_->ch_layout.nb_channels > 0
                  ? ff::ChannelLayout::From(frame_->ch_layout)
                  : ff::ChannelLayout::FromMask(fileFormat_.channels, fileFormat_.mask);
  if (!converter_.Takes(in)) {
    // The first frame, or a stream whose parameters change on the way: the
    // output keeps its format and the converter follows the input.
    if (converter_.Ready() && !converter_.Flush(fifo_)) return MediaError::AudioUnsupported;
    if (!converter_.Init(in, outputFormat_)) return Fail(Failure::Container, "cannot convert");
  }
  if (skip == 0) {
    if (!converter_.Convert(planes, samples, fifo_)) return MediaError::AudioUnsupported;
    return MediaError::None;
  }
  // Start part-way into the frame: advance each plane past the skipped samples.
  const AVSampleFormat format = static_cast<AVSampleFormat>(frame_->format);
  const int bytes = av_get_bytes_per_sample(format);
  const bool planar = av_sample_fmt_is_planar(format);
  const int channels = frame_->ch_layout.nb_channels;
  std::vector<const uint8_t*> moved(static_cast<size_t>(planar ? channels : 1));
  for (size_t c = 0; c < moved.size(); ++c)
    moved[c] = planes[c] + static_cast<size_t>(skip) * static_cast<size_t>(bytes) *
                               static_cast<size_t>(planar ? 1 : channels);
  if (!converter_.Convert(moved.data(), samples - skip, fifo_)) return MediaError::AudioUnsupported;
  return MediaError::None;
}

MediaError MediaReader::ReadAudio(int64_t frames, uint8_t* into, int64_t* got) {
  *got = 0;
  if (!input_ || audioTrack_ < 0) return MediaError::InvalidOperation;
  if (!wantAudio_) {
    // Reading audio after video: the audio packets passed by were not kept, so
    // start over at the last seek target when nothing has been handed out yet.
    if (delivered_ == startFrames_)
      if (MediaError e = Restart(startMs_); e != MediaError::None) return e;
    wantAudio_ = true;
  }
  const size_t ba = static_cast<size_t>(outputFormat_.BlockAlign());
  if (ba == 0 || frames <= 0) return MediaError::None;
  const size_t want = static_cast<size_t>(frames) * ba;
  if (direct_) {
    const uint64_t left = (region_->bytes - regionPos_) / ba * ba;
    size_t done = 0;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(want, left));
    while (done < size) {
      ssize_t n = ::pread(fileno(pcmFile_.get()), into + done, size - done,
                          static_cast<off_t>(region_->offset + regionPos_ + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank under us: end here
      done += static_cast<size_t>(n);
    }
    done = done / ba * ba;
    regionPos_ += done;
    delivered_ += static_cast<int64_t>(done / ba);
    *got = static_cast<int64_t>(done / ba);
    return MediaError::None;
  }
  while (Buffered() < want && !finished_)
    if (MediaError e = Pull(); e != MediaError::None) return e;
  const size_t give = std::min(Buffered(), want) / ba * ba;
  if (give > 0) std::memcpy(into, fifo_.data() + fifoRead_, give);
  fifoRead_ += give;
  delivered_ += static_cast<int64_t>(give / ba);
  *got = static_cast<int64_t>(give / ba);
  if (fifoRead_ == fifo_.size()) {
    fifo_.clear();
    fifoRead_ = 0;
  } else if (fifoRead_ > (1u << 20) && fifoRead_ * 2 > fifo_.size()) {
    fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<ptrdiff_t>(fifoRead_));
    fifoRead_ = 0;
  }
  return MediaError::None;
}

bool MediaReader::ReadVideoPacket(ff::Packet& packet) {
  if (!input_ || videoTrack_ < 0) return false;
  if (!wantVideo_) {
    // The packets read so far (the decoded start of the audio) passed the video
    // by: start over at the last seek target when no audio has been handed out.
    if (packetsRead_ && delivered_ == startFrames_) {
      if (Restart(startMs_) != MediaError::None) return false;
      wantAudio_ = false;
    }
    wantVideo_ = true;
  }
  if (!videoQueue_.empty()) {
    packet = std::move(videoQueue_.front());
    videoQueue_.pop_front();
    return true;
  }
  const int videoIndex = videoStreams_[static_cast<size_t>(videoTrack_)];
  const int audioIndex = audioTrack_ >= 0 ? audioStreams_[static_cast<size_t>(audioTrack_)] : -1;
  while (ReadPacket(packet)) {
    if (packet->stream_index == videoIndex) return true;
    if (packet->stream_index == audioIndex && wantAudio_ && !demuxEnded_) {
      if (audioQueueBytes_ + static_cast<size_t>(packet->size) > kMaxQueuedAudioBytes) {
        wantAudio_ = false;  // nobody reads the audio: stop keeping it
        audioQueue_.clear();
        audioQueueBytes_ = 0;
        continue;
      }
      audioQueueBytes_ += static_cast<size_t>(packet->size);
      audioQueue_.push_back(std::move(packet));
    }
  }
  demuxEnded_ = true;
  return false;
}

const AVStream* MediaReader::VideoStream() const {
  if (!input_ || videoTrack_ < 0) return nullptr;
  return input_->streams[videoStreams_[static_cast<size_t>(videoTrack_)]];
}

double MediaReader::DurationMs() const {
  if (!input_) return 0;
  if (region_ && audioTrack_ == 0)
    return static_cast<double>(region_->bytes /
                               static_cast<uint64_t>(regionFormat_->BlockAlign())) *
           1000.0 / regionFormat_->rate;
  if (audioTrack_ >= 0) {
    const AVStream* s = input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]];
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
      return static_cast<double>(s->duration) * av_q2d(s->time_base) * 1000.0;
  }
  if (input_->duration != AV_NOPTS_VALUE && input_->duration > 0)
    return static_cast<double>(input_->duration) / (AV_TIME_BASE / 1000.0);
  return 0;
}

std::string MediaReader::AudioCodecName() const {
  if (!input_ || audioTrack_ < 0) return {};
  return avcodec_get_name(
      input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]]->codecpar->codec_id);
}

int64_t MediaReader::AudioBitRate() const {
  if (!input_ || audioTrack_ < 0) return 0;
  return input_->streams[audioStreams_[static_cast<size_t>(audioTrack_)]]->codecpar->bit_rate;
}

void MediaReader::ReadFileMarkers() {
  // Markers this component wrote as comments (Vorbis-comment files) come first;
  // otherwise the container's chapters (MP3, Matroska, MP4, Opus ...).
  const AVDictionary* dicts[2] = {input_->metadata, nullptr};
  if (!audioStreams_.empty()) dicts[1] = input_->streams[audioStreams_[0]]->metadata;
  for (const AVDictionary* dict : dicts) {
    if (!dict) continue;
    if (comment_.empty()) comment_ = Text(Tag(dict, "comment"));
    for (int n = 1; n <= 9999; ++n) {
      char key[32];
      std::snprintf(key, sizeof key, "QEL_MARKER%03d", n);
      std::string where = Tag(dict, key);
      if (where.empty()) break;
      MediaMarker m;
      if (std::sscanf(where.c_str(), "%lf %lf", &m.startMs, &m.lengthMs) < 1) break;
      std::string base = key;
      m.label = Text(Tag(dict, (base + "_LABEL").c_str()));
      m.note = Text(Tag(dict, (base + "_NOTE").c_str()));
      m.attributes = Text(Tag(dict, (base + "_MARKER_TEXT").c_str()));
      markers_.push_back(std::move(m));
    }
    if (!markers_.empty()) return;
  }
  for (unsigned i = 0; i < input_->nb_chapters; ++i) {
    const AVChapter* c = input_->chapters[i];
    MediaMarker m;
    m.startMs = static_cast<double>(c->start) * av_q2d(c->time_base) * 1000.0;
    m.lengthMs =
        std::max<double>(0, static_cast<double>(c->end - c->start)) * av_q2d(c->time_base) * 1000.0;
    m.label =
        Text(Tag(c->metadata, Tag(c->metadata, kChapterMarkerTag).empty() ? "title" : "label"));
    m.note = Text(Tag(c->metadata, "note"));
    m.attributes = Text(Tag(c->metadata, kMarkerTextName));
    markers_.push_back(std::move(m));
  }
}

void MediaReader::DetectFileType() {
  if (raw_) {
    fileType_ = kFileTypeRaw;
    return;
  }
  if (fileType_ != 0) return;  // RF64, found by the chunk scan
  const std::string name = input_->iformat ? input_->iformat->name : "";
  const AVCodecID audioCodec = audioStreams_.empty()
                                   ? AV_CODEC_ID_NONE
                                   : input_->streams[audioStreams_[0]]->codecpar->codec_id;
  if (name == "wav")
    fileType_ = kFileTypeWav;
  else if (name == "w64")
    fileType_ = kFileTypeWave64;
  else if (name == "aiff")
    fileType_ = kFileTypeAiff;
  else if (name == "flac")
    fileType_ = kFileTypeFlac;
  else if (name == "mp3")
    fileType_ = kFileTypeMp3;
  else if (name == "ogg")
    fileType_ = audioCodec == AV_CODEC_ID_VORBIS ? kFileTypeOggVorbis
                : audioCodec == AV_CODEC_ID_OPUS ? kFileTypeOpus
                                                 : kFileTypeOther;
  else if (name == "aac")
    fileType_ = kFileTypeAac;
  else if (name.starts_with("mov,"))
    fileType_ = Tag(input_->metadata, "major_brand").starts_with("qt") ? kFileTypeMov
                : videoStreams_.empty()                                ? kFileTypeM4a
                                                                       : kFileTypeMp4;
  else if (name.starts_with("matroska"))
    fileType_ = kFileTypeMkv;
  else if (name == "avi")
    fileType_ = kFileTypeAvi;
  else
    fileType_ = kFileTypeOther;
}

}  // namespace qel::media

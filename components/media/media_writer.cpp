#include "media_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "com/bstr.h"
#include "file_types.h"
#include "pcm_convert.h"

namespace qel::media {

MediaError MediaWriter::WriteVideo(AVPacket*, AVRational) {
  detail_ = "this file type carries no video";
  return MediaError::VideoUnsupported;
}

MediaError MediaWriter::WriteAudioFromFd(int fd, uint64_t offset, uint64_t bytes, int blockAlign) {
  // Whole frames per block, about a megabyte at a time.
  const uint64_t align = static_cast<uint64_t>(std::max(blockAlign, 1));
  std::vector<uint8_t> block(std::max<uint64_t>((1u << 20) / align, 1) * align);
  while (bytes > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(bytes, block.size()));
    size_t got = 0;
    while (got < want) {
      ssize_t n = ::pread(fd, block.data() + got, want - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        detail_ = n < 0 ? std::strerror(errno) : "the source ended early";
        return MediaError::FileAccess;
      }
      got += static_cast<size_t>(n);
    }
    if (MediaError e = WriteAudio(block.data(), got / align); e != MediaError::None) return e;
    offset += got;
    bytes -= got;
  }
  return MediaError::None;
}

namespace {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~UniqueFd() { Reset(); }
  int get() const { return fd_; }
  // Closes the descriptor; false when the system reports an error writing it out.
  bool Close() {
    int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const uint8_t* data, size_t size, off_t at) {
  while (size > 0) {
    ssize_t n = ::pwrite(fd, data, size, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

// The file being written: a hidden name beside the target, renamed onto the
// target by Commit and removed by the destructor otherwise.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    fd_.Reset();
    if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
  }

  MediaError Create(const std::string& target, std::string* detail) {
    namespace fs = std::filesystem;
    target_ = target;
    fs::path path(target);
    if (path.filename().empty()) {
      *detail = "no file name";
      return MediaError::FileAccess;
    }
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
      *detail = "the target is a directory";
      return MediaError::FileAccess;
    }
    fs::path dir = path.parent_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%08x", random());
      fs::path temp = dir / ("." + path.filename().string() + "." + suffix + ".part");
      // Mode 0666 less the umask, as for any new file; an existing target's mode
      // is carried over below.
      int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_.Reset(fd);
        temp_ = temp.string();
        if (exists) ::fchmod(fd, st.st_mode & 07777);
        return MediaError::None;
      }
      if (errno != EEXIST) {
        *detail = std::strerror(errno);
        return MediaError::FileAccess;
      }
    }
    *detail = "no free temporary name";
    return MediaError::FileAccess;
  }

  int fd() const { return fd_.get(); }
  const std::string& TempPath() const { return temp_; }
  // Lets another writer (FFmpeg's) open the temporary file by name.
  void CloseDescriptor() { fd_.Reset(); }

  MediaError Commit(std::string* detail) {
    if (!fd_.Close()) {
      *detail = std::strerror(errno);
      return MediaError::FileAccess;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      *detail = std::strerror(errno);
      return MediaError::FileAccess;
    }
    committed_ = true;
    return MediaError::None;
  }

 private:
  std::string target_, temp_;
  UniqueFd fd_;
  bool committed_ = false;
};

// Milliseconds to the frame they fall in. The control hands positions over as
// the middle of their frame ((frame + 0.5) / rate), so the frame is found by
// truncation; the small allowance keeps a time that lies exactly on a frame
// boundary, less rounding error, in that frame.
int64_t MsToFrames(double ms, int32_t rate) {
  if (!(ms > 0)) return 0;
  return static_cast<int64_t>(std::floor(ms * rate / 1000.0 + 1e-6));
}

// ---- wave files ----------------------------------------------------------------

// RIFF/RF64 wave files and headerless PCM, written directly: the samples go to
// the file as they come, the header is completed at the end, and the markers
// follow the data chunk.
class WaveWriter final : public MediaWriter {
 public:
  WaveWriter(const std::string& target, const WriterSettings& settings)
      : target_(target),
        format_(settings.format),
        raw_(settings.fileType == kFileTypeRaw),
        forceRf64_(settings.fileType == kFileTypeRf64),
        extensible_(settings.format.NeedsExtensible()),
        markers_(settings.markers) {}

  MediaError Open() {
    if (MediaError e = file_.Create(target_, &detail_); e != MediaError::None) return e;
    if (raw_) return MediaError::None;
    std::vector<uint8_t> header = Header(forceRf64_, 0, 0);
    headerSize_ = header.size();
    if (!WriteAll(file_.fd(), header.data(), header.size())) return IoError();
    buffer_.reserve(kBufferBytes);
    return MediaError::None;
  }

  MediaError WriteAudio(const uint8_t* pcm, size_t frames) override {
    const size_t bytes = frames * static_cast<size_t>(format_.BlockAlign());
    dataBytes_ += bytes;
    // Large blocks (the control's are seconds long) go to the file as they are;
    // small ones are gathered first, so that each write is worth its call.
    if (buffer_.size() + bytes > kBufferBytes || bytes >= kDirectBytes) {
      if (MediaError e = FlushBuffer(); e != MediaError::None) return e;
      if (bytes >= kDirectBytes)
        return WriteAll(file_.fd(), pcm, bytes) ? MediaError::None : IoError();
    }
    buffer_.insert(buffer_.end(), pcm, pcm + bytes);
    return MediaError::None;
  }

  // PCM that goes out unchanged is copied file to file inside the kernel, as cp
  // does, without passing through a buffer of ours.
  MediaError WriteAudioFromFd(int fd, uint64_t offset, uint64_t bytes, int blockAlign) override {
    if (MediaError e = FlushBuffer(); e != MediaError::None) return e;
    loff_t from = static_cast<loff_t>(offset);
    uint64_t left = bytes;
    while (left > 0) {
      ssize_t n = ::copy_file_range(fd, &from, file_.fd(), nullptr,
                                    static_cast<size_t>(std::min<uint64_t>(left, 1u << 30)), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        // Not between these two files: the ordinary way for the rest.
        const uint64_t done = bytes - left;
        dataBytes_ += done;
        return MediaWriter::WriteAudioFromFd(fd, offset + done, left, blockAlign);
      }
      if (n <= 0) {
        detail_ = n < 0 ? std::strerror(errno) : "the source ended early";
        return MediaError::FileAccess;
      }
      left -= static_cast<uint64_t>(n);
    }
    dataBytes_ += bytes;
    return MediaError::None;
  }

  void UpdateMarkers(const WriterMarkers& markers) override { markers_ = markers; }

  MediaError Finish() override {
    if (MediaError e = FlushBuffer(); e != MediaError::None) return e;
    if (raw_) return file_.Commit(&detail_);
    std::vector<FileMarker> frames;
    for (const MediaMarker& m : markers_.markers)
      frames.push_back({MsToFrames(m.startMs, format_.rate), MsToFrames(m.lengthMs, format_.rate),
                        m.label, m.note, m.attributes});
    std::vector<uint8_t> tail;
    if (dataBytes_ & 1) tail.push_back(0);
    std::vector<uint8_t> chunks = MakeMarkerChunks(frames, markers_.comment);
    tail.insert(tail.end(), chunks.begin(), chunks.end());
    if (!WriteAll(file_.fd(), tail.data(), tail.size())) return IoError();
    const uint64_t riffSize = headerSize_ - 8 + dataBytes_ + tail.size();
    if (forceRf64_ || riffSize <= 0xFFFFFFFFull) {
      std::vector<uint8_t> header = Header(forceRf64_, dataBytes_, riffSize);
      if (!WriteAllAt(file_.fd(), header.data(), header.size(), 0)) return IoError();
      return file_.Commit(&detail_);
    }
    return RewriteAsRf64(tail);
  }

 private:
  static constexpr size_t kBufferBytes = 1 << 20;
  static constexpr size_t kDirectBytes = 64 << 10;
  static constexpr size_t kDs64Size = 28;

  MediaError IoError() {
    detail_ = std::strerror(errno);
    return MediaError::FileAccess;
  }

  MediaError FlushBuffer() {
    if (buffer_.empty()) return MediaError::None;
    bool ok = WriteAll(file_.fd(), buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok ? MediaError::None : IoError();
  }

  // The header up to the data chunk's payload, for `data` bytes of samples in a
  // RIFF chunk of `riff` bytes (0: the header's own size).
  std::vector<uint8_t> Header(bool rf64, uint64_t data, uint64_t riff) const {
    std::vector<uint8_t> fmt = MakeFormatBody(format_, extensible_);
    std::vector<uint8_t> h(12 + (rf64 ? 8 + kDs64Size : 0) + 8 + fmt.size() + 8, 0);
    if (riff == 0) riff = h.size() - 8;
    uint8_t* p = h.data();
    std::memcpy(p, rf64 ? "RF64" : "RIFF", 4);
    PutLE32(p + 4, rf64 ? 0xFFFFFFFF : static_cast<uint32_t>(riff));
    std::memcpy(p + 8, "WAVE", 4);
    p += 12;
    if (rf64) {
      std::memcpy(p, "ds64", 4);
      PutLE32(p + 4, kDs64Size);
      PutLE64(p + 8, riff);
      PutLE64(p + 16, data);
      PutLE64(p + 24, data / static_cast<uint64_t>(format_.BlockAlign()));
      p += 8 + kDs64Size;
    }
    std::memcpy(p, "fmt ", 4);
    PutLE32(p + 4, static_cast<uint32_t>(fmt.size()));
    std::memcpy(p + 8, fmt.data(), fmt.size());
    p += 8 + fmt.size();
    std::memcpy(p, "data", 4);
    PutLE32(p + 4, rf64 ? 0xFFFFFFFF : static_cast<uint32_t>(data));
    return h;
  }

  // A RIFF file that outgrew 4 GiB: the same samples and chunks behind an RF64
  // header, in a second temporary file (the kernel copies the samples).
  MediaError RewriteAsRf64(const std::vector<uint8_t>& tail) {
    PendingFile out;
    if (MediaError e = out.Create(target_, &detail_); e != MediaError::None) return e;
    const uint64_t headerSize = Header(true, 0, 0).size();
    std::vector<uint8_t> header =
        Header(true, dataBytes_, headerSize - 8 + dataBytes_ + tail.size());
    if (!WriteAll(out.fd(), header.data(), header.size())) return IoError();
    loff_t from = static_cast<loff_t>(headerSize_);
    uint64_t left = dataBytes_ + tail.size();
    while (left > 0) {
      ssize_t n = ::copy_file_range(file_.fd(), &from, out.fd(), nullptr, left, 0);
      if (n <= 0) {
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? IoError() : MediaError::FileAccess;
      }
      left -= static_cast<uint64_t>(n);
    }
    return out.Commit(&detail_);
  }

  std::string target_;
  PcmFormat format_;
  bool raw_, forceRf64_, extensible_;
  WriterMarkers markers_;
  PendingFile file_;
  std::vector<uint8_t> buffer_;
  uint64_t dataBytes_ = 0;
  uint64_t headerSize_ = 0;
};

// ---- everything else, through FFmpeg ---------------------------------------------

struct EncodedType {
  int32_t type;
  const char* muxer;
  const char* encoder;  // by name, or null for the PCM codec of the sample size
  bool bigEndianPcm;
  bool markersAsComments;  // Vorbis comments
  bool markersAsChapters;
};

constexpr EncodedType kEncodedTypes[] = {
    {kFileTypeWave64, "w64", nullptr, false, false, false},
    {kFileTypeAiff, "aiff", nullptr, true, false, false},
    {kFileTypeFlac, "flac", "flac", false, true, false},
    {kFileTypeMp3, "mp3", "libmp3lame", false, false, true},
    {kFileTypeOggVorbis, "ogg", "libvorbis", false, true, false},
    {kFileTypeOpus, "ogg", "libopus", false, true, false},
    {kFileTypeAac, "adts", "aac", false, false, false},
    {kFileTypeM4a, "ipod", "aac", false, false, false},
    {kFileTypeMp4, "mp4", "aac", false, false, false},
    {kFileTypeMov, "mov", nullptr, false, false, false},
    {kFileTypeMkv, "matroska", nullptr, false, false, true},
    {kFileTypeAvi, "avi", nullptr, false, false, false},
};

AVCodecID PcmCodec(int32_t bits, bool bigEndian) {
  switch (bits) {
    case 8:
      return bigEndian ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_U8;
    case 16:
      return bigEndian ? AV_CODEC_ID_PCM_S16BE : AV_CODEC_ID_PCM_S16LE;
    case 24:
      return bigEndian ? AV_CODEC_ID_PCM_S24BE : AV_CODEC_ID_PCM_S24LE;
    default:
      return bigEndian ? AV_CODEC_ID_PCM_S32BE : AV_CODEC_ID_PCM_S32LE;
  }
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec, int32_t bits) {
  const AVSampleFormat carrier = CarrierFormat(bits);
  if (!codec->sample_fmts) return carrier;
  std::vector<AVSampleFormat> preferred = {carrier, av_get_planar_sample_fmt(carrier)};
  if (bits <= 16) preferred.insert(preferred.end(), {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P});
  preferred.insert(preferred.end(),
                   {AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT});
  for (AVSampleFormat want : preferred)
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == want) return want;
  return codec->sample_fmts[0];
}

int ChooseRate(const AVCodec* codec, int rate) {
  if (!codec->supported_samplerates) return rate;
  int above = 0, best = 0;
  for (const int* r = codec->supported_samplerates; *r; ++r) {
    if (*r == rate) return rate;
    if (*r > rate && (above == 0 || *r < above)) above = *r;
    best = std::max(best, *r);
  }
  return above ? above : best;
}

ff::ChannelLayout ChooseLayout(const AVCodec* codec, const ff::ChannelLayout& wanted) {
  if (!codec->ch_layouts) return wanted;
  const AVChannelLayout* sameCount = nullptr;
  const AVChannelLayout* fewer = nullptr;
  for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
    if (av_channel_layout_compare(l, wanted.get()) == 0) return wanted;
    if (l->nb_channels == wanted.channels() && !sameCount) sameCount = l;
    if (l->nb_channels < wanted.channels() && (!fewer || l->nb_channels > fewer->nb_channels))
      fewer = l;
  }
  const AVChannelLayout* pick = sameCount ? sameCount : fewer ? fewer : codec->ch_layouts;
  return ff::ChannelLayout::From(*pick);
}

class EncodedWriter final : public MediaWriter {
 public:
  EncodedWriter(const std::string& target, const WriterSettings& settings, const EncodedType& type)
      : target_(target), settings_(settings), type_(type), format_(settings.format) {
    settings_.video = nullptr;  // used during Open only
  }

  MediaError Open(const VideoSource* video) {
    if (MediaError e = file_.Create(target_, &detail_); e != MediaError::None) return e;
    file_.CloseDescriptor();
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, type_.muxer, nullptr) < 0 || !raw)
      return Unsupported(MediaError::FileFormat, "no muxer");
    output_.reset(raw);
    if (MediaError e = OpenEncoder(); e != MediaError::None) return e;
    if (video) {
      AVStream* st = avformat_new_stream(output_.get(), nullptr);
      if (!st || avcodec_parameters_copy(st->codecpar, video->parameters.get()) < 0)
        return Unsupported(MediaError::VideoUnsupported, "video stream");
      st->codecpar->codec_tag = 0;
      st->time_base = video->timeBase;
      st->avg_frame_rate = video->frameRate;
      if (avformat_query_codec(output_->oformat, st->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1)
        return Unsupported(MediaError::VideoUnsupported, "the container cannot carry this video");
      videoStream_ = st;
      videoTimeBase_ = video->timeBase;
    }
    AddMetadata();
    std::string url = "file:" + file_.TempPath();
    int err = avio_open(&output_->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) {
      detail_ = ff::ErrorText(err);
      return MediaError::FileAccess;
    }
    err = avformat_write_header(output_.get(), nullptr);
    if (err < 0)
      return Unsupported(video ? MediaError::VideoUnsupported : MediaError::AudioUnsupported,
                         ff::ErrorText(err));
    return MediaError::None;
  }

  MediaError WriteAudio(const uint8_t* pcm, size_t frames) override {
    if (frames == 0) return MediaError::None;
    const uint8_t* in = pcm;
    const size_t samples = frames * static_cast<size_t>(format_.channels);
    if (format_.bits == 24) {
      unpacked_.resize(samples * 4);
      UnpackS24ToS32(pcm, unpacked_.data(), samples);
      in = unpacked_.data();
    }
    return Resample(&in, static_cast<int>(frames));
  }

  MediaError WriteVideo(AVPacket* packet, AVRational timeBase) override {
    if (!videoStream_) return MediaWriter::WriteVideo(packet, timeBase);
    ff::Packet copy(av_packet_clone(packet));
    if (!copy) return MediaError::InvalidArgument;
    av_packet_rescale_ts(copy.get(), timeBase, videoStream_->time_base);
    copy->stream_index = videoStream_->index;
    copy->pos = -1;
    int err = av_interleaved_write_frame(output_.get(), copy.get());
    if (err < 0) return Unsupported(MediaError::VideoUnsupported, ff::ErrorText(err));
    return MediaError::None;
  }

  MediaError Finish() override {
    if (MediaError e = Resample(nullptr, 0); e != MediaError::None) return e;
    while (av_audio_fifo_size(fifo_.get()) > 0)
      if (MediaError e = EncodeFromFifo(); e != MediaError::None) return e;
    if (MediaError e = Encode(nullptr); e != MediaError::None) return e;
    int err = av_write_trailer(output_.get());
    if (err < 0) return Unsupported(MediaError::FileAccess, ff::ErrorText(err));
    err = avio_closep(&output_->pb);
    if (err < 0) return Unsupported(MediaError::FileAccess, ff::ErrorText(err));
    return file_.Commit(&detail_);
  }

 private:
  MediaError Unsupported(MediaError e, std::string detail) {
    detail_ = std::move(detail);
    return e;
  }

  MediaError OpenEncoder() {
    const AVCodec* codec = type_.encoder
                               ? avcodec_find_encoder_by_name(type_.encoder)
                               : avcodec_find_encoder(PcmCodec(format_.bits, type_.bigEndianPcm));
    if (!codec) return Unsupported(MediaError::AudioUnsupported, "no encoder");
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) return MediaError::AudioUnsupported;
    AVCodecContext* enc = encoder_.get();
    enc->sample_fmt = ChooseSampleFormat(codec, format_.bits);
    enc->sample_rate = ChooseRate(codec, format_.rate);
    inLayout_ = ff::ChannelLayout::FromMask(format_.channels, format_.mask);
    ff::ChannelLayout encLayout = ChooseLayout(codec, inLayout_);
    av_channel_layout_copy(&enc->ch_layout, encLayout.get());
    enc->time_base = AVRational{1, enc->sample_rate};
    if (codec->id == AV_CODEC_ID_FLAC)
      enc->bits_per_raw_sample = enc->sample_fmt == AV_SAMPLE_FMT_S32 ? 24 : 16;
    if (!codec->sample_fmts || type_.encoder == nullptr) {
      // PCM: nothing to choose.
    } else if (codec->id != AV_CODEC_ID_FLAC) {
      enc->bit_rate = settings_.bitRate > 0           ? settings_.bitRate
                      : codec->id == AV_CODEC_ID_OPUS ? 128000
                                                      : 192000;
    }
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(enc, codec, nullptr);
    if (err < 0) return Unsupported(MediaError::AudioUnsupported, ff::ErrorText(err));
    AVStream* st = avformat_new_stream(output_.get(), nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, enc) < 0)
      return MediaError::AudioUnsupported;
    st->time_base = enc->time_base;
    audioStream_ = st;

    frameSize_ = enc->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)
                     ? enc->frame_size
                     : 4096;
    smallLastFrame_ =
        codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    // Equal channel counts keep each channel in its place (the encoder's layout
    // only names them); other counts are mixed by the resampler.
    const ff::ChannelLayout& swrOut =
        encLayout.channels() == inLayout_.channels() ? inLayout_ : encLayout;
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, const_cast<AVChannelLayout*>(swrOut.get()), enc->sample_fmt,
                            enc->sample_rate, inLayout_.get(), CarrierFormat(format_.bits),
                            format_.rate, 0, nullptr) < 0)
      return MediaError::AudioUnsupported;
    swr_.reset(swr);
    if (swr_init(swr) < 0) return MediaError::AudioUnsupported;
    fifo_.reset(av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frameSize_));
    frame_.reset(av_frame_alloc());
    if (!fifo_ || !frame_) return MediaError::AudioUnsupported;
    return MediaError::None;
  }

  void AddMetadata() {
    const WriterMarkers& wm = settings_.markers;
    AVDictionary** dict = &output_->metadata;
    if (!wm.comment.empty()) av_dict_set(dict, "comment", com::Utf16ToUtf8(wm.comment).c_str(), 0);
    if (type_.markersAsComments) {
      // Ogg muxers take the comments of the stream.
      if (std::strcmp(type_.muxer, "ogg") == 0) dict = &audioStream_->metadata;
      if (!wm.comment.empty() && dict != &output_->metadata)
        av_dict_set(dict, "comment", com::Utf16ToUtf8(wm.comment).c_str(), 0);
      int n = 0;
      for (const MediaMarker& m : wm.markers) {
        char key[32], value[64];
        std::snprintf(key, sizeof key, "QEL_MARKER%03d", ++n);
        // Full precision, so that the milliseconds come back as they were given.
        std::snprintf(value, sizeof value, "%.17g %.17g", std::max(m.startMs, 0.0),
                      std::max(m.lengthMs, 0.0));
        av_dict_set(dict, key, value, 0);
        std::string base = key;
        if (!m.label.empty())
          av_dict_set(dict, (base + "_LABEL").c_str(), com::Utf16ToUtf8(m.label).c_str(), 0);
        if (!m.note.empty())
          av_dict_set(dict, (base + "_NOTE").c_str(), com::Utf16ToUtf8(m.note).c_str(), 0);
        if (!m.attributes.empty())
          av_dict_set(dict, (base + "_MARKER_TEXT").c_str(), com::Utf16ToUtf8(m.attributes).c_str(),
                      0);
        if (n == 999) break;
      }
    } else if (type_.markersAsChapters) {
      int id = 0;
      for (const MediaMarker& m : wm.markers) {
        ff::Chapter chapter(static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter))));
        if (!chapter) return;
        chapter->id = ++id;
        // Microseconds; a container with coarser chapter times rounds them.
        chapter->time_base = AVRational{1, 1000000};
        chapter->start = std::llround(std::max(m.startMs, 0.0) * 1000.0);
        chapter->end = chapter->start + std::llround(std::max(m.lengthMs, 0.0) * 1000.0);
        // The title is for other players; some containers make one up when it
        // is empty (ID3 uses the element name), so the label also travels on its
        // own, with a tag that says the chapter is one of these markers.
        av_dict_set(&chapter->metadata, kChapterMarkerTag, "1", 0);
        if (!m.label.empty()) {
          av_dict_set(&chapter->metadata, "title", com::Utf16ToUtf8(m.label).c_str(), 0);
          av_dict_set(&chapter->metadata, "label", com::Utf16ToUtf8(m.label).c_str(), 0);
        }
        if (!m.note.empty())
          av_dict_set(&chapter->metadata, "note", com::Utf16ToUtf8(m.note).c_str(), 0);
        if (!m.attributes.empty())
          av_dict_set(&chapter->metadata, kMarkerTextName, com::Utf16ToUtf8(m.attributes).c_str(),
                      0);
        // The context owns the chapter once it is in its list.
        if (av_dynarray_add_nofree(&output_->chapters,
                                   reinterpret_cast<int*>(&output_->nb_chapters),
                                   chapter.get()) < 0)
          return;
        chapter.release();
      }
    }
  }

  // Converts input (null: the resampler's remainder) into the encoder's format
  // and encodes every whole frame that is ready.
  MediaError Resample(const uint8_t* const* in, int frames) {
    AVCodecContext* enc = encoder_.get();
    int room = swr_get_out_samples(swr_.get(), frames);
    if (room < 0) return MediaError::AudioUnsupported;
    if (room > 0) {
      const int channels = enc->ch_layout.nb_channels;
      int bytes = av_samples_get_buffer_size(nullptr, channels, room, enc->sample_fmt, 1);
      if (bytes < 0) return MediaError::AudioUnsupported;
      converted_.resize(static_cast<size_t>(bytes));
      uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
      std::vector<uint8_t*> many;
      uint8_t** out = planes;
      if (channels > AV_NUM_DATA_POINTERS) {
        many.resize(static_cast<size_t>(channels));
        out = many.data();
      }
      av_samples_fill_arrays(out, nullptr, converted_.data(), channels, room, enc->sample_fmt, 1);
      int made = swr_convert(swr_.get(), out, room, const_cast<const uint8_t**>(in), frames);
      if (made < 0) return MediaError::AudioUnsupported;
      if (made > 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out), made) < made)
        return MediaError::AudioUnsupported;
    }
    while (av_audio_fifo_size(fifo_.get()) >= frameSize_)
      if (MediaError e = EncodeFromFifo(); e != MediaError::None) return e;
    return MediaError::None;
  }

  MediaError EncodeFromFifo() {
    AVCodecContext* enc = encoder_.get();
    const int available = av_audio_fifo_size(fifo_.get());
    const int take = std::min(available, frameSize_);
    AVFrame* frame = frame_.get();
    av_frame_unref(frame);
    frame->nb_samples = take < frameSize_ && !smallLastFrame_ ? frameSize_ : take;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) return MediaError::AudioUnsupported;
    if (frame->nb_samples > take)  // the encoder takes whole frames only: pad the last with silence
      av_samples_set_silence(frame->extended_data, take, frame->nb_samples - take,
                             enc->ch_layout.nb_channels, enc->sample_fmt);
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), take) <
        take)
      return MediaError::AudioUnsupported;
    frame->pts = samplesSent_;
    samplesSent_ += frame->nb_samples;
    return Encode(frame);
  }

  MediaError Encode(const AVFrame* frame) {
    int err = avcodec_send_frame(encoder_.get(), frame);
    if (err < 0 && err != AVERROR_EOF)
      return Unsupported(MediaError::AudioUnsupported, ff::ErrorText(err));
    ff::Packet packet(av_packet_alloc());
    if (!packet) return MediaError::AudioUnsupported;
    while ((err = avcodec_receive_packet(encoder_.get(), packet.get())) >= 0) {
      av_packet_rescale_ts(packet.get(), encoder_->time_base, audioStream_->time_base);
      packet->stream_index = audioStream_->index;
      err = av_interleaved_write_frame(output_.get(), packet.get());
      if (err < 0) return Unsupported(MediaError::FileAccess, ff::ErrorText(err));
    }
    if (err != AVERROR(EAGAIN) && err != AVERROR_EOF)
      return Unsupported(MediaError::AudioUnsupported, ff::ErrorText(err));
    return MediaError::None;
  }

  std::string target_;
  WriterSettings settings_;
  const EncodedType& type_;
  PcmFormat format_;
  PendingFile file_;
  // Declared after the pending file: the output (and the file FFmpeg holds open)
  // is closed before the temporary name is removed.
  ff::OutputContext output_;
  ff::CodecContext encoder_;
  ff::Resampler swr_;
  ff::AudioFifo fifo_;
  ff::Frame frame_;
  ff::ChannelLayout inLayout_;
  AVStream* audioStream_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVRational videoTimeBase_{0, 1};
  int frameSize_ = 4096;
  bool smallLastFrame_ = false;
  int64_t samplesSent_ = 0;
  std::vector<uint8_t> unpacked_, converted_;
};

}  // namespace

MediaError CreateWriter(const std::string& target, const WriterSettings& settings,
                        std::unique_ptr<MediaWriter>* writer, std::string* detail) {
  writer->reset();
  if (!settings.format.Valid()) {
    *detail = "invalid audio format";
    return MediaError::InvalidArgument;
  }
  const int32_t type = settings.fileType;
  if (settings.video && !CarriesVideo(type)) {
    *detail = "this file type carries no video";
    return MediaError::VideoUnsupported;
  }
  if (type == kFileTypeWav || type == kFileTypeRf64 || type == kFileTypeRaw) {
    auto wave = std::make_unique<WaveWriter>(target, settings);
    MediaError e = wave->Open();
    if (e != MediaError::None) {
      *detail = wave->Detail();
      return e;
    }
    *writer = std::move(wave);
    return MediaError::None;
  }
  for (const EncodedType& t : kEncodedTypes) {
    if (t.type != type) continue;
    auto encoded = std::make_unique<EncodedWriter>(target, settings, t);
    MediaError e = encoded->Open(settings.video);
    if (e != MediaError::None) {
      *detail = encoded->Detail();
      return e;
    }
    *writer = std::move(encoded);
    return MediaError::None;
  }
  *detail = "file type not writable";
  return MediaError::FileFormat;
}

}  // namespace qel::media

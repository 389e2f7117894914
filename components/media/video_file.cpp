#include "video_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "file_types.h"
#include "media_core.h"

namespace qel::media {

using namespace com;

namespace {

constexpr std::u16string_view kProgId = u"QelVideoFile3.VideoFile.1";
// The most one ReadAudio hands out, whatever it is asked for.
constexpr int64_t kMaxBlockBytes = 64 << 20;

// The record in front of each video packet that ReadVideo hands out and
// WriteVideo takes (all little-endian):
//   0 "QVPK", 4 record size (48), 8 pts, 16 dts, 24 duration (64-bit, in the
//   time base), 32 time base numerator, 36 denominator, 40 flags (1 = key
//   frame), 44 reserved.
constexpr size_t kVideoRecordSize = 48;
constexpr uint64_t kNoTimestamp = 0x8000000000000000ull;

std::vector<uint8_t> MakeVideoRecord(const AVPacket& packet, AVRational timeBase) {
  std::vector<uint8_t> r(kVideoRecordSize, 0);
  std::memcpy(r.data(), "QVPK", 4);
  PutLE32(r.data() + 4, kVideoRecordSize);
  PutLE64(r.data() + 8, static_cast<uint64_t>(packet.pts));
  PutLE64(r.data() + 16, static_cast<uint64_t>(packet.dts));
  PutLE64(r.data() + 24, static_cast<uint64_t>(packet.duration));
  PutLE32(r.data() + 32, static_cast<uint32_t>(timeBase.num));
  PutLE32(r.data() + 36, static_cast<uint32_t>(timeBase.den));
  PutLE32(r.data() + 40, (packet.flags & AV_PKT_FLAG_KEY) ? 1 : 0);
  return r;
}

bool ParseVideoRecord(const uint8_t* r, size_t size, AVPacket* packet, AVRational* timeBase) {
  if (size < kVideoRecordSize || std::memcmp(r, "QVPK", 4) != 0) return false;
  packet->pts = static_cast<int64_t>(LE64(r + 8));
  packet->dts = static_cast<int64_t>(LE64(r + 16));
  packet->duration = static_cast<int64_t>(LE64(r + 24));
  *timeBase = AVRational{static_cast<int>(LE32(r + 32)), static_cast<int>(LE32(r + 36))};
  if (LE32(r + 40) & 1) packet->flags |= AV_PKT_FLAG_KEY;
  static_assert(static_cast<int64_t>(kNoTimestamp) == AV_NOPTS_VALUE);
  return timeBase->num > 0 && timeBase->den > 0;
}

bool IsRawName(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".raw";
}

template <class T>
HRESULT GiveOut(const ComPtr<T>& object, IUnknown** out) {
  *out = nullptr;
  if (!object) return S_OK;
  return object->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(out));
}

}  // namespace

// ---- the video-format object ----------------------------------------------------

ComPtr<VideoFormat> VideoFormat::From(const AVStream& stream) {
  auto format = VideoFormat::Create();
  if (!format) return nullptr;
  format->source_.parameters.reset(avcodec_parameters_alloc());
  if (!format->source_.parameters ||
      avcodec_parameters_copy(format->source_.parameters.get(), stream.codecpar) < 0)
    return nullptr;
  format->source_.timeBase = stream.time_base;
  format->source_.frameRate =
      stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
  return format;
}

HRESULT VideoFormat::get_Width(int32_t* v) {
  if (!v) return E_POINTER;
  *v = source_.parameters ? source_.parameters->width : 0;
  return S_OK;
}

HRESULT VideoFormat::get_Height(int32_t* v) {
  if (!v) return E_POINTER;
  *v = source_.parameters ? source_.parameters->height : 0;
  return S_OK;
}

HRESULT VideoFormat::get_FrameRate(double* v) {
  if (!v) return E_POINTER;
  *v = source_.frameRate.num > 0 ? av_q2d(source_.frameRate) : 0;
  return S_OK;
}

HRESULT VideoFormat::get_Codec(BSTR* v) {
  if (!v) return E_POINTER;
  *v = Bstr::FromUtf8(source_.parameters ? avcodec_get_name(source_.parameters->codec_id) : "")
           .Detach();
  return S_OK;
}

// ---- the media-file object ------------------------------------------------------

HRESULT VideoFile::Failure(MediaError error, const std::string& detail) {
  lastError_ = std::u16string(Message(error));
  if (!detail.empty()) lastError_ += u" (" + Utf8ToUtf16(detail) + u")";
  return SetError(Code(error), IID_IMediaFile, kProgId, Message(error));
}

void VideoFile::Reset() {
  failedWrite_ = MediaError::None;
  reader_.reset();
  writer_.reset();  // a file not closed is removed with its writer
  mode_ = Mode::Idle;
  blockFormat_.reset();
}

std::optional<PcmFormat> VideoFile::ReadFormat(IAudioFormat* format, int32_t* tag) {
  if (!format) return std::nullopt;
  int32_t t = 0, rate = 0, bits = 0, channels = 0, mask = 0;
  if (Failed(format->get_FormatTag(&t)) || Failed(format->get_SampleRate(&rate)) ||
      Failed(format->get_SampleSize(&bits)) || Failed(format->get_Channels(&channels)) ||
      Failed(format->get_ChannelsMask(&mask)))
    return std::nullopt;
  if (tag) *tag = t;
  return PcmFormat{rate, channels, bits, static_cast<uint32_t>(mask)};
}

MediaError VideoFile::OpenReader(const std::optional<RawInput>& raw) {
  reader_ = std::make_unique<MediaReader>();
  MediaError e = reader_->Open(path_, raw);
  if (e != MediaError::None) {
    Failure(e, reader_->Detail());
    reader_.reset();
    mode_ = Mode::Idle;
    return e;
  }
  mode_ = Mode::Reading;
  PublishMarkers();
  return MediaError::None;
}

HRESULT VideoFile::OpenFile(BSTR fileName, int32_t* result) {
  if (!result) return E_POINTER;
  Reset();
  lastError_.clear();
  outputFormat_.Reset();  // a conversion asked for belongs to the file it was asked for
  path_ = ToUtf8(fileName);
  std::optional<RawInput> raw;
  if (IsRawName(path_)) {
    int32_t tag = 0;
    auto format = ReadFormat(audioFormat_.get(), &tag);
    if (!format) {
      // The format of a headerless file arrives with the AudioFormat put that
      // follows; until then only the file's access is checked.
      struct stat st {};
      std::FILE* probe = ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                             ? std::fopen(path_.c_str(), "rb")
                             : nullptr;
      if (!probe) {
        Failure(MediaError::FileAccess);
        *result = Code(MediaError::FileAccess);
        return S_OK;
      }
      std::fclose(probe);
      mode_ = Mode::RawPending;
      *result = 0;
      return S_OK;
    }
    raw = RawInput{tag, format->rate, format->bits, format->channels, format->mask};
  }
  *result = Code(OpenReader(raw));
  return S_OK;
}

HRESULT VideoFile::CreateFile(BSTR fileName, int32_t* result) {
  if (!result) return E_POINTER;
  Reset();
  lastError_.clear();
  path_ = ToUtf8(fileName);
  auto fail = [&](MediaError e, const std::string& detail) {
    Failure(e, detail);
    *result = Code(e);
    return S_OK;
  };
  auto format = ReadFormat(audioFormat_.get(), nullptr);
  if (!format || !format->Valid()) return fail(MediaError::InvalidArgument, "no audio format");
  WriterSettings settings;
  settings.fileType = fileType_;
  settings.format = *format;
  audioFormat_->get_BitRate(&settings.bitRate);
  settings.markers = CollectMarkers();
  ComPtr<IVideoStreamSource> video;
  if (videoTracksCount_ > 0) {
    if (videoFormat_) video = videoFormat_.As<IVideoStreamSource>();
    if (!video) return fail(MediaError::VideoUnsupported, "no video stream to copy");
    settings.video = &video->Source();
  }
  std::string detail;
  MediaError e = CreateWriter(path_, settings, &writer_, &detail);
  if (e != MediaError::None) return fail(e, detail);
  mode_ = Mode::Writing;
  writeFormat_ = *format;
  *result = 0;
  return S_OK;
}

HRESULT VideoFile::CloseFile() {
  if (mode_ != Mode::Writing) {
    // A write that failed already discarded the file; closing reports it again.
    MediaError failed = failedWrite_;
    Reset();
    if (failed != MediaError::None)
      return Failure(failed, "the file was discarded after a failed write");
    return S_OK;
  }
  MediaError e = MediaError::None;
  if (blockFormat_ && blockConverter_.Ready()) {
    converted_.clear();
    if (!blockConverter_.Flush(converted_)) e = MediaError::AudioUnsupported;
    if (e == MediaError::None && !converted_.empty())
      e = writer_->WriteAudio(converted_.data(),
                              converted_.size() / static_cast<size_t>(writeFormat_.BlockAlign()));
  }
  if (e == MediaError::None) e = writer_->Finish();
  std::string detail = writer_->Detail();
  Reset();
  return e == MediaError::None ? S_OK : Failure(e, detail);
}

HRESULT VideoFile::SetAdditionalParam(BSTR name, VARIANT) {
  // "SWF_AUDIO" asks for the audio of Flash files; every container's audio is
  // read here anyway, so it is accepted and changes nothing.
  if (NamesEqual(View(name), u"SWF_AUDIO")) return S_OK;
  return Failure(MediaError::InvalidArgument, "unknown parameter " + ToUtf8(name));
}

HRESULT VideoFile::ReadAudio(double milliseconds, IUnknown** audioData) {
  if (!audioData) return E_POINTER;
  *audioData = nullptr;
  if (mode_ == Mode::RawPending) return Failure(MediaError::FileFormat, "no raw format given");
  if (mode_ != Mode::Reading || reader_->AudioTrack() < 0)
    return Failure(MediaError::InvalidOperation, "no audio track open for reading");
  if (!(milliseconds > 0) || !std::isfinite(milliseconds))
    return Failure(MediaError::InvalidArgument, "block length");
  const PcmFormat& f = reader_->OutputFormat();
  if (!f.Valid()) return Failure(MediaError::FileFormat, "no audio format");
  const int64_t ba = f.BlockAlign();
  int64_t frames = std::llround(milliseconds * f.rate / 1000.0);
  frames = std::clamp<int64_t>(frames, 1, kMaxBlockBytes / ba);
  auto data = AudioFrameData::Create();
  if (!data || Failed(data->AllocateBuffer(static_cast<int32_t>(frames * ba))))
    return E_OUTOFMEMORY;
  uint8_t* buffer = nullptr;
  data->GetBuffer(&buffer);
  const double start = reader_->Position() * 1000.0 / f.rate;
  int64_t got = 0;
  if (MediaError e = reader_->ReadAudio(frames, buffer, &got); e != MediaError::None)
    return Failure(e, reader_->Detail());
  data->put_DataSize(static_cast<int32_t>(got * ba));
  std::vector<uint8_t> record = MakeWaveRecord(f);
  data->AllocateFormat(static_cast<int32_t>(record.size()));
  uint8_t* format = nullptr;
  data->GetFormat(&format);
  std::memcpy(format, record.data(), record.size());
  data->put_TimeStamp(start);
  data->put_Duration(static_cast<double>(got) * 1000.0 / f.rate);
  return GiveOut(data, audioData);
}

HRESULT VideoFile::WriteAudio(IUnknown* audioData) {
  if (mode_ != Mode::Writing) return Failure(MediaError::InvalidOperation, "no file being written");
  if (!audioData) return Failure(MediaError::InvalidArgument, "no block");
  PcmFormat format = writeFormat_;
  uint8_t* bytes = nullptr;
  int32_t size = 0;
  if (auto frame = ComPtr<IUnknown>(audioData).As<IAudioFrameData>()) {
    int32_t formatSize = 0;
    uint8_t* record = nullptr;
    frame->get_FormatSize(&formatSize);
    frame->GetFormat(&record);
    if (formatSize > 0) {
      auto parsed = ParseWaveRecord({record, static_cast<size_t>(formatSize)});
      if (!parsed) return Failure(MediaError::InvalidArgument, "block format not integer PCM");
      format = *parsed;
    }
    frame->get_DataSize(&size);
    frame->GetBuffer(&bytes);
  } else if (auto buffer = ComPtr<IUnknown>(audioData).As<IDataBuffer>()) {
    buffer->get_DataSize(&size);
    buffer->GetBuffer(&bytes);
  } else {
    return Failure(MediaError::InvalidArgument, "not an audio block");
  }
  const auto ba = static_cast<size_t>(format.BlockAlign());
  if (size < 0 || static_cast<size_t>(size) % ba != 0 || (size > 0 && !bytes))
    return Failure(MediaError::InvalidArgument, "block size not a whole number of frames");
  if (size == 0) return S_OK;

  MediaError e = MediaError::None;
  if (format.rate == writeFormat_.rate && format.channels == writeFormat_.channels &&
      format.bits == writeFormat_.bits) {
    e = writer_->WriteAudio(bytes, static_cast<size_t>(size) / ba);
  } else {
    // Blocks in another format than the file's are converted on the way; the
    // converter follows the blocks' format.
    if (!blockFormat_ || *blockFormat_ != format) {
      if (blockFormat_ && blockConverter_.Ready()) {
        converted_.clear();
        blockConverter_.Flush(converted_);
        if (!converted_.empty())
          e = writer_->WriteAudio(
              converted_.data(),
              converted_.size() / static_cast<size_t>(writeFormat_.BlockAlign()));
      }
      if (!blockConverter_.Init(SampleInput::FromPcm(format), writeFormat_))
        return Failure(MediaError::AudioUnsupported, "cannot convert the blocks");
      blockFormat_ = format;
    }
    converted_.clear();
    const uint8_t* planes[1] = {bytes};
    if (e == MediaError::None &&
        !blockConverter_.Convert(planes, static_cast<int>(static_cast<size_t>(size) / ba),
                                 converted_))
      e = MediaError::AudioUnsupported;
    if (e == MediaError::None && !converted_.empty())
      e = writer_->WriteAudio(converted_.data(),
                              converted_.size() / static_cast<size_t>(writeFormat_.BlockAlign()));
  }
  if (e != MediaError::None) {
    // A file that lost samples is not finished: it is discarded now.
    std::string detail = writer_->Detail();
    Reset();
    failedWrite_ = e;
    return Failure(e, detail);
  }
  return S_OK;
}

HRESULT VideoFile::WriteAudioFromFile(BSTR fileName, int64_t offset, int64_t bytes) {
  if (mode_ != Mode::Writing) return Failure(MediaError::InvalidOperation, "no file being written");
  const auto ba = static_cast<int64_t>(writeFormat_.BlockAlign());
  if (offset < 0 || bytes < 0 || ba <= 0 || bytes % ba != 0)
    return Failure(MediaError::InvalidArgument, "not a whole number of frames");
  if (bytes == 0) return S_OK;
  const int fd = ::open(ToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failure(MediaError::FileAccess, std::strerror(errno));
  MediaError e = writer_->WriteAudioFromFd(fd, static_cast<uint64_t>(offset),
                                           static_cast<uint64_t>(bytes), static_cast<int>(ba));
  ::close(fd);
  if (e != MediaError::None) {
    // A file that lost samples is not finished: it is discarded now.
    std::string detail = writer_->Detail();
    Reset();
    failedWrite_ = e;
    return Failure(e, detail);
  }
  return S_OK;
}

HRESULT VideoFile::Seek(double milliseconds) {
  if (mode_ != Mode::Reading)
    return Failure(MediaError::InvalidOperation, "no file open for reading");
  if (std::isnan(milliseconds)) return Failure(MediaError::InvalidArgument, "position");
  if (MediaError e = reader_->Seek(std::max(milliseconds, 0.0)); e != MediaError::None)
    return Failure(e, reader_->Detail());
  return S_OK;
}

HRESULT VideoFile::get_VideoFormat(IUnknown** v) {
  if (!v) return E_POINTER;
  *v = nullptr;
  if (mode_ == Mode::Reading) {
    const AVStream* stream = reader_->VideoStream();
    if (!stream) return S_OK;
    auto format = VideoFormat::From(*stream);
    if (!format) return E_OUTOFMEMORY;
    return GiveOut(format, v);
  }
  return GiveOut(videoFormat_, v);
}

HRESULT VideoFile::put_VideoFormat(IUnknown* v) {
  videoFormat_ = v ? ComPtr<IUnknown>(v).As<IVideoFormat>() : nullptr;
  if (v && !videoFormat_) return Failure(MediaError::InvalidArgument, "not a video format");
  return S_OK;
}

HRESULT VideoFile::get_AudioFormat(IUnknown** v) {
  if (!v) return E_POINTER;
  *v = nullptr;
  if (mode_ == Mode::RawPending) return S_OK;
  if (mode_ != Mode::Reading || reader_->AudioTrack() < 0) return GiveOut(audioFormat_, v);
  const PcmFormat& f = reader_->FileFormat();
  auto format = AudioFormat::Create();
  if (!format) return E_OUTOFMEMORY;
  format->put_FormatTag(kWaveFormatPcm);
  format->put_SampleRate(f.rate);
  format->put_SampleSize(f.bits);
  format->put_Channels(f.channels);
  format->put_ChannelsMask(static_cast<int32_t>(f.mask));
  format->put_Codec(Bstr::FromUtf8(reader_->AudioCodecName()).get());
  format->put_BitRate(static_cast<int32_t>(std::min<int64_t>(reader_->AudioBitRate(), INT32_MAX)));
  return GiveOut(format, v);
}

HRESULT VideoFile::put_AudioFormat(IUnknown* v) {
  ComPtr<IAudioFormat> format = v ? ComPtr<IUnknown>(v).As<IAudioFormat>() : nullptr;
  if (v && !format) return Failure(MediaError::InvalidArgument, "not an audio format");
  if (mode_ == Mode::Writing) return Failure(MediaError::InvalidOperation, "file already created");
  int32_t tag = 0;
  auto pcm = ReadFormat(format.get(), &tag);
  const bool rawFile =
      mode_ == Mode::RawPending || (mode_ == Mode::Reading && reader_->FileType() == kFileTypeRaw);
  if (rawFile) {
    // The format of the headerless file being read: it is opened (again) with it.
    if (!pcm) return Failure(MediaError::InvalidArgument, "no raw format");
    audioFormat_ = format;
    MediaError e = OpenReader(RawInput{tag, pcm->rate, pcm->bits, pcm->channels, pcm->mask});
    if (e != MediaError::None) {
      mode_ = Mode::RawPending;
      return Failure(e);
    }
    return S_OK;
  }
  if (mode_ == Mode::Idle && format && (!pcm || !pcm->Valid() || tag != kWaveFormatPcm))
    return Failure(MediaError::InvalidArgument, "the format to write must be integer PCM");
  audioFormat_ = format;
  return S_OK;
}

HRESULT VideoFile::get_Duration(double* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading ? reader_->DurationMs() : 0;
  return S_OK;
}

HRESULT VideoFile::get_VideoTracksCount(int32_t* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading      ? reader_->VideoTracks()
       : mode_ == Mode::RawPending ? 0
                                   : videoTracksCount_;
  return S_OK;
}

HRESULT VideoFile::put_VideoTracksCount(int32_t v) {
  if (v < 0 || v > 1) return Failure(MediaError::InvalidArgument, "one video track at most");
  videoTracksCount_ = v;
  return S_OK;
}

HRESULT VideoFile::get_AudioTracksCount(int32_t* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading      ? reader_->AudioTracks()
       : mode_ == Mode::RawPending ? 1
                                   : audioTracksCount_;
  return S_OK;
}

HRESULT VideoFile::put_AudioTracksCount(int32_t v) {
  if (v < 0 || v > 1) return Failure(MediaError::InvalidArgument, "one audio track at most");
  audioTracksCount_ = v;
  return S_OK;
}

HRESULT VideoFile::get_VideoTrack(int32_t* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading ? reader_->VideoTrack() : videoTrack_;
  return S_OK;
}

HRESULT VideoFile::put_VideoTrack(int32_t v) {
  if (mode_ == Mode::Reading) {
    if (!reader_->SelectVideoTrack(v)) return Failure(MediaError::InvalidArgument, "video track");
    return S_OK;
  }
  videoTrack_ = v;
  return S_OK;
}

HRESULT VideoFile::get_AudioTrack(int32_t* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading ? reader_->AudioTrack() : audioTrack_;
  return S_OK;
}

HRESULT VideoFile::put_AudioTrack(int32_t v) {
  if (mode_ == Mode::Reading) {
    if (v < -1 || v >= reader_->AudioTracks())
      return Failure(MediaError::InvalidArgument, "audio track");
    if (v == reader_->AudioTrack()) return S_OK;
    if (MediaError e = reader_->SelectAudioTrack(v); e != MediaError::None)
      return Failure(e, reader_->Detail());
    return S_OK;
  }
  audioTrack_ = v;
  return S_OK;
}

void VideoFile::PublishMarkers() {
  if (!extraData_) {
    auto created = ExtraData::Create();
    if (!created) return;
    extraData_ = created.As<IExtraData>();
  }
  extraData_->ClearMarkers();
  for (const MediaMarker& m : reader_->Markers()) {
    Bstr label(m.label), note(m.note), attributes(m.attributes);
    extraData_->AddMarker(m.startMs, m.lengthMs, label.get(), note.get(), attributes.get());
  }
  extraData_->put_Comment(Bstr(reader_->Comment()).get());
}

WriterMarkers VideoFile::CollectMarkers() const {
  WriterMarkers out;
  if (!extraData_) return out;
  int32_t count = 0;
  extraData_->get_MarkersCount(&count);
  for (int32_t i = 0; i < count; ++i) {
    MediaMarker m;
    Bstr label, note, attributes;
    if (Failed(extraData_->get_MarkerPosition(i, &m.startMs))) continue;
    extraData_->get_MarkerLength(i, &m.lengthMs);
    extraData_->get_MarkerLabel(i, label.Out());
    extraData_->get_MarkerNote(i, note.Out());
    extraData_->get_MarkerAttributes(i, attributes.Out());
    m.label = std::u16string(label.view());
    m.note = std::u16string(note.view());
    m.attributes = std::u16string(attributes.view());
    out.markers.push_back(std::move(m));
  }
  Bstr comment;
  extraData_->get_Comment(comment.Out());
  out.comment = std::u16string(comment.view());
  return out;
}

HRESULT VideoFile::get_ExtraData(IUnknown** v) {
  if (!v) return E_POINTER;
  return GiveOut(extraData_, v);
}

HRESULT VideoFile::put_ExtraData(IUnknown* v) {
  ComPtr<IExtraData> extra = v ? ComPtr<IUnknown>(v).As<IExtraData>() : nullptr;
  if (v && !extra) return Failure(MediaError::InvalidArgument, "not an extra-data object");
  extraData_ = extra;
  if (mode_ == Mode::Reading && extraData_) PublishMarkers();
  if (mode_ == Mode::Writing) writer_->UpdateMarkers(CollectMarkers());
  return S_OK;
}

HRESULT VideoFile::get_FileType(int32_t* v) {
  if (!v) return E_POINTER;
  *v = mode_ == Mode::Reading      ? reader_->FileType()
       : mode_ == Mode::RawPending ? kFileTypeRaw
                                   : fileType_;
  return S_OK;
}

HRESULT VideoFile::put_FileType(int32_t v) {
  fileType_ = v;
  return S_OK;
}

HRESULT VideoFile::get_OutputAudioFormat(IUnknown** v) {
  if (!v) return E_POINTER;
  return GiveOut(outputFormat_, v);
}

HRESULT VideoFile::put_OutputAudioFormat(IUnknown* v) {
  ComPtr<IAudioFormat> format = v ? ComPtr<IUnknown>(v).As<IAudioFormat>() : nullptr;
  if (v && !format) return Failure(MediaError::InvalidArgument, "not an audio format");
  outputFormat_ = format;
  if (mode_ != Mode::Reading || reader_->AudioTrack() < 0) return S_OK;
  std::optional<PcmFormat> wanted;
  if (format) {
    // Values below 1 keep the file's.
    const PcmFormat& file = reader_->FileFormat();
    auto asked = ReadFormat(format.get(), nullptr);
    if (!asked) return Failure(MediaError::InvalidArgument, "output format");
    PcmFormat f;
    f.rate = asked->rate >= 1 ? asked->rate : file.rate;
    f.channels = asked->channels >= 1 ? asked->channels : file.channels;
    f.bits = asked->bits >= 1 ? asked->bits : file.bits;
    f.mask = static_cast<int32_t>(asked->mask) >= 1 ? asked->mask
             : f.channels == file.channels          ? file.mask
                                                    : UsualMask(f.channels);
    if (!f.Valid()) return Failure(MediaError::InvalidArgument, "output format");
    wanted = f;
  }
  if (MediaError e = reader_->SetOutputFormat(wanted); e != MediaError::None)
    return Failure(e, reader_->Detail());
  return S_OK;
}

HRESULT VideoFile::put_Prepare(int32_t) {
  // The control puts −1 around its setting up of a reader or writer; the
  // settings take effect as they are put, so there is nothing to do.
  return S_OK;
}

HRESULT VideoFile::ReadVideo(IUnknown** videoData) {
  if (!videoData) return E_POINTER;
  *videoData = nullptr;
  if (mode_ != Mode::Reading || reader_->VideoTrack() < 0)
    return Failure(MediaError::InvalidOperation, "no video track open for reading");
  auto data = AudioFrameData::Create();
  if (!data) return E_OUTOFMEMORY;
  ff::Packet packet;
  if (reader_->ReadVideoPacket(packet)) {
    const AVStream* stream = reader_->VideoStream();
    if (Failed(data->AllocateBuffer(packet->size))) return E_OUTOFMEMORY;
    uint8_t* buffer = nullptr;
    data->GetBuffer(&buffer);
    if (packet->size > 0) std::memcpy(buffer, packet->data, static_cast<size_t>(packet->size));
    data->put_DataSize(packet->size);
    std::vector<uint8_t> record = MakeVideoRecord(*packet, stream->time_base);
    data->AllocateFormat(static_cast<int32_t>(record.size()));
    uint8_t* format = nullptr;
    data->GetFormat(&format);
    std::memcpy(format, record.data(), record.size());
    const double tb = av_q2d(stream->time_base) * 1000.0;
    int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    data->put_TimeStamp(start != AV_NOPTS_VALUE ? static_cast<double>(start) * tb : 0);
    data->put_Duration(static_cast<double>(packet->duration) * tb);
  }
  return GiveOut(data, videoData);
}

HRESULT VideoFile::WriteVideo(IUnknown* videoData) {
  if (mode_ != Mode::Writing) return Failure(MediaError::InvalidOperation, "no file being written");
  auto frame = videoData ? ComPtr<IUnknown>(videoData).As<IAudioFrameData>() : nullptr;
  if (!frame) return Failure(MediaError::InvalidArgument, "not a video packet");
  int32_t formatSize = 0, size = 0;
  uint8_t *record = nullptr, *bytes = nullptr;
  frame->get_FormatSize(&formatSize);
  frame->GetFormat(&record);
  frame->get_DataSize(&size);
  frame->GetBuffer(&bytes);
  if (size == 0) return S_OK;  // the end of the source's video
  ff::Packet packet(av_packet_alloc());
  if (!packet || av_new_packet(packet.get(), size) < 0) return E_OUTOFMEMORY;
  AVRational timeBase{0, 1};
  if (formatSize < 0 ||
      !ParseVideoRecord(record, static_cast<size_t>(formatSize), packet.get(), &timeBase))
    return Failure(MediaError::InvalidArgument, "not a video packet");
  std::memcpy(packet->data, bytes, static_cast<size_t>(size));
  if (MediaError e = writer_->WriteVideo(packet.get(), timeBase); e != MediaError::None) {
    std::string detail = writer_->Detail();
    Reset();
    failedWrite_ = e;
    return Failure(e, detail);
  }
  return S_OK;
}

HRESULT VideoFile::get_LastError(BSTR* v) {
  if (!v) return E_POINTER;
  *v = Bstr(lastError_).Detach();
  return S_OK;
}

}  // namespace qel::media

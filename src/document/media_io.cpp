// Opening media files (OpenFile, OpenRawFile) and saving the document
// (SaveFile) through the media-file component.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <vector>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"
#include "view/waveform_view.h"

namespace qel {

using namespace com;

namespace {

constexpr double kProbeMs = 200.0;
constexpr double kReadBlockMs = 4000.0;
constexpr int32_t kMaxBlockMs = 4000;

bool HasRawExtension(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".raw";
}

template <class I>
HRESULT Make(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

// The wave-format record at the head of a block: rate, channels, bits and,
// for the extensible form, the mask.
struct BlockFormat {
  int32_t rate = 0, channels = 0, bits = 0;
  uint32_t mask = 0;
};

bool ReadBlockFormat(IAudioFrameData& block, BlockFormat* out) {
  int32_t size = 0;
  uint8_t* record = nullptr;
  if (Failed(block.get_FormatSize(&size)) || size < 18 || Failed(block.GetFormat(&record)) ||
      !record)
    return false;
  auto u16 = [&](int at) { return static_cast<uint16_t>(record[at] | (record[at + 1] << 8)); };
  auto u32 = [&](int at) {
    return static_cast<uint32_t>(record[at] | (record[at + 1] << 8) | (record[at + 2] << 16) |
                                 (uint32_t{record[at + 3]} << 24));
  };
  out->channels = u16(2);
  out->rate = static_cast<int32_t>(u32(4));
  out->bits = u16(14);
  if (out->bits < 8) out->bits = 16;
  if (u16(0) == 0xFFFE && size >= 24) out->mask = u32(20);
  return true;
}

// The record a block for writing starts with: 18 bytes for mono or plain
// stereo, else the 40-byte extensible form with the valid bits, the mask and
// the PCM sub-format.
std::vector<uint8_t> WriteRecord(const document::DocumentFormat& f) {
  const bool extensible = !(f.channels == 1 || f.channelsMask == 3 || f.channelsMask == 0);
  std::vector<uint8_t> r(extensible ? 40 : 18, 0);
  auto put16 = [&](int at, uint32_t v) {
    r[at] = static_cast<uint8_t>(v);
    r[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  const uint32_t align = static_cast<uint32_t>(f.BlockAlign());
  put16(0, extensible ? 0xFFFE : 1);
  put16(2, static_cast<uint32_t>(f.channels));
  put32(4, static_cast<uint32_t>(f.sampleRate));
  put32(8, align * static_cast<uint32_t>(f.sampleRate));
  put16(12, align);
  put16(14, static_cast<uint32_t>(f.sampleSize));
  if (extensible) {
    put16(16, 22);
    put16(18, static_cast<uint32_t>(f.sampleSize));
    put32(20, f.channelsMask);
    static constexpr uint8_t kPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::memcpy(&r[24], kPcm, 16);
  }
  return r;
}

// Whether a format object describes the document's own rate, channels and size.
bool SameFormat(IAudioFormat& format, const document::DocumentFormat& f) {
  int32_t rate = 0, channels = 0, bits = 0;
  format.get_SampleRate(&rate);
  format.get_Channels(&channels);
  format.get_SampleSize(&bits);
  return rate == f.sampleRate && channels == f.channels && bits == f.sampleSize;
}

// The host receives the component's result code; where it is one of ours it
// also gets its message.
HRESULT ComponentResult(int32_t code) {
  for (int32_t n = 1; n <= 24; ++n)
    if (ErrorResult(n) == code) return RaiseError(n);
  return code;
}

}  // namespace

int32_t CAudioEditor::ReadMediaFile(const std::string& name, int32_t videoTrack, int32_t audioTrack,
                                    const document::DocumentFormat& wanted, HRESULT* result) {
  IMediaFile& media = *mediaFile_;
  Bstr wide = Bstr::FromUtf8(name);
  int32_t opened = 0;
  if (Failed(media.OpenFile(wide.get(), &opened))) return kErrFileAccess;
  if (opened != 0) {
    *result = opened;
    return kErrNone;
  }
  media.SetAdditionalParam(Bstr(u"SWF_AUDIO").get(), Variant::Bool(true));
  int32_t videoCount = 0, audioCount = 0;
  media.get_VideoTracksCount(&videoCount);
  if (videoTrack >= videoCount) videoTrack = -1;
  media.put_VideoTrack(videoTrack);
  media.get_AudioTracksCount(&audioCount);
  if (audioCount < 1) return kErrFileFormat;
  if (audioTrack >= audioCount || audioTrack < 0) audioTrack = 0;
  media.put_AudioTrack(audioTrack);
  if (rawFormat_) media.put_AudioFormat(rawFormat_.get());

  ComPtr<IUnknown> formatObject;
  media.get_AudioFormat(formatObject.Out());
  audioFormat_.Reset();
  if (!formatObject ||
      Failed(formatObject->QueryInterface(IAudioFormat::kIID, audioFormat_.OutVoid())))
    return kErrFileFormat;
  ComPtr<IUnknown> videoObject;
  media.get_VideoFormat(videoObject.Out());
  videoFormat_.Reset();
  if (videoObject) videoObject->QueryInterface(IVideoFormat::kIID, videoFormat_.OutVoid());
  media.get_FileType(&fileInfo_->originalFileType);
  double duration = 0;
  media.get_Duration(&duration);

  // Probe the format the blocks really come in.
  BlockFormat file;
  {
    ComPtr<IUnknown> probe;
    ComPtr<IAudioFrameData> block;
    if (Failed(media.ReadAudio(kProbeMs, probe.Out())) || !probe ||
        Failed(probe->QueryInterface(IAudioFrameData::kIID, block.OutVoid())) ||
        !ReadBlockFormat(*block, &file))
      return kErrAudioFormat;
    media.Seek(0.0);
  }
  outputFormat_ = {file.rate, file.channels, file.bits, file.mask};
  document::DocumentFormat f{wanted.sampleRate >= 1 ? wanted.sampleRate : file.rate,
                             wanted.channels >= 1 ? wanted.channels : file.channels,
                             wanted.sampleSize >= 1 ? wanted.sampleSize : file.bits,
                             wanted.channelsMask >= 1 ? wanted.channelsMask : file.mask};
  if (!(f == outputFormat_)) {
    // The reader converts to the document's format.
    ComPtr<IAudioFormat> target;
    if (Failed(Make(CLSID_AudioFormat, &target))) {
      ShowNotRegistered(u"QelMediaCore3 is not registered.");
      return kErrNotInstalled;
    }
    target->put_FormatTag(1);
    target->put_SampleRate(f.sampleRate);
    target->put_SampleSize(f.sampleSize);
    target->put_Channels(f.channels);
    target->put_ChannelsMask(static_cast<int32_t>(f.channelsMask));
    media.put_Prepare(-1);
    if (Failed(media.put_OutputAudioFormat(target.get()))) return kErrAudioFormat;
  }
  format_ = f;
  if (format_.channels < 1 || format_.sampleSize < 8) return kErrFileFormat;

  std::string store;
  document::CSampleStoreFile file_;
  if (!document::MakeTempFileName(tempDirectory_, &store) ||
      !file_.Create(store, f.sampleRate, f.channels, f.sampleSize, f.channelsMask))
    return kErrMemory;
  int32_t error = CreateProcessors(f.channels);
  const double totalMs = duration > 0 ? duration : 1.0;
  // Long documents get their peak overview folded in as the blocks arrive, so
  // the first picture needs no second pass over the file.
  if (view_) {
    view::DocumentState state;
    state.open = true;
    state.sampleRate = f.sampleRate;
    state.channels = f.channels;
    state.sampleSize = f.sampleSize;
    state.channelsMask = f.channelsMask;
    view_->BeginOverviewFold(state, static_cast<int64_t>(duration / 1000.0 * f.sampleRate));
  }
  double doneMs = 0;
  while (error == kErrNone && status_ != status::kIdle) {
    ComPtr<IUnknown> data;
    ComPtr<IAudioFrameData> block;
    if (Failed(media.ReadAudio(kReadBlockMs, data.Out())) || !data ||
        Failed(data->QueryInterface(IAudioFrameData::kIID, block.OutVoid()))) {
      error = kErrAudioFormat;
      break;
    }
    int32_t size = 0;
    uint8_t* bytes = nullptr;
    block->get_DataSize(&size);
    block->GetBuffer(&bytes);
    if (size <= 0 || !bytes) break;  // the end of the audio
    if (!file_.Write(bytes, static_cast<size_t>(size))) {
      error = kErrMemory;
      break;
    }
    if (view_) view_->FoldSamples(bytes, static_cast<size_t>(size));
    doneMs += static_cast<double>(size) / f.BlockAlign() / (f.sampleRate / 1000.0);
    const auto percent = static_cast<int32_t>(std::min(doneMs / totalMs, 1.0) * 0.999 * 100);
    sender_.BlockOperation(percent);
    if (view_) view_->SetOpenProgress(percent);
    Recompose();
  }
  const int64_t length = static_cast<int64_t>(file_.DataSize());
  if (!file_.Close() && error == kErrNone) error = kErrMemory;
  if (error == kErrNone && (length <= 0 || duration <= 0 || f.channels < 1)) error = kErrFileFormat;
  if (error != kErrNone) {
    if (view_) view_->CancelOverviewFold();
    platform::DeleteFile(store);
    return error;
  }
  BuildChannelOrder();
  sender_.BlockOperation(100);

  length_ = length;
  document::HistoryStep first;
  first.sampleFile = store;
  first.format = f;
  first.length = length;
  first.view.endView[0] = length;
  position_->History().TakeStep(std::move(first), opcode::kNone);
  selectionLevel_ = 0;
  if (view_) {
    view_->EndOverviewFold();  // the first step keeps it, with its cache file
    view_->SplitLanesEqually();
  }
  fileInfo_->hasVideo = videoTrack != -1;
  fileInfo_->originalFileName = Utf8ToUtf16(name);
  fileInfo_->audioTrack = audioTrack;
  fileInfo_->videoTrack = videoTrack;
  fileInfo_->duration = static_cast<double>(ToFrames(length)) / (f.sampleRate / 1000.0);
  channels_->Recount();
  channels_->RecomputeMask();
  markers_->ResetLayout();
  // Markers the file carries.
  ComPtr<IUnknown> extraObject;
  ComPtr<IExtraData> extra;
  if (Succeeded(media.get_ExtraData(extraObject.Out())) && extraObject &&
      Succeeded(extraObject->QueryInterface(IExtraData::kIID, extra.OutVoid())))
    markers_->ReadFrom(*extra, f.sampleRate);
  return kErrNone;
}

HRESULT CAudioEditor::OpenFile(BSTR fileName, int32_t videoTrack, int32_t audioTrack,
                               int32_t sampleRate, int32_t sampleSize, int32_t channels,
                               int32_t channelsMask) {
  Close();
  const std::string name = ToUtf8(fileName);
  // Raw files have no header to read their format from: OpenRawFile takes it.
  if (HasRawExtension(name)) return ErrorResult(kErrFileFormat);
  rawFormat_.Reset();
  status_ = status::kOpening;
  progressScale_ = 100;
  HRESULT component = S_OK;
  const int32_t error = ReadMediaFile(
      name, videoTrack, audioTrack,
      {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)}, &component);
  status_ = status::kIdle;
  if (error != kErrNone || Failed(component)) {
    // A failed open leaves no document.
    position_->History().Clear();
    format_ = outputFormat_ = document::DocumentFormat{44100, 2, 16, 3};
    length_ = 0;
    fileInfo_->Reset();
    audioFormat_.Reset();
    videoFormat_.Reset();
    sender_.EndOperation();
    return error != kErrNone ? RaiseError(error) : ComponentResult(component);
  }
  ApplyView();
  Recompose();
  sender_.EndOperation();
  return S_OK;
}

HRESULT CAudioEditor::OpenRawFile(BSTR fileName, int32_t formatTag, int32_t sampleRate,
                                  int32_t sampleSize, int32_t channels, int32_t channelsMask) {
  const std::string name = ToUtf8(fileName);
  if (!HasRawExtension(name)) return ErrorResult(kErrFileFormat);
  if (!rawFormat_ && Failed(Make(CLSID_AudioFormat, &rawFormat_))) {
    ShowNotRegistered(u"QelMediaCore3 is not registered.");
    return RaiseError(kErrNotInstalled);
  }
  rawFormat_->put_FormatTag(formatTag);
  rawFormat_->put_SampleRate(sampleRate);
  rawFormat_->put_SampleSize(sampleSize);
  rawFormat_->put_Channels(channels);
  rawFormat_->put_ChannelsMask(channelsMask);
  Close();
  status_ = status::kOpening;
  progressScale_ = 100;
  HRESULT component = S_OK;
  const int32_t error = ReadMediaFile(name, -1, 0, {-1, -1, -1, 0}, &component);
  status_ = status::kIdle;
  if (error != kErrNone || Failed(component)) {
    position_->History().Clear();
    format_ = outputFormat_ = document::DocumentFormat{44100, 2, 16, 3};
    length_ = 0;
    fileInfo_->Reset();
    audioFormat_.Reset();
    sender_.EndOperation();
    return error != kErrNone ? RaiseError(error) : ComponentResult(component);
  }
  ApplyView();
  Recompose();
  sender_.EndOperation();
  return S_OK;
}

int32_t CAudioEditor::WriteMediaFile(const std::string& name, bool selectionOnly,
                                     int32_t markersSaveList, IAudioFormat* format,
                                     IVideoFormat* videoFormat, int32_t fileType, bool withVideo,
                                     HRESULT* result) {
  if (!saveFile_ && Failed(Make(CLSID_VideoFile, &saveFile_))) {
    ShowNotRegistered(u"QelVideoFile3 is not registered.");
    return kErrNotInstalled;
  }
  IMediaFile& writer = *saveFile_;
  if (!format) format = audioFormat_.get();
  if (!format) return kErrInvalidArgument;

  // With video: a second reader of the source hands out its video packets.
  ComPtr<IMediaFile> videoSource;
  ComPtr<IVideoFormat> sourceVideoFormat;
  if (withVideo) {
    if (Failed(Make(CLSID_VideoFile, &videoSource))) {
      ShowNotRegistered(u"QelVideoFile3 is not registered.");
      return kErrNotInstalled;
    }
    int32_t opened = 0;
    if (Failed(videoSource->OpenFile(Bstr(fileInfo_->originalFileName).get(), &opened)) ||
        opened != 0)
      return kErrFileFormat;
    videoSource->put_AudioTrack(-1);
    videoSource->put_VideoTrack(fileInfo_->videoTrack);
    if (!videoFormat) {
      // The source's own video format: it carries the stream the writer copies.
      ComPtr<IUnknown> object;
      videoSource->get_VideoFormat(object.Out());
      if (object) object->QueryInterface(IVideoFormat::kIID, sourceVideoFormat.OutVoid());
      videoFormat = sourceVideoFormat.get();
    }
    if (!videoFormat) return kErrInvalidArgument;
  }

  writer.put_Prepare(-1);
  writer.put_FileType(fileType);
  writer.put_VideoTracksCount(withVideo ? 1 : 0);
  writer.put_AudioTracksCount(1);
  writer.put_AudioTrack(0);
  if (withVideo) {
    writer.put_VideoTrack(0);
    if (Failed(writer.put_VideoFormat(videoFormat))) return kErrInvalidArgument;
  }
  if (Failed(writer.put_AudioFormat(format)) || Failed(writer.put_Prepare(-1)))
    return kErrInvalidArgument;

  const document::HistoryStep& step = *position_->History().Current();
  const int64_t align = std::max(format_.BlockAlign(), 1);
  int64_t from = 0, to = length_;
  if (selectionOnly) {
    from = step.view.startSelect[step.view.zoom];
    to = step.view.endSelect[step.view.zoom];
  }
  // Markers of the saved range travel in the extra data (the host's object
  // when it set one, else one made for this save).
  ComPtr<IExtraData> extra = fileInfo_->extraData;
  if (!extra && markersSaveList <= 0 && !step.markers.empty()) Make(CLSID_ExtraData, &extra);
  if (extra) {
    extra->ClearMarkers();
    if (markersSaveList <= 0)
      CEditorMarkers::WriteTo(step, from / align, to / align, format_.sampleRate, *extra);
    writer.put_ExtraData(extra.get());
  } else {
    writer.put_ExtraData(nullptr);
  }

  int32_t created = 0;
  if (Failed(writer.CreateFile(Bstr::FromUtf8(name).get(), &created))) return kErrFileAccess;
  if (created != 0) {
    *result = created;
    return kErrNone;
  }
  document::CSampleStoreFile source;
  if (!source.Open(step.sampleFile, document::kModeRead) || !source.Seek(from)) {
    writer.CloseFile();
    return kErrFileAccess;
  }
  ComPtr<IAudioFrameData> block;
  if (Failed(Make(CLSID_AudioFrameData, &block))) {
    ShowNotRegistered(u"QelMediaCore3 is not registered.");
    return kErrNotInstalled;
  }
  const std::vector<uint8_t> record = WriteRecord(format_);
  block->AllocateFormat(static_cast<int32_t>(record.size()));
  uint8_t* recordBytes = nullptr;
  block->GetFormat(&recordBytes);
  std::memcpy(recordBytes, record.data(), record.size());
  const int64_t blockBytes = int64_t{format_.sampleRate} * align * kMaxBlockMs / 1000;
  block->AllocateBuffer(static_cast<int32_t>(blockBytes));
  int32_t error = kErrNone;
  // The next video packet, written once the audio has reached its time.
  ComPtr<IAudioFrameData> packet;
  auto nextPacket = [&]() {
    packet.Reset();
    ComPtr<IUnknown> object;
    int32_t size = 0;
    if (Succeeded(videoSource->ReadVideo(object.Out())) && object &&
        Succeeded(object->QueryInterface(IAudioFrameData::kIID, packet.OutVoid())) &&
        Succeeded(packet->get_DataSize(&size)) && size > 0)
      return;
    packet.Reset();  // the end of the video
  };
  auto writeVideoUpTo = [&](double ms) {
    while (packet && error == kErrNone) {
      double stamp = 0;
      packet->get_TimeStamp(&stamp);
      if (stamp > ms) return;
      if (Failed(writer.WriteVideo(packet.get()))) error = kErrVideoFormat;
      nextPacket();
    }
  };
  if (withVideo) nextPacket();
  int64_t at = from;
  // PCM that goes out as it is stored is handed over as a byte range of the
  // sample-store file, which the writer can copy without a buffer of ours.
  const bool direct = !withVideo && SameFormat(*format, format_);
  const Bstr storeName = Bstr::FromUtf8(step.sampleFile);
  while (at < to && status_ != status::kIdle && error == kErrNone) {
    size_t got = 0;
    if (direct) {
      got = static_cast<size_t>(std::min(blockBytes, to - at));
      if (Failed(writer.WriteAudioFromFile(storeName.get(), source.HeaderSize() + at,
                                           static_cast<int64_t>(got)))) {
        error = kErrFileAccess;
        break;
      }
    } else {
      uint8_t* bytes = nullptr;
      block->GetBuffer(&bytes);
      const size_t want = static_cast<size_t>(std::min(blockBytes, to - at));
      got = source.Read(bytes, want);
      if (got == 0) break;
      block->put_DataSize(static_cast<int32_t>(got));
      block->put_TimeStamp(static_cast<double>((at - from) / align) /
                           (format_.sampleRate / 1000.0));
      if (Failed(writer.WriteAudio(block.get()))) {
        error = kErrFileAccess;
        break;
      }
    }
    at += static_cast<int64_t>(got);
    if (withVideo)
      writeVideoUpTo(static_cast<double>((at - from) / align) / (format_.sampleRate / 1000.0));
    sender_.BlockOperation(
        static_cast<int32_t>(static_cast<double>(at - from) /
                             static_cast<double>(std::max<int64_t>(to - from, 1)) * 100));
    Recompose();
  }
  if (withVideo && status_ != status::kIdle)
    writeVideoUpTo(std::numeric_limits<double>::infinity());
  source.Close();
  status_ = status::kIdle;
  if (Failed(writer.CloseFile()) && error == kErrNone) error = kErrFileAccess;
  return error;
}

HRESULT CAudioEditor::SaveFile(BSTR fileName, VARIANT_BOOL selected, int32_t markersSaveList,
                               int32_t fileType) {
  if (!DocumentOpen()) return S_OK;
  if (status_ != status::kIdle) return ErrorResult(kErrFileAccess);  // no error information
  const std::string name = ToUtf8(fileName);
  if (name == position_->History().Current()->sampleFile) return S_OK;
  // The host's formats and type, or the document's own.
  IAudioFormat* format = nullptr;
  IVideoFormat* videoFormat = videoFormat_.get();
  int32_t type = fileInfo_->originalFileType;
  if (fileType > 0) {
    format = fileInfo_->audioFormat.get();
    videoFormat = fileInfo_->videoFormat.get();
    type = fileType;
  }
  status_ = status::kSaving;
  progressScale_ = 100;
  HRESULT component = S_OK;
  const int32_t error = WriteMediaFile(name, selected != 0, markersSaveList, format, videoFormat,
                                       type, fileInfo_->hasVideo, &component);
  status_ = status::kIdle;
  sender_.EndOperation();
  if (error != kErrNone) return RaiseError(error);
  if (Failed(component)) return ComponentResult(component);
  Recompose();
  return S_OK;
}

HRESULT CAudioEditor::SetIVideoFile(IUnknown* videoFile) {
  if (!videoFile) return S_OK;
  saveFile_.Reset();
  videoFile->QueryInterface(IMediaFile::kIID, saveFile_.OutVoid());
  recompose_ = true;
  return S_OK;
}

}  // namespace qel

#include "editing/media_io.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include "com/bstr.h"
#include "com/classtable.h"
#include "com/variant.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "external/wave_record.h"
#include "platform/files.h"
#include "platform/process.h"

namespace qel::editing {

using namespace com;
using document::Document;
using document::DocumentFormat;
using document::OperationObserver;

namespace {

constexpr double kProbeMs = 200.0;
constexpr double kReadBlockMs = 4000.0;
constexpr int32_t kMaxBlockMs = 4000;

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
  uint8_t* bytes = nullptr;
  if (Failed(block.get_FormatSize(&size)) || size < 18 || Failed(block.GetFormat(&bytes)) || !bytes)
    return false;
  const std::optional<external::WaveRecord> record =
      external::DecodeWaveRecord({bytes, static_cast<size_t>(size)});
  if (!record) return false;
  out->channels = record->channels;
  out->rate = static_cast<int32_t>(record->samplesPerSec);
  out->bits = record->bitsPerSample < 8 ? 16 : record->bitsPerSample;
  if (record->Extensible()) out->mask = record->channelMask;
  return true;
}

// The record a block for writing starts with: 18 bytes for mono or plain
// stereo, else the 40-byte extensible form with the valid bits, the mask and
// the PCM sub-format.
std::vector<uint8_t> WriteRecord(const DocumentFormat& f) {
  const bool extensible = !(f.channels == 1 || f.channelsMask == 3 || f.channelsMask == 0);
  return external::EncodeWaveRecord(external::MakePcmRecord(
      static_cast<uint32_t>(f.sampleRate), static_cast<uint16_t>(f.channels),
      static_cast<uint16_t>(f.sampleSize), extensible, f.channelsMask,
      static_cast<uint16_t>(f.sampleSize), external::kPcmSubFormat));
}

// Whether a format object describes the document's own rate, channels and size.
bool SameFormat(IAudioFormat& format, const DocumentFormat& f) {
  int32_t rate = 0, channels = 0, bits = 0;
  format.get_SampleRate(&rate);
  format.get_Channels(&channels);
  format.get_SampleSize(&bits);
  return rate == f.sampleRate && channels == f.channels && bits == f.sampleSize;
}

int64_t Trunc(double value) {
  return static_cast<int64_t>(value);
}

// Where a save writes until it is complete: a name beside the target in its
// folder, keeping its extension, tagged with this machine and process
// (".qelsave-HOST-PID-N-NAME") so that a copy left by a process that died can
// be told from one being written.
std::string PartialName(const std::string& target) {
  const platform::PathParts parts = platform::SplitPath(target);
  const std::string tag =
      ".qelsave-" + platform::HostName() + "-" + std::to_string(platform::CurrentProcessId()) + "-";
  for (unsigned n = 0; n < 1000; ++n) {
    std::string name = parts.directory + tag + std::to_string(n) + "-" + parts.name;
    std::error_code ec;
    if (!std::filesystem::exists(name, ec)) return name;
  }
  return {};
}

// The partial copies, and the media writer's pending files of them
// ("..qelsave-….part"), that saves on this machine left in `directory` when
// their process died mid-way. Those of running processes, and of other
// machines sharing the folder, stay.
void PurgeDeadPartials(const std::string& directory) {
  const std::string tag = "qelsave-" + platform::HostName() + "-";
  for (const char* pattern : {".qelsave-*", "..qelsave-*"}) {
    for (const std::string& name : platform::FindFiles(directory, pattern)) {
      std::string_view rest(name);
      rest.remove_prefix(rest.starts_with("..") ? 2 : 1);
      if (!rest.starts_with(tag)) continue;
      rest.remove_prefix(tag.size());
      const size_t digits = rest.find_first_not_of("0123456789");
      if (digits == 0 || digits > 18 || digits == std::string_view::npos || rest[digits] != '-')
        continue;
      const int64_t pid = std::stoll(std::string(rest.substr(0, digits)));
      if (!platform::ProcessRunning(pid)) platform::DeleteFile(directory + name);
    }
  }
}

}  // namespace

bool HasRawExtension(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".raw";
}

void ReadMarkers(Document& doc, IExtraData& extra) {
  document::HistoryStep* step = doc.Current();
  if (!step) return;
  const int32_t sampleRate = doc.format.sampleRate;
  int32_t count = 0;
  extra.get_MarkersCount(&count);
  for (int32_t i = 0; i < count; ++i) {
    double start = 0, duration = 0;
    Bstr label, note, attributes;
    extra.get_MarkerPosition(i, &start);
    extra.get_MarkerLength(i, &duration);
    extra.get_MarkerLabel(i, label.Out());
    extra.get_MarkerNote(i, note.Out());
    extra.get_MarkerAttributes(i, attributes.Out());
    document::AddMarker(*step, doc.Frames(), Trunc(start * sampleRate / 1000.0),
                        Trunc(duration * sampleRate / 1000.0), std::u16string(label.view()),
                        std::u16string(note.view()), std::u16string(attributes.view()));
  }
  doc.RebuildMarkerLayout();
}

void WriteMarkers(const document::HistoryStep& step, int64_t from, int64_t to, int32_t sampleRate,
                  IExtraData& extra) {
  const double perMs = sampleRate / 1000.0;
  for (const document::Marker& m : step.markers) {
    if (m.position > to) break;  // list order: the first one past the range ends it
    const int64_t end = m.position + m.length;
    if (end < from) continue;
    const int64_t start = std::max(m.position, from);
    const int64_t length = std::min(m.length, to - start);
    extra.AddMarker((static_cast<double>(start - from) + 0.5) / perMs,
                    (static_cast<double>(length) + 0.5) / perMs, Bstr(m.label).get(),
                    Bstr(m.note).get(), Bstr(document::MarkerAttributeText(m)).get());
  }
}

ErrorNumber ReadMediaFile(Document& doc, OperationObserver& observer, IMediaFile& media,
                          const OpenRequest& request, OpenResult* result) {
  const std::string& name = request.name;
  Bstr wide = Bstr::FromUtf8(name);
  int32_t opened = 0;
  if (Failed(media.OpenFile(wide.get(), &opened))) return kErrFileAccess;
  if (opened != 0) {
    result->component = opened;
    return kErrNone;
  }
  media.SetAdditionalParam(Bstr(u"SWF_AUDIO").get(), Variant::Bool(true));
  int32_t videoTrack = request.videoTrack, audioTrack = request.audioTrack;
  int32_t videoCount = 0, audioCount = 0;
  media.get_VideoTracksCount(&videoCount);
  if (videoTrack >= videoCount) videoTrack = -1;
  media.put_VideoTrack(videoTrack);
  media.get_AudioTracksCount(&audioCount);
  if (audioCount < 1) return kErrFileFormat;
  if (audioTrack >= audioCount || audioTrack < 0) audioTrack = 0;
  media.put_AudioTrack(audioTrack);
  if (request.rawFormat) media.put_AudioFormat(request.rawFormat);

  ComPtr<IUnknown> formatObject;
  media.get_AudioFormat(formatObject.Out());
  result->audioFormat.Reset();
  if (!formatObject ||
      Failed(formatObject->QueryInterface(IAudioFormat::kIID, result->audioFormat.OutVoid())))
    return kErrFileFormat;
  ComPtr<IUnknown> videoObject;
  media.get_VideoFormat(videoObject.Out());
  result->videoFormat.Reset();
  if (videoObject) videoObject->QueryInterface(IVideoFormat::kIID, result->videoFormat.OutVoid());
  int32_t fileType = document::SourceInfo::kWaveFileType;
  media.get_FileType(&fileType);
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
  doc.outputFormat = {file.rate, file.channels, file.bits, file.mask};
  const DocumentFormat& wanted = request.wanted;
  const DocumentFormat f{wanted.sampleRate >= 1 ? wanted.sampleRate : file.rate,
                         wanted.channels >= 1 ? wanted.channels : file.channels,
                         wanted.sampleSize >= 1 ? wanted.sampleSize : file.bits,
                         wanted.channelsMask >= 1 ? wanted.channelsMask : file.mask};
  if (!(f == doc.outputFormat)) {
    // The reader converts to the document's format.
    ComPtr<IAudioFormat> target;
    if (Failed(Make(CLSID_AudioFormat, &target))) {
      observer.ComponentMissing(kCoreNotRegistered);
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
  doc.format = f;
  if (f.channels < 1 || f.sampleSize < 8) return kErrFileFormat;

  std::string store;
  document::CSampleStoreFile output;
  if (!document::MakeTempFileName(doc.TempDirectory(), &store) ||
      !output.Create(store, f.sampleRate, f.channels, f.sampleSize, f.channelsMask))
    return kErrMemory;
  const double totalMs = duration > 0 ? duration : 1.0;
  // Long documents get their peak overview folded in as the blocks arrive, so
  // the first picture needs no second pass over the file.
  observer.OverviewFoldBegin(f, static_cast<int64_t>(duration / 1000.0 * f.sampleRate));
  ErrorNumber error = kErrNone;
  double doneMs = 0;
  while (!doc.Cancelled()) {
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
    if (!output.Write(bytes, static_cast<size_t>(size))) {
      error = kErrMemory;
      break;
    }
    observer.OverviewFold(bytes, static_cast<size_t>(size));
    doneMs += static_cast<double>(size) / f.BlockAlign() / (f.sampleRate / 1000.0);
    const auto percent = static_cast<int32_t>(std::min(doneMs / totalMs, 1.0) * 0.999 * 100);
    observer.Progress(percent);
    observer.OpenProgress(percent);
  }
  const int64_t length = static_cast<int64_t>(output.DataSize());
  if (!output.Close() && error == kErrNone) error = kErrMemory;
  if (error == kErrNone && (length <= 0 || duration <= 0 || f.channels < 1)) error = kErrFileFormat;
  if (error != kErrNone) {
    observer.OverviewFoldEnd(false);
    platform::DeleteFile(store);
    return error;
  }
  doc.BuildChannelOrder();
  observer.Progress(100);

  doc.length = length;
  document::HistoryStep first;
  first.sampleFile = store;
  first.format = f;
  first.length = length;
  first.view.endView[0] = length;
  doc.history.TakeStep(std::move(first), opcode::kNone);
  doc.selectionLevel = 0;
  observer.OverviewFoldEnd(true);  // the first step keeps it, with its cache file
  observer.DocumentStarted();
  doc.source = document::SourceInfo{};
  doc.source.originalFileType = fileType;
  doc.source.hasVideo = videoTrack != -1;
  doc.source.originalFileName = Utf8ToUtf16(name);
  doc.source.audioTrack = audioTrack;
  doc.source.videoTrack = videoTrack;
  doc.source.duration = static_cast<double>(doc.ToFrames(length)) / (f.sampleRate / 1000.0);
  doc.RecountChannels();
  doc.RecomputeOperationMask();
  doc.markerLayout.clear();
  // Markers the file carries.
  ComPtr<IUnknown> extraObject;
  ComPtr<IExtraData> extra;
  if (Succeeded(media.get_ExtraData(extraObject.Out())) && extraObject &&
      Succeeded(extraObject->QueryInterface(IExtraData::kIID, extra.OutVoid())))
    ReadMarkers(doc, *extra);
  return kErrNone;
}

namespace {

// Writes the document's range [from, to) (bytes) through a writer whose file
// is created; the part after CreateFile of WriteMediaFile.
ErrorNumber WriteRange(Document& doc, OperationObserver& observer, IMediaFile& writer,
                       IAudioFormat& format, IMediaFile* videoSource, int64_t from, int64_t to) {
  const document::HistoryStep& step = *doc.Current();
  const DocumentFormat& f = doc.format;
  const int64_t align = std::max(f.BlockAlign(), 1);
  document::CSampleStoreFile source;
  if (!source.Open(step.sampleFile, document::kModeRead) || !source.Seek(from))
    return kErrFileAccess;
  ComPtr<IAudioFrameData> block;
  if (Failed(Make(CLSID_AudioFrameData, &block))) {
    observer.ComponentMissing(kCoreNotRegistered);
    return kErrNotInstalled;
  }
  const std::vector<uint8_t> record = WriteRecord(f);
  block->AllocateFormat(static_cast<int32_t>(record.size()));
  uint8_t* recordBytes = nullptr;
  block->GetFormat(&recordBytes);
  std::memcpy(recordBytes, record.data(), record.size());
  const int64_t blockBytes = int64_t{f.sampleRate} * align * kMaxBlockMs / 1000;
  block->AllocateBuffer(static_cast<int32_t>(blockBytes));
  ErrorNumber error = kErrNone;
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
  if (videoSource) nextPacket();
  int64_t at = from;
  // PCM that goes out as it is stored is handed over as a byte range of the
  // sample-store file, which the writer can copy without a buffer of ours.
  const bool direct = !videoSource && SameFormat(format, f);
  const Bstr storeName = Bstr::FromUtf8(step.sampleFile);
  while (at < to && !doc.Cancelled() && error == kErrNone) {
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
      if (source.LastError()) {
        // A failed read is no end of the audio: the file would be complete
        // to the eye and short of the rest.
        error = kErrFileAccess;
        break;
      }
      if (got == 0) break;
      block->put_DataSize(static_cast<int32_t>(got));
      block->put_TimeStamp(static_cast<double>((at - from) / align) / (f.sampleRate / 1000.0));
      if (Failed(writer.WriteAudio(block.get()))) {
        error = kErrFileAccess;
        break;
      }
    }
    at += static_cast<int64_t>(got);
    if (videoSource)
      writeVideoUpTo(static_cast<double>((at - from) / align) / (f.sampleRate / 1000.0));
    observer.Progress(static_cast<int32_t>(static_cast<double>(at - from) /
                                           static_cast<double>(std::max<int64_t>(to - from, 1)) *
                                           100));
    observer.PictureChanged();
  }
  if (videoSource && !doc.Cancelled()) writeVideoUpTo(std::numeric_limits<double>::infinity());
  return error;
}

}  // namespace

ErrorNumber WriteMediaFile(Document& doc, OperationObserver& observer, IMediaFile& writer,
                           const SaveRequest& request, HRESULT* component) {
  IAudioFormat* format = request.format ? request.format : request.documentFormat;
  if (!format) return kErrInvalidArgument;
  IVideoFormat* videoFormat = request.videoFormat;

  // With video: a second reader of the source hands out its video packets.
  ComPtr<IMediaFile> videoSource;
  ComPtr<IVideoFormat> sourceVideoFormat;
  if (request.withVideo) {
    if (Failed(Make(CLSID_VideoFile, &videoSource))) {
      observer.ComponentMissing(kMediaNotRegistered);
      return kErrNotInstalled;
    }
    int32_t opened = 0;
    if (Failed(videoSource->OpenFile(Bstr(doc.source.originalFileName).get(), &opened)) ||
        opened != 0)
      return kErrFileFormat;
    videoSource->put_AudioTrack(-1);
    videoSource->put_VideoTrack(doc.source.videoTrack);
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
  writer.put_FileType(request.fileType);
  writer.put_VideoTracksCount(request.withVideo ? 1 : 0);
  writer.put_AudioTracksCount(1);
  writer.put_AudioTrack(0);
  if (request.withVideo) {
    writer.put_VideoTrack(0);
    if (Failed(writer.put_VideoFormat(videoFormat))) return kErrInvalidArgument;
  }
  if (Failed(writer.put_AudioFormat(format)) || Failed(writer.put_Prepare(-1)))
    return kErrInvalidArgument;

  const document::HistoryStep& step = *doc.Current();
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  int64_t from = 0, to = doc.length;
  if (request.selectionOnly) {
    from = step.view.startSelect[step.view.zoom];
    to = step.view.endSelect[step.view.zoom];
  }
  // Markers of the saved range travel in the extra data (the host's object
  // when it set one, else one made for this save).
  ComPtr<IExtraData> extra(request.hostExtra);
  if (!extra && request.markersSaveList <= 0 && !step.markers.empty())
    Make(CLSID_ExtraData, &extra);
  if (extra) {
    extra->ClearMarkers();
    if (request.markersSaveList <= 0)
      WriteMarkers(step, from / align, to / align, doc.format.sampleRate, *extra);
    writer.put_ExtraData(extra.get());
  } else {
    writer.put_ExtraData(nullptr);
  }

  // The file is written beside its name and takes the name once complete.
  PurgeDeadPartials(platform::SplitPath(request.name).directory);
  const std::string partial = PartialName(request.name);
  if (partial.empty()) return kErrFileAccess;
  int32_t created = 0;
  if (Failed(writer.CreateFile(Bstr::FromUtf8(partial).get(), &created))) {
    platform::DeleteFile(partial);
    return kErrFileAccess;
  }
  if (created != 0) {
    platform::DeleteFile(partial);
    *component = created;
    return kErrNone;
  }
  ErrorNumber error = WriteRange(doc, observer, writer, *format, videoSource.get(), from, to);
  const bool cancelled = doc.Cancelled();
  doc.SetStatus(status::kIdle);
  if (Failed(writer.CloseFile()) && error == kErrNone) error = kErrFileAccess;
  if (error == kErrNone && !cancelled) {
    if (!platform::RenameFile(partial, request.name)) error = kErrFileAccess;
  }
  if (error != kErrNone || cancelled) platform::DeleteFile(partial);
  return error;
}

}  // namespace qel::editing

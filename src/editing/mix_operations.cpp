#include "editing/mix_operations.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>

#include "com/bstr.h"
#include "com/classtable.h"
#include "editing/clip_operations.h"
#include "editing/media_io.h"
#include "editing/wave_image.h"
#include "external/wave_record.h"
#include "pcm/pcm_convert.h"
#include "pcm/sample_io.h"
#include "platform/files.h"
#include "processing/operation_frame.h"

namespace qel::editing {

using com::ComPtr;
using com::HRESULT;
using com::IUnknown;
using document::CSampleStoreFile;
using document::Document;
using document::DocumentFormat;
using document::OperationObserver;
using processing::OperationFrame;

namespace {

// What each read of a media file asks for.
constexpr double kReadMs = 1000.0;

ErrorNumber FrameError(OperationFrame::Outcome outcome) {
  return outcome == OperationFrame::Outcome::kFailed ? kErrMemory : kErrNone;
}

bool Selected(const Document& doc) {
  const document::ViewStack* view = doc.View();
  return view && view->selected;
}

bool Finite(MixGains gains) {
  return std::isfinite(gains.document) && std::isfinite(gains.incoming);
}

// A product or sum in double, truncated toward zero into [lo, hi] (integer
// bounds, so clamping before the truncation gives the same value).
int64_t TruncClamped(double v, double lo, double hi) {
  return static_cast<int64_t>(std::clamp(v, lo, hi));
}

// One second of the document's bytes.
int64_t SecondBytes(const DocumentFormat& f) {
  return std::max<int64_t>(int64_t{f.sampleRate} * std::max(f.BlockAlign(), 1), 1);
}

// The operation flags Mix changes for a stereo clip, put back however the
// operation ends.
class SavedFlags {
 public:
  explicit SavedFlags(Document& doc) : doc_(doc), saved_(doc.channels.Save()) {}
  ~SavedFlags() { Restore(); }
  SavedFlags(const SavedFlags&) = delete;
  SavedFlags& operator=(const SavedFlags&) = delete;
  void Restore() {
    if (restored_) return;
    restored_ = true;
    doc_.channels.Restore(saved_);
    doc_.RecomputeOperationMask();
  }

 private:
  Document& doc_;
  document::ChannelFlags::Saved saved_;
  bool restored_ = false;
};

// The reader is closed however a read from it ends.
class ReaderCloser {
 public:
  explicit ReaderCloser(IMediaFile& reader) : reader_(reader) {}
  ~ReaderCloser() { reader_.CloseFile(); }
  ReaderCloser(const ReaderCloser&) = delete;
  ReaderCloser& operator=(const ReaderCloser&) = delete;

 private:
  IMediaFile& reader_;
};

// The media component's calls before reading, in the order the component
// expects: open, the raw input format, tracks, the file's format and length,
// and the document's format as the output format when the file's differs.
MediaOutcome PrepareReader(Document& doc, OperationObserver& observer, const MediaSource& source,
                           double* durationMs) {
  IMediaFile& reader = source.reader;
  int32_t opened = 0;
  const HRESULT hr = reader.OpenFile(com::Bstr::FromUtf8(source.name).get(), &opened);
  if (com::Failed(hr)) return {kErrNone, hr};
  if (opened != 0) return {kErrNone, opened};
  // From here on a failure leaves the reader closed again.
  auto fail = [&reader](MediaOutcome outcome) {
    reader.CloseFile();
    return outcome;
  };
  if (source.rawFormat && HasRawExtension(source.name)) reader.put_AudioFormat(source.rawFormat);
  reader.put_VideoTrack(-1);
  reader.put_AudioTrack(0);
  ComPtr<IUnknown> object;
  ComPtr<IAudioFormat> fileFormat;
  if (com::Failed(reader.get_AudioFormat(object.Out())) || !object ||
      com::Failed(object->QueryInterface(IAudioFormat::kIID, fileFormat.OutVoid())))
    return fail({kErrFileFormat, com::S_OK});
  DocumentFormat file;
  int32_t mask = 0;
  fileFormat->get_SampleRate(&file.sampleRate);
  fileFormat->get_SampleSize(&file.sampleSize);
  fileFormat->get_Channels(&file.channels);
  fileFormat->get_ChannelsMask(&mask);
  file.channelsMask = static_cast<uint32_t>(mask);
  if (file.sampleSize < 8) file.sampleSize = 16;
  *durationMs = 0;
  reader.get_Duration(durationMs);
  if (file == doc.format) return {};
  ComPtr<IAudioFormat> wanted;
  if (com::Failed(com::CoCreateInstance(CLSID_AudioFormat, nullptr, com::CLSCTX_INPROC_SERVER,
                                        IAudioFormat::kIID, wanted.OutVoid()))) {
    observer.ComponentMissing(kCoreNotRegistered);
    return fail({kErrNotInstalled, com::S_OK});
  }
  const DocumentFormat& f = doc.format;
  wanted->put_FormatTag(1);
  wanted->put_SampleRate(f.sampleRate);
  wanted->put_SampleSize(f.sampleSize);
  wanted->put_Channels(f.channels);
  wanted->put_ChannelsMask(static_cast<int32_t>(f.channelsMask));
  reader.put_Prepare(-1);
  if (const HRESULT put = reader.put_OutputAudioFormat(wanted.get()); com::Failed(put))
    return fail({kErrNone, put});
  return {};
}

// One block of decoded audio, held in the component's object.
struct DecodedBlock {
  ComPtr<IAudioFrameData> data;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  size_t used = 0;  // bytes of it already taken
  size_t Left() const { return size - used; }
};

// The next block of the reader in the document's format. False at the end of
// the audio, or when the read failed (*outcome then says why).
bool ReadBlock(IMediaFile& reader, const DocumentFormat& f, DecodedBlock* block,
               double* durationSum, MediaOutcome* outcome) {
  *block = DecodedBlock{};
  ComPtr<IUnknown> object;
  if (const HRESULT hr = reader.ReadAudio(kReadMs, object.Out()); com::Failed(hr)) {
    outcome->component = hr;
    return false;
  }
  if (!object || com::Failed(object->QueryInterface(IAudioFrameData::kIID, block->data.OutVoid())))
    return false;
  double duration = 0;
  block->data->get_Duration(&duration);
  *durationSum += duration;
  int32_t size = 0;
  uint8_t* bytes = nullptr;
  block->data->get_DataSize(&size);
  block->data->GetBuffer(&bytes);
  if (size < 2 || !bytes) return false;
  // The samples must be what the document holds: anything else would be
  // written as if it were.
  int32_t formatSize = 0;
  uint8_t* record = nullptr;
  block->data->get_FormatSize(&formatSize);
  block->data->GetFormat(&record);
  if (formatSize >= 16 && record) {
    const auto r = external::DecodeWaveRecord({record, static_cast<size_t>(formatSize)});
    if (!r || static_cast<int32_t>(r->samplesPerSec) != f.sampleRate || r->channels != f.channels ||
        r->bitsPerSample != f.sampleSize) {
      outcome->error = kErrAudioFormat;
      return false;
    }
  }
  const size_t align = static_cast<size_t>(std::max(f.BlockAlign(), 1));
  if (static_cast<size_t>(size) % align != 0) {
    outcome->error = kErrAudioFormat;
    return false;
  }
  block->bytes = bytes;
  block->size = static_cast<size_t>(size);
  return true;
}

void ReportFileProgress(const Document& doc, OperationObserver& observer, double doneMs,
                        double totalMs) {
  const double fraction = totalMs > 0 ? std::min(doneMs / totalMs, 0.999) : 0.999;
  observer.Progress(static_cast<int32_t>(fraction * doc.progressScale));
}

// How an operation reading a media file ends once its loop stopped: no step
// when cancelled or when anything failed, else the tail from tailFrom.
MediaOutcome EndFileOperation(OperationFrame& frame, bool written, MediaOutcome outcome,
                              int64_t tailFrom) {
  if (frame.Cancelled()) {
    frame.Abandon();
    return {};
  }
  if (!written) outcome.error = kErrMemory;
  if (outcome.error != kErrNone || com::Failed(outcome.component)) {
    frame.Abandon();
    return outcome;
  }
  outcome.error = FrameError(frame.Finish(tailFrom));
  return outcome;
}

}  // namespace

void MixSample(uint8_t* d, const uint8_t* p, int bits, MixGains g) {
  constexpr double kMax32 = 2147483647.0;
  switch (bits) {
    case 8: {
      // The stored bytes, offset and all.
      const double v = d[0] * g.document + p[0] * g.incoming;
      d[0] = static_cast<uint8_t>(TruncClamped(v, 0.0, 255.0));
      return;
    }
    case 16: {
      const double v =
          PCM_CODEC::Pcm<16>::Read(d) * g.document + PCM_CODEC::Pcm<16>::Read(p) * g.incoming;
      PCM_CODEC::Pcm<16>::Write(d, static_cast<int32_t>(TruncClamped(v, -32768.0, 32767.0)));
      return;
    }
    case 24: {
      // Each product is truncated on its own, in a range where the sum of two
      // cannot overflow.
      constexpr double kProduct = 4611686018427387904.0;  // 2^62
      const int64_t a =
          TruncClamped(PCM_CODEC::Pcm<24>::ReadWide(d) * g.document, -kProduct, kProduct);
      const int64_t b =
          TruncClamped(PCM_CODEC::Pcm<24>::ReadWide(p) * g.incoming, -kProduct, kProduct);
      const int64_t v = std::clamp<int64_t>(a + b, -2147483647, 2147483647);
      PCM_CODEC::Pcm<24>::WriteWide(d, static_cast<int32_t>(v));
      return;
    }
    case 32: {
      const double v =
          PCM_CODEC::Pcm<32>::Read(d) * g.document + PCM_CODEC::Pcm<32>::Read(p) * g.incoming;
      PCM_CODEC::Pcm<32>::Write(d, static_cast<int32_t>(TruncClamped(v, -kMax32, kMax32)));
      return;
    }
    default:
      return;
  }
}

void MixFrames(uint8_t* document, const uint8_t* incoming, size_t frames, int bits, int channels,
               int incomingChannels, std::span<const bool> mixed, MixGains gains) {
  const size_t bytes = static_cast<size_t>(bits / 8);
  const size_t align = bytes * static_cast<size_t>(channels);
  const size_t inAlign = bytes * static_cast<size_t>(incomingChannels);
  const bool mono = incomingChannels == 1;
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels && c < static_cast<int>(mixed.size()); ++c)
      if (mixed[static_cast<size_t>(c)])
        MixSample(document + f * align + static_cast<size_t>(c) * bytes,
                  incoming + f * inAlign + (mono ? 0 : static_cast<size_t>(c) * bytes), bits,
                  gains);
}

ErrorNumber Mix(Document& doc, OperationObserver& observer, MixGains gains) {
  document::HistoryStep* step = doc.Current();
  if (!step || !doc.Idle()) return kErrNone;
  if (!Finite(gains)) return kErrInvalidArgument;
  doc.progressScale = 95;
  const document::ViewStack& view = step->view;
  const int64_t limit = view.selected ? view.endSelect[view.zoom] : doc.length;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(doc.ClipboardFile(), ec)) return kErrFileAccess;
  CSampleStoreFile clip;
  if (!clip.Open(doc.ClipboardFile(), document::kModeRead)) return kErrMemory;
  const DocumentFormat format = doc.format;
  const DocumentFormat clipFormat{clip.SampleRate(), clip.Channels(), clip.SampleSize(),
                                  clip.ChannelsMask()};
  // A clip of several channels mixes into every channel; a mono one into the
  // enabled channels, converted to mono unless they are all enabled.
  const bool full = clipFormat.channels != 1 || doc.channels.OperationCount() == format.channels;
  const DocumentFormat wanted =
      full ? format : DocumentFormat{format.sampleRate, 1, format.sampleSize, 0};
  PCM_CODEC::CPcmConvert converter;
  bool convert = false;
  if (!ReadyClipConverter(doc, clipFormat, wanted, converter, &convert)) return kErrAudioFormat;

  SavedFlags flags(doc);
  OperationFrame frame(doc, observer, opcode::kMix);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone) return FrameError(began);
  if (clipFormat.channels != 1) {
    doc.channels.EnableAll(format.channels);
    doc.RecomputeOperationMask();
  }
  std::array<bool, document::kMaxChannels> mixed{};
  for (int c = 0; c < format.channels && c < document::kMaxChannels; ++c)
    mixed[static_cast<size_t>(c)] = doc.channels.IsOperated(c);

  CSampleStoreFile& source = frame.Source();
  const size_t align = static_cast<size_t>(format.BlockAlign());
  const size_t wantedAlign = static_cast<size_t>(wanted.BlockAlign());
  const size_t clipAlign = static_cast<size_t>(std::max(clipFormat.BlockAlign(), 1));
  const int64_t second = SecondBytes(format);
  // The clipboard bytes that make about one document block once converted.
  const double ratio = static_cast<double>(clipFormat.sampleRate) / format.sampleRate *
                       clipFormat.channels / format.channels * clipFormat.sampleSize /
                       format.sampleSize;
  const size_t rawBlock = std::max<size_t>(
      static_cast<size_t>(static_cast<double>(second) * ratio + 0.5) / clipAlign * clipAlign,
      clipAlign);
  std::vector<uint8_t> in, converted, kept;
  size_t convertedFrom = 0;  // converted bytes already mixed
  bool clipEnded = false, written = true;
  try {
    while (written && !frame.Cancelled()) {
      const int64_t room = limit - static_cast<int64_t>(source.Position());
      const size_t blockFrames =
          static_cast<size_t>(std::min(second, std::max<int64_t>(room, 0))) / align;
      if (blockFrames == 0) break;
      // Converted clipboard audio for one block; what a block leaves over is
      // mixed with the next.
      while (!clipEnded && (converted.size() - convertedFrom) / wantedAlign < blockFrames) {
        in.resize(rawBlock);
        const size_t got = clip.Read(in.data(), rawBlock) / clipAlign * clipAlign;
        if (got == 0) {
          clipEnded = true;
          break;
        }
        converted.erase(converted.begin(),
                        converted.begin() + static_cast<ptrdiff_t>(convertedFrom));
        convertedFrom = 0;
        if (convert) {
          const PCM_CODEC::ConvertedBlock c =
              converter.Convert(in.data(), static_cast<int64_t>(got));
          converted.insert(converted.end(), c.data, c.data + c.length);
        } else {
          converted.insert(converted.end(), in.begin(), in.begin() + static_cast<ptrdiff_t>(got));
        }
      }
      const size_t frames = std::min((converted.size() - convertedFrom) / wantedAlign, blockFrames);
      if (frames == 0) break;
      kept.resize(frames * align);
      const size_t have = source.Read(kept.data(), kept.size()) / align;
      if (have == 0) break;
      MixFrames(kept.data(), converted.data() + convertedFrom, have, format.sampleSize,
                format.channels, wanted.channels, mixed, gains);
      written = frame.Destination().Write(kept.data(), have * align);
      convertedFrom += have * wantedAlign;
      frame.Progress(static_cast<double>(source.Position()),
                     static_cast<double>(source.DataSize()));
      if (have < frames) break;
    }
  } catch (const std::bad_alloc&) {
    written = false;
  }
  // A read that failed ended the loop as the end of the data would.
  if (clip.LastError() || source.LastError()) written = false;
  clip.Close();
  flags.Restore();
  if (frame.Cancelled()) {
    frame.Abandon();
    return kErrNone;
  }
  if (!written) {
    frame.Abandon();
    return kErrMemory;
  }
  // The tail from where the mixing stopped: the length stays.
  return FrameError(frame.Finish(static_cast<int64_t>(source.Position())));
}

MediaOutcome MixFromFile(Document& doc, OperationObserver& observer, const MediaSource& media,
                         MixGains gains) {
  if (!doc.Current() || !doc.Idle()) return {};
  if (!Finite(gains)) return {kErrInvalidArgument, com::S_OK};
  doc.progressScale = 95;
  double totalMs = 0;
  if (MediaOutcome prepared = PrepareReader(doc, observer, media, &totalMs);
      prepared.error != kErrNone || com::Failed(prepared.component))
    return prepared;
  ReaderCloser closer(media.reader);
  OperationFrame frame(doc, observer, opcode::kMixFromFile);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone)
    return {FrameError(began), com::S_OK};
  const DocumentFormat format = doc.format;
  const int64_t end = frame.SelectionEnd();
  const int64_t second = SecondBytes(format);
  const size_t align = static_cast<size_t>(format.BlockAlign());
  std::array<bool, document::kMaxChannels> every{};
  every.fill(true);
  CSampleStoreFile& source = frame.Source();
  MediaOutcome outcome;
  DecodedBlock block;
  std::vector<uint8_t> kept;
  double doneMs = 0;
  bool written = true;
  while (written && !frame.Cancelled()) {
    const int64_t room = end - static_cast<int64_t>(source.Position());
    const size_t blockBytes = static_cast<size_t>(std::min(second, std::max<int64_t>(room, 0)));
    if (blockBytes < align) break;
    if (block.Left() == 0 && !ReadBlock(media.reader, format, &block, &doneMs, &outcome)) break;
    const size_t n = std::min(block.Left(), blockBytes) / align * align;
    kept.resize(n);
    const size_t got = source.Read(kept.data(), n) / align * align;
    if (got == 0) break;
    MixFrames(kept.data(), block.bytes + block.used, got / align, format.sampleSize,
              format.channels, format.channels, every, gains);
    written = frame.Destination().Write(kept.data(), got);
    block.used += got;
    ReportFileProgress(doc, observer, doneMs, totalMs);
  }
  // A failed read of the document is no end of the selection.
  if (source.LastError()) written = false;
  // The rest of the selection, and everything after it, stays as it was.
  return EndFileOperation(frame, written, outcome, static_cast<int64_t>(source.Position()));
}

MediaOutcome PasteFromFile(Document& doc, OperationObserver& observer, const MediaSource& media) {
  document::HistoryStep* step = doc.Current();
  if (!step || !doc.Idle()) return {};
  if (doc.source.hasVideo) return {kErrInvalidOperation, com::S_OK};
  doc.progressScale = 95;
  double totalMs = 0;
  if (MediaOutcome prepared = PrepareReader(doc, observer, media, &totalMs);
      prepared.error != kErrNone || com::Failed(prepared.component))
    return prepared;
  ReaderCloser closer(media.reader);
  OperationFrame frame(doc, observer, opcode::kPasteFromFile);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone)
    return {FrameError(began), com::S_OK};
  const DocumentFormat format = doc.format;
  MediaOutcome outcome;
  DecodedBlock block;
  double doneMs = 0;
  bool written = true;
  while (written && !frame.Cancelled() &&
         ReadBlock(media.reader, format, &block, &doneMs, &outcome)) {
    written = frame.Destination().Write(block.bytes, block.size);
    ReportFileProgress(doc, observer, doneMs, totalMs);
  }
  const bool selected = step->view.selected != 0;
  const int64_t tailFrom = selected ? frame.SelectionEnd() : frame.SelectionStart();
  // What was inserted ends up selected (also when undone to the step before).
  const int16_t wasSelected = step->view.selected;
  step->view.selected = 1;
  frame.SelectBeforeStep();
  outcome = EndFileOperation(frame, written, outcome, tailFrom);
  // No step taken (failed or cancelled): the step before keeps its own state.
  if (doc.Current() == step) step->view.selected = wasSelected;
  return outcome;
}

MediaOutcome PasteWaveImage(Document& doc, OperationObserver& observer, IMediaFile& reader,
                            std::span<const uint8_t> image) {
  if (!doc.Current() || !doc.Idle()) return {};
  if (doc.source.hasVideo) return {kErrInvalidOperation, com::S_OK};
  const std::string name =
      platform::WithTrailingSlash(platform::SystemTempDirectory()) + "QelClipBoardWindow.wav";
  platform::File file;
  size_t done = 0;
  const bool written = file.Open(name, platform::FileAccess::CreateWrite) &&
                       file.Write(image.data(), image.size(), &done) && file.Close();
  MediaOutcome outcome{kErrFileAccess, com::S_OK};
  if (written) outcome = PasteFromFile(doc, observer, {reader, name, nullptr});
  file.Close();
  platform::DeleteFile(name);
  return outcome;
}

ErrorNumber CopyWaveImage(Document& doc, OperationObserver& observer, std::vector<uint8_t>* image) {
  image->clear();
  if (!Selected(doc) || !doc.Idle()) return kErrNone;
  const document::HistoryStep& step = *doc.Current();
  const document::ViewStack& view = step.view;
  const int64_t start = view.startSelect[view.zoom];
  const int64_t total = view.endSelect[view.zoom] - start;
  const DocumentFormat format = doc.format;
  const std::vector<uint8_t> header =
      WaveImageHeader(ExchangeRecord(format), static_cast<uint64_t>(std::max<int64_t>(total, 0)));
  if (header.empty()) return kErrMemory;  // beyond what a wave image can hold
  doc.progressScale = 100;
  doc.SetStatus(status::kCopyToClipboard);
  // Ten seconds at a time, or one second when that covers the selection.
  const int64_t second = SecondBytes(format);
  const int64_t block = second >= total ? second : second * 10;
  CSampleStoreFile source;
  ErrorNumber error = kErrNone;
  try {
    image->reserve(header.size() + static_cast<size_t>(total) + 1);
    image->assign(header.begin(), header.end());
    if (!source.Open(step.sampleFile, document::kModeRead) || !source.Seek(start)) {
      error = kErrMemory;
    } else {
      int64_t done = 0;
      while (done < total && !doc.Cancelled()) {
        const size_t n = static_cast<size_t>(std::min(block, total - done));
        const size_t at = image->size();
        image->resize(at + n);
        if (source.Read(image->data() + at, n) != n) {
          error = kErrMemory;
          break;
        }
        done += static_cast<int64_t>(n);
        observer.Progress(static_cast<int32_t>(
            std::min(static_cast<double>(done) / static_cast<double>(total), 1.0) * 100));
      }
      if (total & 1) image->push_back(0);  // the pad byte of an odd chunk
    }
  } catch (const std::bad_alloc&) {
    error = kErrMemory;
  }
  source.Close();
  if (error != kErrNone || doc.Cancelled()) image->clear();
  doc.SetStatus(status::kIdle);
  observer.OperationEnded();
  return error;
}

namespace {

// Up to `frames` frames from byte `start` on, of at most `available`, behind the
// exchange record of the document's format.
ErrorNumber FillAudioArray(Document& doc, int64_t start, int64_t available, int32_t frames,
                           IDataBuffer& buffer) {
  const document::HistoryStep* step = doc.Current();
  if (!step) return kErrNone;
  const DocumentFormat format = doc.format;
  const int64_t align = std::max(format.BlockAlign(), 1);
  CSampleStoreFile source;
  if (!source.Open(step->sampleFile, document::kModeRead)) return kErrMemory;
  const std::vector<uint8_t> record = ExchangeRecord(format);
  // No more is asked of the buffer than the document holds there, nor than
  // its 32-bit size can count.
  const int64_t fits =
      (std::numeric_limits<int32_t>::max() - static_cast<int64_t>(record.size())) / align;
  const int64_t count = std::clamp<int64_t>(frames, 0, std::min(available, fits));
  const int32_t previous = doc.Status();  // a paused playback stays paused
  doc.SetStatus(status::kCopying);
  ErrorNumber error = kErrNone;
  uint8_t* bytes = nullptr;
  const auto size = static_cast<int32_t>(static_cast<int64_t>(record.size()) + count * align);
  if (com::Failed(buffer.AllocateBuffer(size)) || com::Failed(buffer.GetBuffer(&bytes)) || !bytes) {
    error = kErrMemory;
  } else {
    std::memcpy(bytes, record.data(), record.size());
    size_t got = 0;
    if (count > 0 && source.Seek(start))
      got = source.Read(bytes + record.size(), static_cast<size_t>(count * align));
    buffer.put_DataSize(static_cast<int32_t>(record.size() + got));
  }
  source.Close();
  doc.SetStatus(previous);
  return error;
}

}  // namespace

ErrorNumber GetAudioArray(Document& doc, int32_t frames, IDataBuffer& buffer) {
  const document::HistoryStep* step = doc.Current();
  if (!step) return kErrNone;
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  const int64_t start = step->view.startSelect[step->view.zoom];
  return FillAudioArray(doc, start, std::max<int64_t>(doc.length - start, 0) / align, frames,
                        buffer);
}

ErrorNumber GetRecordedAudio(Document& doc, int64_t end, int32_t frames, IDataBuffer& buffer) {
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  const int64_t count = std::clamp<int64_t>(frames, 0, std::max<int64_t>(end, 0) / align);
  return FillAudioArray(doc, end - count * align, count, frames, buffer);
}

ErrorNumber PutAudioArray(Document& doc, OperationObserver& observer,
                          std::span<const uint8_t> bytes) {
  if (!doc.Current() || !doc.Idle() || bytes.empty()) return kErrNone;
  const size_t align = static_cast<size_t>(std::max(doc.format.BlockAlign(), 1));
  if (bytes.size() % align != 0) return kErrInvalidArgument;
  doc.progressScale = 95;
  const bool selected = Selected(doc);
  OperationFrame frame(doc, observer, opcode::kPutAudioArray);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone) return FrameError(began);
  doc.SetStatus(status::kCopying);
  if (!frame.Destination().Write(bytes.data(), bytes.size())) {
    frame.Abandon();
    return kErrMemory;
  }
  // Over the selection the bytes replace it; at a cursor they are inserted.
  return FrameError(frame.Finish(selected ? frame.SelectionEnd() : frame.SelectionStart()));
}

}  // namespace qel::editing

#include "editing/clip_operations.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <vector>

#include "pcm/pcm_convert.h"
#include "pcm/sample_io.h"
#include "platform/files.h"
#include "processing/operation_frame.h"

namespace qel::editing {

using document::CSampleStoreFile;
using document::Document;
using document::DocumentFormat;
using document::OperationObserver;
using processing::CopyBlockBytes;
using processing::CopyInBlocks;
using processing::OperationFrame;

namespace {

// What a frame that could not begin answers: a memory error when the head
// could not be written, nothing when the host cancelled.
ErrorNumber BeginError(OperationFrame::Outcome outcome) {
  return outcome == OperationFrame::Outcome::kFailed ? kErrMemory : kErrNone;
}

ErrorNumber FinishError(OperationFrame::Outcome outcome) {
  return outcome == OperationFrame::Outcome::kFailed ? kErrMemory : kErrNone;
}

// A file written beside its final name and renamed into place on success.
class ReplacedFile {
 public:
  explicit ReplacedFile(std::string target) : target_(std::move(target)), temp_(target_ + ".new") {}
  ~ReplacedFile() {
    file.Close();
    if (!committed_) platform::DeleteFile(temp_);
  }
  bool Create(const DocumentFormat& f) {
    return file.Create(temp_, f.sampleRate, f.channels, f.sampleSize, f.channelsMask);
  }
  bool Commit() {
    if (file.IsOpen() && !file.Close()) return false;
    committed_ = platform::RenameFile(temp_, target_);
    return committed_;
  }
  // Commit for a change that may still fail: the previous file steps aside
  // and comes back with Revert, or goes with Keep.
  bool CommitRevertibly() {
    if (file.IsOpen() && !file.Close()) return false;
    std::error_code ec;
    hadPrevious_ = std::filesystem::exists(target_, ec);
    if (hadPrevious_ && !platform::RenameFile(target_, previous_)) return false;
    if (!Commit()) {
      Revert();
      return false;
    }
    return true;
  }
  void Revert() {
    if (hadPrevious_)
      platform::RenameFile(previous_, target_);
    else if (committed_)
      platform::DeleteFile(target_);
    hadPrevious_ = committed_ = false;
  }
  void Keep() {
    if (hadPrevious_) platform::DeleteFile(previous_);
    hadPrevious_ = false;
  }
  CSampleStoreFile file;

 private:
  std::string target_, temp_, previous_ = target_ + ".old";
  bool committed_ = false;
  bool hadPrevious_ = false;
};

// Progress of a copy of `total` bytes on the document's progress scale.
auto ScaledProgress(const Document& doc, OperationObserver& observer, int64_t total) {
  return [&doc, &observer, total](int64_t done) {
    observer.Progress(static_cast<int32_t>(
        std::min(static_cast<double>(done) / static_cast<double>(total), 1.0) * doc.progressScale));
  };
}

bool Selected(const Document& doc) {
  const document::ViewStack* view = doc.View();
  return view && view->selected;
}

}  // namespace

ErrorNumber Copy(Document& doc, OperationObserver& observer) {
  if (!Selected(doc) || !doc.Idle()) return kErrNone;
  const document::HistoryStep& step = *doc.Current();
  const document::ViewStack& view = step.view;
  const int64_t start = view.startSelect[view.zoom], end = view.endSelect[view.zoom];
  const DocumentFormat format = doc.format;
  doc.SetStatus(status::kCopying);
  doc.progressScale = 100;

  CSampleStoreFile source;
  ReplacedFile clip(doc.ClipboardFile());
  // One channel of several enabled: only that channel goes to the clipboard.
  const int only = doc.channels.OnlyOperated(format.channels);
  DocumentFormat clipFormat = format;
  if (only >= 0) clipFormat = {format.sampleRate, 1, format.sampleSize, 0};

  ErrorNumber error = kErrNone;
  if (!source.Open(step.sampleFile, document::kModeRead) || !clip.Create(clipFormat) ||
      !source.Seek(start)) {
    error = kErrMemory;
  } else {
    const int64_t total = end - start;
    auto progress = ScaledProgress(doc, observer, total);
    auto cancelled = [&] { return doc.Cancelled(); };
    if (only < 0) {
      if (!CopyInBlocks(source, static_cast<uint64_t>(start), clip.file, total, format, progress,
                        cancelled))
        error = kErrMemory;
    } else {
      // One channel out of every frame.
      const uint64_t block = CopyBlockBytes(format, total);
      const int bytes = format.sampleSize / 8;
      const int align = format.BlockAlign();
      std::vector<uint8_t> buffer;
      int64_t done = 0;
      while (done < total && !cancelled() && error == kErrNone) {
        const uint64_t n = std::min<uint64_t>(block, static_cast<uint64_t>(total - done));
        buffer.resize(n);
        const size_t got = source.Read(buffer.data(), n);
        const size_t frames = got / static_cast<size_t>(align);
        for (size_t f = 0; f < frames; ++f)
          std::memmove(&buffer[f * bytes], &buffer[f * align + only * bytes], bytes);
        if (got != n || !clip.file.Write(buffer.data(), frames * bytes)) error = kErrMemory;
        done += static_cast<int64_t>(n);
        progress(done);
      }
    }
    if (error == kErrNone && !doc.Cancelled() && !clip.Commit()) error = kErrMemory;
  }
  doc.SetStatus(status::kIdle);
  source.Close();
  observer.OperationEnded();
  return error;
}

ErrorNumber DeleteSelect(Document& doc, OperationObserver& observer) {
  if (!Selected(doc) || !doc.Idle()) return kErrNone;
  if (doc.source.hasVideo) return kErrInvalidOperation;
  doc.progressScale = 95;
  OperationFrame frame(doc, observer, opcode::kDeleteSelect);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone) return BeginError(began);
  // The selected bytes are simply left out.
  return FinishError(frame.Finish(frame.SelectionEnd()));
}

ErrorNumber Cut(Document& doc, OperationObserver& observer) {
  if (!Selected(doc) || !doc.Idle()) return kErrNone;
  if (doc.source.hasVideo) return kErrInvalidOperation;
  doc.SetStatus(opcode::kCut);
  doc.progressScale = 50;
  const document::HistoryStep& step = *doc.Current();
  const int64_t start = step.view.startSelect[step.view.zoom];
  const int64_t end = step.view.endSelect[step.view.zoom];
  // The whole selection, every channel, is copied for the clipboard first; it
  // replaces the clipboard only once the document without it is written, so a
  // cut that fails leaves both as they were.
  CSampleStoreFile source;
  ReplacedFile clip(doc.ClipboardFile());
  const int64_t total = end - start;
  const bool ok =
      source.Open(step.sampleFile, document::kModeRead) && clip.Create(doc.format) &&
      CopyInBlocks(source, static_cast<uint64_t>(start), clip.file, total, doc.format,
                   ScaledProgress(doc, observer, total), [&] { return doc.Cancelled(); });
  source.Close();
  if (doc.Cancelled()) {  // cancelled while copying to the clipboard
    observer.OperationEnded();
    return kErrNone;
  }
  if (!ok || !clip.file.Close()) {
    doc.SetStatus(status::kIdle);
    observer.OperationEnded();
    return kErrMemory;
  }
  OperationFrame frame(doc, observer, opcode::kCut);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone) return BeginError(began);
  // The clipboard takes the cut audio before the step, the previous clipboard
  // kept aside: a cut whose step then fails puts it back, so that document and
  // clipboard are both as before or both as after.
  if (!clip.CommitRevertibly()) {
    frame.Abandon();
    return kErrMemory;
  }
  const auto finished = frame.Finish(frame.SelectionEnd());
  if (finished != OperationFrame::Outcome::kDone) {
    clip.Revert();
    return FinishError(finished);
  }
  clip.Keep();
  observer.OperationEnded();  // the method's own end, after the step's
  return kErrNone;
}

ErrorNumber Trim(Document& doc, OperationObserver& observer) {
  if (!Selected(doc) || !doc.Idle()) return kErrNone;
  if (doc.channels.OperationCount() < 1) return kErrNone;
  if (doc.source.hasVideo) return kErrInvalidOperation;
  doc.progressScale = 100;
  OperationFrame frame(doc, observer, opcode::kTrim);
  // No head: the new document is the selection alone.
  if (auto began = frame.Begin(doc.format, 0); began != OperationFrame::Outcome::kDone)
    return BeginError(began);
  const int64_t start = frame.SelectionStart();
  const int64_t total = frame.SelectionEnd() - start;
  if (!CopyInBlocks(
          frame.Source(), static_cast<uint64_t>(start), frame.Destination(), total, doc.format,
          [&](int64_t done) {
            observer.Progress(static_cast<int32_t>(static_cast<double>(done) /
                                                   static_cast<double>(total) * 100.0));
          },
          [&] { return doc.Cancelled(); })) {
    frame.Abandon();
    return kErrMemory;
  }
  document::ViewStack view;
  view.selected = 1;  // everything that remains is selected
  // Trim shows its result at once, also inside a batch.
  const bool batch = doc.batch;
  doc.batch = false;
  const auto finished = frame.FinishWhole(view);
  doc.batch = batch;
  return FinishError(finished);
}

ErrorNumber Paste(Document& doc, OperationObserver& observer) {
  document::HistoryStep* step = doc.Current();
  if (!step || !doc.Idle()) return kErrNone;
  if (doc.source.hasVideo) return kErrInvalidOperation;
  doc.progressScale = 95;
  const std::string& clipboardFile = doc.ClipboardFile();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(clipboardFile, ec)) return kErrFileAccess;
  CSampleStoreFile clip;
  if (!clip.Open(clipboardFile, document::kModeRead)) return kErrMemory;
  const DocumentFormat format = doc.format;
  const DocumentFormat clipFormat{clip.SampleRate(), clip.Channels(), clip.SampleSize(),
                                  clip.ChannelsMask()};
  const bool overlay = clipFormat.channels == 1 && format.channels != doc.channels.OperationCount();
  // What the clipboard becomes on its way in: mono at the document's rate and
  // size for overlaying, else the document's whole format.
  const DocumentFormat wanted =
      overlay ? DocumentFormat{format.sampleRate, 1, format.sampleSize, 0} : format;
  PCM_CODEC::CPcmConvert converter;
  bool convert = false;
  if (!ReadyClipConverter(doc, clipFormat, wanted, converter, &convert)) return kErrAudioFormat;

  const document::ViewStack& view = step->view;
  const bool selected = view.selected != 0;
  const int64_t limit = selected ? view.endSelect[view.zoom] : doc.length;

  OperationFrame frame(doc, observer, opcode::kPaste);
  if (auto began = frame.Begin(); began != OperationFrame::Outcome::kDone) return BeginError(began);
  doc.SetStatus(opcode::kPaste);
  CSampleStoreFile& source = frame.Source();
  CSampleStoreFile& target = frame.Destination();
  const int bits = format.sampleSize;
  const int bytes = bits / 8;
  const int align = format.BlockAlign();
  const int clipAlign = clipFormat.BlockAlign();
  const int wantedAlign = wanted.BlockAlign();
  const double clipTotal = static_cast<double>(clip.DataSize());
  // The clipboard's block holds what makes one document block after conversion.
  const uint64_t docBlock = CopyBlockBytes(format, static_cast<int64_t>(clip.DataSize()));
  const uint64_t rawBlock = static_cast<uint64_t>(
      static_cast<double>(docBlock) * clipFormat.sampleRate / format.sampleRate *
          clipFormat.sampleSize / format.sampleSize * clipFormat.channels / format.channels +
      0.5);
  const uint64_t block = std::max<uint64_t>(rawBlock / clipAlign * clipAlign, clipAlign);
  std::vector<uint8_t> in, ahead, kept;
  bool ok = true;
  // The next clipboard block in the wanted format; empty at the end.
  auto readClip = [&]() {
    in.resize(block);
    const size_t got = clip.Read(in.data(), block) / clipAlign * clipAlign;
    in.resize(got);
    if (convert && got > 0) {
      PCM_CODEC::ConvertedBlock c = converter.Convert(in.data(), static_cast<int64_t>(got));
      if (c.data != in.data()) in.assign(c.data, c.data + c.length);
    }
    return !in.empty();
  };
  auto reportProgress = [&] {
    frame.Progress(clipTotal - static_cast<double>(clip.DataSize() - clip.Position()), clipTotal);
  };

  if (overlay) {
    // The mono clip goes over every enabled channel; the length stays.
    while (ok && !doc.Cancelled() && static_cast<int64_t>(source.Position()) < limit) {
      if (!readClip()) break;
      const int64_t room = (limit - static_cast<int64_t>(source.Position())) / align;
      const size_t frames = std::min<size_t>(in.size() / wantedAlign, static_cast<size_t>(room));
      kept.resize(frames * align);
      const size_t have = source.Read(kept.data(), kept.size()) / align;
      for (size_t f = 0; f < have; ++f)
        for (int c = 0; c < format.channels; ++c)
          if (doc.channels.IsOperated(c))
            std::memcpy(&kept[f * align + c * bytes], &in[f * wantedAlign], bytes);
      ok = target.Write(kept.data(), have * align);
      reportProgress();
      if (have < frames) break;
    }
  } else {
    // Insert: with smoothing, the document after the insertion point fades out
    // under the start of the pasted audio.
    if (doc.smoothing.enabled) {
      const int64_t rate = format.sampleRate;
      const int64_t ms = static_cast<int64_t>(doc.smoothing.beginMs);
      const int64_t frames = (rate * ms + 500) / 1000;
      ahead.resize(static_cast<size_t>(std::max<int64_t>(frames, 0)) * align);
      ahead.resize(source.Read(ahead.data(), ahead.size()) / align * align);
    }
    const uint64_t aheadFrom = source.Position() - ahead.size();
    bool first = true;
    while (ok && !doc.Cancelled()) {
      if (!readClip()) break;
      if (first && !ahead.empty() && in.size() < ahead.size()) {
        // Too short to fade over: the document after the insertion point is
        // kept whole rather than dropped.
        ok = source.Seek(static_cast<int64_t>(aheadFrom));
        ahead.clear();
      }
      if (first && !ahead.empty()) {
        const size_t fadeFrames = ahead.size() / align;
        for (size_t k = 0; k < fadeFrames; ++k) {
          const double w = std::sin(static_cast<double>(k) * std::numbers::pi /
                                    (2.0 * static_cast<double>(fadeFrames)));
          for (int c = 0; c < format.channels; ++c) {
            uint8_t* p = &in[k * align + c * bytes];
            // 8-bit samples are faded as stored (unsigned), the rest signed.
            const int32_t offset = bytes == 1 ? 128 : 0;
            const double pasted = PCM_CODEC::ReadSample(p, bits) + offset;
            const double old = PCM_CODEC::ReadSample(&ahead[k * align + c * bytes], bits) + offset;
            int32_t v;
            if (bytes >= 3)
              v = static_cast<int32_t>(static_cast<int64_t>(pasted * w) +
                                       static_cast<int64_t>(old * (1.0 - w)));
            else
              v = static_cast<int32_t>(pasted * w + old * (1.0 - w));
            PCM_CODEC::WriteSample(p, bits, v - offset);
          }
        }
      }
      first = false;
      ok = target.Write(in.data(), in.size());
      reportProgress();
    }
  }
  // A read that failed looks like the end of the data to the loops above.
  if (clip.LastError() || source.LastError()) ok = false;
  clip.Close();
  if (doc.Cancelled()) {
    frame.Abandon();
    return kErrNone;
  }
  if (ok && clipTotal == 0) {
    // An empty clipboard inserts nothing: no step, and the audio read ahead
    // for the fade is not dropped with it.
    frame.Abandon();
    return kErrNone;
  }
  if (!ok) {
    frame.Abandon();
    return kErrMemory;
  }
  doc.SetStatus(status::kIdle);
  // The pasted audio ends up selected (also when undone to the step before).
  const int16_t wasSelected = step->view.selected;
  step->view.selected = 1;
  frame.SelectBeforeStep();
  const auto finished = frame.Finish(selected ? limit : static_cast<int64_t>(source.Position()));
  if (finished != OperationFrame::Outcome::kDone) step->view.selected = wasSelected;
  return FinishError(finished);
}

bool ReadyClipConverter(const Document& doc, const DocumentFormat& from, const DocumentFormat& to,
                        PCM_CODEC::CPcmConvert& converter, bool* needed) {
  *needed = !(from.sampleRate == to.sampleRate && from.channels == to.channels &&
              from.sampleSize == to.sampleSize);
  if (!*needed) return true;
  converter.Configure(doc.convertSettings);
  converter.SetInputFormat(from.sampleRate, from.channels, from.sampleSize, from.channelsMask);
  converter.SetOutputFormat(to.sampleRate, to.channels, to.sampleSize, to.channelsMask);
  return converter.Init();
}

}  // namespace qel::editing

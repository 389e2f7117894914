// Copy, Cut, Paste, DeleteSelect and Trim: audio between the document and the
// control clipboard file, or out of the document. Every change runs in the
// operation frame; the clipboard file is written beside its final name and
// renamed, so a failed or cancelled copy leaves the previous clipboard whole.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <vector>

#include "core/audio_editor.h"
#include "document/temp_names.h"
#include "pcm/pcm_convert.h"
#include "platform/files.h"
#include "processing/operation_frame.h"

namespace qel {

using namespace com;

namespace {

// One sample of any stored size as a number (8-bit stays unsigned, as stored).
int32_t LoadSample(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1:
      return p[0];
    case 2:
      return static_cast<int16_t>(p[0] | (p[1] << 8));
    case 3:
      return static_cast<int32_t>((uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) |
                                  (uint32_t{p[2]} << 24)) >>
             8;
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

void StoreSample(uint8_t* p, int bytes, int32_t v) {
  switch (bytes) {
    case 1:
      p[0] = static_cast<uint8_t>(v);
      break;
    case 2:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      break;
    case 3:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      break;
    default:
      std::memcpy(p, &v, 4);
  }
}

// Begins the frame; when it could not begin (no head copy: a memory error; or
// cancelled), *result is what the member answers.
bool Began(OperationFrame& frame, HRESULT* result) {
  switch (frame.Begin()) {
    case OperationFrame::Outcome::kFailed:
      *result = RaiseError(kErrMemory);
      return false;
    case OperationFrame::Outcome::kCancelled:
      *result = S_OK;
      return false;
    case OperationFrame::Outcome::kDone:
      break;
  }
  return true;
}

// A file written beside its final name and renamed into place on success.
class ReplacedFile {
 public:
  explicit ReplacedFile(std::string target) : target_(std::move(target)), temp_(target_ + ".new") {}
  ~ReplacedFile() {
    file.Close();
    if (!committed_) platform::DeleteFile(temp_);
  }
  bool Create(const document::DocumentFormat& f) {
    return file.Create(temp_, f.sampleRate, f.channels, f.sampleSize, f.channelsMask);
  }
  bool Commit() {
    if (!file.Close()) return false;
    std::error_code ec;
    std::filesystem::rename(temp_, target_, ec);
    committed_ = !ec;
    return committed_;
  }
  document::CSampleStoreFile file;

 private:
  std::string target_, temp_;
  bool committed_ = false;
};

}  // namespace

HRESULT CAudioEditor::Copy() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || status_ != status::kIdle || !step->view.selected) return S_OK;
  const document::ViewStack& view = step->view;
  const int64_t start = view.startSelect[view.zoom], end = view.endSelect[view.zoom];
  status_ = status::kCopying;
  progressScale_ = 100;

  document::CSampleStoreFile source;
  ReplacedFile clip(clipboardFile_);
  // One channel of several enabled: only that channel goes to the clipboard.
  int only = -1;
  if (channels_->OperationCount() == 1 && format_.channels > 1)
    for (int c = 0; c < format_.channels; ++c)
      if (channels_->OperationEnabled(c)) only = c;
  document::DocumentFormat clipFormat = format_;
  if (only >= 0) clipFormat = {format_.sampleRate, 1, format_.sampleSize, 0};

  int32_t error = kErrNone;
  if (!source.Open(step->sampleFile, document::kModeRead) || !clip.Create(clipFormat) ||
      !source.Seek(start)) {
    error = kErrMemory;
  } else {
    const int64_t total = end - start;
    auto progress = [&](int64_t done) {
      sender_.BlockOperation(static_cast<int32_t>(
          std::min(static_cast<double>(done) / static_cast<double>(total), 1.0) * progressScale_));
    };
    auto cancelled = [&] { return status_ == status::kIdle; };
    if (only < 0) {
      if (!CopyInBlocks(source, static_cast<uint64_t>(start), clip.file, total, format_, progress,
                        cancelled))
        error = kErrMemory;
    } else {
      // One channel out of every frame.
      const uint64_t block = CopyBlockBytes(format_, total);
      const int bytes = format_.sampleSize / 8;
      const int align = format_.BlockAlign();
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
    if (error == kErrNone && status_ != status::kIdle && !clip.Commit()) error = kErrMemory;
  }
  status_ = status::kIdle;
  source.Close();
  sender_.EndOperation();
  return RaiseError(error);
}

HRESULT CAudioEditor::DeleteSelect() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || status_ != status::kIdle || !step->view.selected) return S_OK;
  if (fileInfo_->hasVideo) return RaiseError(kErrInvalidOperation);
  progressScale_ = 95;
  OperationFrame frame(*this, opcode::kDeleteSelect);
  if (HRESULT hr = S_OK; !Began(frame, &hr)) return hr;
  // The selected bytes are simply left out.
  frame.Finish(frame.SelectionEnd());
  return S_OK;
}

HRESULT CAudioEditor::Cut() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || status_ != status::kIdle || !step->view.selected) return S_OK;
  if (fileInfo_->hasVideo) return RaiseError(kErrInvalidOperation);
  status_ = opcode::kCut;
  progressScale_ = 50;
  const document::ViewStack& view = step->view;
  const int64_t start = view.startSelect[view.zoom], end = view.endSelect[view.zoom];
  {
    // The whole selection, every channel, goes to the clipboard first.
    document::CSampleStoreFile source;
    ReplacedFile clip(clipboardFile_);
    const int64_t total = end - start;
    bool ok = source.Open(step->sampleFile, document::kModeRead) && clip.Create(format_) &&
              CopyInBlocks(
                  source, static_cast<uint64_t>(start), clip.file, total, format_,
                  [&](int64_t done) {
                    sender_.BlockOperation(static_cast<int32_t>(
                        std::min(static_cast<double>(done) / static_cast<double>(total), 1.0) *
                        progressScale_));
                  },
                  [&] { return status_ == status::kIdle; });
    if (status_ == status::kIdle) {  // cancelled while copying to the clipboard
      sender_.EndOperation();
      return S_OK;
    }
    if (!ok || !clip.Commit()) {
      status_ = status::kIdle;
      sender_.EndOperation();
      return RaiseError(kErrMemory);
    }
  }
  OperationFrame frame(*this, opcode::kCut);
  if (HRESULT hr = S_OK; !Began(frame, &hr)) return hr;
  if (frame.Finish(frame.SelectionEnd()) == OperationFrame::Outcome::kDone)
    sender_.EndOperation();  // the method's own end, after the step's
  return S_OK;
}

HRESULT CAudioEditor::Trim() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || status_ != status::kIdle || !step->view.selected) return S_OK;
  if (channels_->OperationCount() < 1) return S_OK;
  if (fileInfo_->hasVideo) return RaiseError(kErrInvalidOperation);
  status_ = opcode::kTrim;
  progressScale_ = 100;
  const document::HistoryStep previous = *step;
  const int64_t start = previous.view.startSelect[previous.view.zoom];
  const int64_t total = previous.view.endSelect[previous.view.zoom] - start;

  std::string name;
  document::CSampleStoreFile source, target;
  bool ok = document::MakeTempFileName(tempDirectory_, &name) &&
            source.Open(previous.sampleFile, document::kModeRead) &&
            target.Create(name, format_.sampleRate, format_.channels, format_.sampleSize,
                          format_.channelsMask);
  ok = ok && CopyInBlocks(
                 source, static_cast<uint64_t>(start), target, total, format_,
                 [&](int64_t done) {
                   sender_.BlockOperation(static_cast<int32_t>(static_cast<double>(done) /
                                                               static_cast<double>(total) * 100.0));
                 },
                 [&] { return status_ == status::kIdle; });
  source.Close();
  const int64_t length = static_cast<int64_t>(target.DataSize());
  ok = target.Close() && ok;
  if (!ok || status_ == status::kIdle) {
    // Failure or cancellation: the document stays, and Trim still answers S_OK.
    if (!name.empty()) platform::DeleteFile(name);
    status_ = status::kIdle;
    sender_.EndOperation();
    return S_OK;
  }
  document::HistoryStep next;
  next.sampleFile = name;
  next.format = format_;
  next.length = length;
  next.view.endView[0] = length;
  next.view.endSelect[0] = length;
  next.view.selected = 1;  // everything that remains is selected
  position_->History().TakeStep(std::move(next), opcode::kTrim);
  markers_->Carry(previous, *position_->History().Current());
  status_ = status::kIdle;
  // Trim refreshes at once, also inside a batch.
  const bool batch = batch_;
  batch_ = false;
  AdoptCurrentStep();
  batch_ = batch;
  sender_.EndOperation();
  return S_OK;
}

HRESULT CAudioEditor::Paste() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || status_ != status::kIdle) return S_OK;
  if (fileInfo_->hasVideo) return RaiseError(kErrInvalidOperation);
  progressScale_ = 95;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(clipboardFile_, ec)) return RaiseError(kErrFileAccess);
  document::CSampleStoreFile clip;
  if (!clip.Open(clipboardFile_, document::kModeRead)) return RaiseError(kErrMemory);
  const document::DocumentFormat clipFormat{clip.SampleRate(), clip.Channels(), clip.SampleSize(),
                                            clip.ChannelsMask()};
  const bool overlay = clipFormat.channels == 1 && format_.channels != channels_->OperationCount();
  // What the clipboard becomes on its way in: mono at the document's rate and
  // size for overlaying, else the document's whole format.
  const document::DocumentFormat wanted =
      overlay ? document::DocumentFormat{format_.sampleRate, 1, format_.sampleSize, 0} : format_;
  PCM_CODEC::CPcmConvert converter;
  const bool convert =
      !(clipFormat.sampleRate == wanted.sampleRate && clipFormat.channels == wanted.channels &&
        clipFormat.sampleSize == wanted.sampleSize);
  if (convert) {
    converter.Configure(convert_->Settings());
    converter.SetInputFormat(clipFormat.sampleRate, clipFormat.channels, clipFormat.sampleSize,
                             clipFormat.channelsMask);
    converter.SetOutputFormat(wanted.sampleRate, wanted.channels, wanted.sampleSize,
                              wanted.channelsMask);
    if (!converter.Init()) return RaiseError(kErrAudioFormat);
  }

  const document::ViewStack& view = step->view;
  const bool selected = view.selected != 0;
  const int64_t limit = selected ? view.endSelect[view.zoom] : length_;

  OperationFrame frame(*this, opcode::kPaste);
  if (HRESULT hr = S_OK; !Began(frame, &hr)) return hr;
  status_ = opcode::kPaste;
  document::CSampleStoreFile& source = frame.Source();
  document::CSampleStoreFile& target = frame.Destination();
  const int bytes = format_.sampleSize / 8;
  const int align = format_.BlockAlign();
  const int clipAlign = clipFormat.BlockAlign();
  const int wantedAlign = wanted.BlockAlign();
  const double clipTotal = static_cast<double>(clip.DataSize());
  // The clipboard's block holds what makes one document block after conversion.
  const uint64_t docBlock = CopyBlockBytes(format_, static_cast<int64_t>(clip.DataSize()));
  const uint64_t rawBlock = static_cast<uint64_t>(
      static_cast<double>(docBlock) * clipFormat.sampleRate / format_.sampleRate *
          clipFormat.sampleSize / format_.sampleSize * clipFormat.channels / format_.channels +
      0.5);
  const uint64_t block = std::max<uint64_t>(rawBlock / clipAlign * clipAlign, clipAlign);
  std::vector<uint8_t> in, doc;
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

  if (overlay) {
    // The mono clip goes over every enabled channel; the length stays.
    while (ok && status_ != status::kIdle && static_cast<int64_t>(source.Position()) < limit) {
      if (!readClip()) break;
      const int64_t room = (limit - static_cast<int64_t>(source.Position())) / align;
      const size_t frames = std::min<size_t>(in.size() / wantedAlign, static_cast<size_t>(room));
      doc.resize(frames * align);
      const size_t have = source.Read(doc.data(), doc.size()) / align;
      for (size_t f = 0; f < have; ++f)
        for (int c = 0; c < format_.channels; ++c)
          if (channels_->OperationEnabled(c))
            std::memcpy(&doc[f * align + c * bytes], &in[f * wantedAlign], bytes);
      ok = target.Write(doc.data(), have * align);
      frame.Progress(clipTotal - static_cast<double>(clip.DataSize() - clip.Position()), clipTotal);
      if (have < frames) break;
    }
  } else {
    // Insert: with smoothing, the document after the insertion point fades out
    // under the start of the pasted audio.
    std::vector<uint8_t> ahead;
    if (transform_->smoothEnabled) {
      const int64_t rate = format_.sampleRate;
      const int64_t ms = static_cast<int64_t>(transform_->smoothTimeBegin);
      const int64_t frames = (rate * ms + 500) / 1000;
      ahead.resize(static_cast<size_t>(std::max<int64_t>(frames, 0)) * align);
      ahead.resize(source.Read(ahead.data(), ahead.size()) / align * align);
    }
    const uint64_t aheadFrom = source.Position() - ahead.size();
    bool first = true;
    while (ok && status_ != status::kIdle) {
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
          for (int c = 0; c < format_.channels; ++c) {
            uint8_t* p = &in[k * align + c * bytes];
            const double pasted = LoadSample(p, bytes);
            const double kept = LoadSample(&ahead[k * align + c * bytes], bytes);
            int32_t v;
            if (bytes >= 3)
              v = static_cast<int32_t>(static_cast<int64_t>(pasted * w) +
                                       static_cast<int64_t>(kept * (1.0 - w)));
            else
              v = static_cast<int32_t>(pasted * w + kept * (1.0 - w));
            StoreSample(p, bytes, v);
          }
        }
      }
      first = false;
      ok = target.Write(in.data(), in.size());
      frame.Progress(clipTotal - static_cast<double>(clip.DataSize() - clip.Position()), clipTotal);
    }
  }
  clip.Close();
  if (status_ == status::kIdle) {
    frame.Abandon();
    return S_OK;
  }
  if (!ok) {
    frame.Abandon();
    return RaiseError(kErrMemory);
  }
  status_ = status::kIdle;
  // The pasted audio ends up selected.
  step->view.selected = 1;
  frame.SelectBeforeStep();
  frame.Finish(selected ? limit : static_cast<int64_t>(source.Position()));
  return S_OK;
}

}  // namespace qel

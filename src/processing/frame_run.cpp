#include "processing/frame_run.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "processing/operation_frame.h"

namespace qel::processing {
namespace {

int32_t CodeOf(FrameRunKind kind) {
  switch (kind) {
    case FrameRunKind::kDeleteSilence:
      return opcode::kDeleteSilence;
    case FrameRunKind::kBatch:
      return opcode::kBatchProcess;
    case FrameRunKind::kTempo:
      return status::kBpmAnalyse;
    case FrameRunKind::kRecognize:
      return status::kRecognizeDtmf;
  }
  return 0;
}

}  // namespace

EffectResult RunFrames(document::Document& doc, document::OperationObserver& observer,
                       const FrameJob& job) {
  if (!doc.IsOpen() || !doc.Idle()) return {};
  const document::ViewStack& view = *doc.View();
  if (!view.selected) return {};
  const bool recognize = job.kind == FrameRunKind::kRecognize;
  if ((job.kind == FrameRunKind::kBatch || recognize) && doc.channels.OperationCount() < 1)
    return {};
  if (recognize && doc.length <= 0) return {};
  const EffectResult configured = job.configure();
  if (configured.outcome != EffectOutcome::kDone) return configured;
  const int32_t code = CodeOf(job.kind);
  if (job.previewMode != 0 && job.kind != FrameRunKind::kTempo && !recognize) {
    doc.SetStatus(code);
    if (job.play()) return {EffectOutcome::kPreview};
    doc.SetStatus(status::kIdle);
    return {EffectOutcome::kPreviewFailed};
  }

  const int64_t start = view.startSelect[view.zoom];
  const int64_t end = view.endSelect[view.zoom];
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  const int64_t rate = std::max(doc.format.sampleRate, 1);
  const int64_t selection = (end - start) / align * align;
  const double length = static_cast<double>(std::max<int64_t>(doc.length, 1));
  const bool writes = job.kind != FrameRunKind::kTempo && !recognize;
  // Recognition reads only the channels enabled for operations, interleaved
  // in channel order.
  std::vector<int32_t> kept;
  for (int32_t c = 0; c < doc.format.channels; ++c)
    if (doc.channels.IsOperated(c)) kept.push_back(c);
  const bool extract = recognize && static_cast<int32_t>(kept.size()) < doc.format.channels;
  const int64_t sampleBytes = doc.format.sampleSize / 8;
  std::vector<uint8_t> masked;
  std::vector<uint8_t> block(static_cast<size_t>(rate * align));
  FrameComponent& component = *job.component;

  // Progress: the silence remover's runs continuously over the document up to
  // 95, the others over the selection up to 100.
  auto progress = [&](int64_t done) {
    const double fraction = selection > 0 ? static_cast<double>(done) / selection : 1.0;
    double percent = job.kind == FrameRunKind::kDeleteSilence
                         ? (fraction * static_cast<double>(end - start) / length +
                            static_cast<double>(start) / length) *
                               95.0
                         : fraction * 100.0;
    observer.Progress(static_cast<int32_t>(std::clamp(percent, 0.0, 100.0)));
  };

  // The runs that write go through the operation frame; the others read the
  // current version directly.
  std::optional<OperationFrame> frame;
  document::CSampleStoreFile reader;
  document::CSampleStoreFile* source = &reader;
  doc.ClearStopRequest();
  bool opened = true;
  if (writes) {
    doc.progressScale = 95;
    frame.emplace(doc, observer, code);
    frame->CancelOnStop(true);
    switch (frame->Begin()) {
      case OperationFrame::Outcome::kFailed:
        return {EffectOutcome::kFailed, kErrMemory};
      case OperationFrame::Outcome::kCancelled:
        return {EffectOutcome::kCancelled};
      case OperationFrame::Outcome::kDone:
        break;
    }
    source = &frame->Source();
  } else {
    doc.SetStatus(code);
    opened = reader.Open(doc.Current()->sampleFile, document::kModeRead) && reader.Seek(start);
  }
  auto stopped = [&] {
    return writes ? frame->Cancelled() : doc.Cancelled() || doc.StopRequested();
  };

  int64_t done = 0;
  bool failed = false, written = true;
  while (opened && done < selection && !stopped()) {
    const int64_t n = std::min<int64_t>(rate * align, selection - done);
    if (done + n >= selection && !component.SetLastBlock()) {
      failed = true;
      break;
    }
    const size_t got = source->Read(block.data(), static_cast<size_t>(n)) /
                       static_cast<size_t>(align) * static_cast<size_t>(align);
    if (got == 0) break;
    std::span<const uint8_t> frames(block.data(), got);
    if (extract) {
      const size_t count = got / static_cast<size_t>(align);
      masked.resize(count * kept.size() * static_cast<size_t>(sampleBytes));
      uint8_t* to = masked.data();
      for (size_t f = 0; f < count; ++f)
        for (int32_t c : kept) {
          std::memcpy(
              to,
              block.data() + f * static_cast<size_t>(align) + static_cast<size_t>(c * sampleBytes),
              static_cast<size_t>(sampleBytes));
          to += sampleBytes;
        }
      frames = masked;
    }
    std::span<const uint8_t> out;
    if (!component.Process(frames, static_cast<double>(done / align) * 1000.0 / rate,
                           static_cast<double>(got / static_cast<size_t>(align)) * 1000.0 / rate,
                           &out)) {
      failed = true;
      break;
    }
    if (job.collect && out.data()) job.collect(out);
    done += static_cast<int64_t>(got);
    progress(done);
    if (!writes) continue;
    if (job.kind == FrameRunKind::kBatch && out.size() < 2) break;
    const size_t whole = out.size() / static_cast<size_t>(align) * static_cast<size_t>(align);
    if (whole > 0 && !frame->Destination().Write(out.data(), whole)) {
      written = false;
      break;
    }
  }

  if (!writes) {
    doc.SetStatus(status::kIdle);
    observer.OperationEnded();
    if (failed) return {EffectOutcome::kComponentFailed};
    if (!opened) return {EffectOutcome::kFailed, kErrFileAccess};
    return {EffectOutcome::kDone};
  }
  if (failed || !written || frame->Cancelled()) {
    frame->Abandon();
    if (failed) return {EffectOutcome::kComponentFailed};
    if (!written) return {EffectOutcome::kFailed, kErrMemory};
    return {EffectOutcome::kCancelled};
  }
  frame->CancelOnStop(false);
  switch (frame->Finish(static_cast<int64_t>(source->Position()))) {
    case OperationFrame::Outcome::kDone:
      return {EffectOutcome::kDone};
    case OperationFrame::Outcome::kCancelled:
      return {EffectOutcome::kCancelled};
    case OperationFrame::Outcome::kFailed:
      return {EffectOutcome::kFailed, kErrMemory};
  }
  return {};
}

}  // namespace qel::processing

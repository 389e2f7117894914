#include "processing/effect_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "pcm/channel_samples.h"
#include "pcm/worker_pool.h"
#include "processing/operation_frame.h"

namespace qel::processing {
namespace {

using namespace effect_flag;
using PCM_CODEC::ChannelToDoubles;
using PCM_CODEC::DoublesToChannel;
using PCM_CODEC::SampleLayout;

// Puts the channel flags back however the run ends.
class SavedChannels {
 public:
  explicit SavedChannels(document::Document& doc) : doc_(doc), saved_(doc.channels.Save()) {}
  ~SavedChannels() { Restore(); }
  void Restore() {
    if (restored_) return;
    restored_ = true;
    doc_.channels.Restore(saved_);
    doc_.RecomputeOperationMask();
  }
  SavedChannels(const SavedChannels&) = delete;
  SavedChannels& operator=(const SavedChannels&) = delete;

 private:
  document::Document& doc_;
  document::ChannelFlags::Saved saved_;
  bool restored_ = false;
};

// The silence of a sample size, as stored.
void FillSilence(uint8_t* bytes, int64_t count, int32_t sampleSize) {
  std::memset(bytes, sampleSize == 8 ? 0x80 : 0, static_cast<size_t>(count));
}

// Copies one channel's samples between two interleaved buffers of the same layout.
void CopyChannel(const uint8_t* from, uint8_t* to, int64_t frames, int32_t channel,
                 int32_t sampleBytes, int32_t align) {
  const int64_t offset = int64_t{channel} * sampleBytes;
  for (int64_t i = 0; i < frames; ++i)
    std::memcpy(to + i * align + offset, from + i * align + offset,
                static_cast<size_t>(sampleBytes));
}

// The block loop and everything it needs, for one run.
class EffectRun {
 public:
  EffectRun(document::Document& doc, document::OperationObserver& observer, const EffectJob& job,
            OperationFrame& frame)
      : doc_(doc), observer_(observer), job_(job), frame_(frame), format_(doc.format) {
    const document::ViewStack& view = *doc.View();
    start_ = view.startSelect[view.zoom];
    end_ = view.endSelect[view.zoom];
    align_ = std::max(format_.BlockAlign(), 1);
    frames_ = (end_ - start_) / align_;
    rate_ = std::max(format_.sampleRate, 1);
    layout_ = {format_.sampleSize, format_.channels, job.effect.SampleScale(format_.sampleSize)};
    for (int32_t c = 0; c < format_.channels && !job.mixBlock; ++c)
      if (doc.channels.IsOperated(c)) {
        ChannelProcessor* p = job.processor(c);
        processors_.push_back(p);
        processed_.push_back(c);
      }
    input_.assign(processed_.size(), std::vector<double>(static_cast<size_t>(rate_)));
    keepsChannels_ = !job.mixBlock && static_cast<int32_t>(processed_.size()) < format_.channels;
    outputs_.resize(processed_.size());
    results_.resize(processed_.size());
    bytesIn_.resize(static_cast<size_t>(int64_t{rate_} * align_));
    // The channels are independent: they share the cores.
    const size_t workers = std::min<size_t>(std::max(std::thread::hardware_concurrency(), 1U),
                                            std::max<size_t>(processed_.size(), 1));
    if (workers > 1)
      pool_ = std::make_unique<PCM_CODEC::CWorkerPool>(static_cast<unsigned>(workers - 1));
  }

  int64_t SelectionStart() const { return start_; }
  int64_t SelectionEnd() const { return end_; }

  // The measuring pass of processors that need one. False: stopped or failed.
  bool MeasurePass() {
    if (processors_.empty() || !processors_[0]->Measures()) return true;
    measured_ = true;
    document::CSampleStoreFile& source = frame_.Source();
    int64_t done = 0;
    while (done < frames_) {
      const int64_t n = std::min<int64_t>(rate_, frames_ - done);
      const int64_t got = ReadBlock(n);
      if (got == 0) break;
      const BlockPlace place = Place(done);
      ForEachChannel([&](size_t k) {
        results_[k] = processors_[k]->Measure({input_[k].data(), static_cast<size_t>(got)}, place);
      });
      if (!AllSucceeded()) return false;
      done += got;
      // Measuring takes the first half of the selection's share of progress.
      ReportProgress(0.5 * static_cast<double>(done));
      if (doc_.Cancelled() || doc_.StopRequested()) return false;
    }
    return source.Seek(start_);
  }

  // The block loop. False when a component failed or a write failed.
  bool Loop() {
    document::CSampleStoreFile& source = frame_.Source();
    const bool backwards = job_.effect.Has(kBackwards);
    const bool flushing = job_.effect.Has(kFlushing);
    const double progressBase = measured_ ? 0.5 : 0.0;
    int64_t done = 0;
    while (!doc_.Cancelled() && !doc_.StopRequested()) {
      const int64_t n = std::min<int64_t>(rate_, frames_ - done);
      if (n <= 0) break;
      if (backwards && !source.Seek(start_ + (frames_ - done - n) * align_)) return WriteFailed();
      const bool last = done + n >= frames_;
      if (flushing && last)
        for (ChannelProcessor* p : processors_)
          if (!p->SetLastBlock()) return ComponentFailed();
      const int64_t got = ReadBlock(n);
      if (got == 0) break;
      if (job_.mixBlock) {
        bytesOut_.assign(bytesIn_.begin(), bytesIn_.begin() + got * align_);
        job_.mixBlock(bytesIn_.data(), bytesOut_.data(), got);
        ReportProgress(static_cast<double>(done + got));
        if (!frame_.Destination().Write(bytesOut_.data(), bytesOut_.size())) return WriteFailed();
        done += got;
        written_ += got;
        if (last) reachedEnd_ = true;
        continue;
      }
      const BlockPlace place = Place(done);
      ForEachChannel([&](size_t k) {
        results_[k] = processors_[k]->Process({input_[k].data(), static_cast<size_t>(got)}, place,
                                              &outputs_[k]);
      });
      if (!AllSucceeded()) return ComponentFailed();
      bool ended = false;
      for (size_t k = 0; k < processors_.size(); ++k) {
        if (outputs_[k].data() == nullptr) ended = true;
        const double share = static_cast<double>(k + 1) / static_cast<double>(processors_.size());
        ReportProgress(progressBase * static_cast<double>(frames_) +
                       (1.0 - progressBase) *
                           (share * static_cast<double>(got) + static_cast<double>(done)));
      }
      if (ended) break;
      // Channel 0's output sets the block's length; a processor whose tail is
      // mixed into what follows keeps the frames past its input for later.
      int64_t outFrames = got;
      if (!processed_.empty() && processed_[0] == 0)
        outFrames = static_cast<int64_t>(outputs_[0].size());
      if (job_.effect.Has(kMixesTail)) {
        outFrames = got;
        if (last) KeepTails(got);
      }
      if (outFrames == 0 && got == 0) break;
      if (!WriteBlock(got, outFrames)) return WriteFailed();
      done += got;
      if (last) reachedEnd_ = true;
    }
    return true;
  }

  // Generates the job's duration in chunks of a second (the last one the
  // whole milliseconds left) and writes them in place of the selection.
  bool GenerateLoop() {
    const double total = job_.generateMs;
    double generated = 0;
    while (!doc_.Cancelled() && !doc_.StopRequested()) {
      const double left = total - generated;
      const double chunk = left >= 1000.0 ? 1000.0 : std::trunc(left);
      if (chunk < 1.0) break;
      ForEachChannel([&](size_t k) {
        results_[k] = processors_[k]->Generate(generated, chunk, &outputs_[k]);
      });
      if (!AllSucceeded()) return ComponentFailed();
      if (std::any_of(outputs_.begin(), outputs_.end(),
                      [](std::span<const double> out) { return out.data() == nullptr; }))
        break;
      generated += chunk;
      const int64_t frames = static_cast<int64_t>(outputs_.empty() ? 0 : outputs_[0].size());
      if (frames > 0 && !WriteBlock(0, frames)) return WriteFailed();
      const double percent = std::min(generated / total, 1.0) * doc_.progressScale;
      observer_.Progress(static_cast<int32_t>(percent));
    }
    reachedEnd_ = true;
    return true;
  }

  // Mixes the tails kept from the last block into the frames after the
  // selection, appending what reaches past the end of the document.
  bool MixTails() {
    int64_t tail = 0;
    for (const std::vector<double>& t : tails_)
      tail = std::max(tail, static_cast<int64_t>(t.size()));
    if (tail == 0) return true;
    document::CSampleStoreFile& source = frame_.Source();
    const int64_t after = (static_cast<int64_t>(source.DataSize()) - end_) / align_;
    const int64_t mixed = std::min(tail, std::max<int64_t>(after, 0));
    std::vector<uint8_t> bytes(static_cast<size_t>(tail * align_));
    if (mixed > 0 &&
        (!source.Seek(end_) || source.Read(bytes.data(), static_cast<size_t>(mixed * align_)) !=
                                   static_cast<size_t>(mixed * align_)))
      return false;
    FillSilence(bytes.data() + mixed * align_, (tail - mixed) * align_, format_.sampleSize);
    std::vector<double> sum(static_cast<size_t>(tail));
    for (size_t k = 0; k < processed_.size(); ++k) {
      ChannelToDoubles(bytes.data(), tail, processed_[k], layout_, sum.data());
      for (size_t i = 0; i < tails_[k].size(); ++i)
        sum[i] += tails_[k][i];
      DoublesToChannel(sum.data(), tail, processed_[k], layout_, bytes.data());
    }
    tailEnd_ = end_ + mixed * align_;
    return frame_.Destination().Write(bytes.data(), bytes.size());
  }

  // Where the copy of the rest of the document starts: after the selection
  // (or what its tail was mixed into), or, when the run stopped early, right
  // after the frames written so far, so that what a processor still held back
  // is copied unchanged rather than lost. An effect that changes the length
  // keeps what it wrote and goes on after what it read.
  int64_t TailFrom() const {
    if (tailEnd_ >= 0) return tailEnd_;
    if (job_.effect.Has(kBackwards) || job_.effect.Has(kGenerator)) return end_;
    if (!reachedEnd_ && !job_.effect.Has(kChangesLength))
      return std::min(end_, start_ + written_ * align_);
    return static_cast<int64_t>(frame_.Source().Position());
  }

 private:
  BlockPlace Place(int64_t done) const {
    return {static_cast<double>(done) / rate_ * 1000.0,
            static_cast<double>(frames_) / rate_ * 1000.0};
  }

  // Reads up to n frames at the source position into the byte buffer and the
  // processed channels' inputs; the number of whole frames read.
  int64_t ReadBlock(int64_t n) {
    const size_t got = frame_.Source().Read(bytesIn_.data(), static_cast<size_t>(n * align_));
    const int64_t frames = static_cast<int64_t>(got) / align_;
    for (size_t k = 0; k < processed_.size(); ++k)
      ChannelToDoubles(bytesIn_.data(), frames, processed_[k], layout_, input_[k].data());
    return frames;
  }

  bool WriteBlock(int64_t inFrames, int64_t outFrames) {
    bytesOut_.resize(static_cast<size_t>(outFrames * align_));
    // Channels outside the operation keep their bytes, in step with the
    // output: a processor that holds frames back delays them just as much.
    // Past their input (an output longer than its input) they are silent.
    int64_t kept = 0;
    if (keepsChannels_) {
      pending_.insert(pending_.end(), bytesIn_.begin(), bytesIn_.begin() + inFrames * align_);
      kept = std::min<int64_t>(outFrames,
                               static_cast<int64_t>(pending_.size() - pendingFrom_) / align_);
    }
    if (outFrames > kept)
      FillSilence(bytesOut_.data() + kept * align_, (outFrames - kept) * align_,
                  format_.sampleSize);
    size_t k = 0;
    const int32_t sampleBytes = format_.sampleSize / 8;
    for (int32_t c = 0; c < format_.channels; ++c) {
      if (k < processed_.size() && processed_[k] == c) {
        std::span<const double> out = outputs_[k++];
        const int64_t have = std::min<int64_t>(outFrames, static_cast<int64_t>(out.size()));
        DoublesToChannel(out.data(), have, c, layout_, bytesOut_.data());
        if (have < outFrames) {
          padding_.assign(static_cast<size_t>(outFrames - have), 0.0);
          DoublesToChannel(padding_.data(), outFrames - have, c, layout_,
                           bytesOut_.data() + have * align_);
        }
      } else if (keepsChannels_) {
        CopyChannel(pending_.data() + pendingFrom_, bytesOut_.data(), kept, c, sampleBytes, align_);
      }
    }
    if (keepsChannels_) {
      pendingFrom_ += static_cast<size_t>(kept * align_);
      if (pendingFrom_ * 2 > pending_.size()) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(pendingFrom_));
        pendingFrom_ = 0;
      }
    }
    written_ += outFrames;
    return frame_.Destination().Write(bytesOut_.data(), bytesOut_.size());
  }

  void KeepTails(int64_t inFrames) {
    tails_.assign(processed_.size(), {});
    for (size_t k = 0; k < processed_.size(); ++k)
      if (static_cast<int64_t>(outputs_[k].size()) > inFrames)
        tails_[k].assign(outputs_[k].begin() + inFrames, outputs_[k].end());
  }

  // Runs f(k) for every processed channel, on the pool's threads when there is one.
  template <class F>
  void ForEachChannel(F&& f) {
    const size_t count = processors_.size();
    if (!pool_ || count <= 1) {
      for (size_t k = 0; k < count; ++k)
        f(k);
      return;
    }
    const std::function<void(size_t)> body = f;
    pool_->ParallelFor(count, body);
  }

  bool AllSucceeded() const {
    return std::all_of(results_.begin(), results_.end(), [](bool ok) { return ok; });
  }

  // Progress at `done` frames of the selection: continuous over the document.
  void ReportProgress(double done) const {
    const double length = static_cast<double>(std::max<int64_t>(doc_.length, 1));
    const double fraction = frames_ > 0 ? done / static_cast<double>(frames_) : 1.0;
    double percent = (fraction * static_cast<double>(end_ - start_) / length +
                      static_cast<double>(start_) / length) *
                     doc_.progressScale;
    percent = std::clamp(percent, 0.0, static_cast<double>(doc_.progressScale));
    observer_.Progress(static_cast<int32_t>(percent));
  }

  bool ComponentFailed() {
    componentFailed_ = true;
    return false;
  }
  bool WriteFailed() { return false; }

 public:
  bool componentFailed_ = false;
  bool reachedEnd_ = false;

 private:
  document::Document& doc_;
  document::OperationObserver& observer_;
  const EffectJob& job_;
  OperationFrame& frame_;
  document::DocumentFormat format_;
  int64_t start_ = 0, end_ = 0, frames_ = 0, tailEnd_ = -1;
  int32_t align_ = 1, rate_ = 1;
  SampleLayout layout_;
  std::vector<ChannelProcessor*> processors_;
  std::vector<int32_t> processed_;
  std::vector<std::vector<double>> input_;
  std::vector<std::span<const double>> outputs_;
  std::vector<char> results_;
  std::vector<std::vector<double>> tails_;
  std::vector<uint8_t> bytesIn_, bytesOut_;
  std::vector<double> padding_;
  // Frames read whose bytes of the channels outside the operation are not written yet.
  bool keepsChannels_ = false;
  std::vector<uint8_t> pending_;
  size_t pendingFrom_ = 0;
  int64_t written_ = 0;  // frames written in place of the selection
  std::unique_ptr<PCM_CODEC::CWorkerPool> pool_;
  bool measured_ = false;
};

}  // namespace

bool SmoothingApplies(const document::Smoothing& smoothing, int64_t frames, int32_t rate) {
  if (smoothing.enabled == 0) return false;
  const double f = static_cast<double>(frames);
  return f >= smoothing.beginMs / 1000.0 * rate && f >= smoothing.endMs / 1000.0 * rate;
}

EffectResult RunEffect(document::Document& doc, document::OperationObserver& observer,
                       const EffectJob& job) {
  const EffectEntry& entry = job.effect;
  if (!doc.IsOpen()) return {};
  const int32_t channels = doc.format.channels;
  if (job.previewMode != 0 && doc.Status() == entry.code) {
    // A running preview of this effect takes the new parameters.
    if (!entry.Has(kLive)) return {};
    for (int32_t c = 0; c < channels; ++c)
      if (doc.channels.IsOperated(c) && !job.adjust(c)) return {EffectOutcome::kComponentFailed};
    return {EffectOutcome::kAdjusted};
  }
  const document::ViewStack* view = doc.View();
  const bool generator = entry.Has(kGenerator);
  if (!doc.Idle() || (!view->selected && !generator) || doc.channels.OperationCount() < 1)
    return {};
  if (entry.Has(kNoVideo) && doc.source.hasVideo)
    return {EffectOutcome::kRefused, kErrInvalidOperation};

  SavedChannels saved(doc);
  if (entry.Has(kAllChannels)) {
    doc.channels.EnableAll(channels);
    doc.RecomputeOperationMask();
  }
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  const int64_t frames = (view->endSelect[view->zoom] - view->startSelect[view->zoom]) / align;
  SmoothingSent sent;
  switch (entry.smoothing) {
    case SmoothingRule::kTested:
      sent = {false, false, SmoothingApplies(doc.smoothing, frames, doc.format.sampleRate) ? 1 : 0,
              doc.smoothing.beginMs, doc.smoothing.endMs};
      break;
    case SmoothingRule::kOff:
      sent = {false, false, 0, doc.smoothing.beginMs, doc.smoothing.endMs};
      break;
    case SmoothingRule::kStored:
      sent = {false, false, doc.smoothing.enabled, doc.smoothing.beginMs, doc.smoothing.endMs};
      break;
    case SmoothingRule::kSwitchOff:
      sent = {false, true, 0, 0, 0};
      break;
    case SmoothingRule::kFixed20:
      sent = {
          false, false,
          doc.smoothing.enabled != 0 && static_cast<double>(frames) >= 0.02 * doc.format.sampleRate
              ? 1
              : 0,
          20.0, 20.0};
      break;
    case SmoothingRule::kNone:
      sent.none = true;
      break;
  }
  for (int32_t c = 0; c < channels && job.configure; ++c)
    if (doc.channels.IsOperated(c) && !job.configure(c, sent))
      return {EffectOutcome::kComponentFailed};

  if (job.previewMode != 0) {
    doc.SetStatus(entry.code);
    if (job.play()) return {EffectOutcome::kPreview};
    doc.SetStatus(status::kIdle);
    return {EffectOutcome::kPreviewFailed};
  }

  doc.progressScale = 95;
  OperationFrame frame(doc, observer, entry.code);
  // A Stop before anything was processed cancels: there is nothing to keep.
  doc.ClearStopRequest();
  frame.CancelOnStop(true);
  const OperationFrame::Outcome begun = frame.Begin();
  if (begun != OperationFrame::Outcome::kDone) saved.Restore();
  switch (begun) {
    case OperationFrame::Outcome::kFailed:
      return {EffectOutcome::kFailed, kErrMemory};
    case OperationFrame::Outcome::kCancelled:
      return {EffectOutcome::kCancelled};
    case OperationFrame::Outcome::kDone:
      break;
  }
  EffectRun run(doc, observer, job, frame);
  const bool measuring = run.MeasurePass();
  if (!measuring) {
    saved.Restore();
    frame.Abandon();
    return {run.componentFailed_ ? EffectOutcome::kComponentFailed : EffectOutcome::kCancelled};
  }
  frame.CancelOnStop(false);
  doc.ClearStopRequest();
  bool ok = generator ? run.GenerateLoop() : run.Loop();
  if (ok && run.reachedEnd_ && !doc.Cancelled()) ok = run.MixTails();
  // A read that failed ended its loop as the end of the selection would.
  if (frame.Source().LastError()) ok = false;
  saved.Restore();
  // Half a reversal is no result anyone wants, and keeping it would drop the
  // part not yet read: a stopped Reverse is cancelled.
  if (ok && entry.Has(kBackwards) && !run.reachedEnd_) doc.SetStatus(status::kIdle);
  if (!ok) {
    frame.Abandon();
    if (run.componentFailed_) return {EffectOutcome::kComponentFailed};
    return {EffectOutcome::kFailed, kErrMemory};
  }
  if (doc.Cancelled()) {
    frame.Abandon();
    return {EffectOutcome::kCancelled};
  }
  switch (frame.Finish(run.TailFrom())) {
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

// The frame every document-changing operation runs in: a new sample-store file
// receives a copy of the document before the selection (the head), then the
// operation's own output, then the rest of the document (the tail); the new file
// becomes a history step, positions and markers follow the edit. The status word
// is the operation's code throughout; a host that resets it to 0 from a
// progress report cancels, and the document stays as it was.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "document/document.h"
#include "document/sample_store.h"

namespace qel::processing {

class OperationFrame {
 public:
  enum class Outcome { kDone, kCancelled, kFailed };

  // code: the status and history code; progress is reported on the
  // document's progress scale.
  OperationFrame(document::Document& doc, document::OperationObserver& observer, int32_t code);
  ~OperationFrame();  // an unfinished frame deletes its new file
  OperationFrame(const OperationFrame&) = delete;
  OperationFrame& operator=(const OperationFrame&) = delete;

  // Creates the new file in format and copies the document's first headBytes
  // bytes into it. On failure or cancellation the new file is gone, the status
  // is 0 and the end has been reported (on failure only when reportFailure:
  // an operation that fails in its preparation may be silent).
  Outcome Begin(const document::DocumentFormat& format, int64_t headBytes,
                bool reportFailure = true);
  // The usual head: everything before the selection, in the document's format.
  Outcome Begin() { return Begin(previous_.format, SelectionStart()); }

  document::CSampleStoreFile& Source() { return source_; }
  document::CSampleStoreFile& Destination() { return destination_; }
  // The state before the operation (selection, view, markers, format).
  const document::HistoryStep& Snapshot() const { return previous_; }
  // Marks the state before the operation as having a selection, so that the
  // new step selects what the operation wrote (Paste does this).
  void SelectBeforeStep() { previous_.view.selected = 1; }
  int64_t SelectionStart() const;
  int64_t SelectionEnd() const;

  // Copies the source from byte position tailFrom to its end, takes the history
  // step, places the positions, carries the markers and reports the end.
  Outcome Finish(int64_t tailFrom);
  // For operations that write the whole new document themselves: no tail; the
  // new step shows `view` (its level 0 view is set to the whole new length,
  // and with `selected` set, everything is selected).
  // With rewrite set, the operation rewrote the whole document (a format
  // change): markers keep their places in time rather than following the
  // selection.
  Outcome FinishWhole(document::ViewStack view, bool rewrite = false);
  // Ends the frame without a step: the new file is deleted, the end reported.
  void Abandon(bool report = true);

  // True when the host has reset the status word (cancelled), or, while
  // CancelOnStop is on, asked to stop.
  bool Cancelled() const { return doc_.Cancelled() || (stopCancels_ && doc_.StopRequested()); }
  void CancelOnStop(bool on) { stopCancels_ = on; }
  // Reports done / total of the progress scale.
  void Progress(double done, double total) const;

 private:
  // Copies count bytes of the source from its position to the destination in
  // blocks, with progress by the source position. False on an error.
  bool CopyRun(int64_t count);
  void Discard();
  // Closes the new file and makes it the current history step.
  Outcome TakeStep(document::HistoryStep step, bool placeBySelection, int64_t middleEnd,
                   bool rewrite = false);
  // The new version's peak overview, carried over from the previous one
  // around the edit with only the new part scanned; nothing when the previous
  // version had none in memory or the edit is no head-middle-tail splice.
  std::optional<document::PeakOverview> CarriedOverview(int64_t middleEnd) const;

  document::Document& doc_;
  document::OperationObserver& observer_;
  int32_t code_;
  document::HistoryStep previous_;
  document::CSampleStoreFile source_;
  document::CSampleStoreFile destination_;
  std::string destinationName_;
  bool finished_ = false;
  bool stopCancels_ = false;
  int64_t headBytes_ = 0;
  int64_t tailFrom_ = -1;  // where the tail was copied from; -1 without a tail
};

// Bytes per copy block: ten seconds of the format's data, or one second when
// ten seconds would be more than the part to copy.
uint64_t CopyBlockBytes(const document::DocumentFormat& format, int64_t toCopy);

// Copies count data bytes of source, from byte position from, to the end of
// target in copy blocks of the format, calling progress(bytes done) after each
// block and stopping early once cancelled() is true. False on an I/O error.
bool CopyInBlocks(document::CSampleStoreFile& source, uint64_t from,
                  document::CSampleStoreFile& target, int64_t count,
                  const document::DocumentFormat& format,
                  const std::function<void(int64_t done)>& progress,
                  const std::function<bool()>& cancelled);

}  // namespace qel::processing

// How operations on the document tell their owner what happened. The control
// implements it (events to the host, requests to the view); tests implement it
// to record what an operation reported. Cancellation is not asked here: an
// operation tests the document's status word (Document::Cancelled), which the
// owner resets when the host calls Stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/history.h"

namespace qel::document {

class OperationObserver {
 public:
  virtual ~OperationObserver() = default;
  // Progress of the running operation, in percent of its scale.
  virtual void Progress(int32_t percent) = 0;
  // The operation has ended (done, cancelled or failed).
  virtual void OperationEnded() = 0;
  // An edit moved or touched marker `number` (1-based).
  virtual void MarkerChanged(int32_t number) = 0;
  // A piece of a split was written.
  virtual void SplitFileCreated(const std::string& name) = 0;
  // The selection moved: redraw it and tell the host.
  virtual void SelectionChanged() = 0;
  // The view range changed: the picture's columns and the selection follow.
  virtual void ViewChanged() = 0;
  // The picture must be composed again (the waveform or a setting changed).
  virtual void PictureChanged() = 0;
  // A new document: its lanes share the height equally.
  virtual void DocumentStarted() = 0;
  // A component the operation needs cannot be made; message is its text.
  virtual void ComponentMissing(std::u16string_view message) = 0;

  // While a file opens: its blocks as they arrive (whole frames of `format`,
  // about `frames` in all), so that the peak overview needs no second pass;
  // OverviewFoldEnd(true) hands it to the new first version.
  virtual void OverviewFoldBegin(const DocumentFormat& format, int64_t frames) = 0;
  virtual void OverviewFold(const uint8_t* data, size_t bytes) = 0;
  virtual void OverviewFoldEnd(bool keep) = 0;
  // The percentage of the file read so far, for the picture.
  virtual void OpenProgress(int32_t percent) = 0;
};

// An observer that ignores everything, for callers that want no reports.
class NullObserver final : public OperationObserver {
 public:
  void Progress(int32_t) override {}
  void OperationEnded() override {}
  void MarkerChanged(int32_t) override {}
  void SplitFileCreated(const std::string&) override {}
  void SelectionChanged() override {}
  void ViewChanged() override {}
  void PictureChanged() override {}
  void DocumentStarted() override {}
  void ComponentMissing(std::u16string_view) override {}
  void OverviewFoldBegin(const DocumentFormat&, int64_t) override {}
  void OverviewFold(const uint8_t*, size_t) override {}
  void OverviewFoldEnd(bool) override {}
  void OpenProgress(int32_t) override {}
};

}  // namespace qel::document

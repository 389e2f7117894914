// An operation observer that records what an operation reported, for tests of
// the layers below the control. A test that wants to act as a host calling Stop
// sets onProgress and resets the document's status word from there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/observer.h"

namespace qel::test {

class RecordingObserver final : public document::OperationObserver {
 public:
  std::vector<int32_t> progress;
  int ended = 0;
  std::vector<int32_t> changedMarkers;
  std::vector<std::string> splitFiles;
  int selectionChanged = 0;
  int viewChanged = 0;
  int pictureChanged = 0;
  int documentStarted = 0;
  // Called with each progress report after it was recorded.
  std::function<void(int32_t percent)> onProgress;

  // Forgets everything recorded so far (onProgress stays).
  void Clear() {
    progress.clear();
    ended = 0;
    changedMarkers.clear();
    splitFiles.clear();
    selectionChanged = viewChanged = pictureChanged = documentStarted = 0;
  }

  void Progress(int32_t percent) override {
    progress.push_back(percent);
    if (onProgress) onProgress(percent);
  }
  void OperationEnded() override { ++ended; }
  void MarkerChanged(int32_t number) override { changedMarkers.push_back(number); }
  void SplitFileCreated(const std::string& name) override { splitFiles.push_back(name); }
  void SelectionChanged() override { ++selectionChanged; }
  void ViewChanged() override { ++viewChanged; }
  void PictureChanged() override { ++pictureChanged; }
  void DocumentStarted() override { ++documentStarted; }
  void ComponentMissing(std::u16string_view) override {}
  void OverviewFoldBegin(const document::DocumentFormat&, int64_t) override {}
  void OverviewFold(const uint8_t*, size_t) override {}
  void OverviewFoldEnd(bool) override {}
  void OpenProgress(int32_t) override {}
};

}  // namespace qel::test

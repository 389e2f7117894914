// The undo history: a chain of complete document states. Every operation writes
// a whole new sample-store file, so a step is an earlier document, not a
// difference; undo and redo only move along the chain. Each step owns its
// sample-store and overview cache files and its own positions and markers.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace qel::document {

// The format of a document state.
struct DocumentFormat {
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t sampleSize = 0;  // bits: 8, 16, 24 or 32
  uint32_t channelsMask = 0;
  int32_t BlockAlign() const { return sampleSize / 8 * channels; }
  bool operator==(const DocumentFormat&) const = default;
};

inline constexpr int kZoomLevels = 100;

// Selection and view per zoom level, in byte positions of the sample data.
struct ViewStack {
  std::array<int64_t, kZoomLevels> startView{};
  std::array<int64_t, kZoomLevels> endView{};
  std::array<int64_t, kZoomLevels> startSelect{};
  std::array<int64_t, kZoomLevels> endSelect{};
  int32_t zoom = 0;
  int16_t selected = 0;
};

inline constexpr uint32_t kDefaultMarkerColor = 0x007D7DFF;

struct Marker {
  int64_t position = 0;  // frames
  int64_t length = 0;    // frames; 0 for a point
  std::u16string note;
  std::u16string label;
  std::u16string attributes;  // the text a marker was read with from a file
  uint32_t color = kDefaultMarkerColor;
  int32_t playList = 0;
  bool operator==(const Marker&) const = default;
};

struct HistoryStep {
  std::string sampleFile;
  std::string overviewFile;  // empty when no overview was stored
  int64_t length = 0;        // bytes of sample data
  ViewStack view;
  int64_t playPosition = 0;
  DocumentFormat format;
  std::vector<Marker> markers;
  int32_t currentMarker = 0;  // 1-based; 0 exactly when there is no marker
  // Only steps the control made have their files deleted when the history is
  // cleared (an adopted file is the host's unless its name is one of ours).
  bool ownsFiles = true;
};

class UndoHistory {
 public:
  static constexpr int32_t kDefaultCapacity = 1000;
  static constexpr int32_t kMaxUndoSteps = 10000;

  UndoHistory() = default;
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;
  // Clears the history and deletes every file it ever registered that is one of
  // the control's own sample-store files.
  ~UndoHistory();

  // Undo steps kept: capacity - 1. A value below 1 keeps one; at most 10000.
  int32_t UndoRedoCount() const { return capacity_ - 1; }
  void SetUndoRedoCount(int32_t value);
  int32_t Capacity() const { return capacity_; }

  bool Empty() const { return steps_.empty(); }
  HistoryStep* Current() { return steps_.empty() ? nullptr : &steps_[current_]; }
  const HistoryStep* Current() const { return steps_.empty() ? nullptr : &steps_[current_]; }
  // Depth of the current step, counted from the oldest kept step (1); 0 when empty.
  int32_t Depth() const { return steps_.empty() ? 0 : static_cast<int32_t>(current_) + 1; }
  size_t StepCount() const { return steps_.size(); }
  bool HasPrevious() const { return !steps_.empty() && current_ > 0; }
  bool HasNext() const { return !steps_.empty() && current_ + 1 < steps_.size(); }

  // Makes step the current one after the current step: the redo branch is
  // discarded with its files, the oldest step dropped when the capacity is
  // reached, and code (when at least 1) recorded as the newest undo code.
  void TakeStep(HistoryStep step, int32_t code);

  // Moves back (forward) up to n steps; n is compared unsigned, so a negative
  // count moves as far as the code list allows. Returns the steps moved.
  uint32_t Undo(int32_t n);
  uint32_t Redo(int32_t n);

  // Operation codes, most recent first: what Undo (Redo) would revert (repeat).
  const std::vector<int32_t>& UndoCodes() const { return undoCodes_; }
  const std::vector<int32_t>& RedoCodes() const { return redoCodes_; }

  // Deletes every step with its files (the control's own files only) and empties
  // the code lists.
  void Clear();

  // Sample-store files of every step ever taken.
  const std::vector<std::string>& FileRegister() const { return register_; }

 private:
  static void DeleteStepFiles(const HistoryStep& step);
  void PurgeRegister();

  int32_t capacity_ = kDefaultCapacity;
  std::deque<HistoryStep> steps_;  // oldest first
  size_t current_ = 0;
  std::vector<int32_t> undoCodes_;
  std::vector<int32_t> redoCodes_;
  std::vector<std::string> register_;
};

// Whether path names one of the control's own temporary files: a base name
// starting with "qel" (compared without regard to case).
bool IsOwnTempName(const std::string& path);

}  // namespace qel::document

// The document model: one audio document as plain values and rules. It owns
// the format, the undo history (whose steps hold the sample-store files, the
// positions and the markers of each version), the channel flags, the peak
// overview of the current version, the status word and stop request (atomic:
// a device thread reads them), and the temporary folder. Nothing here knows the
// automation surface or the view; operations in editing/ and processing/ change
// it and report through an OperationObserver.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "document/channels.h"
#include "document/codes.h"
#include "document/history.h"
#include "document/markers.h"
#include "document/observer.h"
#include "document/peak_overview.h"
#include "pcm/pcm_convert.h"

namespace qel::document {

// What the document was made from.
struct SourceInfo {
  // The type a document made by New or adopted from a sample-store file
  // reports: the plain WAV file.
  static constexpr int32_t kWaveFileType = 37;
  std::u16string originalFileName;
  int32_t originalFileType = kWaveFileType;
  bool hasVideo = false;
  int32_t videoTrack = -1;
  int32_t audioTrack = 0;
  double duration = 0.0;  // milliseconds
};

// Edge smoothing of operations (milliseconds at each edge).
struct Smoothing {
  int16_t enabled = 0;  // non-zero: on (kept as the host gave it)
  double beginMs = 0.0;
  double endMs = 0.0;
};

class Document {
 public:
  // tempDirectory: where sample-store files are made (a '/' is added).
  explicit Document(const std::string& tempDirectory);
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // ---- the current version ----
  bool IsOpen() const { return history.Current() != nullptr; }
  HistoryStep* Current() { return history.Current(); }
  const HistoryStep* Current() const { return history.Current(); }
  // The current step's view stack, or null without a document.
  ViewStack* View();
  const ViewStack* View() const;
  // Bytes of sample data to frames: (bytes / bytes per sample) / channels.
  int64_t ToFrames(int64_t bytes) const;
  int64_t Frames() const { return ToFrames(length); }
  // Frames from the host to a byte position inside the document.
  int64_t ClampToBytes(int64_t frames) const;

  // The format of the current version, and of the file it came from.
  DocumentFormat format{8000, 1, 16, 0};
  DocumentFormat outputFormat{8000, 1, 16, 0};
  int64_t length = 0;  // bytes of sample data
  UndoHistory history;
  SourceInfo source;

  // ---- channels ----
  ChannelFlags channels;
  // The speakers of the channels in storage order (ascending mask bits).
  const std::array<uint32_t, 64>& ChannelOrder() const { return channelOrder_; }
  void BuildChannelOrder();
  void RecountChannels() { channels.Recount(format.channels); }
  void RecomputeOperationMask() {
    channels.RecomputeMask(format.channels, channelOrder_, stereoMode);
  }
  // Stereo mode of playback (one or two operated channels play as stereo).
  bool stereoMode = false;

  // ---- markers ----
  // The layout of the current step's markers (not rebuilt inside a batch).
  std::vector<MarkerLayoutEntry> markerLayout;
  void RebuildMarkerLayout();

  // ---- the peak overview of the current version ----
  PeakOverview overview;
  bool overviewLoaded = false;
  // Reads the current step's overview cache file, when it has one (a file of
  // another format or length is not this version's and is left alone).
  void LoadOverview();
  // Keeps a freshly built overview for the current version, with a cache file
  // of its own, so that undo and redo read it back instead of scanning the
  // samples again.
  void KeepOverview(PeakOverview built);
  void DropOverview() {
    overview = {};
    overviewLoaded = false;
    overviewFile_.clear();
  }

  // ---- positions beyond the steps ----
  // The zoom level whose selection a new level inherits.
  int32_t selectionLevel = 0;
  int32_t verticalZoom = 100;  // percent, 10 to 1000
  int32_t verticalRange = 32767;

  // ---- settings operations read ----
  Smoothing smoothing;
  PCM_CODEC::ConvertSettings convertSettings;
  // Percent reached at the end of an operation's main loop.
  int32_t progressScale = 95;

  // ---- batches of operations (BeginOperations ... EndOperations) ----
  bool batch = false;
  int32_t batchCount = 0;

  // ---- the status word ----
  int32_t Status() const { return status_.load(std::memory_order_acquire); }
  void SetStatus(int32_t value) { status_.store(value, std::memory_order_release); }
  bool Idle() const { return Status() == status::kIdle; }
  // An operation that finds the status word reset has been cancelled.
  bool Cancelled() const { return Idle(); }
  // Set by Stop; effects test it to end their block loop and keep what was done.
  void RequestStop() { stopRequested_.store(true, std::memory_order_release); }
  bool StopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
  void ClearStopRequest() { stopRequested_.store(false, std::memory_order_release); }

  // ---- temporary files ----
  const std::string& TempDirectory() const { return tempDirectory_; }  // ends in '/'
  void SetTempDirectory(const std::string& directory);
  // The control clipboard: fixed at construction, in the folder of that time.
  const std::string& ClipboardFile() const { return clipboardFile_; }
  const std::string& SystemClipboardFile() const { return systemClipboardFile_; }

  // Back to "no document": the history and its files go, the format is the
  // default one, the channel flags stay.
  void Reset();

 private:
  std::atomic<int32_t> status_{status::kIdle};
  std::atomic<bool> stopRequested_{false};
  std::array<uint32_t, 64> channelOrder_{};
  std::string tempDirectory_;
  std::string clipboardFile_;
  std::string systemClipboardFile_;
  std::string overviewFile_;  // the cache file of the overview in memory
};

// Normalises the current level's view range to whole samples and reports the
// new view (and with it the selection).
void ApplyView(Document& doc, OperationObserver& observer);

// Level 0 always shows the whole document: the first change of the view moves
// to level 1, which starts as a copy of level 0.
void LeaveFullView(ViewStack& view);

// After an operation took a history step: the step's format and length become
// the document's, the channel counts follow, and outside a batch the overview,
// the view, the picture and the marker layout follow it too.
void AdoptCurrentStep(Document& doc, OperationObserver& observer);

// After undo or redo (or the end of a batch): everything the document keeps
// about its current step is read from the step again.
void RefreshFromCurrentStep(Document& doc, OperationObserver& observer);

}  // namespace qel::document

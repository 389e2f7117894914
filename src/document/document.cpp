#include "document/document.h"

#include <algorithm>
#include <limits>

#include "document/temp_names.h"
#include "platform/files.h"

namespace qel::document {

Document::Document(const std::string& tempDirectory)
    : tempDirectory_(platform::WithTrailingSlash(tempDirectory)),
      clipboardFile_(tempDirectory_ + "QelClipBoard.wav"),
      systemClipboardFile_(tempDirectory_ + "QelWinClipBoard.wav") {}

ViewStack* Document::View() {
  HistoryStep* step = history.Current();
  return step ? &step->view : nullptr;
}

const ViewStack* Document::View() const {
  const HistoryStep* step = history.Current();
  return step ? &step->view : nullptr;
}

int64_t Document::ToFrames(int64_t bytes) const {
  const int64_t b = format.sampleSize / 8;
  return b > 0 && format.channels > 0 ? bytes / b / format.channels : 0;
}

int64_t Document::ClampToBytes(int64_t frames) const {
  const int64_t align = format.BlockAlign();
  if (frames <= 0 || align <= 0) return 0;
  if (frames > std::numeric_limits<int64_t>::max() / align) return length;
  return std::min(frames * align, length);
}

void Document::BuildChannelOrder() {
  channelOrder_.fill(0);
  size_t n = 0;
  for (uint32_t bit = 0; bit < kMaxChannels; ++bit)
    if (format.channelsMask & (1u << bit)) channelOrder_[n++] = 1u << bit;
}

void Document::RebuildMarkerLayout() {
  const HistoryStep* step = history.Current();
  markerLayout = step ? MarkerLayout(*step, format.BlockAlign()) : std::vector<MarkerLayoutEntry>{};
}

void Document::LoadOverview() {
  const HistoryStep* step = history.Current();
  // The overview in memory already belongs to this step: an operation that
  // carried it through its edit has just kept it.
  if (step && overviewLoaded && step->overviewFile == overviewFile_ && !overviewFile_.empty())
    return;
  DropOverview();
  const int64_t align = format.BlockAlign();
  overviewLoaded = step && !step->overviewFile.empty() && align > 0 &&
                   overview.Load(step->overviewFile) && overview.Channels() == format.channels &&
                   overview.SampleSize() == format.sampleSize &&
                   overview.Frames() == length / align;
  if (overviewLoaded)
    overviewFile_ = step->overviewFile;
  else
    DropOverview();
}

void Document::KeepOverview(PeakOverview built) {
  HistoryStep* step = history.Current();
  if (!step) return;
  std::string name;
  if (MakeTempFileName(tempDirectory_, &name, true)) {
    if (built.Save(name)) {
      if (!step->overviewFile.empty()) platform::DeleteFile(step->overviewFile);
      step->overviewFile = name;
    } else {
      platform::DeleteFile(name);  // the name was taken for the file
    }
  }
  overview = std::move(built);
  overviewLoaded = true;
  overviewFile_ = step->overviewFile;
}

void Document::SetTempDirectory(const std::string& directory) {
  tempDirectory_ = platform::WithTrailingSlash(directory);
}

void Document::Reset() {
  DropOverview();
  batch = false;
  batchCount = 0;
  verticalRange = (1 << (format.sampleSize - 1)) - 1;
  history.Clear();
  format = outputFormat = DocumentFormat{44100, 2, 16, 3};
  length = 0;
  selectionLevel = 0;
  source.hasVideo = false;
  source.originalFileName.clear();
  source.duration = 0.0;
  BuildChannelOrder();
  markerLayout.clear();
  RecountChannels();
  RecomputeOperationMask();
}

void ApplyView(Document& doc, OperationObserver& observer) {
  ViewStack* view = doc.View();
  if (!view) return;
  const int z = view->zoom;
  const int64_t b = std::max(doc.format.sampleSize / 8, 1);
  const int64_t s = view->startView[z] / b * b;
  int64_t e = view->endView[z] / b * b;
  if (e <= s) e = s + doc.format.BlockAlign();
  view->startView[z] = s;
  view->endView[z] = e > 0 ? e : 0;
  observer.ViewChanged();
  observer.SelectionChanged();
}

void LeaveFullView(ViewStack& view) {
  if (view.zoom != 0) return;
  view.zoom = 1;
  view.startView[1] = view.startView[0];
  view.endView[1] = view.endView[0];
  view.startSelect[1] = view.startSelect[0];
  view.endSelect[1] = view.endSelect[0];
}

void AdoptCurrentStep(Document& doc, OperationObserver& observer) {
  const HistoryStep* step = doc.Current();
  if (!step) return;
  const bool channelsChanged = step->format.channels != doc.format.channels;
  doc.format = step->format;
  doc.length = step->length;
  doc.BuildChannelOrder();
  if (channelsChanged) doc.RecountChannels();
  doc.RecomputeOperationMask();
  doc.selectionLevel = step->view.zoom;
  if (doc.batch) {
    ++doc.batchCount;
    return;
  }
  doc.LoadOverview();
  ApplyView(doc, observer);
  observer.PictureChanged();
  doc.RebuildMarkerLayout();
}

void RefreshFromCurrentStep(Document& doc, OperationObserver& observer) {
  HistoryStep* step = doc.Current();
  if (!step) return;
  ViewStack& view = step->view;
  view.selected = view.startSelect[view.zoom] != view.endSelect[view.zoom] ? 1 : 0;
  const bool channelsChanged = step->format.channels != doc.format.channels;
  doc.format = step->format;
  doc.length = step->length;
  if (channelsChanged) doc.RecountChannels();
  doc.batch = false;
  doc.BuildChannelOrder();
  doc.RecomputeOperationMask();
  doc.LoadOverview();
  ApplyView(doc, observer);
  doc.RebuildMarkerLayout();
  observer.PictureChanged();
}

}  // namespace qel::document

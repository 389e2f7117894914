#include "editing/documents.h"

#include "document/sample_store.h"
#include "document/temp_names.h"

namespace qel::editing {

using document::Document;
using document::DocumentFormat;
using document::HistoryStep;

ErrorNumber MakeEmpty(Document& doc, const DocumentFormat& format, HistoryStep* first) {
  std::string name;
  document::CSampleStoreFile file;
  if (!document::MakeTempFileName(doc.TempDirectory(), &name) ||
      !file.Create(name, format.sampleRate, format.channels, format.sampleSize,
                   format.channelsMask))
    return kErrMemory;
  file.Close();
  doc.format = format;
  doc.length = 0;
  *first = HistoryStep{};
  first->sampleFile = name;
  first->format = format;
  return kErrNone;
}

ErrorNumber AdoptFile(Document& doc, const std::string& name, const DocumentFormat& overrides,
                      HistoryStep* first, double* durationMs) {
  document::CSampleStoreFile file;
  if (!file.Open(name, document::kModeRead)) return kErrMemory;
  const DocumentFormat f{
      overrides.sampleRate >= 1 ? overrides.sampleRate : file.SampleRate(),
      overrides.channels >= 1 ? overrides.channels : file.Channels(),
      overrides.sampleSize >= 1 ? overrides.sampleSize : file.SampleSize(),
      overrides.channelsMask >= 1 ? overrides.channelsMask : file.ChannelsMask()};
  const int64_t length = static_cast<int64_t>(file.DataSize());
  file.Close();
  // Below 1 is what the host can get wrong by leaving a field to a bad header;
  // a size or channel count no document is made in would only fail later.
  const bool sizeOk =
      f.sampleSize == 8 || f.sampleSize == 16 || f.sampleSize == 24 || f.sampleSize == 32;
  if (!sizeOk || f.sampleRate < 1 || f.channels < 1 || f.channels > document::kMaxChannels)
    return kErrInvalidArgument;
  doc.format = f;
  doc.length = length;
  *first = HistoryStep{};
  first->sampleFile = name;  // adopted as it is
  first->format = f;
  first->length = length;
  first->ownsFiles = true;
  *durationMs = static_cast<double>(doc.ToFrames(length)) / (f.sampleRate / 1000.0);
  return kErrNone;
}

void StartDocument(Document& doc, document::OperationObserver& observer, HistoryStep first,
                   double durationMs) {
  doc.source = document::SourceInfo{};
  doc.source.duration = durationMs;
  // The view shows the whole document, with a cursor at its start.
  first.view = document::ViewStack{};
  first.view.endView[0] = doc.length;
  doc.history.TakeStep(std::move(first), opcode::kNone);
  doc.selectionLevel = 0;
  doc.RecountChannels();
  observer.DocumentStarted();
  doc.BuildChannelOrder();
  doc.RecomputeOperationMask();
  doc.markerLayout.clear();
  document::ApplyView(doc, observer);
  observer.PictureChanged();
}

void Undo(Document& doc, document::OperationObserver& observer, int32_t count) {
  if (!doc.Idle() || !doc.IsOpen()) return;
  doc.progressScale = 100;
  doc.history.Undo(count);
  document::RefreshFromCurrentStep(doc, observer);
}

void Redo(Document& doc, document::OperationObserver& observer, int32_t count) {
  if (!doc.Idle() || !doc.IsOpen()) return;
  doc.progressScale = 100;
  doc.history.Redo(count);
  document::RefreshFromCurrentStep(doc, observer);
}

void EndBatch(Document& doc, document::OperationObserver& observer) {
  doc.batch = false;
  if (doc.IsOpen()) {
    doc.LoadOverview();
    document::ApplyView(doc, observer);
  }
  observer.PictureChanged();
  doc.RebuildMarkerLayout();
}

}  // namespace qel::editing

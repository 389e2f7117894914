#include "editing/marker_edits.h"

#include <algorithm>

#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"
#include "processing/operation_frame.h"

namespace qel::editing {

using document::Document;
using document::Marker;
using document::OperationObserver;

namespace {

void MarkerChanged(Document& doc, OperationObserver& observer) {
  doc.RebuildMarkerLayout();
  observer.PictureChanged();
}

}  // namespace

Marker* CurrentMarker(Document& doc) {
  document::HistoryStep* step = doc.Current();
  if (!step || step->currentMarker < 1 || step->markers.empty()) return nullptr;
  return &step->markers[static_cast<size_t>(step->currentMarker) - 1];
}

void InsertMarker(Document& doc, OperationObserver& observer, int64_t position, int64_t length,
                  std::u16string label, std::u16string note) {
  document::HistoryStep* step = doc.Current();
  if (!step || doc.length == 0) return;
  const int64_t align = doc.format.BlockAlign();
  const int64_t total = doc.length;
  if (position < 0) position = 0;
  if (position > total / align) return;  // beyond the end: nothing is added
  const int64_t p = position * align;
  const int64_t n = length > (total - p) / align ? total - p : length * align;
  document::AddMarker(*step, doc.Frames(), p / align, n / align, std::move(label), std::move(note),
                      u"");
  MarkerChanged(doc, observer);
}

void DeleteMarker(Document& doc, OperationObserver& observer) {
  document::HistoryStep* step = doc.Current();
  if (!step || step->currentMarker < 1 || step->markers.empty()) return;
  step->markers.erase(step->markers.begin() + (step->currentMarker - 1));
  const auto count = static_cast<int32_t>(step->markers.size());
  if (step->currentMarker > count) step->currentMarker = count;
  MarkerChanged(doc, observer);
}

void SortMarkers(Document& doc, OperationObserver& observer) {
  document::HistoryStep* step = doc.Current();
  if (!step || step->markers.empty()) return;
  std::stable_sort(step->markers.begin(), step->markers.end(),
                   [](const Marker& a, const Marker& b) { return a.position < b.position; });
  MarkerChanged(doc, observer);
}

void SelectMarker(Document& doc, int32_t number) {
  document::HistoryStep* step = doc.Current();
  if (!step || step->markers.empty()) return;
  step->currentMarker = std::clamp(number, 1, static_cast<int32_t>(step->markers.size()));
}

void SetMarkerPosition(Document& doc, OperationObserver& observer, int64_t value) {
  Marker* m = CurrentMarker(doc);
  if (!m) return;
  const int64_t align = std::max<int64_t>(doc.format.BlockAlign(), 1);
  const int64_t frames = std::clamp<int64_t>(value, 0, doc.length / align);
  m->position = std::clamp(frames * align, int64_t{0}, doc.length) / align;
  MarkerChanged(doc, observer);
}

void SetMarkerLength(Document& doc, OperationObserver& observer, int64_t value) {
  Marker* m = CurrentMarker(doc);
  if (!m) return;
  m->length =
      std::min(std::max<int64_t>(value, 0), std::max<int64_t>(doc.Frames() - m->position, 0));
  MarkerChanged(doc, observer);
}

void SetMarkerLabel(Document& doc, OperationObserver& observer, std::u16string label) {
  if (Marker* m = CurrentMarker(doc)) {
    m->label = std::move(label);
    MarkerChanged(doc, observer);
  }
}

void SetMarkerNote(Document& doc, OperationObserver& observer, std::u16string note) {
  if (Marker* m = CurrentMarker(doc)) {
    m->note = std::move(note);
    MarkerChanged(doc, observer);
  }
}

void SetMarkerColor(Document& doc, OperationObserver& observer, uint32_t color,
                    bool drawnInOwnColour) {
  Marker* m = CurrentMarker(doc);
  if (!m) return;
  m->color = color;
  if (drawnInOwnColour) MarkerChanged(doc, observer);
}

void SetMarkerPlayList(Document& doc, OperationObserver& observer, int32_t value) {
  if (Marker* m = CurrentMarker(doc)) {
    m->playList = std::max(value, 0);
    MarkerChanged(doc, observer);
  }
}

ErrorNumber SplitFileByMarkers(Document& doc, OperationObserver& observer,
                               std::vector<std::string>* files) {
  const document::HistoryStep* step = doc.Current();
  if (!step || step->markers.empty() || !doc.Idle()) return kErrNone;
  files->clear();
  doc.RebuildMarkerLayout();
  doc.SetStatus(status::kSplitFile);

  document::CSampleStoreFile source;
  ErrorNumber error = kErrNone;
  if (!source.Open(step->sampleFile, document::kModeRead)) error = kErrFileAccess;
  const document::DocumentFormat format = doc.format;
  const int64_t align = std::max(format.BlockAlign(), 1);
  const auto total = static_cast<int64_t>(source.DataSize());

  auto writePiece = [&](int64_t from, int64_t to) {
    std::string name;
    document::CSampleStoreFile piece;
    if (!document::MakeTempFileName(doc.TempDirectory(), &name) ||
        !piece.Create(name, format.sampleRate, format.channels, format.sampleSize,
                      format.channelsMask)) {
      error = kErrFileAccess;
      return;
    }
    if (!processing::CopyInBlocks(
            source, static_cast<uint64_t>(from), piece, to - from, format,
            [&](int64_t done) {
              observer.Progress(static_cast<int32_t>(static_cast<double>(from + done) /
                                                     static_cast<double>(total) * 100.0));
            },
            [&] { return doc.Cancelled(); }))
      error = kErrFileAccess;
    if (!piece.Close() && error == kErrNone) error = kErrFileAccess;
    if (error != kErrNone || doc.Cancelled()) {
      platform::DeleteFile(name);  // cancelled or failed: this piece goes
      return;
    }
    files->push_back(name);
    observer.SplitFileCreated(name);
  };

  int64_t cut = 0;
  for (const document::MarkerLayoutEntry& m : doc.markerLayout) {
    if (error != kErrNone || doc.Cancelled()) break;
    if (m.position - cut > align) {
      writePiece(cut, m.position);
      cut = m.position;
      if (m.length > 0 && error == kErrNone && !doc.Cancelled()) {
        writePiece(m.position, std::min(m.position + m.length, total));
        cut = std::min(m.position + m.length, total);
      }
    }
  }
  if (error == kErrNone && !doc.Cancelled() && total - cut > align) writePiece(cut, total);
  source.Close();
  doc.SetStatus(status::kIdle);
  observer.OperationEnded();
  return error;
}

}  // namespace qel::editing

#include "document/markers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"
#include "processing/operation_frame.h"

namespace qel {

using namespace com;

namespace {

// "Color:" or "Play:" followed by a number in the next 8 characters.
int64_t ReadAttribute(std::u16string_view text, std::u16string_view key, int64_t otherwise) {
  size_t at = text.find(key);
  if (at == std::u16string_view::npos) return otherwise;
  std::string digits = Utf16ToUtf8(text.substr(at + key.size(), 8));
  return std::strtol(digits.c_str(), nullptr, 10);
}

int64_t Trunc(double value) {
  return static_cast<int64_t>(value);
}

}  // namespace

HRESULT CEditorMarkers::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorMarkers>(iid, object);
}

document::HistoryStep* CEditorMarkers::Step() {
  return Editor() && Editor()->DocumentOpen() ? Editor()->Position().History().Current() : nullptr;
}

document::Marker* CEditorMarkers::CurrentMarker() {
  document::HistoryStep* step = Step();
  if (!step || step->currentMarker < 1 || step->markers.empty()) return nullptr;
  return &step->markers[static_cast<size_t>(step->currentMarker) - 1];
}

void CEditorMarkers::MarkerChanged() {
  RebuildLayout();
  if (Editor()) Editor()->Recompose();
}

std::u16string CEditorMarkers::AttributeText(const document::Marker& marker) {
  char text[64];
  std::snprintf(text, sizeof text, "Color:%-8u Play:%-8d", static_cast<unsigned>(marker.color),
                static_cast<int>(marker.playList));
  return Utf8ToUtf16(text);
}

void CEditorMarkers::AddMarker(int64_t position, int64_t length, std::u16string label,
                               std::u16string note, std::u16string attributes) {
  document::HistoryStep* step = Step();
  if (!step) return;
  if (position > Editor()->ToFrames(Editor()->LengthBytes())) return;
  document::Marker m;
  m.position = position;
  m.length = length;
  m.label = std::move(label);
  m.note = std::move(note);
  m.color =
      static_cast<uint32_t>(ReadAttribute(attributes, u"Color:", document::kDefaultMarkerColor));
  m.playList = static_cast<int32_t>(ReadAttribute(attributes, u"Play:", 0));
  m.attributes = std::move(attributes);
  step->markers.push_back(std::move(m));
  if (step->currentMarker == 0) step->currentMarker = 1;
}

HRESULT CEditorMarkers::Insert(int64_t position, int64_t length, BSTR label, BSTR note) {
  document::HistoryStep* step = Step();
  if (!step || Editor()->LengthBytes() == 0) return S_OK;
  const int64_t align = Editor()->Format().BlockAlign();
  const int64_t total = Editor()->LengthBytes();
  if (position < 0) position = 0;
  if (position > total / align) return S_OK;  // beyond the end: nothing is added
  const int64_t p = position * align;
  int64_t n = length > (total - p) / align ? total - p : length * align;
  AddMarker(p / align, n / align, std::u16string(View(label)), std::u16string(View(note)), u"");
  MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::Delete() {
  document::HistoryStep* step = Step();
  if (!step || step->currentMarker < 1 || step->markers.empty()) return S_OK;
  step->markers.erase(step->markers.begin() + (step->currentMarker - 1));
  const int32_t count = static_cast<int32_t>(step->markers.size());
  if (step->currentMarker > count) step->currentMarker = count;
  MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::SortByPosition() {
  document::HistoryStep* step = Step();
  if (!step || step->markers.empty()) return S_OK;
  // Equal positions keep their order; Num keeps its value (and so may now name
  // another marker).
  std::stable_sort(
      step->markers.begin(), step->markers.end(),
      [](const document::Marker& a, const document::Marker& b) { return a.position < b.position; });
  MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::get_Count(int32_t* value) {
  if (!value) return E_POINTER;
  document::HistoryStep* step = Step();
  *value = step ? static_cast<int32_t>(step->markers.size()) : 0;
  return S_OK;
}

HRESULT CEditorMarkers::get_Num(int32_t* value) {
  if (!value) return E_POINTER;
  document::HistoryStep* step = Step();
  *value = step ? step->currentMarker : 0;
  return S_OK;
}

HRESULT CEditorMarkers::put_Num(int32_t value) {
  document::HistoryStep* step = Step();
  if (!step || step->markers.empty()) return S_OK;
  step->currentMarker = std::clamp(value, 1, static_cast<int32_t>(step->markers.size()));
  return S_OK;
}

HRESULT CEditorMarkers::get_Position(int64_t* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = m ? m->position : 0;
  return S_OK;
}

HRESULT CEditorMarkers::put_Position(int64_t value) {
  document::Marker* m = CurrentMarker();
  if (!m) return S_OK;
  const int64_t align = Editor()->Format().BlockAlign();
  const int64_t total = Editor()->LengthBytes();
  int64_t frames = std::clamp<int64_t>(value, 0, total / std::max<int64_t>(align, 1));
  m->position = std::clamp(frames * align, int64_t{0}, total) / align;
  MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::get_Length(int64_t* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = m ? m->length : 0;
  return S_OK;
}

HRESULT CEditorMarkers::put_Length(int64_t value) {
  document::Marker* m = CurrentMarker();
  if (!m) return S_OK;
  const int64_t frames = Editor()->ToFrames(Editor()->LengthBytes());
  // The marker ends at the document end at the latest.
  m->length = std::min(std::max<int64_t>(value, 0), std::max<int64_t>(frames - m->position, 0));
  MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::get_Label(BSTR* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = Bstr(m ? std::u16string_view(m->label) : u"").Detach();
  return S_OK;
}

HRESULT CEditorMarkers::put_Label(BSTR value) {
  if (document::Marker* m = CurrentMarker()) {
    m->label = std::u16string(View(value));
    MarkerChanged();
  }
  return S_OK;
}

HRESULT CEditorMarkers::get_Note(BSTR* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = Bstr(m ? std::u16string_view(m->note) : u"").Detach();
  return S_OK;
}

HRESULT CEditorMarkers::put_Note(BSTR value) {
  if (document::Marker* m = CurrentMarker()) {
    m->note = std::u16string(View(value));
    MarkerChanged();
  }
  return S_OK;
}

HRESULT CEditorMarkers::get_Color(OLE_COLOR* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = m ? m->color : 0;
  return S_OK;
}

HRESULT CEditorMarkers::put_Color(OLE_COLOR value) {
  document::Marker* m = CurrentMarker();
  if (!m) return S_OK;
  m->color = value;
  // Colours only shape the layout where markers are drawn in their own colour.
  if (Editor()->MarkerType() > 0) MarkerChanged();
  return S_OK;
}

HRESULT CEditorMarkers::get_PlayList(int32_t* value) {
  if (!value) return E_POINTER;
  document::Marker* m = CurrentMarker();
  *value = m ? m->playList : 0;
  return S_OK;
}

HRESULT CEditorMarkers::put_PlayList(int32_t value) {
  if (document::Marker* m = CurrentMarker()) {
    m->playList = std::max(value, 0);
    MarkerChanged();
  }
  return S_OK;
}

HRESULT CEditorMarkers::get_SplitFilesCount(int32_t* value) {
  if (!value) return E_POINTER;
  *value = static_cast<int32_t>(splitFiles_.size());
  return S_OK;
}

HRESULT CEditorMarkers::get_SplitFilesName(int32_t index, BSTR* value) {
  if (!value) return E_POINTER;
  if (index < 0 || static_cast<size_t>(index) >= splitFiles_.size())
    return ErrorResult(kErrInvalidArgument);  // no error information for this one
  *value = Bstr::FromUtf8(splitFiles_[static_cast<size_t>(index)]).Detach();
  return S_OK;
}

void CEditorMarkers::RebuildLayout() {
  layout_.clear();
  document::HistoryStep* step = Step();
  if (!step) return;
  const int64_t align = Editor()->Format().BlockAlign();
  int32_t number = 0;
  for (const document::Marker& m : step->markers) {
    layout_.push_back(
        {m.position * align, m.length * align, m.color, m.playList, m.label, ++number});
  }
  std::stable_sort(layout_.begin(), layout_.end(), [](const LayoutEntry& a, const LayoutEntry& b) {
    return a.position < b.position;
  });
}

void CEditorMarkers::Carry(const document::HistoryStep& previous, document::HistoryStep& current) {
  current.markers = previous.markers;
  current.currentMarker = previous.currentMarker;
  // Frames of the selections, counted in the previous step's frame size.
  const int64_t frameBytes =
      std::max<int64_t>(int64_t{previous.format.sampleSize / 8} * previous.format.channels, 1);
  const document::ViewStack& pv = previous.view;
  const document::ViewStack& cv = current.view;
  const int64_t p0 = pv.startSelect[pv.zoom] / frameBytes;
  const int64_t p1 = pv.endSelect[pv.zoom] / frameBytes;
  const int64_t c0 = cv.startSelect[cv.zoom] / frameBytes;
  const int64_t c1 = cv.endSelect[cv.zoom] / frameBytes;
  const int64_t d0 = p1 - p0;
  const int64_t d1 = c1 - c0;
  const bool deleted = d1 == 0;
  const bool rateChanged = previous.format.sampleRate != current.format.sampleRate;
  const double r = rateChanged ? static_cast<double>(current.format.sampleRate) /
                                     static_cast<double>(previous.format.sampleRate)
                   : deleted || d0 == 0 ? 0.0
                                        : static_cast<double>(d1) / static_cast<double>(d0);

  for (size_t i = 0; i < current.markers.size(); ++i) {
    document::Marker& m = current.markers[i];
    const int64_t p = m.position, l = m.length, e = p + l;
    int64_t np = p, nl = l;
    bool fire = false;
    if (rateChanged) {
      np = Trunc(static_cast<double>(p) * r + 0.5);
      nl = Trunc(static_cast<double>(l) * r + 0.5);
    } else if (p >= p1) {
      np = p + d1 - d0;
    } else if (p < p0) {
      if (e > p0 && e < p1)
        nl = deleted ? p0 - p
                     : Trunc(static_cast<double>(p0 - p) + static_cast<double>(e - p0) * r + 0.5);
      else if (e > p1)
        nl = deleted ? l - d0 : l - d0 + Trunc(static_cast<double>(d0) * r + 0.5);
    } else if (p > p0) {  // p0 < p < p1
      if (e < p1) {
        if (deleted) {
          fire = true;  // the stored values stay, but the marker was in the deleted range
        } else {
          np = p0 + Trunc(static_cast<double>(p - p0) * r + 0.5);
          nl = Trunc(static_cast<double>(l) * r + 0.5);
        }
      } else if (e == p1) {
        if (deleted) np = p0, nl = 0;
      } else {
        if (deleted) {
          np = p0;
          nl = e - p1;
        } else {
          np = p0 + Trunc(static_cast<double>(p - p0) * r + 0.5);
          nl = Trunc(static_cast<double>(l) - static_cast<double>(p1 - p) * (1.0 - r) + 0.5);
        }
      }
    }
    // A value is only taken when it is not negative.
    if (np >= 0) m.position = np;
    if (nl >= 0) m.length = nl;
    if (m.position != p || m.length != l) fire = true;
    if (fire && Editor()) Editor()->Events().ChangeMarker(static_cast<int32_t>(i) + 1);
  }
}

void CEditorMarkers::ReadFrom(IExtraData& extra, int32_t sampleRate) {
  int32_t count = 0;
  extra.get_MarkersCount(&count);
  for (int32_t i = 0; i < count; ++i) {
    double start = 0, duration = 0;
    Bstr label, note, attributes;
    extra.get_MarkerPosition(i, &start);
    extra.get_MarkerLength(i, &duration);
    extra.get_MarkerLabel(i, label.Out());
    extra.get_MarkerNote(i, note.Out());
    extra.get_MarkerAttributes(i, attributes.Out());
    AddMarker(Trunc(start * sampleRate / 1000.0), Trunc(duration * sampleRate / 1000.0),
              std::u16string(label.view()), std::u16string(note.view()),
              std::u16string(attributes.view()));
  }
  RebuildLayout();
}

void CEditorMarkers::WriteTo(const document::HistoryStep& step, int64_t from, int64_t to,
                             int32_t sampleRate, IExtraData& extra) {
  const double perMs = sampleRate / 1000.0;
  for (const document::Marker& m : step.markers) {
    if (m.position > to) break;  // list order: the first one past the range ends it
    const int64_t end = m.position + m.length;
    if (end < from) continue;
    const int64_t start = std::max(m.position, from);
    const int64_t length = std::min(m.length, to - start);
    extra.AddMarker((static_cast<double>(start - from) + 0.5) / perMs,
                    (static_cast<double>(length) + 0.5) / perMs, Bstr(m.label).get(),
                    Bstr(m.note).get(), Bstr(AttributeText(m)).get());
  }
}

HRESULT CEditorMarkers::SplitFileByMarkers() {
  document::HistoryStep* step = Step();
  if (!step || step->markers.empty()) return S_OK;
  CAudioEditor& editor = *Editor();
  if (editor.Status() != status::kIdle) return S_OK;
  splitFiles_.clear();
  RebuildLayout();
  editor.SetStatus(status::kSplitFile);

  document::CSampleStoreFile source;
  int32_t error = kErrNone;
  if (!source.Open(step->sampleFile, document::kModeRead)) error = kErrFileAccess;
  const document::DocumentFormat format = editor.Format();
  const int64_t align = std::max(format.BlockAlign(), 1);
  const int64_t total = static_cast<int64_t>(source.DataSize());

  auto writePiece = [&](int64_t from, int64_t to) {
    std::string name;
    document::CSampleStoreFile piece;
    if (!document::MakeTempFileName(editor.TempDirectoryPath(), &name) ||
        !piece.Create(name, format.sampleRate, format.channels, format.sampleSize,
                      format.channelsMask)) {
      error = kErrFileAccess;
      return;
    }
    if (!CopyInBlocks(
            source, static_cast<uint64_t>(from), piece, to - from, format,
            [&](int64_t done) {
              editor.Events().BlockOperation(static_cast<int32_t>(
                  static_cast<double>(from + done) / static_cast<double>(total) * 100.0));
            },
            [&] { return editor.Status() == status::kIdle; }))
      error = kErrFileAccess;
    piece.Close();
    if (error != kErrNone || editor.Status() == status::kIdle) {
      platform::DeleteFile(name);  // cancelled or failed: this piece goes
      return;
    }
    splitFiles_.push_back(name);
    editor.Events().SplitFileCreated(Bstr::FromUtf8(name).get());
  };

  int64_t cut = 0;
  for (const LayoutEntry& m : layout_) {
    if (error != kErrNone || editor.Status() == status::kIdle) break;
    // A marker within one frame of the cut makes no piece, not even its own range.
    if (m.position - cut > align) {
      writePiece(cut, m.position);
      cut = m.position;
      if (m.length > 0 && error == kErrNone && editor.Status() != status::kIdle) {
        writePiece(m.position, std::min(m.position + m.length, total));
        cut = std::min(m.position + m.length, total);
      }
    }
  }
  if (error == kErrNone && editor.Status() != status::kIdle && total - cut > align)
    writePiece(cut, total);
  source.Close();
  editor.SetStatus(status::kIdle);
  editor.Events().EndOperation();
  return RaiseError(error);
}

}  // namespace qel

#include "core/markers_object.h"

#include "com/bstr.h"
#include "com/classtable.h"
#include "core/errors.h"
#include "editing/marker_edits.h"

namespace qel {

using namespace com;

HRESULT CEditorMarkers::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorMarkers>(iid, object);
}

template <class Change>
HRESULT CEditorMarkers::Edit(Change&& change) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State()) change(*state);
  return S_OK;
}

template <class T, class Read>
HRESULT CEditorMarkers::Get(T* value, Read&& read) {
  if (!value) return E_POINTER;
  *value = T{};
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State())
    if (const document::Marker* m = editing::CurrentMarker(state->doc)) *value = read(*m);
  return S_OK;
}

HRESULT CEditorMarkers::Insert(int64_t position, int64_t length, BSTR label, BSTR note) {
  return Edit([&](ControlState& s) {
    editing::InsertMarker(s.doc, s, position, length, std::u16string(View(label)),
                          std::u16string(View(note)));
  });
}

HRESULT CEditorMarkers::Delete() {
  return Edit([&](ControlState& s) { editing::DeleteMarker(s.doc, s); });
}

HRESULT CEditorMarkers::SortByPosition() {
  return Edit([&](ControlState& s) { editing::SortMarkers(s.doc, s); });
}

HRESULT CEditorMarkers::get_Count(int32_t* value) {
  if (!value) return E_POINTER;
  *value = 0;
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State())
    if (const document::HistoryStep* step = state->doc.Current())
      *value = static_cast<int32_t>(step->markers.size());
  return S_OK;
}

HRESULT CEditorMarkers::get_Num(int32_t* value) {
  if (!value) return E_POINTER;
  *value = 0;
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State())
    if (const document::HistoryStep* step = state->doc.Current()) *value = step->currentMarker;
  return S_OK;
}

HRESULT CEditorMarkers::put_Num(int32_t value) {
  return Edit([&](ControlState& s) { editing::SelectMarker(s.doc, value); });
}

HRESULT CEditorMarkers::get_Position(int64_t* value) {
  return Get(value, [](const document::Marker& m) { return m.position; });
}
HRESULT CEditorMarkers::put_Position(int64_t value) {
  return Edit([&](ControlState& s) { editing::SetMarkerPosition(s.doc, s, value); });
}
HRESULT CEditorMarkers::get_Length(int64_t* value) {
  return Get(value, [](const document::Marker& m) { return m.length; });
}
HRESULT CEditorMarkers::put_Length(int64_t value) {
  return Edit([&](ControlState& s) { editing::SetMarkerLength(s.doc, s, value); });
}

HRESULT CEditorMarkers::get_Label(BSTR* value) {
  if (!value) return E_POINTER;
  std::u16string label;
  const HRESULT hr = Get(&label, [](const document::Marker& m) { return m.label; });
  *value = Succeeded(hr) ? Bstr(label).Detach() : nullptr;
  return hr;
}
HRESULT CEditorMarkers::put_Label(BSTR value) {
  return Edit(
      [&](ControlState& s) { editing::SetMarkerLabel(s.doc, s, std::u16string(View(value))); });
}
HRESULT CEditorMarkers::get_Note(BSTR* value) {
  if (!value) return E_POINTER;
  std::u16string note;
  const HRESULT hr = Get(&note, [](const document::Marker& m) { return m.note; });
  *value = Succeeded(hr) ? Bstr(note).Detach() : nullptr;
  return hr;
}
HRESULT CEditorMarkers::put_Note(BSTR value) {
  return Edit(
      [&](ControlState& s) { editing::SetMarkerNote(s.doc, s, std::u16string(View(value))); });
}

HRESULT CEditorMarkers::get_Color(OLE_COLOR* value) {
  return Get(value, [](const document::Marker& m) { return m.color; });
}
HRESULT CEditorMarkers::put_Color(OLE_COLOR value) {
  return Edit([&](ControlState& s) {
    editing::SetMarkerColor(s.doc, s, value, /*drawnInOwnColour=*/s.MarkerType() > 0);
  });
}
HRESULT CEditorMarkers::get_PlayList(int32_t* value) {
  return Get(value, [](const document::Marker& m) { return m.playList; });
}
HRESULT CEditorMarkers::put_PlayList(int32_t value) {
  return Edit([&](ControlState& s) { editing::SetMarkerPlayList(s.doc, s, value); });
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

HRESULT CEditorMarkers::SplitFileByMarkers() {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  const int32_t error = editing::SplitFileByMarkers(state->doc, *state, &splitFiles_);
  return error == kErrNone ? S_OK : RaiseError(error);
}

}  // namespace qel

#include "core/position_object.h"

#include "com/classtable.h"
#include "core/errors.h"
#include "editing/positions.h"

namespace qel {

using namespace com;

HRESULT CEditorPosition::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorPosition>(iid, object);
}

template <class Put>
HRESULT CEditorPosition::Change(Put&& put) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State()) put(*state);
  return S_OK;
}

template <class Read>
HRESULT CEditorPosition::Frames(int64_t* value, Read&& read) {
  if (!value) return E_POINTER;
  *value = 0;
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State()) *value = read(state->doc);
  return S_OK;
}

HRESULT CEditorPosition::get_StartSelect(int64_t* v) {
  return Frames(v, [](const auto& doc) { return editing::GetFramePositions(doc).startSelect; });
}
HRESULT CEditorPosition::get_EndSelect(int64_t* v) {
  return Frames(v, [](const auto& doc) { return editing::GetFramePositions(doc).endSelect; });
}
HRESULT CEditorPosition::get_StartView(int64_t* v) {
  return Frames(v, [](const auto& doc) { return editing::GetFramePositions(doc).startView; });
}
HRESULT CEditorPosition::get_EndView(int64_t* v) {
  return Frames(v, [](const auto& doc) { return editing::GetFramePositions(doc).endView; });
}

HRESULT CEditorPosition::put_StartSelect(int64_t value) {
  return Change([&](ControlState& s) { editing::SetStartSelect(s.doc, s, value); });
}
HRESULT CEditorPosition::put_EndSelect(int64_t value) {
  return Change([&](ControlState& s) { editing::SetEndSelect(s.doc, s, value); });
}
HRESULT CEditorPosition::put_StartView(int64_t value) {
  return Change([&](ControlState& s) { editing::SetStartView(s.doc, s, value); });
}
HRESULT CEditorPosition::put_EndView(int64_t value) {
  return Change([&](ControlState& s) { editing::SetEndView(s.doc, s, value); });
}

HRESULT CEditorPosition::get_Selected(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = 0;
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (ControlState* state = State())
    if (const document::ViewStack* view = state->doc.View()) *value = view->selected;
  return S_OK;
}

HRESULT CEditorPosition::put_Selected(VARIANT_BOOL value) {
  return Change([&](ControlState& s) { editing::SetSelected(s.doc, s, value); });
}

HRESULT CEditorPosition::get_TotalSamples(int64_t* value) {
  return Frames(value, [](const document::Document& doc) {
    return doc.IsOpen() ? doc.Frames() : int64_t{0};
  });
}

HRESULT CEditorPosition::get_Current(int64_t* value) {
  return Frames(value, [](const document::Document& doc) -> int64_t {
    const document::HistoryStep* step = doc.Current();
    if (!step) return 0;
    // While something runs, the play (or record) position is the current one.
    return doc.Idle() ? doc.ToFrames(step->view.startSelect[step->view.zoom])
                      : doc.ToFrames(step->playPosition);
  });
}

HRESULT CEditorPosition::put_Current(int64_t value) {
  if (ControlState* s = State(); s && s->doc.Status() == status::kPlaying && s->seekPlayback)
    return s->seekPlayback(value);
  return Change([&](ControlState& s) { editing::SetCurrent(s.doc, s, value); });
}

HRESULT CEditorPosition::get_PlayPosition(int64_t* value) {
  return get_Current(value);
}

HRESULT CEditorPosition::put_PlayPosition(int64_t value) {
  return put_Current(value);
}

}  // namespace qel

#include "editing/position.h"

#include <limits>

#include "com/classtable.h"
#include "core/audio_editor.h"

namespace qel {

using namespace com;

HRESULT CEditorPosition::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorPosition>(iid, object);
}

document::ViewStack* CEditorPosition::View() {
  document::HistoryStep* step = history_.Current();
  return step && Editor() ? &step->view : nullptr;
}

int64_t CEditorPosition::Clamp(int64_t frames) const {
  const CAudioEditor& editor = *Editor();
  const int64_t align = editor.Format().BlockAlign();
  const int64_t length = editor.LengthBytes();
  if (frames <= 0 || align <= 0) return 0;
  if (frames > std::numeric_limits<int64_t>::max() / align) return length;
  return std::min(frames * align, length);
}

template <size_t N>
HRESULT CEditorPosition::GetFrames(std::array<int64_t, N> document::ViewStack::*which,
                                   int64_t* value) {
  if (!value) return E_POINTER;
  document::ViewStack* view = View();
  *value = view ? Editor()->ToFrames((view->*which)[view->zoom]) : 0;
  return S_OK;
}

HRESULT CEditorPosition::get_StartSelect(int64_t* v) {
  return GetFrames(&document::ViewStack::startSelect, v);
}
HRESULT CEditorPosition::get_EndSelect(int64_t* v) {
  return GetFrames(&document::ViewStack::endSelect, v);
}
HRESULT CEditorPosition::get_StartView(int64_t* v) {
  return GetFrames(&document::ViewStack::startView, v);
}
HRESULT CEditorPosition::get_EndView(int64_t* v) {
  return GetFrames(&document::ViewStack::endView, v);
}

HRESULT CEditorPosition::put_StartSelect(int64_t value) {
  document::ViewStack* view = View();
  if (!view) return S_OK;
  const int64_t b = Clamp(value);
  const int z = view->zoom;
  if (view->selected && b < view->endSelect[z])
    view->startSelect[z] = b;
  else
    view->startSelect[z] = view->endSelect[z] = b;  // a cursor; Selected stays as it was
  Editor()->RepaintSelection();
  return S_OK;
}

HRESULT CEditorPosition::put_EndSelect(int64_t value) {
  document::ViewStack* view = View();
  if (!view) return S_OK;
  const int64_t b = Clamp(value);
  const int z = view->zoom;
  if (!view->selected) {
    view->startSelect[z] = view->endSelect[z] = b;
  } else if (b <= view->startSelect[z]) {
    view->endSelect[z] = view->startSelect[z];  // the ends swap
    view->startSelect[z] = b;
  } else {
    view->endSelect[z] = b;
  }
  Editor()->RepaintSelection();
  return S_OK;
}

HRESULT CEditorPosition::put_StartView(int64_t value) {
  document::ViewStack* view = View();
  if (!view) return S_OK;
  const int64_t b = Clamp(value);
  if (b == view->startView[view->zoom]) return S_OK;
  Editor()->LeaveFullView(*view);
  const int z = view->zoom;
  if (b < view->endView[z]) {
    view->startView[z] = b;
  } else {
    view->startView[z] = view->endView[z];
    view->endView[z] = b;
  }
  Editor()->ApplyView();
  return S_OK;
}

HRESULT CEditorPosition::put_EndView(int64_t value) {
  document::ViewStack* view = View();
  if (!view) return S_OK;
  const int64_t b = Clamp(value);
  if (b == view->endView[view->zoom]) return S_OK;
  Editor()->LeaveFullView(*view);
  const int z = view->zoom;
  if (b > view->startView[z]) {
    view->endView[z] = b;
  } else {
    view->endView[z] = view->startView[z];
    view->startView[z] = b;
  }
  Editor()->ApplyView();
  return S_OK;
}

HRESULT CEditorPosition::get_Selected(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  document::ViewStack* view = View();
  *value = view ? view->selected : 0;
  return S_OK;
}

HRESULT CEditorPosition::put_Selected(VARIANT_BOOL value) {
  // The host's value is kept as given (VARIANT_TRUE reads back as -1).
  if (document::ViewStack* view = View()) view->selected = value;
  if (Editor()) Editor()->RepaintSelection();
  return S_OK;
}

HRESULT CEditorPosition::get_TotalSamples(int64_t* value) {
  if (!value) return E_POINTER;
  *value = View() ? Editor()->ToFrames(Editor()->LengthBytes()) : 0;
  return S_OK;
}

HRESULT CEditorPosition::get_Current(int64_t* value) {
  if (!value) return E_POINTER;
  document::ViewStack* view = View();
  if (!view) {
    *value = 0;
    return S_OK;
  }
  // While something runs, the play (or record) position is the current one.
  *value = Editor()->Status() != status::kIdle
               ? Editor()->ToFrames(history_.Current()->playPosition)
               : Editor()->ToFrames(view->startSelect[view->zoom]);
  return S_OK;
}

HRESULT CEditorPosition::put_Current(int64_t value) {
  document::ViewStack* view = View();
  if (!view) return S_OK;
  // During playback the value would be a seek for the player; there is no
  // player to seek yet, and the selection must not move under it.
  if (Editor()->Status() == status::kPlaying) return S_OK;
  const int64_t b = Clamp(value);
  const int z = view->zoom;
  if (!view->selected) {
    view->startSelect[z] = view->endSelect[z] = b;
  } else if (b < view->endSelect[z]) {
    view->startSelect[z] = b;
  } else {
    view->startSelect[z] = view->endSelect[z];
    view->endSelect[z] = b;
  }
  Editor()->RepaintSelection();
  return S_OK;
}

HRESULT CEditorPosition::get_PlayPosition(int64_t* value) {
  return get_Current(value);
}

}  // namespace qel

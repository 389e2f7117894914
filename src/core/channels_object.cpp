#include "core/channels_object.h"

#include <algorithm>

#include "com/classtable.h"
#include "core/errors.h"

namespace qel {

using namespace com;

HRESULT CEditorChannels::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorChannels>(iid, object);
}

int CEditorChannels::Slot() const {
  return std::clamp(num_, 1, document::kMaxChannels) - 1;
}

HRESULT CEditorChannels::get_Count(int32_t* value) {
  if (!value) return E_POINTER;
  *value = State() ? State()->doc.format.channels : 0;
  return S_OK;
}

HRESULT CEditorChannels::get_Num(int32_t* value) {
  if (!value) return E_POINTER;
  const int32_t channels = State() ? State()->doc.format.channels : num_;
  if (num_ > channels) num_ = channels;
  *value = num_;
  return S_OK;
}

HRESULT CEditorChannels::put_Num(int32_t value) {
  num_ = std::max(value, 1);
  return S_OK;
}

HRESULT CEditorChannels::get_Visible(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flags().Visible(Slot());
  return S_OK;
}

HRESULT CEditorChannels::put_Visible(VARIANT_BOOL value) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (!Flags().SetVisible(Slot(), value)) return S_OK;
  ControlState* state = State();
  if (!state) return S_OK;
  const int32_t before = state->doc.channels.VisibleCount();
  state->doc.RecountChannels();
  if (state->doc.channels.VisibleCount() != before) document::ApplyView(state->doc, *state);
  state->PictureChanged();
  return S_OK;
}

HRESULT CEditorChannels::get_OperationEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flags().Operation(Slot());
  return S_OK;
}

HRESULT CEditorChannels::put_OperationEnabled(VARIANT_BOOL value) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  if (!Flags().SetOperation(Slot(), value)) return S_OK;
  ControlState* state = State();
  if (!state) return S_OK;
  state->doc.RecountChannels();
  state->doc.RecomputeOperationMask();
  state->PictureChanged();
  return S_OK;
}

HRESULT CEditorChannels::get_OperationCount(int32_t* value) {
  if (!value) return E_POINTER;
  *value = Flags().OperationCount();
  return S_OK;
}

HRESULT CEditorChannels::get_OperationMask(int32_t* value) {
  if (!value) return E_POINTER;
  *value = static_cast<int32_t>(Flags().OperationMask());
  return S_OK;
}

}  // namespace qel

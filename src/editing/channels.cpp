#include "editing/channels.h"

#include <algorithm>

#include "com/classtable.h"
#include "core/audio_editor.h"

namespace qel {

using namespace com;

HRESULT CEditorChannels::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorChannels>(iid, object);
}

int CEditorChannels::Slot() const {
  return std::clamp(num_, 1, kMaxChannels) - 1;
}

int32_t CEditorChannels::DocumentChannels() const {
  return Editor() ? std::min(Editor()->Format().channels, kMaxChannels) : 0;
}

HRESULT CEditorChannels::get_Count(int32_t* value) {
  if (!value) return E_POINTER;
  *value = Editor() ? Editor()->Format().channels : 0;
  return S_OK;
}

HRESULT CEditorChannels::get_Num(int32_t* value) {
  if (!value) return E_POINTER;
  const int32_t channels = Editor() ? Editor()->Format().channels : num_;
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
  *value = visible_[Slot()];
  return S_OK;
}

HRESULT CEditorChannels::put_Visible(VARIANT_BOOL value) {
  int16_t& flag = visible_[Slot()];
  if (flag == value) return S_OK;
  flag = value;
  const int32_t before = visibleCount_;
  Recount();
  if (Editor()) {
    if (visibleCount_ != before) Editor()->ApplyView();
    Editor()->Recompose();
  }
  return S_OK;
}

HRESULT CEditorChannels::get_OperationEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = operation_[Slot()];
  return S_OK;
}

HRESULT CEditorChannels::put_OperationEnabled(VARIANT_BOOL value) {
  int16_t& flag = operation_[Slot()];
  if (flag == value) return S_OK;
  flag = value;
  Recount();
  RecomputeMask();
  if (Editor()) Editor()->Recompose();
  return S_OK;
}

HRESULT CEditorChannels::get_OperationCount(int32_t* value) {
  if (!value) return E_POINTER;
  *value = operationCount_;
  return S_OK;
}

HRESULT CEditorChannels::get_OperationMask(int32_t* value) {
  if (!value) return E_POINTER;
  *value = static_cast<int32_t>(operationMask_);
  return S_OK;
}

void CEditorChannels::Recount() {
  const int32_t channels = DocumentChannels();
  visibleCount_ = operationCount_ = 0;
  for (int32_t i = 0; i < channels; ++i) {
    if (visible_[i]) ++visibleCount_;
    if (operation_[i]) ++operationCount_;
  }
}

void CEditorChannels::RecomputeMask() {
  const bool stereoMode = Editor() && Editor()->StereoMode();
  if (operationCount_ == 2 && stereoMode) {
    operationMask_ = 3;
  } else if (operationCount_ == 1 && stereoMode) {
    operationMask_ = 1;
  } else {
    operationMask_ = 0;
    if (!Editor()) return;
    const int32_t channels = DocumentChannels();
    for (int32_t i = 0; i < channels; ++i)
      if (operation_[i]) operationMask_ |= Editor()->ChannelOrder()[i];
  }
}

void CEditorChannels::RestoreFlags(const Flags& flags) {
  operation_ = flags.operation;
  operationCount_ = flags.count;
  RecomputeMask();
}

void CEditorChannels::EnableAll() {
  operation_.fill(VARIANT_TRUE);
  Recount();
  RecomputeMask();
}

}  // namespace qel

// CEditorChannels: which channels are shown and which ones operations touch,
// one channel at a time (Num), over the document's channel flags.
#pragma once

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"

namespace qel {

class CEditorChannels final : public AutomationObject<CEditorChannels, IEditorChannelsDefaults>,
                              public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT get_Count(int32_t* value) override;
  com::HRESULT get_Num(int32_t* value) override;
  com::HRESULT put_Num(int32_t value) override;
  com::HRESULT get_Visible(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Visible(com::VARIANT_BOOL value) override;
  com::HRESULT get_OperationEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_OperationEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_OperationCount(int32_t* value) override;
  com::HRESULT get_OperationMask(int32_t* value) override;

 private:
  // The flag slot `Num` addresses (Num beyond the stored flags uses the last).
  int Slot() const;
  // The control's flags, or this object's own when made on its own.
  document::ChannelFlags& Flags() { return State() ? State()->doc.channels : own_; }

  int32_t num_ = 1;
  document::ChannelFlags own_;
};

}  // namespace qel

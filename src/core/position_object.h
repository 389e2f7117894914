// CEditorPosition: the selection, the view range and the play position of the
// document as the host sees them (frames at the interface), through the
// editing layer's position rules.
#pragma once

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"

namespace qel {

class CEditorPosition final : public AutomationObject<CEditorPosition, IEditorPositionDefaults>,
                              public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT get_StartSelect(int64_t* value) override;
  com::HRESULT put_StartSelect(int64_t value) override;
  com::HRESULT get_EndSelect(int64_t* value) override;
  com::HRESULT put_EndSelect(int64_t value) override;
  com::HRESULT get_StartView(int64_t* value) override;
  com::HRESULT put_StartView(int64_t value) override;
  com::HRESULT get_EndView(int64_t* value) override;
  com::HRESULT put_EndView(int64_t value) override;
  com::HRESULT get_Selected(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Selected(com::VARIANT_BOOL value) override;
  com::HRESULT get_TotalSamples(int64_t* value) override;
  com::HRESULT get_Current(int64_t* value) override;
  com::HRESULT put_Current(int64_t value) override;
  com::HRESULT get_PlayPosition(int64_t* value) override;
  com::HRESULT put_PlayPosition(int64_t value) override;

 private:
  // Calls put(state) with the control's state; an error once the control has gone.
  template <class Put>
  com::HRESULT Change(Put&& put);
  template <class Read>
  com::HRESULT Frames(int64_t* value, Read&& read);
};

}  // namespace qel

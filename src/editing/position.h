// CEditorPosition: the selection, the view range and the play position of the
// document as the host sees them (frames at the interface, bytes inside), and
// the undo history whose steps hold those positions.
#pragma once

#include "core/automation_object.h"
#include "core/editor_link.h"
#include "core/surface_defaults.h"
#include "document/history.h"

namespace qel {

class CEditorPosition final : public AutomationObject<CEditorPosition, IEditorPositionDefaults>,
                              public EditorLink {
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

  document::UndoHistory& History() { return history_; }

 private:
  // The current step's view stack, or null without a document.
  document::ViewStack* View();
  // Frames from the host to a byte position inside the document.
  int64_t Clamp(int64_t frames) const;
  template <size_t N>
  com::HRESULT GetFrames(std::array<int64_t, N> document::ViewStack::*which, int64_t* value);

  document::UndoHistory history_;
};

}  // namespace qel

// CEditorMarkers: named points and ranges of the document, one current marker
// (Num) at a time, through the editing layer's marker rules; and the pieces
// of the last split by markers.
#pragma once

#include <string>
#include <vector>

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"

namespace qel {

class CEditorMarkers final : public AutomationObject<CEditorMarkers, IEditorMarkersDefaults>,
                             public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT Insert(int64_t position, int64_t length, com::BSTR label, com::BSTR note) override;
  com::HRESULT Delete() override;
  com::HRESULT SortByPosition() override;
  com::HRESULT SplitFileByMarkers() override;
  com::HRESULT get_Count(int32_t* value) override;
  com::HRESULT get_Num(int32_t* value) override;
  com::HRESULT put_Num(int32_t value) override;
  com::HRESULT get_Length(int64_t* value) override;
  com::HRESULT put_Length(int64_t value) override;
  com::HRESULT get_Position(int64_t* value) override;
  com::HRESULT put_Position(int64_t value) override;
  com::HRESULT get_Label(com::BSTR* value) override;
  com::HRESULT put_Label(com::BSTR value) override;
  com::HRESULT get_Note(com::BSTR* value) override;
  com::HRESULT put_Note(com::BSTR value) override;
  com::HRESULT get_Color(com::OLE_COLOR* value) override;
  com::HRESULT put_Color(com::OLE_COLOR value) override;
  com::HRESULT get_PlayList(int32_t* value) override;
  com::HRESULT put_PlayList(int32_t value) override;
  com::HRESULT get_SplitFilesCount(int32_t* value) override;
  com::HRESULT get_SplitFilesName(int32_t index, com::BSTR* value) override;

 private:
  // Calls change(state) with the control's state; an error once it has gone.
  template <class Change>
  com::HRESULT Edit(Change&& change);
  // Reads a field of the current marker (its zero value without one).
  template <class T, class Read>
  com::HRESULT Get(T* value, Read&& read);

  std::vector<std::string> splitFiles_;
};

}  // namespace qel

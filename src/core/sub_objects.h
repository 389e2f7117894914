// The sub-objects a host reaches through the control's properties. Each holds a
// back-pointer to the control that owns it (null when created on its own) and
// answers the members its subsystem implements; the rest answer E_NOTIMPL.
#pragma once

#include "core/automation_object.h"
#include "core/surface_defaults.h"

namespace qel {

class CAudioEditor;

// The back-pointer every sub-object holds. The control clears it when it goes
// away, so a host that keeps a sub-object longer finds it detached, not dangling.
class EditorLink {
 public:
  void SetEditor(CAudioEditor* editor) { editor_ = editor; }
  CAudioEditor* Editor() const { return editor_; }

 private:
  CAudioEditor* editor_ = nullptr;
};

#define QEL_SUB_OBJECT(Class, Interface)                                                       \
  class Class final : public AutomationObject<Class, Interface##Defaults>, public EditorLink { \
   public:                                                                                     \
    static com::HRESULT CreateInstance(com::REFIID iid, void** object) {                       \
      auto obj = Create();                                                                     \
      return obj ? obj->QueryInterface(iid, object) : com::E_OUTOFMEMORY;                      \
    }                                                                                          \
  }

QEL_SUB_OBJECT(CEditorVisualization, IEditorVisualization);
QEL_SUB_OBJECT(CEditorScale, IEditorScale);
QEL_SUB_OBJECT(CEditorColors, IEditorColors);
QEL_SUB_OBJECT(CEditorFileInfo, IEditorFileInfo);
QEL_SUB_OBJECT(CEditorChannels, IEditorChannels);
QEL_SUB_OBJECT(CEditorConvertSampleType, IEditorConvertSampleType);
QEL_SUB_OBJECT(CEditorTransform, IEditorTransform);
QEL_SUB_OBJECT(CEditorDXTransform, IEditorDXTransform);
QEL_SUB_OBJECT(CEditorVSTTransform, IEditorVSTTransform);
QEL_SUB_OBJECT(CEditorDeviceLine, IEditorDeviceLine);
QEL_SUB_OBJECT(CEditorDevice, IEditorDevice);
QEL_SUB_OBJECT(CEditorRecorder, IEditorRecorder);
QEL_SUB_OBJECT(CEditorPlayback, IEditorPlayback);
QEL_SUB_OBJECT(CEditorPosition, IEditorPosition);
QEL_SUB_OBJECT(CEditorMarkers, IEditorMarkers);

#undef QEL_SUB_OBJECT

}  // namespace qel

// The sub-objects a host reaches through the control's properties. Each holds a
// back-pointer to the control that owns it (null when created on its own) and
// answers the members its subsystem implements; the rest answer E_NOTIMPL.
#pragma once

#include <string>

#include "com/classtable.h"
#include "core/automation_object.h"
#include "core/editor_link.h"
#include "core/surface_defaults.h"
#include "document/file_info.h"
#include "document/markers.h"
#include "editing/channels.h"
#include "editing/position.h"
#include "processing/convert_sample_type.h"
#include "view/settings.h"  // CEditorVisualization, CEditorScale, CEditorColors

namespace qel {

#define QEL_SUB_OBJECT(Class, Interface)                                                       \
  class Class final : public AutomationObject<Class, Interface##Defaults>, public EditorLink { \
   public:                                                                                     \
    static com::HRESULT CreateInstance(com::REFIID iid, void** object) {                       \
      auto obj = Create();                                                                     \
      return obj ? obj->QueryInterface(iid, object) : com::E_OUTOFMEMORY;                      \
    }                                                                                          \
  }

QEL_SUB_OBJECT(CEditorDXTransform, IEditorDXTransform);
QEL_SUB_OBJECT(CEditorVSTTransform, IEditorVSTTransform);
QEL_SUB_OBJECT(CEditorDeviceLine, IEditorDeviceLine);

#undef QEL_SUB_OBJECT

// A recording or playback device with its mixer lines.
class CEditorDevice final : public AutomationObject<CEditorDevice, IEditorDeviceDefaults>,
                            public EditorLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object) {
    return com::CreateComObject<CEditorDevice>(iid, object);
  }
  CEditorDevice() : lines_(CEditorDeviceLine::Create()) {}
  com::HRESULT get_DeviceLines(IEditorDeviceLine** value) override {
    if (!value) return com::E_POINTER;
    *value = lines_.CopyOut();
    return com::S_OK;
  }
  void SetEditorOfLines(CAudioEditor* editor) {
    SetEditor(editor);
    lines_->SetEditor(editor);
  }

 private:
  com::ComPtr<CEditorDeviceLine> lines_;
};

// Recorder and playback each own their device object.
template <class Derived, class Defaults>
class DeviceOwner : public AutomationObject<Derived, Defaults>, public EditorLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object) {
    return com::CreateComObject<Derived>(iid, object);
  }
  DeviceOwner() : device_(CEditorDevice::Create()) {}
  com::HRESULT get_Device(IEditorDevice** value) override {
    if (!value) return com::E_POINTER;
    *value = device_.CopyOut();
    return com::S_OK;
  }
  CEditorDevice& Device() { return *device_; }

 private:
  com::ComPtr<CEditorDevice> device_;
};

class CEditorRecorder final : public DeviceOwner<CEditorRecorder, IEditorRecorderDefaults> {};
class CEditorPlayback final : public DeviceOwner<CEditorPlayback, IEditorPlaybackDefaults> {};

// The effects; the control sets its smoothing defaults at initialisation.
class CEditorTransform final : public AutomationObject<CEditorTransform, IEditorTransformDefaults>,
                               public EditorLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object) {
    return com::CreateComObject<CEditorTransform>(iid, object);
  }
  // Edge smoothing of operations: plain storage, read by the next operation.
  com::HRESULT get_SmoothEnabled(com::VARIANT_BOOL* value) override {
    if (!value) return com::E_POINTER;
    *value = smoothEnabled;
    return com::S_OK;
  }
  com::HRESULT put_SmoothEnabled(com::VARIANT_BOOL value) override {
    smoothEnabled = value;
    return com::S_OK;
  }
  com::HRESULT get_SmoothTimeBegin(double* value) override {
    if (!value) return com::E_POINTER;
    *value = smoothTimeBegin;
    return com::S_OK;
  }
  com::HRESULT put_SmoothTimeBegin(double value) override {
    smoothTimeBegin = value;
    return com::S_OK;
  }
  com::HRESULT get_SmoothTimeEnd(double* value) override {
    if (!value) return com::E_POINTER;
    *value = smoothTimeEnd;
    return com::S_OK;
  }
  com::HRESULT put_SmoothTimeEnd(double value) override {
    smoothTimeEnd = value;
    return com::S_OK;
  }

  com::VARIANT_BOOL smoothEnabled = com::VARIANT_FALSE;
  double smoothTimeBegin = 0.0;  // milliseconds
  double smoothTimeEnd = 0.0;
};

}  // namespace qel

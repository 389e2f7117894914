// The sub-objects a host reaches through the control's properties. Each holds
// the control's shared state (none when created on its own) and answers the
// members its subsystem implements; the rest answer E_NOTIMPL.
#pragma once

#include <string>

#include "com/classtable.h"
#include "core/automation_object.h"
#include "core/channels_object.h"
#include "core/control_state.h"
#include "core/convert_object.h"
#include "core/file_info_object.h"
#include "core/markers_object.h"
#include "core/position_object.h"
#include "core/settings_objects.h"
#include "core/surface_defaults.h"
#include "core/transform_object.h"

namespace qel {

#define QEL_SUB_OBJECT(Class, Interface)                                                      \
  class Class final : public AutomationObject<Class, Interface##Defaults>, public StateLink { \
   public:                                                                                    \
    static com::HRESULT CreateInstance(com::REFIID iid, void** object) {                      \
      auto obj = Create();                                                                    \
      return obj ? obj->QueryInterface(iid, object) : com::E_OUTOFMEMORY;                     \
    }                                                                                         \
  }

QEL_SUB_OBJECT(CEditorDXTransform, IEditorDXTransform);
QEL_SUB_OBJECT(CEditorVSTTransform, IEditorVSTTransform);
QEL_SUB_OBJECT(CEditorDeviceLine, IEditorDeviceLine);

#undef QEL_SUB_OBJECT

// A recording or playback device with its mixer lines.
class CEditorDevice final : public AutomationObject<CEditorDevice, IEditorDeviceDefaults>,
                            public StateLink {
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
  void SetStateOfLines(const std::shared_ptr<ControlState>& state) {
    SetState(state);
    lines_->SetState(state);
  }

 private:
  com::ComPtr<CEditorDeviceLine> lines_;
};

// Recorder and playback each own their device object.
template <class Derived, class Defaults>
class DeviceOwner : public AutomationObject<Derived, Defaults>, public StateLink {
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

}  // namespace qel

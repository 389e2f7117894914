// The device side of the surface: CEditorPlayback and CEditorRecorder, each
// owning its device object (CEditorDevice) with its mixer lines
// (CEditorDeviceLine). The device and line members reach the player or the
// recorder component the control gave them; without one they store or read 0.
#pragma once

#include <cstdint>

#include "com/classtable.h"
#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"
#include "external/audio.h"

namespace qel {

// Which component a device or a line speaks to (at most one of the two).
struct DeviceTarget {
  com::ComPtr<IAudioPlayer> player;
  com::ComPtr<IAudioRecorder> recorder;

  // Calls call(component) on the one there is; `missing` without one.
  template <class F>
  com::HRESULT Call(F&& call, com::HRESULT missing = com::S_OK) const {
    if (player) return call(player.get());
    if (recorder) return call(recorder.get());
    return missing;
  }
};

class CEditorDeviceLine final
    : public AutomationObject<CEditorDeviceLine, IEditorDeviceLineDefaults>,
      public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object) {
    return com::CreateComObject<CEditorDeviceLine>(iid, object);
  }
  void SetTarget(const DeviceTarget& target) { target_ = target; }

  com::HRESULT get_Count(int32_t* v) override;
  com::HRESULT get_Num(int32_t* v) override;
  com::HRESULT put_Num(int32_t v) override;
  com::HRESULT get_Name(com::BSTR* v) override;
  com::HRESULT get_Select(com::VARIANT_BOOL* v) override;
  com::HRESULT put_Select(com::VARIANT_BOOL v) override;
  com::HRESULT get_VolumeBalance(int32_t* v) override;
  com::HRESULT put_VolumeBalance(int32_t v) override;
  com::HRESULT get_Volume(int32_t* v) override;
  com::HRESULT put_Volume(int32_t v) override;
  com::HRESULT get_AdvancedCount(int32_t* v) override;
  com::HRESULT get_AdvancedName(int32_t index, com::BSTR* v) override;
  com::HRESULT get_AdvancedValue(int32_t index, com::VARIANT* v) override;
  com::HRESULT put_AdvancedValue(int32_t index, com::VARIANT v) override;

 private:
  DeviceTarget target_;
};

class CEditorDevice final : public AutomationObject<CEditorDevice, IEditorDeviceDefaults>,
                            public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object) {
    return com::CreateComObject<CEditorDevice>(iid, object);
  }
  CEditorDevice() : lines_(CEditorDeviceLine::Create()) {}
  void SetStateOfLines(const std::shared_ptr<ControlState>& state) {
    SetState(state);
    lines_->SetState(state);
  }
  void SetTarget(const DeviceTarget& target) {
    target_ = target;
    lines_->SetTarget(target);
  }
  // Block duration (ms) and blocks queued at the start, as the control reads them.
  int32_t BufferSize() const { return bufferSize_; }
  void SetBufferSize(int32_t ms) { bufferSize_ = ms; }
  int32_t BufferCount() const { return bufferCount_; }

  com::HRESULT get_Count(int32_t* v) override;
  com::HRESULT get_Num(int32_t* v) override;
  com::HRESULT put_Num(int32_t v) override;
  com::HRESULT get_Name(com::BSTR* v) override;
  com::HRESULT get_DeviceLines(IEditorDeviceLine** v) override;
  com::HRESULT get_BufferSize(int32_t* v) override;
  com::HRESULT put_BufferSize(int32_t v) override;
  com::HRESULT get_TimerInterval(int32_t* v) override;
  com::HRESULT put_TimerInterval(int32_t v) override;
  com::HRESULT get_BufferCount(int32_t* v) override;
  com::HRESULT put_BufferCount(int32_t v) override;
  com::HRESULT get_LevelDynamicRange(int32_t* v) override;
  com::HRESULT put_LevelDynamicRange(int32_t v) override;
  com::HRESULT get_LevelTimeRange(int32_t* v) override;
  com::HRESULT put_LevelTimeRange(int32_t v) override;

 private:
  com::ComPtr<CEditorDeviceLine> lines_;
  DeviceTarget target_;
  int32_t bufferSize_ = 500;
  int32_t bufferCount_ = 3;
  int32_t timerInterval_ = 20;
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

class CEditorRecorder final : public DeviceOwner<CEditorRecorder, IEditorRecorderDefaults> {
 public:
  // The recorder component (null when it could not be made).
  void SetRecorder(com::ComPtr<IAudioRecorder> recorder);
  IAudioRecorder* Recorder() const { return recorder_.get(); }

  com::HRESULT get_AccuAttackTime(int32_t* v) override;
  com::HRESULT put_AccuAttackTime(int32_t v) override;
  com::HRESULT get_AccuAttackLevel(int32_t* v) override;
  com::HRESULT put_AccuAttackLevel(int32_t v) override;
  com::HRESULT get_AccuReleaseTime(int32_t* v) override;
  com::HRESULT put_AccuReleaseTime(int32_t v) override;
  com::HRESULT get_AccuReleaseLevel(int32_t* v) override;
  com::HRESULT put_AccuReleaseLevel(int32_t v) override;
  com::HRESULT get_AccuEnabled(com::VARIANT_BOOL* v) override;
  com::HRESULT put_AccuEnabled(com::VARIANT_BOOL v) override;
  com::HRESULT get_AGCLowLevel(int32_t* v) override;
  com::HRESULT put_AGCLowLevel(int32_t v) override;
  com::HRESULT get_AGCHighLevel(int32_t* v) override;
  com::HRESULT put_AGCHighLevel(int32_t v) override;
  com::HRESULT get_AGCAttackTime(int32_t* v) override;
  com::HRESULT put_AGCAttackTime(int32_t v) override;
  com::HRESULT get_AGCEnabled(com::VARIANT_BOOL* v) override;
  com::HRESULT put_AGCEnabled(com::VARIANT_BOOL v) override;
  com::HRESULT get_RecorderType(int32_t* v) override;
  com::HRESULT put_RecorderType(int32_t v) override;

 private:
  com::ComPtr<IAudioRecorder> recorder_;
  int32_t recorderType_ = 1;
};

class CEditorPlayback final : public DeviceOwner<CEditorPlayback, IEditorPlaybackDefaults> {
 public:
  void SetPlayer(com::ComPtr<IAudioPlayer> player);
  IAudioPlayer* Player() const { return player_.get(); }
  int32_t DirectionValue() const { return direction_; }
  void SetDirectionValue(int32_t d) { direction_ = d; }
  bool SpeedOn() const { return speedEnabled_ != 0; }
  double Speed() const { return speedPercent_; }

  com::HRESULT get_SpeedEnabled(com::VARIANT_BOOL* v) override;
  com::HRESULT put_SpeedEnabled(com::VARIANT_BOOL v) override;
  com::HRESULT get_SpeedPercent(double* v) override;
  com::HRESULT put_SpeedPercent(double v) override;
  com::HRESULT get_Direction(int32_t* v) override;
  com::HRESULT put_Direction(int32_t v) override;
  com::HRESULT get_PlayerType(int32_t* v) override;
  com::HRESULT put_PlayerType(int32_t v) override;
  com::HRESULT get_StereoMode(com::VARIANT_BOOL* v) override;
  com::HRESULT put_StereoMode(com::VARIANT_BOOL v) override;

 private:
  com::ComPtr<IAudioPlayer> player_;
  com::VARIANT_BOOL speedEnabled_ = com::VARIANT_FALSE;
  double speedPercent_ = 100.0;
  int32_t direction_ = 1;
  int32_t playerType_ = 2;
  com::VARIANT_BOOL stereoMode_ = com::VARIANT_FALSE;
};

}  // namespace qel

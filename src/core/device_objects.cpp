#include "core/device_objects.h"

#include "core/errors.h"

namespace qel {

using namespace com;

namespace {

// A component's failure reaches the host with the table's message when it has one.
HRESULT Pass(HRESULT hr) {
  return Failed(hr) ? RaiseComponentResult(hr) : hr;
}

template <class T>
HRESULT Zero(T* v) {
  if (!v) return E_POINTER;
  *v = T{};
  return S_OK;
}

}  // namespace

// ---- CEditorDeviceLine: every member goes to the component's line members ----

HRESULT CEditorDeviceLine::get_Count(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineCount(v); }));
}
HRESULT CEditorDeviceLine::get_Num(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineNum(v); }));
}
HRESULT CEditorDeviceLine::put_Num(int32_t v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LineNum(v); }));
}
HRESULT CEditorDeviceLine::get_Name(BSTR* v) {
  if (!v) return E_POINTER;
  *v = nullptr;
  return Pass(target_.Call([&](auto* c) { return c->get_LineName(v); }));
}
HRESULT CEditorDeviceLine::get_Select(VARIANT_BOOL* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineSelect(v); }));
}
HRESULT CEditorDeviceLine::put_Select(VARIANT_BOOL v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LineSelect(v); }));
}
HRESULT CEditorDeviceLine::get_VolumeBalance(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineVolumeBalance(v); }));
}
HRESULT CEditorDeviceLine::put_VolumeBalance(int32_t v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LineVolumeBalance(v); }));
}
HRESULT CEditorDeviceLine::get_Volume(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineVolume(v); }));
}
HRESULT CEditorDeviceLine::put_Volume(int32_t v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LineVolume(v); }));
}
HRESULT CEditorDeviceLine::get_AdvancedCount(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LineAdvancedCount(v); }));
}
HRESULT CEditorDeviceLine::get_AdvancedName(int32_t index, BSTR* v) {
  if (!v) return E_POINTER;
  *v = nullptr;
  return Pass(target_.Call([&](auto* c) { return c->get_LineAdvancedName(index, v); }));
}
HRESULT CEditorDeviceLine::get_AdvancedValue(int32_t index, VARIANT* v) {
  if (!v) return E_POINTER;
  VariantInit(v);
  return Pass(target_.Call([&](auto* c) { return c->get_LineAdvancedValue(index, v); }));
}
HRESULT CEditorDeviceLine::put_AdvancedValue(int32_t index, VARIANT v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LineAdvancedValue(index, v); }));
}

// ---- CEditorDevice ----

HRESULT CEditorDevice::get_Count(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_DeviceCount(v); }));
}
HRESULT CEditorDevice::get_Num(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_DeviceNum(v); }));
}
HRESULT CEditorDevice::put_Num(int32_t v) {
  const HRESULT hr = target_.Call([&](auto* c) { return c->put_DeviceNum(v); });
  return hr == E_INVALIDARG ? RaiseError(kErrIndexOutOfRange) : Pass(hr);
}
HRESULT CEditorDevice::get_Name(BSTR* v) {
  if (!v) return E_POINTER;
  *v = nullptr;
  return Pass(target_.Call([&](auto* c) { return c->get_DeviceName(v); }));
}
HRESULT CEditorDevice::get_DeviceLines(IEditorDeviceLine** v) {
  if (!v) return E_POINTER;
  *v = lines_.CopyOut();
  return S_OK;
}
HRESULT CEditorDevice::get_BufferSize(int32_t* v) {
  if (!v) return E_POINTER;
  *v = bufferSize_;
  return S_OK;
}
HRESULT CEditorDevice::put_BufferSize(int32_t v) {
  bufferSize_ = v;
  return S_OK;
}
HRESULT CEditorDevice::get_TimerInterval(int32_t* v) {
  if (!v) return E_POINTER;
  *v = timerInterval_;
  return S_OK;
}
HRESULT CEditorDevice::put_TimerInterval(int32_t v) {
  const HRESULT hr = target_.Call([&](auto* c) { return c->put_TimerInterval(v); });
  if (Failed(hr)) return hr == E_INVALIDARG ? RaiseError(kErrInvalidArgument) : Pass(hr);
  timerInterval_ = v;
  return S_OK;
}
HRESULT CEditorDevice::get_BufferCount(int32_t* v) {
  if (!v) return E_POINTER;
  *v = bufferCount_;
  return S_OK;
}
HRESULT CEditorDevice::put_BufferCount(int32_t v) {
  bufferCount_ = v;
  return S_OK;
}
HRESULT CEditorDevice::get_LevelDynamicRange(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LevelDynamicRange(v); }));
}
HRESULT CEditorDevice::put_LevelDynamicRange(int32_t v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LevelDynamicRange(v); }));
}
HRESULT CEditorDevice::get_LevelTimeRange(int32_t* v) {
  if (Zero(v) != S_OK) return E_POINTER;
  return Pass(target_.Call([&](auto* c) { return c->get_LevelTimeRange(v); }));
}
HRESULT CEditorDevice::put_LevelTimeRange(int32_t v) {
  return Pass(target_.Call([&](auto* c) { return c->put_LevelTimeRange(v); }));
}

// ---- CEditorRecorder ----

void CEditorRecorder::SetRecorder(ComPtr<IAudioRecorder> recorder) {
  recorder_ = std::move(recorder);
  Device().SetTarget(DeviceTarget{nullptr, recorder_});
}

#define QEL_FORWARD(Name, Type)                               \
  HRESULT CEditorRecorder::get_##Name(Type* v) {              \
    if (!v) return E_POINTER;                                 \
    return recorder_ ? Pass(recorder_->get_##Name(v)) : S_OK; \
  }                                                           \
  HRESULT CEditorRecorder::put_##Name(Type v) {               \
    return recorder_ ? Pass(recorder_->put_##Name(v)) : S_OK; \
  }
QEL_FORWARD(AccuAttackTime, int32_t)
QEL_FORWARD(AccuAttackLevel, int32_t)
QEL_FORWARD(AccuReleaseTime, int32_t)
QEL_FORWARD(AccuReleaseLevel, int32_t)
QEL_FORWARD(AccuEnabled, VARIANT_BOOL)
QEL_FORWARD(AGCLowLevel, int32_t)
QEL_FORWARD(AGCHighLevel, int32_t)
QEL_FORWARD(AGCAttackTime, int32_t)
QEL_FORWARD(AGCEnabled, VARIANT_BOOL)
#undef QEL_FORWARD

HRESULT CEditorRecorder::get_RecorderType(int32_t* v) {
  if (!v) return E_POINTER;
  *v = recorderType_;
  return S_OK;
}
HRESULT CEditorRecorder::put_RecorderType(int32_t) {
  recorderType_ = 1;  // there is one kind of recorder
  return S_OK;
}

// ---- CEditorPlayback ----

void CEditorPlayback::SetPlayer(ComPtr<IAudioPlayer> player) {
  player_ = std::move(player);
  Device().SetTarget(DeviceTarget{player_, nullptr});
}

HRESULT CEditorPlayback::get_SpeedEnabled(VARIANT_BOOL* v) {
  if (!v) return E_POINTER;
  *v = speedEnabled_;
  return S_OK;
}
HRESULT CEditorPlayback::put_SpeedEnabled(VARIANT_BOOL v) {
  speedEnabled_ = v;
  return S_OK;
}
HRESULT CEditorPlayback::get_SpeedPercent(double* v) {
  if (!v) return E_POINTER;
  *v = speedPercent_;
  return S_OK;
}
HRESULT CEditorPlayback::put_SpeedPercent(double v) {
  speedPercent_ = v;
  return S_OK;
}
HRESULT CEditorPlayback::get_Direction(int32_t* v) {
  if (!v) return E_POINTER;
  *v = direction_;
  return S_OK;
}
HRESULT CEditorPlayback::put_Direction(int32_t v) {
  direction_ = v;
  return S_OK;
}
HRESULT CEditorPlayback::get_PlayerType(int32_t* v) {
  if (!v) return E_POINTER;
  *v = playerType_;
  return S_OK;
}
HRESULT CEditorPlayback::put_PlayerType(int32_t) {
  playerType_ = 2;  // there is one kind of player
  return S_OK;
}
HRESULT CEditorPlayback::get_StereoMode(VARIANT_BOOL* v) {
  if (!v) return E_POINTER;
  *v = stereoMode_;
  return S_OK;
}
HRESULT CEditorPlayback::put_StereoMode(VARIANT_BOOL v) {
  stereoMode_ = v;
  if (ControlState* s = State()) {
    s->doc.stereoMode = v != 0;
    s->doc.RecomputeOperationMask();
  }
  return S_OK;
}

}  // namespace qel

#include "core/convert_object.h"

#include <algorithm>
#include <vector>

#include "com/classtable.h"
#include "core/errors.h"
#include "processing/convert_sample_type.h"

namespace qel {

using namespace com;

namespace {

// The flags are kept as 0 or 1 and read back that way, not as -1.
HRESULT GetFlag(bool flag, VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = flag ? 1 : 0;
  return S_OK;
}

HRESULT GetInt(int32_t field, int32_t* value) {
  if (!value) return E_POINTER;
  *value = field;
  return S_OK;
}

}  // namespace

HRESULT CEditorConvertSampleType::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorConvertSampleType>(iid, object);
}

HRESULT CEditorConvertSampleType::SetMixerCalibratePosition(int32_t x, int32_t y) {
  Settings().listenerOffsetX = x;
  Settings().listenerOffsetY = y;
  return S_OK;
}

HRESULT CEditorConvertSampleType::SetMixerRoomWidthHeight(int32_t width, int32_t height) {
  Settings().roomWidth = width;
  Settings().roomHeight = height;
  return S_OK;
}

HRESULT CEditorConvertSampleType::get_HighQualityResampling(VARIANT_BOOL* v) {
  return GetFlag(Settings().highQualityResampling, v);
}
HRESULT CEditorConvertSampleType::put_HighQualityResampling(VARIANT_BOOL v) {
  Settings().highQualityResampling = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerAsIsEnabled(VARIANT_BOOL* v) {
  return GetFlag(Settings().mixerAsIsEnabled, v);
}
HRESULT CEditorConvertSampleType::put_MixerAsIsEnabled(VARIANT_BOOL v) {
  Settings().mixerAsIsEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerDelayPreset(int32_t v) {
  Settings().mixerDelayPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerDbGainPreset(int32_t v) {
  Settings().mixerDbGainPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerReverbPreset(int32_t v) {
  Settings().mixerReverbPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerLFEEnabled(VARIANT_BOOL* v) {
  return GetFlag(Settings().mixerLfeEnabled, v);
}
HRESULT CEditorConvertSampleType::put_MixerLFEEnabled(VARIANT_BOOL v) {
  Settings().mixerLfeEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerLFEFrequency(int32_t* v) {
  return GetInt(Settings().mixerLfeFrequency, v);
}
HRESULT CEditorConvertSampleType::put_MixerLFEFrequency(int32_t v) {
  Settings().mixerLfeFrequency = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringEnabled(VARIANT_BOOL* v) {
  return GetFlag(Settings().ditheringEnabled, v);
}
HRESULT CEditorConvertSampleType::put_DitheringEnabled(VARIANT_BOOL v) {
  Settings().ditheringEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringType(int32_t* v) {
  return GetInt(Settings().ditheringType, v);
}
HRESULT CEditorConvertSampleType::put_DitheringType(int32_t v) {
  Settings().ditheringType = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringNoiseShapingEnabled(VARIANT_BOOL* v) {
  return GetFlag(Settings().ditheringNoiseShapingEnabled, v);
}
HRESULT CEditorConvertSampleType::put_DitheringNoiseShapingEnabled(VARIANT_BOOL v) {
  Settings().ditheringNoiseShapingEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringNoiseShapingType(int32_t* v) {
  return GetInt(Settings().ditheringNoiseShapingType, v);
}
HRESULT CEditorConvertSampleType::put_DitheringNoiseShapingType(int32_t v) {
  Settings().ditheringNoiseShapingType = v;
  return S_OK;
}

HRESULT CEditorConvertSampleType::Process(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                                          int32_t channelsMask) {
  if (Orphaned()) return RaiseError(kErrInvalidOperation);
  ControlState* state = State();
  if (!state) return S_OK;
  const int32_t error = processing::ConvertSampleType(
      state->doc, *state, {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)});
  if (error != kErrNone) return RaiseError(error);
  if (state->ensureProcessors && state->ensureProcessors(state->doc.format.channels) != kErrNone)
    return ErrorResult(kErrNotInstalled);
  return S_OK;
}

}  // namespace qel

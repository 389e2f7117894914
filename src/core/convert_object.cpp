#include "core/convert_object.h"

#include <algorithm>
#include <vector>

#include "com/classtable.h"
#include "core/errors.h"
#include "processing/convert_sample_type.h"

namespace qel {

using namespace com;

HRESULT CEditorConvertSampleType::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorConvertSampleType>(iid, object);
}

HRESULT CEditorConvertSampleType::SetMixerCalibratePosition(int32_t x, int32_t y) {
  Stored().listenerOffsetX = x;
  Stored().listenerOffsetY = y;
  return S_OK;
}

HRESULT CEditorConvertSampleType::SetMixerRoomWidthHeight(int32_t width, int32_t height) {
  Stored().roomWidth = width;
  Stored().roomHeight = height;
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

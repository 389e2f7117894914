// CEditorConvertSampleType: the settings of sample-type conversion (mixing,
// resampling, dither) and Process, which rewrites the whole document into a new
// sample format as one undo step (processing/convert_sample_type.h).
#pragma once

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"
#include "pcm/pcm_convert.h"

namespace qel {

class CEditorConvertSampleType final
    : public AutomationObject<CEditorConvertSampleType, IEditorConvertSampleTypeDefaults>,
      public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT Process(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                       int32_t channelsMask) override;
  com::HRESULT SetMixerCalibratePosition(int32_t offsetX, int32_t offsetY) override;
  com::HRESULT SetMixerRoomWidthHeight(int32_t width, int32_t height) override;

  // The settings as the converter takes them (the properties read and write
  // them through the generated accessors): the document's while the control
  // lives, this object's own when made on its own.
  PCM_CODEC::ConvertSettings& Stored() override {
    return State() ? State()->doc.convertSettings : own_;
  }

 private:
  PCM_CODEC::ConvertSettings own_;
};

}  // namespace qel

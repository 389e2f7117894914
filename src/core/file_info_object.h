// CEditorFileInfo: what the host learns about the open document and the file it
// came from (the model's), and the formats and extra data the host sets for
// the next save.
#pragma once

#include <string>

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"
#include "external/media.h"

namespace qel {

class CEditorFileInfo final : public AutomationObject<CEditorFileInfo, IEditorFileInfoDefaults>,
                              public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT get_OriginalFileName(com::BSTR* value) override;
  com::HRESULT get_OriginalFileType(int32_t* value) override;
  com::HRESULT get_OriginalAudioFormat(com::IUnknown** value) override;
  com::HRESULT get_OriginalVideoFormat(com::IUnknown** value) override;
  com::HRESULT get_AudioFormat(com::IUnknown** value) override;
  com::HRESULT put_AudioFormat(com::IUnknown* value) override;
  com::HRESULT get_VideoFormat(com::IUnknown** value) override;
  com::HRESULT put_VideoFormat(com::IUnknown* value) override;
  com::HRESULT get_ExtraData(com::IUnknown** value) override;
  com::HRESULT put_ExtraData(com::IUnknown* value) override;
  com::HRESULT get_SampleRate(int32_t* value) override;
  com::HRESULT get_Channels(int32_t* value) override;
  com::HRESULT get_SampleSize(int32_t* value) override;
  com::HRESULT get_ChannelsMask(int32_t* value) override;
  com::HRESULT get_FormatString(com::BSTR* value) override;
  com::HRESULT get_HasVideo(com::VARIANT_BOOL* value) override;
  com::HRESULT get_VideoTrack(int32_t* value) override;
  com::HRESULT get_AudioTrack(int32_t* value) override;
  com::HRESULT get_Duration(double* value) override;
  com::HRESULT get_SampleTypeChanged(com::VARIANT_BOOL* value) override;
  com::HRESULT get_TempFileName(com::BSTR* value) override;

  // What the document was made from (nothing without a control).
  const document::SourceInfo& Source() const;
  document::DocumentFormat Format() const;

  // Set by the host for the next save.
  com::ComPtr<IAudioFormat> audioFormat;
  com::ComPtr<IVideoFormat> videoFormat;
  com::ComPtr<IExtraData> extraData;
};

}  // namespace qel

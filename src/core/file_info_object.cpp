#include "core/file_info_object.h"

#include <cstdio>

#include "com/classtable.h"

namespace qel {

using namespace com;

namespace {

template <class I>
HRESULT QueryOut(const ComPtr<I>& held, IUnknown** out) {
  if (!out) return E_POINTER;
  *out = held ? static_cast<IUnknown*>(held.CopyOut()) : nullptr;
  return S_OK;
}

// Keeps the given object's interface I (null when it has none).
template <class I>
void Hold(IUnknown* given, ComPtr<I>& slot) {
  slot.Reset();
  if (given) given->QueryInterface(I::kIID, slot.OutVoid());
}

HRESULT Int(int32_t value, int32_t* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

}  // namespace

HRESULT CEditorFileInfo::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorFileInfo>(iid, object);
}

const document::SourceInfo& CEditorFileInfo::Source() const {
  static const document::SourceInfo kNone;
  return State() ? State()->doc.source : kNone;
}

document::DocumentFormat CEditorFileInfo::Format() const {
  return State() ? State()->doc.format : document::DocumentFormat{};
}

HRESULT CEditorFileInfo::get_OriginalFileName(BSTR* value) {
  if (!value) return E_POINTER;
  *value = Bstr(Source().originalFileName).Detach();
  return S_OK;
}

HRESULT CEditorFileInfo::get_OriginalFileType(int32_t* value) {
  return Int(Source().originalFileType, value);
}

HRESULT CEditorFileInfo::get_OriginalAudioFormat(IUnknown** value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  return State() ? QueryOut(State()->audioFormat, value) : S_OK;
}

HRESULT CEditorFileInfo::get_OriginalVideoFormat(IUnknown** value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  return State() ? QueryOut(State()->videoFormat, value) : S_OK;
}

HRESULT CEditorFileInfo::get_AudioFormat(IUnknown** value) {
  return QueryOut(audioFormat, value);
}
HRESULT CEditorFileInfo::put_AudioFormat(IUnknown* value) {
  Hold(value, audioFormat);
  return S_OK;
}
HRESULT CEditorFileInfo::get_VideoFormat(IUnknown** value) {
  return QueryOut(videoFormat, value);
}
HRESULT CEditorFileInfo::put_VideoFormat(IUnknown* value) {
  Hold(value, videoFormat);
  return S_OK;
}
HRESULT CEditorFileInfo::get_ExtraData(IUnknown** value) {
  return QueryOut(extraData, value);
}
HRESULT CEditorFileInfo::put_ExtraData(IUnknown* value) {
  Hold(value, extraData);
  return S_OK;
}

HRESULT CEditorFileInfo::get_SampleRate(int32_t* value) {
  return Int(Format().sampleRate, value);
}
HRESULT CEditorFileInfo::get_Channels(int32_t* value) {
  return Int(Format().channels, value);
}
HRESULT CEditorFileInfo::get_SampleSize(int32_t* value) {
  return Int(Format().sampleSize, value);
}
HRESULT CEditorFileInfo::get_ChannelsMask(int32_t* value) {
  return Int(static_cast<int32_t>(Format().channelsMask), value);
}

HRESULT CEditorFileInfo::get_FormatString(BSTR* value) {
  if (!value) return E_POINTER;
  const document::DocumentFormat f = Format();
  char text[96];
  std::snprintf(text, sizeof text, "PCM %d Channels; %d Hz; %d bit", f.channels, f.sampleRate,
                f.sampleSize);
  *value = Bstr::FromUtf8(text).Detach();
  return S_OK;
}

HRESULT CEditorFileInfo::get_HasVideo(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Source().hasVideo ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CEditorFileInfo::get_VideoTrack(int32_t* value) {
  return Int(Source().videoTrack, value);
}
HRESULT CEditorFileInfo::get_AudioTrack(int32_t* value) {
  return Int(Source().audioTrack, value);
}

HRESULT CEditorFileInfo::get_Duration(double* value) {
  if (!value) return E_POINTER;
  *value = Source().duration;
  return S_OK;
}

HRESULT CEditorFileInfo::get_SampleTypeChanged(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value =
      State() && !(State()->doc.format == State()->doc.outputFormat) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CEditorFileInfo::get_TempFileName(BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  if (State() && State()->doc.IsOpen())
    *value = Bstr::FromUtf8(State()->doc.Current()->sampleFile).Detach();
  return S_OK;
}

}  // namespace qel

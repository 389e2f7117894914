#include "processing/convert_sample_type.h"

#include <algorithm>
#include <vector>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"

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
  settings_.listenerOffsetX = x;
  settings_.listenerOffsetY = y;
  return S_OK;
}

HRESULT CEditorConvertSampleType::SetMixerRoomWidthHeight(int32_t width, int32_t height) {
  settings_.roomWidth = width;
  settings_.roomHeight = height;
  return S_OK;
}

HRESULT CEditorConvertSampleType::get_HighQualityResampling(VARIANT_BOOL* v) {
  return GetFlag(settings_.highQualityResampling, v);
}
HRESULT CEditorConvertSampleType::put_HighQualityResampling(VARIANT_BOOL v) {
  settings_.highQualityResampling = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerAsIsEnabled(VARIANT_BOOL* v) {
  return GetFlag(settings_.mixerAsIsEnabled, v);
}
HRESULT CEditorConvertSampleType::put_MixerAsIsEnabled(VARIANT_BOOL v) {
  settings_.mixerAsIsEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerDelayPreset(int32_t v) {
  settings_.mixerDelayPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerDbGainPreset(int32_t v) {
  settings_.mixerDbGainPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::put_MixerReverbPreset(int32_t v) {
  settings_.mixerReverbPreset = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerLFEEnabled(VARIANT_BOOL* v) {
  return GetFlag(settings_.mixerLfeEnabled, v);
}
HRESULT CEditorConvertSampleType::put_MixerLFEEnabled(VARIANT_BOOL v) {
  settings_.mixerLfeEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_MixerLFEFrequency(int32_t* v) {
  return GetInt(settings_.mixerLfeFrequency, v);
}
HRESULT CEditorConvertSampleType::put_MixerLFEFrequency(int32_t v) {
  settings_.mixerLfeFrequency = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringEnabled(VARIANT_BOOL* v) {
  return GetFlag(settings_.ditheringEnabled, v);
}
HRESULT CEditorConvertSampleType::put_DitheringEnabled(VARIANT_BOOL v) {
  settings_.ditheringEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringType(int32_t* v) {
  return GetInt(settings_.ditheringType, v);
}
HRESULT CEditorConvertSampleType::put_DitheringType(int32_t v) {
  settings_.ditheringType = v;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringNoiseShapingEnabled(VARIANT_BOOL* v) {
  return GetFlag(settings_.ditheringNoiseShapingEnabled, v);
}
HRESULT CEditorConvertSampleType::put_DitheringNoiseShapingEnabled(VARIANT_BOOL v) {
  settings_.ditheringNoiseShapingEnabled = v != 0;
  return S_OK;
}
HRESULT CEditorConvertSampleType::get_DitheringNoiseShapingType(int32_t* v) {
  return GetInt(settings_.ditheringNoiseShapingType, v);
}
HRESULT CEditorConvertSampleType::put_DitheringNoiseShapingType(int32_t v) {
  settings_.ditheringNoiseShapingType = v;
  return S_OK;
}

HRESULT CEditorConvertSampleType::Process(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                                          int32_t channelsMask) {
  CAudioEditor* editor = Editor();
  if (!editor || !editor->DocumentOpen() || editor->Status() != status::kIdle) return S_OK;
  editor->SetProgressScale(95);
  const document::DocumentFormat from = editor->Format();
  // A mask alone is no conversion.
  if (sampleRate == from.sampleRate && channels == from.channels && sampleSize == from.sampleSize)
    return S_OK;

  PCM_CODEC::CPcmConvert converter;
  converter.Configure(settings_);
  converter.SetInputFormat(from.sampleRate, from.channels, from.sampleSize, from.channelsMask);
  converter.SetOutputFormat(sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask));
  const PCM_CODEC::PcmFormat& out = converter.OutputFormat();
  const document::DocumentFormat to{out.Rate(), out.Channels(), out.Bits(), out.channelMask};

  // Preparation failures change nothing and are no error.
  std::string name;
  document::CSampleStoreFile source, target;
  if (!document::MakeTempFileName(editor->TempDirectoryPath(), &name)) return S_OK;
  if (!source.Open(editor->Position().History().Current()->sampleFile, document::kModeRead) ||
      !target.Create(name, to.sampleRate, to.channels, to.sampleSize, to.channelsMask))
    return S_OK;
  const int64_t align = std::max(from.BlockAlign(), 1);
  const int64_t perSecond = int64_t{from.sampleRate} * align;
  const size_t block =
      static_cast<size_t>(std::max<int64_t>(perSecond / 10 / align * align, align));
  std::vector<uint8_t> buffer(block + 1024);

  editor->SetStatus(status::kConvertSampleType);
  bool ok = converter.Init();
  const double total = static_cast<double>(source.DataSize());
  while (ok && editor->Status() != status::kIdle) {
    const size_t got = source.Read(buffer.data(), block);
    if (got == 0) break;
    PCM_CODEC::ConvertedBlock converted =
        converter.Convert(buffer.data(), static_cast<int64_t>(got));
    if (converted.length > 0 &&
        !target.Write(converted.data, static_cast<size_t>(converted.length)))
      ok = false;
    const double done =
        total > 0 ? std::min(1.0, static_cast<double>(source.Position()) / total) : 1.0;
    editor->Events().BlockOperation(static_cast<int32_t>(done * 95));
  }
  source.Close();
  const int64_t length = static_cast<int64_t>(target.DataSize());
  ok = target.Close() && ok;
  if (!ok || editor->Status() == status::kIdle) {
    // Cancelled (or a write failed): the document stays as it was.
    platform::DeleteFile(name);
    editor->SetStatus(status::kIdle);
    editor->Events().EndOperation();
    return ok ? S_OK : RaiseError(kErrFileAccess);
  }

  document::HistoryStep step;
  step.sampleFile = name;
  step.format = to;
  step.length = length;
  step.view.endView[0] = length;
  step.ownsFiles = true;
  const document::HistoryStep previous = *editor->Position().History().Current();
  editor->Position().History().TakeStep(std::move(step), opcode::kConvertSampleType);
  editor->Markers().Carry(previous, *editor->Position().History().Current());
  editor->SetStatus(status::kIdle);
  editor->AdoptCurrentStep();
  if (editor->EnsureProcessors() != kErrNone) return ErrorResult(kErrNotInstalled);
  editor->Events().EndOperation();
  return S_OK;
}

}  // namespace qel

#include "audio_data.h"

#include <cstring>

namespace qel::effects {

using namespace com;

HRESULT AudioData::AllocateBuffer(int32_t bytes) {
  if (bytes < 0) return E_INVALIDARG;
  // Capacity only grows: processors reuse one object block after block.
  if (static_cast<size_t>(bytes) > buffer_.size()) buffer_.resize(static_cast<size_t>(bytes));
  return S_OK;
}

HRESULT AudioData::get_DataSize(int32_t* value) {
  if (!value) return E_POINTER;
  *value = dataSize_;
  return S_OK;
}

HRESULT AudioData::put_DataSize(int32_t value) {
  if (value < 0 || static_cast<size_t>(value) > buffer_.size()) return E_INVALIDARG;
  dataSize_ = value;
  return S_OK;
}

HRESULT AudioData::get_TimeStamp(double* value) {
  if (!value) return E_POINTER;
  *value = timeStamp_;
  return S_OK;
}

HRESULT AudioData::put_TimeStamp(double value) {
  timeStamp_ = value;
  return S_OK;
}

HRESULT AudioData::get_Duration(double* value) {
  if (!value) return E_POINTER;
  *value = duration_;
  return S_OK;
}

HRESULT AudioData::put_Duration(double value) {
  duration_ = value;
  return S_OK;
}

HRESULT AudioData::AllocateFormat(int32_t bytes) {
  if (bytes < 0) return E_INVALIDARG;
  format_.assign(static_cast<size_t>(bytes), 0);
  return S_OK;
}

HRESULT AudioData::get_FormatSize(int32_t* value) {
  if (!value) return E_POINTER;
  *value = static_cast<int32_t>(format_.size());
  return S_OK;
}

HRESULT AudioData::GetBuffer(uint8_t** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = buffer_.empty() ? nullptr : buffer_.data();
  return S_OK;
}

HRESULT AudioData::GetFormat(uint8_t** format) {
  if (!format) return E_POINTER;
  *format = format_.empty() ? nullptr : format_.data();
  return S_OK;
}

std::u16string_view ReadAudioInput(com::IUnknown* in, AudioInput* input) {
  if (!in || com::Failed(in->QueryInterface(IID_IAudioData, input->data.OutVoid())))
    return u"The input is not an audio data object.";
  IAudioData& data = *input->data;
  data.GetBuffer(&input->buffer);
  data.GetFormat(&input->format);
  data.get_DataSize(&input->size);
  data.get_FormatSize(&input->formatSize);
  if (!input->format || input->formatSize < 16) return u"The input has no format record.";
  // The wave-format record: channels at 2, rate at 4, bits per sample at 14.
  std::memcpy(&input->channels, input->format + 2, 2);
  std::memcpy(&input->rate, input->format + 4, 4);
  std::memcpy(&input->bits, input->format + 14, 2);
  const uint16_t bits = input->bits;
  if (input->rate == 0 || input->channels == 0 ||
      (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return u"The input's format is not one of the document's.";
  return {};
}

}  // namespace qel::effects

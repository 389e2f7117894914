#include "frame_object.h"

#include <cstring>

#include "param_variant.h"

namespace qel::effects {

using namespace com;
using detail::Fail;

FrameCore::FrameCore(std::unique_ptr<FrameProcessor> processor)
    : processor_(std::move(processor)), output_(AudioData::Create()) {}

HRESULT FrameCore::Start() {
  if (!processor_ || !output_) return Fail(E_OUTOFMEMORY, u"Out of memory.");
  // The format arrives with the first block.
  startPending_ = true;
  lastBlock = 0;
  return S_OK;
}

HRESULT FrameCore::Process(IUnknown* in, IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<IAudioData> data;
  if (!in || Failed(in->QueryInterface(IID_IAudioData, data.OutVoid())))
    return Fail(E_INVALIDARG, u"The input is not an audio data object.");
  uint8_t* buffer = nullptr;
  uint8_t* format = nullptr;
  int32_t size = 0, formatSize = 0;
  data->GetBuffer(&buffer);
  data->GetFormat(&format);
  data->get_DataSize(&size);
  data->get_FormatSize(&formatSize);
  if (!format || formatSize < 16) return Fail(E_INVALIDARG, u"The input has no format record.");
  uint16_t channels = 0, bits = 0;
  uint32_t rate = 0;
  std::memcpy(&channels, format + 2, 2);
  std::memcpy(&rate, format + 4, 4);
  std::memcpy(&bits, format + 14, 2);
  if (rate == 0 || channels == 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return Fail(E_INVALIDARG, u"The input's format is not one of the document's.");
  const PcmFormat pcm{static_cast<double>(rate), channels, bits};
  if (startPending_ || pcm.sampleRate != format_.sampleRate || pcm.channels != format_.channels ||
      pcm.bitsPerSample != format_.bitsPerSample) {
    format_ = pcm;
    processor_->Start(pcm);
    startPending_ = false;
  }
  const size_t align = static_cast<size_t>(pcm.BlockAlign());
  const size_t bytes = buffer ? static_cast<size_t>(size) / align * align : 0;
  const bool last = lastBlock != 0;
  lastBlock = 0;
  out_.clear();
  processor_->Process({buffer, bytes}, last, out_);

  const auto outBytes = static_cast<int32_t>(out_.size());
  if (Failed(output_->AllocateBuffer(outBytes)) || Failed(output_->AllocateFormat(formatSize)))
    return Fail(E_OUTOFMEMORY, u"Out of memory.");
  uint8_t* to = nullptr;
  uint8_t* record = nullptr;
  output_->GetBuffer(&to);
  output_->GetFormat(&record);
  if (outBytes > 0) std::memcpy(to, out_.data(), out_.size());
  std::memcpy(record, format, static_cast<size_t>(formatSize));
  output_->put_DataSize(outBytes);
  double stamp = 0, duration = 0;
  data->get_TimeStamp(&stamp);
  data->get_Duration(&duration);
  output_->put_TimeStamp(stamp);
  output_->put_Duration(duration);
  *out = static_cast<IAudioData*>(output_.get());
  (*out)->AddRef();
  return S_OK;
}

HRESULT FrameCore::PutParam(int32_t index, const VARIANT& value) {
  ParamValue param;
  if (index < 1 || !detail::ToParam(value, &param) || !processor_->SetParam(index, param))
    return Fail(E_INVALIDARG, detail::ParamRefused(index, processor_->Problem()));
  detail::KeepParam(params_, index, value);
  return S_OK;
}

HRESULT FrameCore::GetParam(int32_t index, VARIANT* value) const {
  return detail::KeptParam(params_, index, value);
}

HRESULT FrameCore::Result(double* value) const {
  if (!value) return E_POINTER;
  *value = processor_->Result();
  return S_OK;
}

}  // namespace qel::effects

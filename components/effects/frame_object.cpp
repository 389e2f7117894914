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
  AudioInput audio;
  if (const std::u16string_view problem = ReadAudioInput(in, &audio); !problem.empty())
    return Fail(E_INVALIDARG, problem);
  IAudioData* data = audio.data.get();
  uint8_t* buffer = audio.buffer;
  const int32_t size = audio.size;
  uint8_t* format = audio.format;
  const int32_t formatSize = audio.formatSize;
  const uint16_t channels = audio.channels, bits = audio.bits;
  const uint32_t rate = audio.rate;
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

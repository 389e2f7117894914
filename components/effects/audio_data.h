// One block of audio passed between the control and an effect processor: a
// sample buffer, a format record, and where the block sits in the document.
#pragma once

#include <string_view>
#include <vector>

#include "com/classtable.h"
#include "external/effects_defaults.h"

namespace qel::effects {

class AudioData final : public com::DispatchObject<AudioData, IAudioDataDefaults> {
 public:
  com::HRESULT AllocateBuffer(int32_t bytes) override;
  com::HRESULT get_DataSize(int32_t* value) override;
  com::HRESULT put_DataSize(int32_t value) override;
  com::HRESULT get_TimeStamp(double* value) override;
  com::HRESULT put_TimeStamp(double value) override;
  com::HRESULT get_Duration(double* value) override;
  com::HRESULT put_Duration(double value) override;
  com::HRESULT AllocateFormat(int32_t bytes) override;
  com::HRESULT get_FormatSize(int32_t* value) override;
  com::HRESULT GetBuffer(uint8_t** buffer) override;
  com::HRESULT GetFormat(uint8_t** format) override;

 private:
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> format_;
  int32_t dataSize_ = 0;
  double timeStamp_ = 0;
  double duration_ = 0;
};

// An audio data object's samples and format record, as a processor takes them
// in: the rate, channel count and sample size read from the record.
struct AudioInput {
  com::ComPtr<IAudioData> data;
  uint8_t* buffer = nullptr;
  int32_t size = 0;
  uint8_t* format = nullptr;
  int32_t formatSize = 0;
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint16_t bits = 0;
};

// Fills `input` from `in`. Empty when `in` is an audio data object whose
// format record describes one of a document's formats; otherwise the message
// for the host.
std::u16string_view ReadAudioInput(com::IUnknown* in, AudioInput* input);

}  // namespace qel::effects

// One block of audio passed between the control and an effect processor: a
// sample buffer, a format record, and where the block sits in the document.
#pragma once

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

}  // namespace qel::effects

// The automation side of the single components that see whole interleaved
// frames (silence remover, batch chain, tempo): the data objects carry the
// document's PCM behind its own format record.
#pragma once

#include <memory>
#include <vector>

#include "audio_data.h"
#include "com/variant.h"
#include "processor.h"

namespace qel::effects {

class FrameCore {
 public:
  explicit FrameCore(std::unique_ptr<FrameProcessor> processor);

  com::HRESULT Start();
  com::HRESULT Process(com::IUnknown* in, com::IUnknown** out);
  com::HRESULT PutParam(int32_t index, const com::VARIANT& value);
  com::HRESULT GetParam(int32_t index, com::VARIANT* value) const;
  com::HRESULT Result(double* value) const;

  int32_t lastBlock = 0;

 private:
  std::unique_ptr<FrameProcessor> processor_;
  std::vector<com::Variant> params_;
  std::vector<uint8_t> out_;
  com::ComPtr<AudioData> output_;
  bool startPending_ = true;
  PcmFormat format_;
};

template <std::unique_ptr<FrameProcessor> (*Make)()>
class FrameEffect final : public com::DispatchObject<FrameEffect<Make>, IAudioEffectDefaults> {
 public:
  FrameEffect() : core_(Make()) {}
  com::HRESULT Start() override { return core_.Start(); }
  com::HRESULT Process(com::IUnknown* in, com::IUnknown** out) override {
    return core_.Process(in, out);
  }
  com::HRESULT get_LastBlock(int32_t* v) override {
    if (!v) return com::E_POINTER;
    *v = core_.lastBlock;
    return com::S_OK;
  }
  com::HRESULT put_LastBlock(int32_t v) override {
    core_.lastBlock = v;
    return com::S_OK;
  }
  com::HRESULT get_Param(int32_t index, com::VARIANT* v) override {
    return core_.GetParam(index, v);
  }
  com::HRESULT put_Param(int32_t index, com::VARIANT v) override {
    return core_.PutParam(index, v);
  }
  com::HRESULT get_Result(double* v) override { return core_.Result(v); }

 private:
  FrameCore core_;
};

}  // namespace qel::effects

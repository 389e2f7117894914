// The automation side of a processor: one class per effect kind, each an
// EffectObject around that kind's Processor. It turns the data objects into
// spans of samples, starts the processor when the first block shows the
// stream's format, and does the edge smoothing that every kind shares: a
// raised-cosine cross-fade from the untouched signal into the processed one
// over SmoothTimeBegin milliseconds at the start of the range, and back over
// SmoothTimeEnd at its end, when SmoothEnabled is 1.
#pragma once

#include <memory>
#include <vector>

#include "audio_data.h"
#include "com/variant.h"
#include "processor.h"

namespace qel::effects {

class EffectCore {
 public:
  explicit EffectCore(std::unique_ptr<Processor> processor);

  com::HRESULT Start();
  com::HRESULT Process(com::IUnknown* in, com::IUnknown** out);
  com::HRESULT Measure(com::IUnknown* in);
  com::HRESULT Measures(int32_t* value) const;
  com::HRESULT GetParam(int32_t index, com::VARIANT* value) const;
  com::HRESULT PutParam(int32_t index, const com::VARIANT& value);

  int32_t smoothEnabled = 0;
  double smoothBeginMs = 0;
  double smoothEndMs = 0;
  int32_t lastBlock = 0;

 private:
  // The block of an input object: its samples, rate and place.
  struct Input {
    const double* samples = nullptr;
    int64_t frames = 0;
    StreamSetup setup;
    double timeStampMs = 0;
    double rangeMs = 0;
    const uint8_t* format = nullptr;
    int32_t formatSize = 0;
  };
  com::HRESULT ReadInput(com::IUnknown* in, Input* input);
  void StartIfPending(const StreamSetup& setup);
  // Edge smoothing: the untouched samples of both edges are kept as the input
  // passes, and blended into the output frames that stand at those places.
  void EdgeLengths(const BlockInfo& info, int64_t* begin, int64_t* end) const;
  void KeepEdges(std::span<const double> in, const BlockInfo& info);
  void Smooth(const BlockInfo& info);

  std::unique_ptr<Processor> processor_;
  std::vector<com::Variant> params_;  // as last put, for the getters
  std::vector<double> out_;
  std::vector<double> zeros_;     // a generator's input
  std::vector<double> firstDry_;  // the input of the first and last edge
  std::vector<double> lastDry_;
  int64_t emitted_ = 0;  // frames given out since Start
  com::ComPtr<AudioData> output_;
  bool startPending_ = false;
  bool running_ = false;
  StreamSetup setup_;
};

// The class of one kind: Make builds its processor.
template <std::unique_ptr<Processor> (*Make)()>
class KindEffect final : public com::DispatchObject<KindEffect<Make>, IAudioEffectDefaults> {
 public:
  KindEffect() : core_(Make()) {}
  com::HRESULT Start() override { return core_.Start(); }
  com::HRESULT Process(com::IUnknown* in, com::IUnknown** out) override {
    return core_.Process(in, out);
  }
  com::HRESULT get_SmoothEnabled(int32_t* v) override { return Get(core_.smoothEnabled, v); }
  com::HRESULT put_SmoothEnabled(int32_t v) override { return Put(core_.smoothEnabled, v); }
  com::HRESULT get_SmoothTimeBegin(double* v) override { return Get(core_.smoothBeginMs, v); }
  com::HRESULT put_SmoothTimeBegin(double v) override { return Put(core_.smoothBeginMs, v); }
  com::HRESULT get_SmoothTimeEnd(double* v) override { return Get(core_.smoothEndMs, v); }
  com::HRESULT put_SmoothTimeEnd(double v) override { return Put(core_.smoothEndMs, v); }
  com::HRESULT get_LastBlock(int32_t* v) override { return Get(core_.lastBlock, v); }
  com::HRESULT put_LastBlock(int32_t v) override { return Put(core_.lastBlock, v); }
  com::HRESULT get_Param(int32_t index, com::VARIANT* v) override {
    return core_.GetParam(index, v);
  }
  com::HRESULT put_Param(int32_t index, com::VARIANT v) override {
    return core_.PutParam(index, v);
  }
  com::HRESULT get_Measures(int32_t* v) override { return core_.Measures(v); }
  com::HRESULT Measure(com::IUnknown* in) override { return core_.Measure(in); }

 private:
  template <class T>
  static com::HRESULT Get(const T& field, T* out) {
    if (!out) return com::E_POINTER;
    *out = field;
    return com::S_OK;
  }
  template <class T>
  static com::HRESULT Put(T& field, T value) {
    field = value;
    return com::S_OK;
  }
  EffectCore core_;
};

}  // namespace qel::effects

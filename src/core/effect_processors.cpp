#include "core/effect_processors.h"

#include <cstring>
#include <mutex>

#include "com/classtable.h"
#include "com/errorinfo.h"
#include "external/wave_record.h"

namespace qel {

using namespace com;
using processing::EffectKind;

namespace {

// The class of each kind's processor.
const CLSID* ClassOf(EffectKind kind) {
  switch (kind) {
    case EffectKind::kAmplify:
      return &CLSID_AmplifyEffect;
    case EffectKind::kFade:
      return &CLSID_FadeEffect;
    case EffectKind::kNormalize:
      return &CLSID_NormalizeEffect;
    case EffectKind::kDynamics:
      return &CLSID_DynamicsEffect;
    case EffectKind::kEnvelope:
      return &CLSID_EnvelopeEffect;
    case EffectKind::kSilence:
      return &CLSID_SilenceEffect;
    case EffectKind::kDelay:
      return &CLSID_DelayEffect;
    case EffectKind::kModulatedDelay:
      return &CLSID_ModulatedDelayEffect;
    case EffectKind::kVibrato:
      return &CLSID_VibratoEffect;
    case EffectKind::kPhaser:
      return &CLSID_PhaserEffect;
    case EffectKind::kReverb:
      return &CLSID_ReverbEffect;
    case EffectKind::kWahWah:
      return &CLSID_WahWahEffect;
    case EffectKind::kReverse:
      return &CLSID_ReverseEffect;
    case EffectKind::kInvert:
      return &CLSID_InvertEffect;
    case EffectKind::kFilter:
      return &CLSID_FilterEffect;
    case EffectKind::kEqualizer:
      return &CLSID_EqualizerEffect;
    default:
      return nullptr;
  }
}

template <class I>
HRESULT Create(const CLSID& clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

}  // namespace

// The first failure of a run, from any thread.
struct EffectProcessors::Failure {
  std::mutex lock;
  HRESULT hr = S_OK;
  ComPtr<IErrorInfo> info;
};

// One channel's processor with its input object.
class EffectProcessors::Adapter final : public processing::ChannelProcessor {
 public:
  Adapter(ComPtr<IAudioEffect> effect, ComPtr<IAudioData> input, Failure& failure)
      : effect_(std::move(effect)), input_(std::move(input)), failure_(failure) {}

  IAudioEffect* Effect() const { return effect_.get(); }

  void Prepare(int32_t sampleRate, int32_t sampleSize) {
    if (sampleRate == rate_ && sampleSize == bits_) return;
    rate_ = sampleRate;
    bits_ = sampleSize;
    // One channel of doubles in the integer scale of the document's samples.
    const external::WaveRecord record = external::MakePcmRecord(
        static_cast<uint32_t>(sampleRate), 1, static_cast<uint16_t>(sampleSize), false, 0, 0, {});
    std::vector<uint8_t> bytes = external::EncodeWaveRecord(record);
    bytes.resize(18);
    uint16_t tag = 0x9999;
    std::memcpy(bytes.data(), &tag, 2);
    recordBytes_ = std::move(bytes);
    formatReady_ = false;
  }

  bool Measures() override {
    int32_t measures = 0;
    return Succeeded(effect_->get_Measures(&measures)) && measures != 0;
  }
  bool Measure(std::span<const double> in, const processing::BlockPlace& place) override {
    return Fill(in, place) && Check(effect_->Measure(input_.get()));
  }
  bool SetLastBlock() override { return Check(effect_->put_LastBlock(-1)); }
  bool Process(std::span<const double> in, const processing::BlockPlace& place,
               std::span<const double>* out) override {
    *out = {};
    if (!Fill(in, place)) return false;
    ComPtr<IUnknown> result;
    if (!Check(effect_->Process(input_.get(), result.Out()))) return false;
    output_.Reset();
    if (!result) return true;
    if (!Check(result->QueryInterface(IAudioData::kIID, output_.OutVoid()))) return false;
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    output_->GetBuffer(&buffer);
    output_->get_DataSize(&size);
    if (buffer && size >= 8)
      *out = {reinterpret_cast<const double*>(buffer), static_cast<size_t>(size) / 8};
    return true;
  }

  bool Check(HRESULT hr) {
    if (Succeeded(hr)) return true;
    std::lock_guard<std::mutex> guard(failure_.lock);
    if (Succeeded(failure_.hr)) {
      failure_.hr = hr;
      GetErrorInfo(0, failure_.info.Out());
    }
    return false;
  }

 private:
  bool Fill(std::span<const double> in, const processing::BlockPlace& place) {
    const auto bytes = static_cast<int32_t>(in.size() * sizeof(double));
    if (!Check(input_->AllocateBuffer(bytes))) return false;
    if (!formatReady_) {
      if (!Check(input_->AllocateFormat(static_cast<int32_t>(recordBytes_.size())))) return false;
      uint8_t* format = nullptr;
      input_->GetFormat(&format);
      if (format) std::memcpy(format, recordBytes_.data(), recordBytes_.size());
      formatReady_ = true;
    }
    uint8_t* buffer = nullptr;
    input_->GetBuffer(&buffer);
    if (buffer && bytes > 0) std::memcpy(buffer, in.data(), static_cast<size_t>(bytes));
    return Check(input_->put_DataSize(bytes)) && Check(input_->put_TimeStamp(place.timeStampMs)) &&
           Check(input_->put_Duration(place.rangeMs));
  }

  ComPtr<IAudioEffect> effect_;
  ComPtr<IAudioData> input_;
  ComPtr<IAudioData> output_;
  Failure& failure_;
  std::vector<uint8_t> recordBytes_;
  int32_t rate_ = 0;
  int32_t bits_ = 0;
  bool formatReady_ = false;
};

EffectProcessors::EffectProcessors() : failure_(std::make_unique<Failure>()) {}
EffectProcessors::~EffectProcessors() = default;

bool EffectProcessors::Ensure(int32_t channels) {
  for (size_t k = 1; k < kinds_.size(); ++k) {
    const CLSID* clsid = ClassOf(static_cast<EffectKind>(k));
    if (!clsid) continue;
    auto& slots = kinds_[k];
    while (slots.size() < static_cast<size_t>(channels)) {
      ComPtr<IAudioEffect> effect;
      ComPtr<IAudioData> input;
      if (Failed(Create(*clsid, &effect)) || Failed(Create(CLSID_AudioData, &input))) return false;
      slots.push_back(std::make_unique<Adapter>(std::move(effect), std::move(input), *failure_));
    }
  }
  return true;
}

EffectProcessors::Adapter* EffectProcessors::Find(EffectKind kind, int32_t channel) const {
  const auto& slots = kinds_[static_cast<size_t>(kind)];
  if (channel < 0 || static_cast<size_t>(channel) >= slots.size()) return nullptr;
  return slots[static_cast<size_t>(channel)].get();
}

bool EffectProcessors::SendParams(EffectKind kind, int32_t channel,
                                  const std::vector<ParamPut>& params) {
  Adapter* adapter = Find(kind, channel);
  if (!adapter) return false;
  for (const ParamPut& put : params)
    if (!adapter->Check(adapter->Effect()->put_Param(put.index, put.value))) return false;
  return true;
}

bool EffectProcessors::Configure(EffectKind kind, int32_t channel,
                                 const processing::SmoothingSent& smoothing,
                                 const std::vector<ParamPut>& params, bool paramsFirst) {
  Adapter* adapter = Find(kind, channel);
  if (!adapter) return false;
  IAudioEffect* effect = adapter->Effect();
  auto sendSmoothing = [&] {
    if (smoothing.switchOnly) return adapter->Check(effect->put_SmoothEnabled(0));
    return adapter->Check(effect->put_SmoothEnabled(smoothing.enabled)) &&
           adapter->Check(effect->put_SmoothTimeBegin(smoothing.beginMs)) &&
           adapter->Check(effect->put_SmoothTimeEnd(smoothing.endMs));
  };
  const bool sent = paramsFirst ? SendParams(kind, channel, params) && sendSmoothing()
                                : sendSmoothing() && SendParams(kind, channel, params);
  return sent && adapter->Check(effect->Start());
}

processing::ChannelProcessor* EffectProcessors::Channel(EffectKind kind, int32_t channel,
                                                        int32_t sampleRate, int32_t sampleSize) {
  Adapter* adapter = Find(kind, channel);
  if (adapter) adapter->Prepare(sampleRate, sampleSize);
  return adapter;
}

HRESULT EffectProcessors::TakeFailure() {
  std::lock_guard<std::mutex> guard(failure_->lock);
  const HRESULT hr = failure_->hr;
  if (Failed(hr)) SetErrorInfo(0, failure_->info.get());
  failure_->hr = S_OK;
  failure_->info.Reset();
  return hr;
}

}  // namespace qel

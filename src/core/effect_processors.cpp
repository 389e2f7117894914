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
  static const std::pair<EffectKind, const CLSID*> kClasses[] = {
      {EffectKind::kAmplify, &CLSID_AmplifyEffect},
      {EffectKind::kFade, &CLSID_FadeEffect},
      {EffectKind::kNormalize, &CLSID_NormalizeEffect},
      {EffectKind::kDynamics, &CLSID_DynamicsEffect},
      {EffectKind::kEnvelope, &CLSID_EnvelopeEffect},
      {EffectKind::kSilence, &CLSID_SilenceEffect},
      {EffectKind::kDelay, &CLSID_DelayEffect},
      {EffectKind::kModulatedDelay, &CLSID_ModulatedDelayEffect},
      {EffectKind::kVibrato, &CLSID_VibratoEffect},
      {EffectKind::kPhaser, &CLSID_PhaserEffect},
      {EffectKind::kReverb, &CLSID_ReverbEffect},
      {EffectKind::kWahWah, &CLSID_WahWahEffect},
      {EffectKind::kReverse, &CLSID_ReverseEffect},
      {EffectKind::kInvert, &CLSID_InvertEffect},
      {EffectKind::kFilter, &CLSID_FilterEffect},
      {EffectKind::kEqualizer, &CLSID_EqualizerEffect},
      {EffectKind::kPitchShifter, &CLSID_PitchShifterEffect},
      {EffectKind::kTimeStretcher, &CLSID_TimeStretcherEffect},
      {EffectKind::kResampler, &CLSID_ResamplerEffect},
      {EffectKind::kNoiseRemover, &CLSID_NoiseRemoverEffect},
      {EffectKind::kFftFilter, &CLSID_FftFilterEffect},
      {EffectKind::kFirFilter, &CLSID_FirFilterEffect},
      {EffectKind::kGenerator, &CLSID_GeneratorEffect},
      {EffectKind::kDtmfGenerator, &CLSID_DtmfGeneratorEffect},
  };
  for (const auto& [k, clsid] : kClasses)
    if (k == kind) return clsid;
  return nullptr;
}

template <class I>
HRESULT Create(const CLSID& clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

}  // namespace

// One channel's processor with its input object.
class EffectProcessors::Adapter final : public processing::ChannelProcessor {
 public:
  Adapter(ComPtr<IAudioEffect> effect, ComPtr<IAudioData> input, ComponentFailure& failure)
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
    return Fill(in, place) && Run(out);
  }
  bool Generate(double fromMs, double chunkMs, std::span<const double>* out) override {
    *out = {};
    // An empty block whose duration is the chunk to make.
    return Fill({}, {fromMs, chunkMs}) && Run(out);
  }

  bool Check(HRESULT hr) { return failure_.Keep(hr); }

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

  // Runs Process on the input; *out stays null when the processor answered none.
  bool Run(std::span<const double>* out) {
    ComPtr<IUnknown> result;
    if (!Check(effect_->Process(input_.get(), result.Out()))) return false;
    output_.Reset();
    if (!result) return true;
    if (!Check(result->QueryInterface(IAudioData::kIID, output_.OutVoid()))) return false;
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    output_->GetBuffer(&buffer);
    output_->get_DataSize(&size);
    static constexpr double kNothing = 0;
    if (buffer && size >= 8)
      *out = {reinterpret_cast<const double*>(buffer), static_cast<size_t>(size) / 8};
    else
      *out = {&kNothing, 0};
    return true;
  }

  ComPtr<IAudioEffect> effect_;
  ComPtr<IAudioData> input_;
  ComPtr<IAudioData> output_;
  ComponentFailure& failure_;
  std::vector<uint8_t> recordBytes_;
  int32_t rate_ = 0;
  int32_t bits_ = 0;
  bool formatReady_ = false;
};

EffectProcessors::EffectProcessors() : failure_(std::make_unique<ComponentFailure>()) {}
EffectProcessors::~EffectProcessors() = default;

bool EffectProcessors::Ensure(int32_t channels) {
  for (size_t k = 1; k < kinds_.size(); ++k) {
    const CLSID* clsid = ClassOf(static_cast<EffectKind>(k));
    // The DTMF generators exist only while DTMF is switched on.
    if (!clsid || (static_cast<EffectKind>(k) == EffectKind::kDtmfGenerator && !dtmf_)) continue;
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
    if (smoothing.none) return true;
    if (smoothing.switchOnly) return adapter->Check(effect->put_SmoothEnabled(0));
    return adapter->Check(effect->put_SmoothEnabled(smoothing.enabled)) &&
           adapter->Check(effect->put_SmoothTimeBegin(smoothing.beginMs)) &&
           adapter->Check(effect->put_SmoothTimeEnd(smoothing.endMs));
  };
  bool sent = paramsFirst ? SendParams(kind, channel, params) && sendSmoothing()
                          : sendSmoothing() && SendParams(kind, channel, params);
  // Each channel's generator gets a seed of its own, so that generated noise
  // differs between channels.
  if (sent && kind == EffectKind::kGenerator)
    sent = adapter->Check(effect->put_Param(14, Variant::I4(channel)));
  return sent && adapter->Check(effect->Start());
}

// A single component, fed the document's interleaved frames behind the
// document's own format record.
class EffectProcessors::FrameAdapter final : public processing::FrameComponent {
 public:
  FrameAdapter(ComPtr<IAudioEffect> effect, ComPtr<IAudioData> input, ComponentFailure& failure)
      : effect_(std::move(effect)), input_(std::move(input)), failure_(failure) {}

  IAudioEffect* Effect() const { return effect_.get(); }

  void Prepare(const document::DocumentFormat& format) {
    const external::WaveRecord record = external::MakePcmRecord(
        static_cast<uint32_t>(format.sampleRate), static_cast<uint16_t>(format.channels),
        static_cast<uint16_t>(format.sampleSize), false, 0, 0, {});
    recordBytes_ = external::EncodeWaveRecord(record);
    recordBytes_.resize(18);
  }

  bool SetLastBlock() override { return Check(effect_->put_LastBlock(-1)); }
  bool Process(std::span<const uint8_t> frames, double timeStampMs, double durationMs,
               std::span<const uint8_t>* out) override {
    *out = {};
    const auto bytes = static_cast<int32_t>(frames.size());
    if (!Check(input_->AllocateBuffer(bytes)) ||
        !Check(input_->AllocateFormat(static_cast<int32_t>(recordBytes_.size()))))
      return false;
    uint8_t* buffer = nullptr;
    uint8_t* format = nullptr;
    input_->GetBuffer(&buffer);
    input_->GetFormat(&format);
    if (buffer && bytes > 0) std::memcpy(buffer, frames.data(), frames.size());
    if (format) std::memcpy(format, recordBytes_.data(), recordBytes_.size());
    if (!Check(input_->put_DataSize(bytes)) || !Check(input_->put_TimeStamp(timeStampMs)) ||
        !Check(input_->put_Duration(durationMs)))
      return false;
    ComPtr<IUnknown> result;
    if (!Check(effect_->Process(input_.get(), result.Out()))) return false;
    output_.Reset();
    if (!result) return true;
    if (!Check(result->QueryInterface(IAudioData::kIID, output_.OutVoid()))) return false;
    uint8_t* data = nullptr;
    int32_t size = 0;
    output_->GetBuffer(&data);
    output_->get_DataSize(&size);
    static constexpr uint8_t kNothing = 0;
    *out = data && size > 0 ? std::span<const uint8_t>(data, static_cast<size_t>(size))
                            : std::span<const uint8_t>(&kNothing, 0);
    return true;
  }

  bool Check(HRESULT hr) { return failure_.Keep(hr); }

 private:
  ComPtr<IAudioEffect> effect_;
  ComPtr<IAudioData> input_;
  ComPtr<IAudioData> output_;
  ComponentFailure& failure_;
  std::vector<uint8_t> recordBytes_;
};

EffectProcessors::FrameAdapter* EffectProcessors::Single(SingleKind kind,
                                                         const document::DocumentFormat& format) {
  std::unique_ptr<FrameAdapter>& slot = singles_[static_cast<size_t>(kind)];
  if (!slot) {
    const CLSID& clsid = kind == SingleKind::kSilenceRemover ? CLSID_SilenceRemover
                         : kind == SingleKind::kBatch        ? CLSID_BatchProcessor
                         : kind == SingleKind::kDtmf         ? CLSID_DtmfRecognizer
                                                             : CLSID_TempoAnalyser;
    ComPtr<IAudioEffect> effect;
    ComPtr<IAudioData> input;
    if (Failed(Create(clsid, &effect)) || Failed(Create(CLSID_AudioData, &input))) return nullptr;
    slot = std::make_unique<FrameAdapter>(std::move(effect), std::move(input), *failure_);
  }
  slot->Prepare(format);
  return slot.get();
}

bool EffectProcessors::Configure(FrameAdapter& single, const std::vector<ParamPut>& params) {
  for (const ParamPut& put : params)
    if (!single.Check(single.Effect()->put_Param(put.index, put.value))) return false;
  return single.Check(single.Effect()->Start());
}

bool EffectProcessors::EnableDtmf(int32_t channels, const document::DocumentFormat& format) {
  dtmf_ = true;
  if (Ensure(channels) && Single(SingleKind::kDtmf, format)) return true;
  dtmf_ = false;
  return false;
}

processing::FrameComponent* EffectProcessors::Component(FrameAdapter* single) {
  return single;
}

bool EffectProcessors::Result(FrameAdapter& single, double* value) {
  return single.Check(single.Effect()->get_Result(value));
}

processing::ChannelProcessor* EffectProcessors::Channel(EffectKind kind, int32_t channel,
                                                        int32_t sampleRate, int32_t sampleSize) {
  Adapter* adapter = Find(kind, channel);
  if (adapter) adapter->Prepare(sampleRate, sampleSize);
  return adapter;
}

HRESULT EffectProcessors::TakeFailure() {
  return failure_->Take();
}

}  // namespace qel

#include "effect_object.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "com/safearray.h"

namespace qel::effects {

using namespace com;

namespace {

HRESULT Fail(HRESULT hr, std::u16string_view message) {
  return SetError(hr, IID_IAudioEffect, u"QelAudioTransform.AudioEffect.1", message);
}

// A parameter from its variant: numbers of any kind, arrays of numbers (in
// storage order, whatever their dimensions), or text.
bool ToParam(const VARIANT& value, ParamValue* param) {
  const VARIANT* v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt & VT_ARRAY) {
    SAFEARRAY* array = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    std::vector<double> numbers;
    if (!array) {
      *param = std::move(numbers);
      return true;
    }
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(array, &type);
    const uint64_t count = SafeArrayElementCount(array);
    void* data = nullptr;
    if (Failed(SafeArrayAccessData(array, &data))) return false;
    numbers.resize(static_cast<size_t>(count));
    bool ok = true;
    for (uint64_t i = 0; i < count && ok; ++i) {
      const auto* at = static_cast<const uint8_t*>(data) + i * array->cbElements;
      switch (type) {
        case VT_R8:
          std::memcpy(&numbers[i], at, 8);
          break;
        case VT_R4: {
          float f;
          std::memcpy(&f, at, 4);
          numbers[i] = f;
          break;
        }
        case VT_I4:
        case VT_INT: {
          int32_t n;
          std::memcpy(&n, at, 4);
          numbers[i] = n;
          break;
        }
        case VT_I2: {
          int16_t n;
          std::memcpy(&n, at, 2);
          numbers[i] = n;
          break;
        }
        case VT_VARIANT: {
          Variant d;
          ok = Succeeded(VariantChangeType(
              &d, static_cast<const VARIANT*>(static_cast<const void*>(at)), 0, VT_R8));
          numbers[i] = d.dblVal;
          break;
        }
        default:
          ok = false;
      }
    }
    SafeArrayUnaccessData(array);
    if (!ok) return false;
    *param = std::move(numbers);
    return true;
  }
  if (v->vt == VT_BSTR) {
    *param = std::u16string(v->bstrVal ? v->bstrVal : u"", SysStringLen(v->bstrVal));
    return true;
  }
  Variant number;
  if (Failed(VariantChangeType(&number, v, 0, VT_R8))) return false;
  *param = number.dblVal;
  return true;
}

// Raised cosine from 0 (at 0) to 1 (at length).
inline double Rise(double at, double length) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * at / length);
}

}  // namespace

EffectCore::EffectCore(std::unique_ptr<Processor> processor)
    : processor_(std::move(processor)), output_(AudioData::Create()) {}

HRESULT EffectCore::Start() {
  if (!processor_ || !output_) return Fail(E_OUTOFMEMORY, u"Out of memory.");
  // The stream's format arrives with the first block.
  startPending_ = true;
  running_ = false;
  lastBlock = 0;
  return S_OK;
}

void EffectCore::StartIfPending(const StreamSetup& setup) {
  if (running_ && setup.sampleRate == setup_.sampleRate &&
      setup.bitsPerSample == setup_.bitsPerSample)
    return;
  // A block arriving without Start (a processor driven by hand) starts a run too.
  setup_ = setup;
  processor_->Start(setup);
  startPending_ = false;
  running_ = true;
}

HRESULT EffectCore::ReadInput(IUnknown* in, Input* input) {
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
  data->get_TimeStamp(&input->timeStampMs);
  data->get_Duration(&input->rangeMs);
  if (!format || formatSize < 16) return Fail(E_INVALIDARG, u"The input has no format record.");
  uint32_t rate = 0;
  uint16_t bits = 0;
  std::memcpy(&rate, format + 4, 4);
  std::memcpy(&bits, format + 14, 2);
  if (rate == 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return Fail(E_INVALIDARG, u"The input's format is not one of the document's.");
  input->samples = reinterpret_cast<const double*>(buffer);
  input->frames = buffer ? size / 8 : 0;
  input->setup = {static_cast<double>(rate), bits, std::ldexp(1.0, bits - 1)};
  input->format = format;
  input->formatSize = formatSize;
  return S_OK;
}

HRESULT EffectCore::Measures(int32_t* value) const {
  if (!value) return E_POINTER;
  *value = processor_ && processor_->Measures() ? 1 : 0;
  return S_OK;
}

HRESULT EffectCore::Measure(IUnknown* in) {
  Input input;
  if (HRESULT hr = ReadInput(in, &input); Failed(hr)) return hr;
  StartIfPending(input.setup);
  processor_->Measure({input.samples, static_cast<size_t>(input.frames)});
  return S_OK;
}

HRESULT EffectCore::Process(IUnknown* in, IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  Input input;
  if (HRESULT hr = ReadInput(in, &input); Failed(hr)) return hr;
  if (startPending_ || !running_ || input.setup.sampleRate != setup_.sampleRate ||
      input.setup.bitsPerSample != setup_.bitsPerSample)
    StartIfPending(input.setup);
  const double rate = input.setup.sampleRate;
  BlockInfo info;
  info.position = std::llround(input.timeStampMs * rate / 1000.0);
  info.rangeFrames = input.rangeMs > 0 ? std::llround(input.rangeMs * rate / 1000.0) : 0;
  info.last = lastBlock != 0;
  lastBlock = 0;
  out_.clear();
  processor_->Process({input.samples, static_cast<size_t>(input.frames)}, info, out_);
  if (smoothEnabled == 1) Smooth(input, info);

  const int32_t bytes = static_cast<int32_t>(out_.size() * sizeof(double));
  if (Failed(output_->AllocateBuffer(bytes)) || Failed(output_->AllocateFormat(input.formatSize)))
    return Fail(E_OUTOFMEMORY, u"Out of memory.");
  uint8_t* buffer = nullptr;
  uint8_t* format = nullptr;
  output_->GetBuffer(&buffer);
  output_->GetFormat(&format);
  if (bytes > 0) std::memcpy(buffer, out_.data(), static_cast<size_t>(bytes));
  std::memcpy(format, input.format, static_cast<size_t>(input.formatSize));
  output_->put_DataSize(bytes);
  output_->put_TimeStamp(input.timeStampMs);
  output_->put_Duration(input.rangeMs);
  *out = static_cast<IAudioData*>(output_.get());
  (*out)->AddRef();
  return S_OK;
}

void EffectCore::Smooth(const Input& input, const BlockInfo& info) {
  if (info.rangeFrames <= 0) return;
  const double rate = input.setup.sampleRate;
  const int64_t begin = static_cast<int64_t>(std::floor(smoothBeginMs * rate / 1000.0));
  const int64_t end = static_cast<int64_t>(std::floor(smoothEndMs * rate / 1000.0));
  const int64_t n = std::min<int64_t>(input.frames, static_cast<int64_t>(out_.size()));
  const int64_t range = info.rangeFrames;
  // Only the frames of the block that lie in an edge are touched.
  auto blend = [&](int64_t from, int64_t to, auto weight) {
    for (int64_t i = std::max<int64_t>(from - info.position, 0);
         i < std::min<int64_t>(to - info.position, n); ++i) {
      const double wet = weight(static_cast<double>(info.position + i) + 0.5);
      const double dry = input.samples[i];
      double& out = out_[static_cast<size_t>(i)];
      out = dry + wet * (out - dry);
    }
  };
  if (begin > 0) blend(0, begin, [&](double p) { return Rise(p, static_cast<double>(begin)); });
  if (end > 0)
    blend(range - end, range,
          [&](double p) { return Rise(static_cast<double>(range) - p, static_cast<double>(end)); });
}

HRESULT EffectCore::GetParam(int32_t index, VARIANT* value) const {
  if (!value) return E_POINTER;
  VariantInit(value);
  if (index < 1 || static_cast<size_t>(index) > params_.size()) return S_OK;
  return VariantCopy(value, &params_[static_cast<size_t>(index - 1)]);
}

HRESULT EffectCore::PutParam(int32_t index, const VARIANT& value) {
  ParamValue param;
  if (index < 1 || !ToParam(value, &param) || !processor_->SetParam(index, param))
    return Fail(
        E_INVALIDARG, u"Invalid parameter P" + [&] {
          std::string digits = std::to_string(index);
          return std::u16string(digits.begin(), digits.end());
        }() + u" for this effect.");
  if (params_.size() < static_cast<size_t>(index)) params_.resize(static_cast<size_t>(index));
  VariantCopy(&params_[static_cast<size_t>(index - 1)], &value);
  return S_OK;
}

}  // namespace qel::effects

#include "effect_object.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "param_variant.h"

namespace qel::effects {

using namespace com;

namespace {

using detail::Fail;
using detail::ToParam;

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
  emitted_ = 0;
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
  AudioInput audio;
  if (const std::u16string_view problem = ReadAudioInput(in, &audio); !problem.empty())
    return Fail(E_INVALIDARG, problem);
  audio.data->get_TimeStamp(&input->timeStampMs);
  audio.data->get_Duration(&input->rangeMs);
  input->samples = reinterpret_cast<const double*>(audio.buffer);
  input->frames = audio.buffer ? audio.size / 8 : 0;
  input->setup = {static_cast<double>(audio.rate), audio.bits, std::ldexp(1.0, audio.bits - 1)};
  input->format = audio.format;
  input->formatSize = audio.formatSize;
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
  std::span<const double> samples(input.samples, static_cast<size_t>(input.frames));
  const bool chunk = input.frames == 0 && input.rangeMs > 0;
  if (chunk) {
    // A generator's chunk: as many frames as the chunk's milliseconds cover,
    // counted from the start so that chunks never drift.
    const int64_t from = std::llround(input.timeStampMs * rate / 1000.0);
    const int64_t to = std::llround((input.timeStampMs + input.rangeMs) * rate / 1000.0);
    zeros_.assign(static_cast<size_t>(std::max<int64_t>(to - from, 0)), 0.0);
    samples = zeros_;
    info.position = from;
  } else {
    info.position = std::llround(input.timeStampMs * rate / 1000.0);
    info.rangeFrames = input.rangeMs > 0 ? std::llround(input.rangeMs * rate / 1000.0) : 0;
  }
  info.last = lastBlock != 0;
  lastBlock = 0;
  out_.clear();
  const bool smooth = smoothEnabled == 1 && !chunk && processor_->PreservesLength();
  if (smooth) KeepEdges(samples, info);
  processor_->Process(samples, info, out_);
  if (smooth) Smooth(info);
  emitted_ += static_cast<int64_t>(out_.size());

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

void EffectCore::EdgeLengths(const BlockInfo& info, int64_t* begin, int64_t* end) const {
  const double rate = setup_.sampleRate;
  *begin =
      std::min(static_cast<int64_t>(std::floor(smoothBeginMs * rate / 1000.0)), info.rangeFrames);
  *end = std::min(static_cast<int64_t>(std::floor(smoothEndMs * rate / 1000.0)), info.rangeFrames);
  *begin = std::max<int64_t>(*begin, 0);
  *end = std::max<int64_t>(*end, 0);
}

void EffectCore::KeepEdges(std::span<const double> in, const BlockInfo& info) {
  if (info.rangeFrames <= 0) return;
  int64_t begin = 0, end = 0;
  EdgeLengths(info, &begin, &end);
  if (info.position == 0) {
    firstDry_.assign(static_cast<size_t>(begin), 0.0);
    lastDry_.assign(static_cast<size_t>(end), 0.0);
  }
  // The untouched samples of the two edges, by their place in the range: a
  // processor that holds samples back gives its output later than its input.
  const int64_t n = static_cast<int64_t>(in.size());
  for (int64_t i = std::max<int64_t>(0, -info.position);
       i < n && info.position + i < static_cast<int64_t>(firstDry_.size()); ++i)
    firstDry_[static_cast<size_t>(info.position + i)] = in[static_cast<size_t>(i)];
  const int64_t lastFrom = info.rangeFrames - static_cast<int64_t>(lastDry_.size());
  for (int64_t i = std::max<int64_t>(0, lastFrom - info.position); i < n; ++i) {
    const int64_t at = info.position + i - lastFrom;
    if (at >= static_cast<int64_t>(lastDry_.size())) break;
    lastDry_[static_cast<size_t>(at)] = in[static_cast<size_t>(i)];
  }
}

void EffectCore::Smooth(const BlockInfo& info) {
  if (info.rangeFrames <= 0) return;
  const int64_t range = info.rangeFrames;
  const auto begin = static_cast<int64_t>(firstDry_.size());
  const auto end = static_cast<int64_t>(lastDry_.size());
  const int64_t first = emitted_;  // the place of out_[0] in the range
  const int64_t n = static_cast<int64_t>(out_.size());
  // Only the frames of the output that lie in an edge are touched.
  for (int64_t g = std::max<int64_t>(first, 0); g < std::min(first + n, begin); ++g) {
    double& out = out_[static_cast<size_t>(g - first)];
    const double dry = firstDry_[static_cast<size_t>(g)];
    out = dry + Rise(static_cast<double>(g) + 0.5, static_cast<double>(begin)) * (out - dry);
  }
  for (int64_t g = std::max(first, range - end); g < std::min(first + n, range); ++g) {
    double& out = out_[static_cast<size_t>(g - first)];
    const double dry = lastDry_[static_cast<size_t>(g - (range - end))];
    out = dry + Rise(static_cast<double>(range - g) - 0.5, static_cast<double>(end)) * (out - dry);
  }
}

HRESULT EffectCore::GetParam(int32_t index, VARIANT* value) const {
  return detail::KeptParam(params_, index, value);
}

HRESULT EffectCore::PutParam(int32_t index, const VARIANT& value) {
  ParamValue param;
  if (index < 1 || !ToParam(value, &param) || !processor_->SetParam(index, param))
    return Fail(E_INVALIDARG, detail::ParamRefused(index, {}));
  detail::KeepParam(params_, index, value);
  return S_OK;
}

}  // namespace qel::effects

#include "pcm/resample_stage.h"

#include <algorithm>

#include "pcm/sample_io.h"

namespace PCM_CODEC {

CResampleStage::CResampleStage() = default;
CResampleStage::~CResampleStage() = default;

void CResampleStage::SetRates(int inRate, int outRate) {
  inRate_ = inRate;
  outRate_ = outRate;
}

void CResampleStage::ClearFilterState() {
  for (auto& f : filters_)
    f.Reset();
}

void CResampleStage::DesignAntiImaging() {
  antiImaging_ = DesignAntiImagingFir(inRate_, outRate_);
  for (auto& f : filters_)
    f.SetCoefficients(antiImaging_);
}

void CResampleStage::DisableAntiImaging() {
  antiImaging_.clear();
  for (auto& f : filters_)
    f.SetCoefficients({});
}

void CResampleStage::Reset() {
  clock_ = LinearClock{};
  for (auto& c : channels_) {
    c.linear = LinearChannelState{};
    if (c.band) c.band->Reset();
  }
}

void CResampleStage::SetThreads(unsigned threads) {
  const unsigned workers = threads > 1 ? threads - 1 : 0;
  if (workers == 0) {
    pool_.reset();
  } else if (!pool_ || pool_->Workers() != workers) {
    pool_ = std::make_unique<CWorkerPool>(workers);
  }
}

void CResampleStage::ResampleChannel(std::size_t index, const std::uint8_t* in, std::size_t frames,
                                     int channels, int bits) {
  Channel& c = channels_[index];
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  const std::size_t stride = bytes * static_cast<std::size_t>(channels);
  const std::uint8_t* src = in + index * bytes;
  if (highQuality_) {
    if (!c.band) c.band = std::make_unique<CAudioResample>();
    c.band->Process(static_cast<double>(outRate_) / inRate_, src, frames, stride, bits, c.result);
    return;
  }
  if (c.samples.size() < frames) c.samples.resize(frames);
  DispatchBits(bits, [&]<int Bits>() {
    for (std::size_t t = 0; t < frames; ++t)
      c.samples[t] = Pcm<Bits>::Read(src + t * stride);
    c.result.resize(plan_.planned);
    ApplyLinearPlan(plan_, {c.samples.data(), frames}, Pcm<Bits>::kMax, c.linear, c.result.data());
  });
  if (bits == 16 && filters_[index].Active()) filters_[index].Process(c.result, -32767, 32767);
}

std::span<const std::uint8_t> CResampleStage::Process(std::span<const std::uint8_t> in,
                                                      int channels, int bits) {
  if (!IsSupportedBits(bits) || channels < 1 || channels > kMaxChannels) return {};
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  const std::size_t frames = in.size() / (bytes * static_cast<std::size_t>(channels));
  const auto count = static_cast<std::size_t>(channels);
  if (!highQuality_) PlanLinearBlock(clock_, frames, inRate_, outRate_, plan_);
  auto body = [&](std::size_t index) { ResampleChannel(index, in.data(), frames, channels, bits); };
  // A linear block of one channel is a few microseconds of work, less than a
  // hand-over to another thread costs; from four channels on it pays.
  const bool parallel = pool_ && channels > 1 && (highQuality_ || channels >= 4);
  if (parallel) {
    pool_->ParallelFor(count, body);
  } else {
    for (std::size_t i = 0; i < count; ++i)
      body(i);
  }

  // Every channel sees the same block and state, so the counts agree; the
  // shortest one is used should they ever not.
  std::size_t produced = channels_[0].result.size();
  for (std::size_t i = 1; i < count; ++i)
    produced = std::min(produced, channels_[i].result.size());
  out_.resize(produced * bytes * count);
  const bool wide = highQuality_;
  DispatchBits(bits, [&]<int Bits>() {
    for (std::size_t i = 0; i < count; ++i) {
      const std::int32_t* r = channels_[i].result.data();
      std::uint8_t* dst = out_.data() + i * bytes;
      const std::size_t stride = bytes * count;
      for (std::size_t t = 0; t < produced; ++t, dst += stride) {
        if constexpr (Bits == 24) {
          if (wide) {
            Pcm<24>::WriteWide(dst, r[t]);
            continue;
          }
        }
        Pcm<Bits>::Write(dst, r[t]);
      }
    }
  });
  return out_;
}

}  // namespace PCM_CODEC

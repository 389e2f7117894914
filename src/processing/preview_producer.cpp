#include "processing/preview_producer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "pcm/channel_samples.h"

namespace qel::processing {
namespace {

using PCM_CODEC::ChannelToDoubles;
using PCM_CODEC::DoublesToChannel;
using PCM_CODEC::SampleLayout;

void FillSilence(uint8_t* bytes, size_t count, int32_t sampleSize) {
  std::memset(bytes, sampleSize == 8 ? 0x80 : 0, count);
}

}  // namespace

PreviewProducer::PreviewProducer(PreviewSetup setup) : setup_(std::move(setup)) {
  const document::DocumentFormat& f = setup_.format;
  align_ = std::max(f.BlockAlign(), 1);
  rate_ = std::max(f.sampleRate, 1);
  sampleBytes_ = std::max(f.sampleSize / 8, 1);
  scale_ = setup_.effect.SampleScale(f.sampleSize);
  const bool packed = setup_.mode == 2 && setup_.packed && !setup_.processed.empty() &&
                      setup_.processed.size() <= 2;
  setup_.packed = packed;
  outChannels_ = packed ? static_cast<int32_t>(setup_.processed.size()) : f.channels;
  input_.resize(setup_.processed.size());
  outputs_.resize(setup_.processed.size());
}

std::vector<int32_t> PreviewProducer::ProcessedChannels(const EffectEntry& effect,
                                                        const document::Document& doc) {
  std::vector<int32_t> channels;
  for (int32_t c = 0; c < doc.format.channels; ++c)
    if (effect.Has(effect_flag::kAllChannels) || doc.channels.IsOperated(c)) channels.push_back(c);
  return channels;
}

int32_t PreviewProducer::OutputChannels() const {
  return outChannels_;
}

bool PreviewProducer::Measures() const {
  return !setup_.processors.empty() && setup_.processors[0]->Measures();
}

BlockPlace PreviewProducer::Place(int64_t done) const {
  return {static_cast<double>(done) / rate_ * 1000.0,
          static_cast<double>(setup_.rangeFrames) / rate_ * 1000.0};
}

void PreviewProducer::ToDoubles(const uint8_t* frames, int64_t count) {
  const SampleLayout in{setup_.format.sampleSize, setup_.format.channels, scale_};
  for (size_t k = 0; k < setup_.processed.size(); ++k) {
    input_[k].resize(static_cast<size_t>(count));
    ChannelToDoubles(frames, count, setup_.processed[k], in, input_[k].data());
  }
}

bool PreviewProducer::Measure(const uint8_t* frames, int64_t count) {
  ToDoubles(frames, count);
  const BlockPlace place = Place(measured_);
  for (size_t k = 0; k < setup_.processors.size(); ++k)
    if (!setup_.processors[k]->Measure({input_[k].data(), input_[k].size()}, place)) return false;
  measured_ += count;
  return true;
}

bool PreviewProducer::Produce(const uint8_t* frames, int64_t count, bool last,
                              std::vector<uint8_t>* out) {
  out->clear();
  ToDoubles(frames, count);
  const BlockPlace place = Place(done_);
  for (size_t k = 0; k < setup_.processors.size(); ++k) {
    ChannelProcessor* p = setup_.processors[k];
    if (last && !p->SetLastBlock()) return false;
    if (!p->Process({input_[k].data(), input_[k].size()}, place, &outputs_[k])) return false;
    if (outputs_[k].data() == nullptr) return false;
  }
  done_ += count;

  // The first processed channel's output sets the length; the others follow it.
  const int64_t outFrames =
      outputs_.empty() ? count : static_cast<int64_t>(outputs_.front().size());
  const bool keeps =
      setup_.mode == 1 && setup_.processed.size() < static_cast<size_t>(outChannels_);
  int64_t kept = 0;
  if (keeps) {
    pending_.insert(pending_.end(), frames, frames + count * align_);
    kept =
        std::min<int64_t>(outFrames, static_cast<int64_t>(pending_.size() - pendingFrom_) / align_);
  }
  const int32_t outAlign = outChannels_ * sampleBytes_;
  out->resize(static_cast<size_t>(outFrames * outAlign));
  FillSilence(out->data(), out->size(), setup_.format.sampleSize);

  const SampleLayout layout{setup_.format.sampleSize, outChannels_, scale_};
  for (size_t k = 0; k < setup_.processed.size(); ++k) {
    const int32_t slot = setup_.packed ? static_cast<int32_t>(k) : setup_.processed[k];
    const std::span<const double> o = outputs_[k];
    const int64_t have = std::min<int64_t>(outFrames, static_cast<int64_t>(o.size()));
    DoublesToChannel(o.data(), have, slot, layout, out->data());
    if (have < outFrames) {
      padding_.assign(static_cast<size_t>(outFrames - have), 0.0);
      DoublesToChannel(padding_.data(), outFrames - have, slot, layout,
                       out->data() + have * outAlign);
    }
  }
  if (keeps) {
    // Mode 1 plays the document's layout, so input and output frames align.
    const uint8_t* from = pending_.data() + pendingFrom_;
    size_t k = 0;
    for (int32_t c = 0; c < outChannels_; ++c) {
      if (k < setup_.processed.size() && setup_.processed[k] == c) {
        ++k;
        continue;
      }
      const int64_t offset = int64_t{c} * sampleBytes_;
      for (int64_t i = 0; i < kept; ++i)
        std::memcpy(out->data() + i * outAlign + offset, from + i * align_ + offset,
                    static_cast<size_t>(sampleBytes_));
    }
    pendingFrom_ += static_cast<size_t>(kept * align_);
    if (pendingFrom_ * 2 > pending_.size()) {
      pending_.erase(pending_.begin(),
                     pending_.begin() + static_cast<std::ptrdiff_t>(pendingFrom_));
      pendingFrom_ = 0;
    }
  }
  return true;
}

}  // namespace qel::processing

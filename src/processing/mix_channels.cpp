#include "processing/mix_channels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "pcm/sample_io.h"

namespace qel::processing {
namespace {

using PCM_CODEC::Pcm;

// The stored value of a sample as the mix reads it.
template <int Bits>
double Stored(const uint8_t* p) {
  if constexpr (Bits == 8) return p[0];
  return Pcm<Bits>::ReadWide(p);
}

template <int Bits>
void Put(uint8_t* p, double sum) {
  double v = std::nearbyint(sum);
  if constexpr (Bits == 8) {
    p[0] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
  } else if constexpr (Bits == 16) {
    Pcm<16>::Write(p, static_cast<int32_t>(std::clamp(v, -32767.0, 32767.0)));
  } else {
    const auto s = static_cast<int32_t>(std::clamp(v, -2147483647.0, 2147483647.0));
    if constexpr (Bits == 24)
      Pcm<24>::WriteWide(p, s);
    else
      Pcm<32>::Write(p, s);
  }
}

template <int Bits>
void Mix(const ChannelGains& gains, const std::vector<int32_t>& outputs, int32_t channels,
         const uint8_t* in, uint8_t* out, int64_t frames) {
  constexpr int kBytes = Bits / 8;
  const int64_t align = int64_t{kBytes} * channels;
  std::vector<double> frame(static_cast<size_t>(channels));
  for (int64_t f = 0; f < frames; ++f) {
    const uint8_t* src = in + f * align;
    for (int32_t i = 0; i < channels; ++i)
      frame[static_cast<size_t>(i)] = Stored<Bits>(src + i * kBytes);
    for (int32_t o : outputs) {
      double sum = 0;
      const double* row = &gains[static_cast<size_t>(o) * document::kMaxChannels];
      for (int32_t i = 0; i < channels; ++i)
        sum += frame[static_cast<size_t>(i)] * row[i];
      Put<Bits>(out + f * align + o * kBytes, sum);
    }
  }
}

}  // namespace

EffectResult MixChannels(document::Document& doc, document::OperationObserver& observer,
                         const ChannelGains& gains, int32_t previewMode,
                         const std::function<bool()>& play) {
  std::vector<int32_t> outputs;
  for (int32_t c = 0; c < doc.format.channels; ++c)
    if (doc.channels.IsOperated(c)) outputs.push_back(c);
  const int32_t channels = doc.format.channels;
  const int32_t bits = doc.format.sampleSize;
  EffectJob job;
  job.effect = *FindEffect(opcode::kMixChannels);
  job.previewMode = previewMode;
  job.play = play;
  job.mixBlock = [&](const uint8_t* in, uint8_t* out, int64_t frames) {
    switch (bits) {
      case 8:
        return Mix<8>(gains, outputs, channels, in, out, frames);
      case 16:
        return Mix<16>(gains, outputs, channels, in, out, frames);
      case 24:
        return Mix<24>(gains, outputs, channels, in, out, frames);
      default:
        return Mix<32>(gains, outputs, channels, in, out, frames);
    }
  };
  return RunEffect(doc, observer, job);
}

}  // namespace qel::processing

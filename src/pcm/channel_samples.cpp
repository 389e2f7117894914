#include "pcm/channel_samples.h"

#include <cmath>

#include "pcm/sample_io.h"

namespace PCM_CODEC {
namespace {

// Truncation toward zero, then the clip; done in double so that values far out
// of range cannot overflow the integer conversion.
inline int32_t Clip(double value, double low, double high) {
  value = std::trunc(value);
  if (value < low) value = low;
  if (value > high) value = high;
  return static_cast<int32_t>(value);
}

// 8- and 16-bit samples keep their own scale; 24- and 32-bit ones travel in the
// 32-bit scale, divided by the sample scale when there is one.
template <int Bits>
void Load(const uint8_t* p, int64_t stride, int64_t frames, double divisor, double* out) {
  for (int64_t i = 0; i < frames; ++i) {
    const double v = Pcm<Bits>::ReadWide(p + i * stride);
    out[i] = Bits > 16 ? v / divisor : v;
  }
}

template <int Bits>
void Store(const double* in, int64_t frames, double scale, int64_t stride, uint8_t* p) {
  for (int64_t i = 0; i < frames; ++i) {
    uint8_t* d = p + i * stride;
    if constexpr (Bits == 8) {
      d[0] = static_cast<uint8_t>(Clip(in[i] + 128.0, 0.0, 255.0));
    } else if constexpr (Bits == 16) {
      Pcm<16>::Write(d, Clip(in[i], -32767.0, 32767.0));
    } else {
      double v = std::trunc(in[i]);
      if (scale > 0) v *= scale;
      const int32_t s = Clip(v, -2147483647.0, 2147483647.0);
      if constexpr (Bits == 24)
        Pcm<24>::WriteWide(d, s);
      else
        Pcm<32>::Write(d, s);
    }
  }
}

}  // namespace

void ChannelToDoubles(const uint8_t* interleaved, int64_t frames, int32_t channel,
                      const SampleLayout& layout, double* out) {
  const int32_t bytes = layout.sampleSize / 8;
  const int64_t stride = int64_t{bytes} * layout.channels;
  const uint8_t* p = interleaved + int64_t{channel} * bytes;
  const double divisor = layout.sampleScale > 0 ? layout.sampleScale : 1.0;
  switch (layout.sampleSize) {
    case 8:
      return Load<8>(p, stride, frames, divisor, out);
    case 16:
      return Load<16>(p, stride, frames, divisor, out);
    case 24:
      return Load<24>(p, stride, frames, divisor, out);
    case 32:
      return Load<32>(p, stride, frames, divisor, out);
    default:
      return;
  }
}

void DoublesToChannel(const double* in, int64_t frames, int32_t channel, const SampleLayout& layout,
                      uint8_t* interleaved) {
  const int32_t bytes = layout.sampleSize / 8;
  const int64_t stride = int64_t{bytes} * layout.channels;
  uint8_t* p = interleaved + int64_t{channel} * bytes;
  switch (layout.sampleSize) {
    case 8:
      return Store<8>(in, frames, layout.sampleScale, stride, p);
    case 16:
      return Store<16>(in, frames, layout.sampleScale, stride, p);
    case 24:
      return Store<24>(in, frames, layout.sampleScale, stride, p);
    case 32:
      return Store<32>(in, frames, layout.sampleScale, stride, p);
    default:
      return;
  }
}

}  // namespace PCM_CODEC

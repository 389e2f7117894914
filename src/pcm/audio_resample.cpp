#include "pcm/audio_resample.h"

#include <libresample.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "pcm/rounding.h"
#include "pcm/sample_io.h"

namespace PCM_CODEC {

void CAudioResample::HandleCloser::operator()(void* handle) const {
  resample_close(handle);
}

void CAudioResample::Reset() {
  held_ = 0;
  reopen_ = true;
}

std::size_t CAudioResample::Process(double factor, const std::uint8_t* in, std::size_t frames,
                                    std::size_t stride, int bits, std::vector<std::int32_t>& out) {
  if (reopen_ || factor != factor_) {
    handle_.reset(resample_open(highQuality_ ? 1 : 0, factor, factor));
    factor_ = factor;
    reopen_ = false;
  }
  if (!handle_ || !(factor > 0.0)) return 0;

  // Append the block in the integer scale (24-bit samples in 32-bit scale).
  // The buffers only grow, so steady blocks cause no allocation or clearing.
  if (history_.size() < held_ + frames) history_.resize(held_ + frames);
  float* h = history_.data() + held_;
  DispatchBits(bits, [&]<int Bits>() {
    for (std::size_t t = 0; t < frames; ++t) {
      h[t] = static_cast<float>(Pcm<Bits>::ReadWide(in + t * stride));
    }
  });
  held_ += frames;

  const std::size_t capacity =
      static_cast<std::size_t>(std::ceil(static_cast<double>(held_) * factor)) + 256;
  if (output_.size() < capacity) output_.resize(capacity);

  std::size_t consumed = 0;
  std::size_t produced = 0;
  for (;;) {
    const int inLen = static_cast<int>(std::min<std::size_t>(held_ - consumed, INT_MAX));
    const int outLen = static_cast<int>(std::min<std::size_t>(output_.size() - produced, INT_MAX));
    int used = 0;
    const int got = resample_process(handle_.get(), factor, history_.data() + consumed, inLen, 0,
                                     &used, output_.data() + produced, outLen);
    if (got < 0) break;
    consumed += static_cast<std::size_t>(used);
    produced += static_cast<std::size_t>(got);
    if (used == 0 && got == 0) break;
    if (output_.size() - produced < 64) output_.resize(output_.size() * 2);
  }
  // What the library did not take waits for the next block.
  std::copy(history_.begin() + static_cast<std::ptrdiff_t>(consumed),
            history_.begin() + static_cast<std::ptrdiff_t>(held_), history_.begin());
  held_ -= consumed;

  // Clip to the size's range and convert: 8-bit rounds (it is re-centred on 128
  // by the caller), the others truncate.
  const double limit = bits == 24 ? 2147483647.0 : std::ldexp(1.0, bits - 1) - 1.0;
  out.resize(produced);
  std::int32_t* o = out.data();
  for (std::size_t k = 0; k < produced; ++k) {
    double v = static_cast<double>(output_[k]) * gain_;
    v = std::clamp(v, -limit - 1.0, limit);
    o[k] = static_cast<std::int32_t>(bits == 8 ? RoundHalfEven(v) : static_cast<std::int64_t>(v));
  }
  return produced;
}

}  // namespace PCM_CODEC

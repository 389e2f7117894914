// Reading the samples of interleaved PCM frames: 8-bit unsigned around 128,
// 16-, 24- and 32-bit signed little-endian.
#pragma once

#include <cstdint>
#include <type_traits>

#include "processor.h"

namespace qel::effects::analysis {

// The sample sizes the whole-frame kinds understand.
inline bool SupportedPcm(const PcmFormat& format) {
  const int32_t bits = format.bitsPerSample;
  return (bits == 8 || bits == 16 || bits == 24 || bits == 32) && format.channels >= 1;
}

// 2^(bits − 1): the magnitude of full scale.
inline double PcmFullScale(int32_t bits) {
  return static_cast<double>(int64_t{1} << (bits - 1));
}

// The sample at p as a signed integer (8-bit: byte − 128).
template <int Bits>
inline int32_t ReadSample(const uint8_t* p) {
  if constexpr (Bits == 8) {
    return static_cast<int32_t>(p[0]) - 128;
  } else if constexpr (Bits == 16) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
  } else if constexpr (Bits == 24) {
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16);
    return static_cast<int32_t>(u << 8) >> 8;
  } else {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
  }
}

// Calls f(Bits) with the sample size as a compile-time constant, so the
// per-sample loops inside are specialised; bits must be supported.
template <class F>
inline void WithBits(int32_t bits, F&& f) {
  switch (bits) {
    case 8:
      f(std::integral_constant<int, 8>{});
      break;
    case 16:
      f(std::integral_constant<int, 16>{});
      break;
    case 24:
      f(std::integral_constant<int, 24>{});
      break;
    default:
      f(std::integral_constant<int, 32>{});
      break;
  }
}

}  // namespace qel::effects::analysis

// Round to nearest with ties to even, as one instruction where the processor
// has it (the default rounding mode of SSE2 conversions), so the hot loops do
// not call into libm.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PCM_CODEC {

inline std::int64_t RoundHalfEven(double v) {
#if defined(__SSE2__) && defined(__x86_64__)
  return _mm_cvtsd_si64(_mm_set_sd(v));
#else
  return std::llrint(v);
#endif
}

}  // namespace PCM_CODEC

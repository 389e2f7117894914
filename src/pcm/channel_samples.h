// The samples effects see: one channel of an interleaved block as doubles in
// the integer scale of the sample size, and back. Going back truncates toward
// zero and clips to the symmetric range of the size (16-bit −32767..32767), so
// that a result of −32768.0 is stored as −32767.
#pragma once

#include <cstdint>

namespace PCM_CODEC {

struct SampleLayout {
  int32_t sampleSize = 16;   // bits: 8, 16, 24 or 32
  int32_t channels = 1;      // frames are interleaved
  double sampleScale = 0.0;  // 24/32-bit divisor on the way in (0: none)
};

// 8-bit: unsigned − 128. 16-bit: as stored. 24-bit: the three bytes as the upper
// 24 bits of a 32-bit value (then ÷ sampleScale). 32-bit: as stored (÷ sampleScale).
void ChannelToDoubles(const uint8_t* interleaved, int64_t frames, int32_t channel,
                      const SampleLayout& layout, double* out);
// The reverse, into the channel's slots of an interleaved buffer.
void DoublesToChannel(const double* in, int64_t frames, int32_t channel, const SampleLayout& layout,
                      uint8_t* interleaved);

}  // namespace PCM_CODEC

#include "pcm/pcm_format.h"

#include <bit>

namespace PCM_CODEC {

std::uint32_t DefaultChannelMask(int channels) {
  switch (channels) {
    case 1:
      return 0x1;
    case 2:
      return 0x3;
    case 3:
      return 0xB;
    case 4:
      return 0x33;
    case 5:
      return 0x37;
    case 6:
      return 0x3F;
    case 7:
      return 0x637;
    case 8:
      return 0x63F;
    default:
      return 0;
  }
}

int SpeakerCount(std::uint32_t mask) {
  return std::popcount(mask & kSpeakerBitsMask);
}

std::uint32_t NormaliseChannelMask(std::uint32_t mask, int channels) {
  if (mask != 0 && SpeakerCount(mask) == channels) return mask;
  const std::uint32_t fallback = DefaultChannelMask(channels);
  return fallback != 0 ? fallback : mask;
}

PcmFormat MakeFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                     std::uint32_t mask) {
  PcmFormat f;
  f.wave.formatTag = kWaveFormatPcm;
  f.wave.channels = static_cast<std::uint16_t>(channels);
  f.wave.samplesPerSec = static_cast<std::uint32_t>(rate);
  f.wave.bitsPerSample = static_cast<std::uint16_t>(bits);
  f.wave.blockAlign = static_cast<std::uint16_t>(static_cast<std::int64_t>(bits) * channels / 8);
  f.wave.avgBytesPerSec = static_cast<std::uint32_t>(f.wave.blockAlign) * f.wave.samplesPerSec;
  f.wave.extraSize = 0;
  f.channelMask = NormaliseChannelMask(mask, channels);
  return f;
}

PcmFormat MakeSourceFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                           std::uint32_t mask) {
  return MakeFormat(rate < 1 ? 44100 : rate, channels < 1 ? 2 : channels, bits < 8 ? 16 : bits,
                    mask);
}

}  // namespace PCM_CODEC

// Sample formats as the conversion library sees them: a wave-format record plus
// a speaker mask, and the rules that turn loosely given values into a format.
#pragma once

#include <cstdint>

namespace PCM_CODEC {

inline constexpr std::uint16_t kWaveFormatPcm = 1;
inline constexpr int kMaxChannels = 18;
// Far above any real material; it bounds the buffers a nonsense rate would need.
inline constexpr int kMaxSampleRate = 4000000;
// Speaker bits that count as named speakers (front left 0x1 … top back right 0x20000).
inline constexpr std::uint32_t kSpeakerBitsMask = 0x3FFFF;

struct WaveFormat {
  std::uint16_t formatTag = kWaveFormatPcm;
  std::uint16_t channels = 2;
  std::uint32_t samplesPerSec = 44100;
  std::uint32_t avgBytesPerSec = 176400;
  std::uint16_t blockAlign = 4;
  std::uint16_t bitsPerSample = 16;
  std::uint16_t extraSize = 0;
};

struct PcmFormat {
  WaveFormat wave;
  std::uint32_t channelMask = 0x3;

  int Rate() const { return static_cast<int>(wave.samplesPerSec); }
  int Channels() const { return wave.channels; }
  int Bits() const { return wave.bitsPerSample; }
};

// The usual layout for a channel count (three channels are left, right and
// low frequency); 0 when there is no usual layout for that count.
std::uint32_t DefaultChannelMask(int channels);

// Number of named speakers in a mask.
int SpeakerCount(std::uint32_t mask);

// Keeps a mask that names exactly `channels` speakers, otherwise substitutes the
// default layout; counts without a default keep whatever was given.
std::uint32_t NormaliseChannelMask(std::uint32_t mask, int channels);

// The record for (rate, channels, bits, mask) without any substitution: block
// align and byte rate follow from the values, the mask is normalised.
PcmFormat MakeFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                     std::uint32_t mask);

// Like MakeFormat, but a rate below 1 becomes 44 100, a channel count below 1
// becomes 2 and a sample size below 8 bits becomes 16: the source side always
// describes real material, so nonsense there means "the usual".
PcmFormat MakeSourceFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                           std::uint32_t mask);

// Bytes one sample occupies: whole bytes, so a 12-bit sample sits in two.
inline int ContainerBytes(int bits) {
  return (bits + 7) / 8;
}

}  // namespace PCM_CODEC

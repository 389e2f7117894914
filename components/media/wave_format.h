// Interleaved integer PCM as the component hands it over, and the wave-format
// record that describes it in front of every block (the 18-byte plain record,
// tag 1, or the 40-byte extensible one, tag 0xFFFE, with the speaker mask).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "external/wave_record.h"

namespace qel::media {

using external::kWaveFormatExtensible;
using external::kWaveFormatPcm;
inline constexpr uint16_t kWaveFormatFloat = 3;
inline constexpr uint16_t kWaveFormatALaw = 6;
inline constexpr uint16_t kWaveFormatMuLaw = 7;
inline constexpr size_t kPlainRecordSize = external::kPlainRecordSize;
inline constexpr size_t kExtensibleRecordSize = external::kExtensibleRecordSize;

// Interleaved integer PCM: 8-bit unsigned, 16/24/32-bit signed little-endian.
struct PcmFormat {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
  uint32_t mask = 0;  // Windows speaker bits; 0 = no speaker assignment

  int32_t BlockAlign() const { return bits / 8 * channels; }
  bool Valid() const {
    return rate > 0 && rate <= 1'000'000 && channels > 0 && channels <= 64 &&
           (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  }
  // Whether the format needs the extensible record (and header): more than two
  // channels, more than 16 bits, or a speaker mask other than the usual one for
  // mono (front centre) or stereo (front left and right).
  bool NeedsExtensible() const;
  friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

// The record in front of a block: the plain one for mono and stereo with their
// usual mask, else the extensible one (valid bits = bits, the mask, PCM sub-format).
std::vector<uint8_t> MakeWaveRecord(const PcmFormat& format);
// The body of a `fmt ` chunk: 16 bytes (plain), or 40 (extensible); the record of
// a block is the plain body with a zero extension size (18 bytes).
std::vector<uint8_t> MakeFormatBody(const PcmFormat& format, bool extensible);
// Whether the record names integer PCM the component can take, and its format;
// the mask of a plain record is the usual one for its channel count.
std::optional<PcmFormat> ParseWaveRecord(std::span<const uint8_t> record);

// The mask used when none is given: front centre for mono, front left and right
// for stereo, FFmpeg's default layout beyond.
uint32_t UsualMask(int32_t channels);

// Little-endian field access for the records and the RIFF chunks.
inline void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}
inline void PutLE64(uint8_t* p, uint64_t v) {
  PutLE32(p, static_cast<uint32_t>(v));
  PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline uint16_t LE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LE32(const uint8_t* p) {
  return LE16(p) | static_cast<uint32_t>(LE16(p + 2)) << 16;
}
inline uint64_t LE64(const uint8_t* p) {
  return LE32(p) | static_cast<uint64_t>(LE32(p + 4)) << 32;
}

}  // namespace qel::media

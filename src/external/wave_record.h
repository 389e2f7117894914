// The wave-format record: the little-endian description of interleaved PCM
// that heads every sample-store file and every block passed between the
// control and the media component. One encoder and one decoder serve all of
// them; each user decides which form (plain or extensible) and which fields
// (valid bits, mask, sub-format) its own format asks for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qel::external {

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
inline constexpr uint32_t kPlainRecordSize = 18;
inline constexpr uint32_t kExtensibleRecordSize = 40;
inline constexpr uint16_t kExtensibleExtraSize = 22;

// {00000001-0000-0010-8000-00AA00389B71}: integer PCM.
inline constexpr std::array<uint8_t, 16> kPcmSubFormat = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct WaveRecord {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
  // The extensible part (tag 0xFFFE).
  uint16_t validBitsPerSample = 0;
  uint32_t channelMask = 0;
  std::array<uint8_t, 16> subFormat{};

  bool Extensible() const { return formatTag == kWaveFormatExtensible; }
  // 18 for the plain record, 18 + the extra size for the extensible one.
  uint32_t Size() const { return Extensible() ? kPlainRecordSize + extraSize : kPlainRecordSize; }
  bool operator==(const WaveRecord&) const = default;
};

// A record of integer PCM with its derived fields filled in: the extensible
// form (extra size 22, the mask, `subFormat`, `validBits`) or the plain one.
WaveRecord MakePcmRecord(uint32_t rate, uint16_t channels, uint16_t bits, bool extensible,
                         uint32_t mask, uint16_t validBits,
                         const std::array<uint8_t, 16>& subFormat);

// The record's bytes: 18 for the plain form, 40 for the extensible one.
std::vector<uint8_t> EncodeWaveRecord(const WaveRecord& record);

// The fields the bytes hold: at least the first 16 bytes (a plain record may
// come without its extra size), and of the extensible part as many fields as
// both the bytes and the extra size cover. Nothing when under 16 bytes.
std::optional<WaveRecord> DecodeWaveRecord(std::span<const uint8_t> bytes);

}  // namespace qel::external

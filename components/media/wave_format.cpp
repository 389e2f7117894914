#include "wave_format.h"

#include <algorithm>
#include <cstring>

#include "ffmpeg_util.h"

namespace qel::media {

namespace {

// {00000001-0000-0010-8000-00AA00389B71}: integer PCM; the first two bytes carry the tag.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool MaskIsUsual(int32_t channels, uint32_t mask) {
  return mask == 0 || mask == UsualMask(channels);
}

}  // namespace

uint32_t UsualMask(int32_t channels) {
  if (channels == 1) return 0x4;
  if (channels == 2) return 0x3;
  return ff::DefaultMask(channels);
}

bool PcmFormat::NeedsExtensible() const {
  return channels > 2 || bits > 16 || !MaskIsUsual(channels, mask);
}

std::vector<uint8_t> MakeFormatBody(const PcmFormat& format, bool extensible) {
  std::vector<uint8_t> body(extensible ? kExtensibleRecordSize : 16, 0);
  uint8_t* p = body.data();
  PutLE16(p, extensible ? kWaveFormatExtensible : kWaveFormatPcm);
  PutLE16(p + 2, static_cast<uint32_t>(format.channels));
  PutLE32(p + 4, static_cast<uint32_t>(format.rate));
  PutLE32(p + 8, static_cast<uint32_t>(format.rate) * static_cast<uint32_t>(format.BlockAlign()));
  PutLE16(p + 12, static_cast<uint32_t>(format.BlockAlign()));
  PutLE16(p + 14, static_cast<uint32_t>(format.bits));
  if (extensible) {
    PutLE16(p + 16, 22);
    PutLE16(p + 18, static_cast<uint32_t>(format.bits));
    PutLE32(p + 20, format.mask);
    PutLE16(p + 24, kWaveFormatPcm);
    std::memcpy(p + 26, kSubFormatTail, sizeof kSubFormatTail);
  }
  return body;
}

std::vector<uint8_t> MakeWaveRecord(const PcmFormat& format) {
  // Blocks keep the plain record wherever the mask says nothing new, whatever the
  // sample size: readers of blocks take the bits from either record.
  bool extensible = format.channels > 2 || !MaskIsUsual(format.channels, format.mask);
  std::vector<uint8_t> record = MakeFormatBody(format, extensible);
  record.resize(std::max(record.size(), kPlainRecordSize), 0);
  return record;
}

std::optional<PcmFormat> ParseWaveRecord(std::span<const uint8_t> record) {
  if (record.size() < 16) return std::nullopt;
  const uint8_t* p = record.data();
  uint16_t tag = LE16(p);
  PcmFormat format;
  format.channels = LE16(p + 2);
  format.rate = static_cast<int32_t>(LE32(p + 4));
  format.bits = LE16(p + 14);
  if (tag == kWaveFormatExtensible) {
    if (record.size() < kExtensibleRecordSize) return std::nullopt;
    if (LE16(p + 24) != kWaveFormatPcm || std::memcmp(p + 26, kSubFormatTail, 14) != 0)
      return std::nullopt;
    format.mask = LE32(p + 20);
  } else if (tag == kWaveFormatPcm) {
    format.mask = UsualMask(format.channels);
  } else {
    return std::nullopt;
  }
  if (!format.Valid()) return std::nullopt;
  return format;
}

}  // namespace qel::media

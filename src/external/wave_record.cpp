#include "external/wave_record.h"

#include <algorithm>
#include <cstring>

namespace qel::external {

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}
uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}

}  // namespace

WaveRecord MakePcmRecord(uint32_t rate, uint16_t channels, uint16_t bits, bool extensible,
                         uint32_t mask, uint16_t validBits,
                         const std::array<uint8_t, 16>& subFormat) {
  WaveRecord r;
  r.formatTag = extensible ? kWaveFormatExtensible : kWaveFormatPcm;
  r.channels = channels;
  r.samplesPerSec = rate;
  r.blockAlign = static_cast<uint16_t>(bits / 8 * channels);
  r.avgBytesPerSec = r.blockAlign * rate;
  r.bitsPerSample = bits;
  r.extraSize = extensible ? kExtensibleExtraSize : 0;
  r.validBitsPerSample = validBits;
  r.channelMask = mask;
  r.subFormat = extensible ? subFormat : std::array<uint8_t, 16>{};
  return r;
}

std::vector<uint8_t> EncodeWaveRecord(const WaveRecord& r) {
  std::vector<uint8_t> b(r.Extensible() ? kExtensibleRecordSize : kPlainRecordSize, 0);
  Put16(&b[0], r.formatTag);
  Put16(&b[2], r.channels);
  Put32(&b[4], r.samplesPerSec);
  Put32(&b[8], r.avgBytesPerSec);
  Put16(&b[12], r.blockAlign);
  Put16(&b[14], r.bitsPerSample);
  Put16(&b[16], r.extraSize);
  if (r.Extensible()) {
    Put16(&b[18], r.validBitsPerSample);
    Put32(&b[20], r.channelMask);
    std::memcpy(&b[24], r.subFormat.data(), r.subFormat.size());
  }
  return b;
}

std::optional<WaveRecord> DecodeWaveRecord(std::span<const uint8_t> bytes) {
  if (bytes.size() < 16) return std::nullopt;
  const uint8_t* p = bytes.data();
  WaveRecord r;
  r.formatTag = Get16(p);
  r.channels = Get16(p + 2);
  r.samplesPerSec = Get32(p + 4);
  r.avgBytesPerSec = Get32(p + 8);
  r.blockAlign = Get16(p + 12);
  r.bitsPerSample = Get16(p + 14);
  r.extraSize = bytes.size() >= kPlainRecordSize ? Get16(p + 16) : 0;
  if (r.Extensible()) {
    // The extensible fields fill 22 bytes; a longer extra part is not ours.
    const size_t known =
        std::min<size_t>({r.extraSize, kExtensibleExtraSize,
                          bytes.size() > kPlainRecordSize ? bytes.size() - kPlainRecordSize : 0});
    if (known >= 2) r.validBitsPerSample = Get16(p + 18);
    if (known >= 6) r.channelMask = Get32(p + 20);
    if (known >= 22) std::memcpy(r.subFormat.data(), p + 24, 16);
  }
  return r;
}

}  // namespace qel::external

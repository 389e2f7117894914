#include "wave_format.h"

#include <algorithm>
#include <cstring>

#include "ffmpeg_util.h"

namespace qel::media {

namespace {

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
  std::vector<uint8_t> body = external::EncodeWaveRecord(external::MakePcmRecord(
      static_cast<uint32_t>(format.rate), static_cast<uint16_t>(format.channels),
      static_cast<uint16_t>(format.bits), extensible, format.mask,
      static_cast<uint16_t>(format.bits), external::kPcmSubFormat));
  if (!extensible) body.resize(16);  // a plain `fmt ` body has no extra size
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
  const std::optional<external::WaveRecord> r = external::DecodeWaveRecord(record);
  if (!r) return std::nullopt;
  PcmFormat format;
  format.channels = r->channels;
  format.rate = static_cast<int32_t>(r->samplesPerSec);
  format.bits = r->bitsPerSample;
  if (r->formatTag == kWaveFormatExtensible) {
    if (record.size() < kExtensibleRecordSize || r->subFormat != external::kPcmSubFormat)
      return std::nullopt;
    format.mask = r->channelMask;
  } else if (r->formatTag == kWaveFormatPcm) {
    format.mask = UsualMask(format.channels);
  } else {
    return std::nullopt;
  }
  if (!format.Valid()) return std::nullopt;
  return format;
}

}  // namespace qel::media

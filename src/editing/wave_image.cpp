#include "editing/wave_image.h"

#include <cstring>
#include <limits>

#include "external/wave_record.h"

namespace qel::editing {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
  out.insert(out.end(), tag, tag + 4);
}

}  // namespace

std::vector<uint8_t> ExchangeRecord(const document::DocumentFormat& f) {
  const bool extensible = f.channels > 1 && f.channelsMask != 0 && f.channelsMask != 3;
  return external::EncodeWaveRecord(external::MakePcmRecord(
      static_cast<uint32_t>(f.sampleRate), static_cast<uint16_t>(f.channels),
      static_cast<uint16_t>(f.sampleSize), extensible, f.channelsMask,
      static_cast<uint16_t>(f.sampleSize), external::kPcmSubFormat));
}

std::vector<uint8_t> WaveImageHeader(std::span<const uint8_t> record, uint64_t dataBytes) {
  // RIFF sizes count from after the size field; a data chunk of odd length
  // is followed by one pad byte, which the RIFF size includes.
  const uint64_t fmtBytes = record.size();
  const uint64_t riffBytes = 4 + (8 + fmtBytes) + (8 + dataBytes + (dataBytes & 1));
  if (riffBytes > std::numeric_limits<uint32_t>::max()) return {};
  std::vector<uint8_t> out;
  out.reserve(20 + fmtBytes + 8);
  PutTag(out, "RIFF");
  Put32(out, static_cast<uint32_t>(riffBytes));
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, static_cast<uint32_t>(fmtBytes));
  out.insert(out.end(), record.begin(), record.end());
  PutTag(out, "data");
  Put32(out, static_cast<uint32_t>(dataBytes));
  return out;
}

}  // namespace qel::editing

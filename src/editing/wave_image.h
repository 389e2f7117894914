// Audio exchanged with the world outside the control without a media file:
// the wave-format record that heads a block of samples handed to a host, and
// the RIFF WAVE image that the system clipboard carries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "document/history.h"

namespace qel::editing {

// The record of exchanged samples: the plain 18 bytes, or, with several
// channels whose mask is neither 0 nor front left + front right, the 40-byte
// extensible form with the valid bits, the mask and the integer-PCM sub-format.
std::vector<uint8_t> ExchangeRecord(const document::DocumentFormat& format);

// The bytes of a RIFF WAVE file up to the start of its samples: RIFF header,
// `fmt ` chunk holding `record`, and the `data` chunk header for dataBytes.
// Empty when the image would not fit the 32-bit sizes of a RIFF file.
std::vector<uint8_t> WaveImageHeader(std::span<const uint8_t> record, uint64_t dataBytes);

}  // namespace qel::editing

// The overview cache file keeps the waveform overview of one document version,
// so that undo and redo need not rebuild it from the samples. Layout, all
// little-endian: the entry count N (unsigned 64-bit), then for each channel in
// channel order its minimum array and its maximum array of N signed 32-bit
// entries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace qel::document {

struct OverviewChannel {
  std::vector<int32_t> minimum;
  std::vector<int32_t> maximum;
  bool operator==(const OverviewChannel&) const = default;
};

// Writes the cache file at path (created or emptied). Every array must have the
// same length. On failure returns false, sets *error (optional) and leaves no
// file behind.
bool WriteOverviewCache(const std::string& path, std::span<const OverviewChannel> channels,
                        std::error_code* error = nullptr);

// Reads a cache file of `channels` channels into *out. False (and *out untouched)
// when the file cannot be read or its size is not exactly what its entry count
// and the channel count make, as with a file cut short or overwritten.
bool ReadOverviewCache(const std::string& path, size_t channels, std::vector<OverviewChannel>* out,
                       std::error_code* error = nullptr);

}  // namespace qel::document

// Why a sample-store or overview cache call failed, when the reason is the
// file's content or the caller's arguments rather than the operating system
// (those failures carry the system's own error code).
#pragma once

#include <system_error>

namespace qel::document {

enum class StoreErrc {
  InvalidFileName = 1,  // empty, or with a NUL inside
  FileNameTooLong,      // more than kMaxFileNameLength bytes
  InvalidFormat,        // rate, channels or sample size out of range
  InvalidMode,          // Open with a mode other than 1 or 2
  HeaderTruncated,      // the file ends inside its header
  NotARegularFile,      // a device, pipe or directory
  NotOpen,              // the call needs an open file
  InvalidPosition,      // a negative or overflowing position
  SourceTooShort,       // a copy asked for more than the source holds
  InconsistentCache,    // an overview cache whose size does not match its count
};

const std::error_category& StoreCategory();

inline std::error_code make_error_code(StoreErrc e) {
  return {static_cast<int>(e), StoreCategory()};
}

}  // namespace qel::document

template <>
struct std::is_error_code_enum<qel::document::StoreErrc> : std::true_type {};

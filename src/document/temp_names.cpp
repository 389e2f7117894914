#include "document/temp_names.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"

namespace qel::document {

namespace {

// Replaces the extension of the file-name part (from its last dot) by extension.
std::string WithExtension(const std::string& path, std::string_view extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + std::string(extension);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool MakeTempFileName(std::string_view tempDirectory, std::string* name,
                      bool keepDefaultExtension) {
  if (!name) {
    errno = EINVAL;
    return false;
  }
  const std::string directory = platform::WithTrailingSlash(tempDirectory);
  // The number is reserved only by the ".tmp" file, which goes away again; a
  // sibling ".qelf" that is already there (a version another instance still
  // uses) must not be handed out a second time.
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string reserved;
    if (!platform::GetTempFileName(directory, kTempPrefix, &reserved)) return false;
    platform::DeleteFile(reserved);
    if (keepDefaultExtension) {
      *name = std::move(reserved);
      return true;
    }
    std::string candidate = WithExtension(reserved, kSampleStoreExtension);
    if (!Exists(candidate)) {
      *name = std::move(candidate);
      return true;
    }
  }
  errno = EEXIST;
  return false;
}

}  // namespace qel::document

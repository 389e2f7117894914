// Names of the control's temporary files: the system's unique name with the
// prefix "qel" in the temporary directory, turned into a sample-store name
// ("qel<hex>.qelf") unless the caller keeps the ".tmp" extension (overview cache
// files do, so the stale-file purge of "qel*.qelf" never takes them).
#pragma once

#include <string>
#include <string_view>

namespace qel::document {

inline constexpr std::string_view kTempPrefix = "qel";
inline constexpr std::string_view kSampleStoreExtension = ".qelf";
inline constexpr std::string_view kSampleStorePattern = "qel*.qelf";

// Sets *name to a new unique file name in tempDirectory (a '/' is added when
// missing). The name is not created: the empty file that reserved the number is
// deleted again. False, with errno set, when the directory takes no new file.
bool MakeTempFileName(std::string_view tempDirectory, std::string* name,
                      bool keepDefaultExtension = false);

}  // namespace qel::document

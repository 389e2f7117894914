#include "view/store_reader.h"

namespace qel::view {

bool StoreReader::Open(const std::string& path) {
  return file_.Open(path, document::kModeRead);
}

size_t StoreReader::ReadAt(int64_t position, void* buffer, size_t count) {
  if (!file_.Seek(position)) return 0;
  return file_.Read(buffer, count);
}

}  // namespace qel::view

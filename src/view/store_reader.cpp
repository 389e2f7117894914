#include "view/store_reader.h"

#include <sys/mman.h>

#include <algorithm>

#include "platform/files.h"

namespace qel::view {

MappedFile::~MappedFile() {
  if (base_) munmap(const_cast<uint8_t*>(base_), size_);
}

bool MappedFile::Map(const std::string& path) {
  if (base_) return true;
  platform::File file;
  if (!file.Open(path, platform::FileAccess::Read)) return false;
  const int64_t size = file.Size();
  if (size <= 0) return false;
  // Populating the whole mapping at once costs far less than a page fault per
  // few pages during the scan.
  void* p =
      mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.Fd(), 0);
  if (p == MAP_FAILED) return false;
  base_ = static_cast<const uint8_t*>(p);
  size_ = static_cast<size_t>(size);
  return true;  // the mapping outlives the descriptor
}

bool StoreReader::Open(const std::string& path) {
  path_ = path;
  return file_.Open(path, document::kModeRead);
}

size_t StoreReader::ReadAt(int64_t position, void* buffer, size_t count) {
  if (!file_.Seek(position)) return 0;
  return file_.Read(buffer, count);
}

std::span<const uint8_t> StoreReader::MapData() {
  if (!map_.Map(path_)) return {};
  const std::span<const uint8_t> all = map_.Bytes();
  const size_t header = std::min<size_t>(file_.HeaderSize(), all.size());
  return all.subspan(header, std::min<size_t>(file_.DataSize(), all.size() - header));
}

}  // namespace qel::view

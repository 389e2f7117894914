// Reading a sample-store file for the view. Short reads (a view's columns, a
// spectrum's frames) go through CSampleStoreFile; the one pass over a whole
// document that builds its peak overview reads the file through a read-only
// memory mapping instead. A pass of read() copies every byte from the page
// cache into a buffer and then scans the buffer, which doubles the memory
// traffic; scanning the mapped pages directly keeps the pass within the time of
// one plain read of the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "document/sample_store.h"
#include "view/view_source.h"

namespace qel::view {

// A read-only mapping of a whole file, unmapped with the object.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool Map(const std::string& path);
  std::span<const uint8_t> Bytes() const { return {base_, size_}; }

 private:
  const uint8_t* base_ = nullptr;
  size_t size_ = 0;
};

class StoreReader final : public SampleReader {
 public:
  bool Open(const std::string& path);
  size_t ReadAt(int64_t position, void* buffer, size_t count) override;
  std::span<const uint8_t> MapData() override;

 private:
  std::string path_;
  document::CSampleStoreFile file_;
  MappedFile map_;
};

}  // namespace qel::view

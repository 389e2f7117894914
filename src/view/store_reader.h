// Reading a sample-store file for the view: a view's columns, a spectrum's
// frames and the one pass that builds a document's peak overview all read
// through CSampleStoreFile in blocks. The overview pass reads
// document::kScanBlockBytes at a time, so what it keeps in memory does not grow
// with the document, and scans each block while it is still in the
// processor's cache (bench/view).
#pragma once

#include <cstdint>
#include <string>

#include "document/sample_store.h"
#include "view/view_source.h"

namespace qel::view {

class StoreReader final : public SampleReader {
 public:
  bool Open(const std::string& path);
  size_t ReadAt(int64_t position, void* buffer, size_t count) override;

 private:
  document::CSampleStoreFile file_;
};

}  // namespace qel::view

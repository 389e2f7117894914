// libFuzzer target for reading sample-store files: the input becomes a file
// that is opened as a stored document (the path OpenFileFromTmp takes for a
// file a host names), its format checked, and its data read to the end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "document/sample_store.h"

namespace {

// The file the input is written to, removed when the run ends.
class InputFile {
 public:
  InputFile() : path_("/dev/shm/qelstore-fuzz-" + std::to_string(getpid()) + ".tmp") {}
  ~InputFile() { std::remove(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  bool Write(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputFile file;
  if (!file.Write(data, size)) return 0;
  qel::document::CSampleStoreFile store;
  if (!store.Open(file.path(), qel::document::kModeRead)) return 0;
  // The header is not checked here: a host adopting a file may override every
  // field of it, and the control checks the format it ends up with. Reading
  // must cope with whatever the header says.
  std::vector<uint8_t> buffer(4096);
  size_t total = 0;
  while (const size_t got = store.Read(buffer.data(), buffer.size())) total += got;
  if (total > store.DataSize()) __builtin_trap();
  store.Seek(static_cast<int64_t>(store.DataSize() / 2));
  store.Read(buffer.data(), buffer.size());
  return 0;
}

#include "document/store_errors.h"

#include <string>

namespace qel::document {

namespace {

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "sample store"; }
  std::string message(int value) const override {
    switch (static_cast<StoreErrc>(value)) {
      case StoreErrc::InvalidFileName:
        return "invalid file name";
      case StoreErrc::FileNameTooLong:
        return "file name too long";
      case StoreErrc::InvalidFormat:
        return "unsupported sample format";
      case StoreErrc::InvalidMode:
        return "unsupported open mode";
      case StoreErrc::HeaderTruncated:
        return "file ends inside its header";
      case StoreErrc::NotARegularFile:
        return "not a regular file";
      case StoreErrc::NotOpen:
        return "file not open";
      case StoreErrc::InvalidPosition:
        return "invalid position";
      case StoreErrc::SourceTooShort:
        return "source holds fewer bytes than asked for";
      case StoreErrc::InconsistentCache:
        return "overview cache size does not match its entry count";
    }
    return "unknown sample store error";
  }
};

}  // namespace

const std::error_category& StoreCategory() {
  static const Category category;
  return category;
}

}  // namespace qel::document

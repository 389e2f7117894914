#include "platform/clipboard.h"

namespace qel::platform {

bool HeadlessClipboard::Open() {
  std::lock_guard lock(mutex_);
  if (open_) return false;
  open_ = true;
  return true;
}

void HeadlessClipboard::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

bool HeadlessClipboard::Empty() {
  std::lock_guard lock(mutex_);
  if (!open_) return false;
  data_.clear();
  return true;
}

bool HeadlessClipboard::SetData(std::string_view format, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (!open_ || format.empty()) return false;
  data_.insert_or_assign(std::string(format), std::move(bytes));
  return true;
}

std::optional<std::vector<uint8_t>> HeadlessClipboard::GetData(std::string_view format) const {
  std::lock_guard lock(mutex_);
  if (!open_) return std::nullopt;
  auto it = data_.find(format);
  if (it == data_.end()) return std::nullopt;
  return it->second;
}

bool HeadlessClipboard::HasFormat(std::string_view format) const {
  std::lock_guard lock(mutex_);
  return data_.find(format) != data_.end();
}

}  // namespace qel::platform

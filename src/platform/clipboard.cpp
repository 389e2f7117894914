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

bool SetWaveData(Clipboard& clipboard, const std::vector<uint8_t>& image) {
  bool all = true;
  for (std::string_view type : kClipboardWaveTypes)
    all = clipboard.SetData(type, image) && all;
  return all;
}

std::optional<std::vector<uint8_t>> GetWaveData(const Clipboard& clipboard) {
  for (std::string_view type : kClipboardWaveTypes)
    if (auto data = clipboard.GetData(type)) return data;
  return std::nullopt;
}

std::shared_ptr<Clipboard> SharedHeadlessClipboard() {
  // The one stand-in for the system's clipboard: like the system's, what was
  // copied stays after the control that copied it has gone.
  static const std::shared_ptr<Clipboard> shared = std::make_shared<HeadlessClipboard>();
  return shared;
}

}  // namespace qel::platform

#include "platform/message_box.h"

#include <iostream>

namespace qel::platform {

int DefaultButton(uint32_t flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    default:
      return IDOK;
  }
}

HeadlessMessageBoxes::HeadlessMessageBoxes(std::ostream* log) : log_(log ? log : &std::cerr) {}

int HeadlessMessageBoxes::Show(std::string_view caption, std::string_view text, uint32_t flags) {
  std::lock_guard lock(mutex_);
  shown_.push_back(Shown{std::string(caption), std::string(text), flags});
  *log_ << caption << ": " << text << std::endl;
  return answer_ != 0 ? answer_ : DefaultButton(flags);
}

void HeadlessMessageBoxes::SetAnswer(int answer) {
  std::lock_guard lock(mutex_);
  answer_ = answer;
}

std::vector<HeadlessMessageBoxes::Shown> HeadlessMessageBoxes::All() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

size_t HeadlessMessageBoxes::Count() const {
  std::lock_guard lock(mutex_);
  return shown_.size();
}

void HeadlessMessageBoxes::Clear() {
  std::lock_guard lock(mutex_);
  shown_.clear();
}

}  // namespace qel::platform

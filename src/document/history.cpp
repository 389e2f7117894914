#include "document/history.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"

namespace qel::document {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsOwnTempName(const std::string& path) {
  return Lower(BaseName(path)).rfind("qel", 0) == 0;
}

UndoHistory::~UndoHistory() {
  Clear();
  PurgeRegister();
}

void UndoHistory::SetUndoRedoCount(int32_t value) {
  capacity_ = value < 1 ? 2 : std::min(value, kMaxUndoSteps) + 1;
}

void UndoHistory::DeleteStepFiles(const HistoryStep& step) {
  // Failures are ignored: a file already gone or held elsewhere stays as it is.
  if (!step.sampleFile.empty()) platform::DeleteFile(step.sampleFile);
  if (!step.overviewFile.empty()) platform::DeleteFile(step.overviewFile);
}

void UndoHistory::TakeStep(HistoryStep step, int32_t code) {
  register_.push_back(step.sampleFile);
  if (steps_.empty()) {
    // The first state of a document: nothing to undo, so no code.
    steps_.push_back(std::move(step));
    current_ = 0;
    return;
  }
  // The redo branch goes, files and all.
  while (steps_.size() > current_ + 1) {
    DeleteStepFiles(steps_.back());
    steps_.pop_back();
  }
  // At capacity the oldest state goes, and with it the code that would undo into it.
  if (Depth() >= capacity_) {
    DeleteStepFiles(steps_.front());
    steps_.pop_front();
    --current_;
    if (!undoCodes_.empty()) undoCodes_.pop_back();
  }
  steps_.push_back(std::move(step));
  current_ = steps_.size() - 1;
  if (code >= 1) {
    undoCodes_.insert(undoCodes_.begin(), code);
    redoCodes_.clear();
  }
}

uint32_t UndoHistory::Undo(int32_t n) {
  uint32_t count = std::min(static_cast<uint32_t>(n), static_cast<uint32_t>(undoCodes_.size()));
  uint32_t moved = 0;
  for (; moved < count && HasPrevious(); ++moved) {
    --current_;
    redoCodes_.insert(redoCodes_.begin(), undoCodes_.front());
    undoCodes_.erase(undoCodes_.begin());
  }
  return moved;
}

uint32_t UndoHistory::Redo(int32_t n) {
  uint32_t count = std::min(static_cast<uint32_t>(n), static_cast<uint32_t>(redoCodes_.size()));
  uint32_t moved = 0;
  for (; moved < count && HasNext(); ++moved) {
    ++current_;
    undoCodes_.insert(undoCodes_.begin(), redoCodes_.front());
    redoCodes_.erase(redoCodes_.begin());
  }
  return moved;
}

void UndoHistory::Clear() {
  // Newest first, as the chain is walked back.
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
    if (it->ownsFiles && !it->sampleFile.empty() && IsOwnTempName(it->sampleFile))
      platform::DeleteFile(it->sampleFile);
    if (!it->overviewFile.empty()) platform::DeleteFile(it->overviewFile);
  }
  steps_.clear();
  current_ = 0;
  undoCodes_.clear();
  redoCodes_.clear();
}

void UndoHistory::PurgeRegister() {
  // Files left over because something held them open when their step went.
  for (const std::string& name : register_) {
    std::string lower = Lower(name);
    if (lower.size() >= 5 && lower.compare(lower.size() - 5, 5, ".qelf") == 0 &&
        IsOwnTempName(name))
      platform::DeleteFile(name);
  }
  register_.clear();
}

}  // namespace qel::document

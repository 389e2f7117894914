#include "document/channels.h"

#include <algorithm>

namespace qel::document {

namespace {
int32_t Stored(int32_t channels) {
  return std::clamp(channels, 0, kMaxChannels);
}
}  // namespace

void ChannelFlags::Recount(int32_t channels) {
  visibleCount_ = operationCount_ = 0;
  for (int32_t i = 0; i < Stored(channels); ++i) {
    if (visible_[i]) ++visibleCount_;
    if (operation_[i]) ++operationCount_;
  }
}

void ChannelFlags::RecomputeMask(int32_t channels, const std::array<uint32_t, 64>& order,
                                 bool stereoMode) {
  if (operationCount_ == 2 && stereoMode) {
    operationMask_ = 3;
  } else if (operationCount_ == 1 && stereoMode) {
    operationMask_ = 1;
  } else {
    operationMask_ = 0;
    for (int32_t i = 0; i < Stored(channels); ++i)
      if (operation_[i]) operationMask_ |= order[i];
  }
}

bool ChannelFlags::SetVisible(int slot, int16_t value) {
  if (visible_[slot] == value) return false;
  visible_[slot] = value;
  return true;
}

bool ChannelFlags::SetOperation(int slot, int16_t value) {
  if (operation_[slot] == value) return false;
  operation_[slot] = value;
  return true;
}

void ChannelFlags::EnableAll(int32_t channels) {
  operation_.fill(-1);
  Recount(channels);
}

int ChannelFlags::OnlyOperated(int32_t channels) const {
  if (operationCount_ != 1 || channels < 2) return -1;
  int only = -1;
  for (int c = 0; c < Stored(channels); ++c)
    if (operation_[c]) only = c;
  return only;
}

}  // namespace qel::document

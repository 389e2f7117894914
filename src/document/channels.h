// Which channels are shown and which ones operations touch: the flags of up
// to kMaxChannels channels (VARIANT_BOOL values, kept as the host gave them),
// their counts over the document's channels, and the operation mask in
// speaker bits.
#pragma once

#include <array>
#include <cstdint>

#include "document/sample_store.h"  // kMaxChannels

namespace qel::document {

class ChannelFlags {
 public:
  using Flags = std::array<int16_t, kMaxChannels>;

  // Counts the flags over the first `channels` channels again (a new document,
  // Close, a channel count that changed); the flags themselves stay.
  void Recount(int32_t channels);
  // The operation mask: the speaker bit (from `order`, the speakers in storage
  // order) of every channel enabled for operations.
  void RecomputeMask(int32_t channels, const std::array<uint32_t, 64>& order, bool stereoMode);

  int16_t Visible(int slot) const { return visible_[slot]; }
  int16_t Operation(int slot) const { return operation_[slot]; }
  bool IsVisible(int channel) const { return visible_[channel] != 0; }
  bool IsOperated(int channel) const { return operation_[channel] != 0; }
  // Sets one flag; false when it already had that value.
  bool SetVisible(int slot, int16_t value);
  bool SetOperation(int slot, int16_t value);

  int32_t VisibleCount() const { return visibleCount_; }
  int32_t OperationCount() const { return operationCount_; }
  uint32_t OperationMask() const { return operationMask_; }

  // Saved and restored around operations that work on every channel.
  struct Saved {
    Flags operation;
    int32_t count;
  };
  Saved Save() const { return {operation_, operationCount_}; }
  void Restore(const Saved& saved) {
    operation_ = saved.operation;
    operationCount_ = saved.count;
  }
  void EnableAll(int32_t channels);

  // The one enabled channel when exactly one of several is enabled, else -1.
  int OnlyOperated(int32_t channels) const;

 private:
  static constexpr Flags Filled() {
    Flags flags{};
    flags.fill(-1);
    return flags;
  }
  // Every channel starts shown and enabled for operations.
  Flags visible_ = Filled();
  Flags operation_ = Filled();
  int32_t visibleCount_ = 0;
  int32_t operationCount_ = 0;
  uint32_t operationMask_ = 0;
};

}  // namespace qel::document

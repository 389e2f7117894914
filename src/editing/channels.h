// CEditorChannels: which channels are shown and which ones operations touch.
#pragma once

#include <array>

#include "core/automation_object.h"
#include "core/editor_link.h"
#include "core/surface_defaults.h"

namespace qel {

class CEditorChannels final : public AutomationObject<CEditorChannels, IEditorChannelsDefaults>,
                              public EditorLink {
 public:
  static constexpr int kMaxChannels = 18;
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT get_Count(int32_t* value) override;
  com::HRESULT get_Num(int32_t* value) override;
  com::HRESULT put_Num(int32_t value) override;
  com::HRESULT get_Visible(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Visible(com::VARIANT_BOOL value) override;
  com::HRESULT get_OperationEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_OperationEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_OperationCount(int32_t* value) override;
  com::HRESULT get_OperationMask(int32_t* value) override;

  // Counts the flags of the document's channels again (a new document, Close,
  // a channel count that changed); the flags themselves stay.
  void Recount();
  // The operation mask from the flags, the channel order and the stereo mode.
  void RecomputeMask();
  int32_t OperationCount() const { return operationCount_; }
  int32_t VisibleCount() const { return visibleCount_; }
  uint32_t OperationMask() const { return operationMask_; }
  bool OperationEnabled(int channel) const { return operation_[channel] != 0; }
  bool Visible(int channel) const { return visible_[channel] != 0; }  // read by the view
  // Saved and restored around operations that work on every channel.
  struct Flags {
    std::array<int16_t, kMaxChannels> operation;
    int32_t count;
  };
  Flags SaveFlags() const { return {operation_, operationCount_}; }
  void RestoreFlags(const Flags& flags);
  void EnableAll();

 private:
  // The flag slot `Num` addresses (Num beyond the 18 stored flags uses the last).
  int Slot() const;
  int32_t DocumentChannels() const;

  int32_t num_ = 1;
  // Every channel starts shown and enabled for operations.
  std::array<int16_t, kMaxChannels> visible_ = Filled();
  std::array<int16_t, kMaxChannels> operation_ = Filled();
  static constexpr std::array<int16_t, kMaxChannels> Filled() {
    std::array<int16_t, kMaxChannels> flags{};
    flags.fill(-1);
    return flags;
  }
  int32_t visibleCount_ = 0;
  int32_t operationCount_ = 0;
  uint32_t operationMask_ = 0;
};

}  // namespace qel

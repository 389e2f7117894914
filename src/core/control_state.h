// What the control shares with its sub-objects: the document model, the view,
// the settings objects the view reads, and the way to the control's events.
// The control and every sub-object it made hold it by a counted reference, so
// a sub-object that a host keeps after releasing the control finds the state
// detached (and answers with clean errors), never a dangling pointer.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "com/object.h"
#include "core/effect_processors.h"
#include "core/picture.h"
#include "core/surface.h"
#include "document/document.h"
#include "external/media.h"

namespace qel {

class CEditorVisualization;

class ControlState final : public document::OperationObserver {
 public:
  explicit ControlState(const std::string& tempDirectory);
  ~ControlState() override;
  ControlState(const ControlState&) = delete;
  ControlState& operator=(const ControlState&) = delete;

  document::Document doc;
  // The picture; made once the sub-objects exist, gone when the control goes.
  std::unique_ptr<Picture> view;

  // The settings objects the view reads (a host may put its own scales and
  // colours in their place).
  com::ComPtr<CEditorVisualization> visualization;
  com::ComPtr<IEditorScale> scaleX;
  com::ComPtr<IEditorScale> scaleY;
  com::ComPtr<IEditorColors> colors;
  // The document's audio format and the video format of the file it came from,
  // as the host reads them.
  com::ComPtr<IAudioFormat> audioFormat;
  com::ComPtr<IVideoFormat> videoFormat;
  // The unit labels of the scales: sample, frequency, time, frame and decibel.
  enum UnitLabel { kUnitSample, kUnitHz, kUnitHms, kUnitFrame, kUnitDb, kUnitCount };
  std::array<std::u16string, kUnitCount> units{u"smpl", u"Hz", u"hms", u"frm", u"dB"};
  // Host bitmaps for the spectral view (kept by the host).
  uint8_t* spectralBitmap = nullptr;
  uint8_t* darkBitmap = nullptr;
  int32_t MarkerType() const;
  // The effect processors, and how the control makes those a document of this
  // many channels needs (an error number; the control shows what is missing).
  EffectProcessors effects;
  std::function<int32_t(int32_t channels)> ensureProcessors;
  // Preview of effects (0: off), and the way to play one (Play(1, 0)).
  int32_t previewMode = 0;
  std::function<com::HRESULT()> playPreview;
  // The processors of a preview whose effect the control's own processors do
  // not hold (the plug-in hosts make theirs per run), by channel.
  std::function<processing::ChannelProcessor*(int32_t channel)> previewChannels;
  // Moving the cursor while playing: the control restarts playback there.
  std::function<com::HRESULT(int64_t frames)> seekPlayback;

  // The control receives every report while it lives.
  void Attach(document::OperationObserver* control) { control_ = control; }
  // The control is going: reports end here, the view and the settings go.
  void Detach();
  bool Attached() const { return control_ != nullptr; }

  // ---- OperationObserver: forwarded to the control while attached ----
  void Progress(int32_t percent) override;
  void OperationEnded() override;
  void MarkerChanged(int32_t number) override;
  void SplitFileCreated(const std::string& name) override;
  void SelectionChanged() override;
  void ViewChanged() override;
  void PictureChanged() override;
  void DocumentStarted() override;
  void ComponentMissing(std::u16string_view message) override;
  void OverviewFoldBegin(const document::DocumentFormat& format, int64_t frames) override;
  void OverviewFold(const uint8_t* data, size_t bytes) override;
  void OverviewFoldEnd(bool keep) override;
  void OpenProgress(int32_t percent) override;

 private:
  document::OperationObserver* control_ = nullptr;
};

// Base of the sub-objects: the state of the control that made them. One made
// on its own (by class identifier) has none and only stores its values.
class StateLink {
 public:
  void SetState(std::shared_ptr<ControlState> state) { state_ = std::move(state); }
  // The control's state while the control lives, else null.
  ControlState* State() const { return state_ && state_->Attached() ? state_.get() : nullptr; }
  // True for a sub-object whose control has been released: its members that
  // need the control answer an error.
  bool Orphaned() const { return state_ && !state_->Attached(); }

 private:
  std::shared_ptr<ControlState> state_;
};

}  // namespace qel

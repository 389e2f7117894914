// The control's side of the mouse: ControlMouse gives the view's mouse state
// machine (view/mouse_controller.h) the geometry and positions of the moment,
// carries out what a press or drag decides through the editing functions the
// property puts use, and fires the mouse events to the host.
#pragma once

#if QEL_WITH_VIEW

#include <memory>

#include "view/mouse_controller.h"

namespace qel {

class CAudioEditor;

class ControlMouse final : public view::MouseActions, public platform::WindowMessageHandler {
 public:
  // Becomes the mouse handler of the control's view (when it has one).
  explicit ControlMouse(CAudioEditor& control);
  ~ControlMouse() override;
  ControlMouse(const ControlMouse&) = delete;
  ControlMouse& operator=(const ControlMouse&) = delete;

  view::MouseController& Controller() { return controller_; }

  // The view's mouse messages, handed to the state machine while the control
  // holds a reference of its own (a handler of an event may release it).
  void OnMouseDown(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseUp(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseMove(uint32_t keys, int x, int y) override;
  void OnDoubleClick(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseWheel(int delta, uint32_t keys, int x, int y) override;
  void OnTimer(uintptr_t id) override;
  void OnCaptureLost() override;

  // MouseActions
  view::MouseScene Scene() override;
  platform::WindowHost* Window() override;
  bool MouseEventsEnabled() const override;
  bool MarkerMouseEventsEnabled() const override;
  void SetSelection(int64_t start, int64_t end, bool selected) override;
  void SetView(int64_t start, int64_t end) override;
  void Zoom(int64_t start, int64_t end) override;
  void SetOperated(int channel, bool on) override;
  void SelectMarker(int32_t number) override;
  void MoveMarker(int64_t position, int64_t length) override;
  int32_t InsertMarker(int64_t position, int64_t length, std::u16string label) override;
  void DeleteMarker() override;
  void ResizeLanes(int upper, int upperHeight, int lower, int lowerHeight, bool done) override;
  void MouseDown(int button, int shift, int x, int y) override;
  void MouseUp(int button, int shift, int x, int y) override;
  void MouseMove(int button, int shift, int x, int y) override;
  void DblClick() override;
  void ScaleXClick() override;
  void ScaleYClick() override;
  void WaveformRClick() override;
  void ChangePosition() override;
  void MarkerClick(int32_t number) override;
  void NewMarker(int32_t number) override;
  void ChangeMarker(int32_t number) override;
  void SelectChannel() override;

 private:
  class QuietReports;

  CAudioEditor& control_;
  std::unique_ptr<QuietReports> quiet_;
  view::MouseController controller_;
};

}  // namespace qel

#endif

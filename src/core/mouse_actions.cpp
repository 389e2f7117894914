#include "core/mouse_actions.h"

#include <algorithm>
#include <limits>

#include "core/audio_editor.h"
#include "core/settings_objects.h"
#include "editing/marker_edits.h"
#include "editing/positions.h"

namespace qel {

using com::ComPtr;

// The editing functions report every change; a drag fires its events once per
// message itself, so these reports redraw but tell the host nothing.
class ControlMouse::QuietReports final : public document::OperationObserver {
 public:
  explicit QuietReports(ControlState& state) : state_(state) {}
  void Progress(int32_t) override {}
  void OperationEnded() override {}
  void MarkerChanged(int32_t) override {}
  void SplitFileCreated(const std::string&) override {}
  void SelectionChanged() override {
    if (Picture* v = state_.view.get()) v->RequestSelection();
  }
  void ViewChanged() override { state_.ViewChanged(); }
  void PictureChanged() override { state_.PictureChanged(); }
  void DocumentStarted() override {}
  void ComponentMissing(std::u16string_view) override {}
  void OverviewFoldBegin(const document::DocumentFormat&, int64_t) override {}
  void OverviewFold(const uint8_t*, size_t) override {}
  void OverviewFoldEnd(bool) override {}
  void OpenProgress(int32_t) override {}

 private:
  ControlState& state_;
};

ControlMouse::ControlMouse(CAudioEditor& control)
    : control_(control),
      quiet_(std::make_unique<QuietReports>(control.State())),
      controller_(*this) {
  if (Picture* v = control_.Waveform()) v->SetMouseHandler(this);
}

ControlMouse::~ControlMouse() {
  if (Picture* v = control_.Waveform()) v->SetMouseHandler(nullptr);
}

// ---- messages ----

void ControlMouse::OnMouseDown(platform::MouseButton button, uint32_t keys, int x, int y) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnMouseDown(button, keys, x, y);
}
void ControlMouse::OnMouseUp(platform::MouseButton button, uint32_t keys, int x, int y) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnMouseUp(button, keys, x, y);
}
void ControlMouse::OnMouseMove(uint32_t keys, int x, int y) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnMouseMove(keys, x, y);
}
void ControlMouse::OnDoubleClick(platform::MouseButton button, uint32_t keys, int x, int y) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnDoubleClick(button, keys, x, y);
}
void ControlMouse::OnMouseWheel(int delta, uint32_t keys, int x, int y) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnMouseWheel(delta, keys, x, y);
}
void ControlMouse::OnTimer(uintptr_t id) {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnTimer(id);
}
void ControlMouse::OnCaptureLost() {
  const ComPtr<CAudioEditor> self(&control_);
  controller_.OnCaptureLost();
}

// ---- what the machine reads ----

view::MouseScene ControlMouse::Scene() {
  view::MouseScene s;
  Picture* v = control_.Waveform();
  if (!v) return s;
  // Pending layout work (a resize, a scale change) first, so that the zones
  // are those of the picture the user sees next.
  v->Update();
  ControlState& state = control_.State();
  const document::Document& doc = state.doc;
  s.layout = v->GetLayout();
  s.laneTops = v->LaneTops();
  s.open = doc.IsOpen();
  s.frames = s.open ? doc.Frames() : 0;
  s.channels = std::clamp(doc.format.channels, 1, view::kMaxChannels);
  for (int c = 0; c < s.channels; ++c) {
    s.speakers[c] = doc.ChannelOrder()[c];
    s.visible[c] = doc.channels.IsVisible(c);
    s.operated[c] = doc.channels.IsOperated(c);
  }
  const editing::FramePositions p = editing::GetFramePositions(doc);
  s.startView = p.startView;
  s.endView = p.endView;
  s.startSelect = p.startSelect;
  s.endSelect = p.endSelect;
  if (const document::ViewStack* stack = doc.View()) s.selected = stack->selected != 0;
  s.status = doc.Status();
  s.scaleXVisible = s.layout.timeScaleHeight > 0;
  s.scaleYVisible = s.layout.levelScaleWidth > 0;
  if (IEditorScale* scaleY = state.scaleY.get()) {
    int32_t orientation = 1;
    if (com::Succeeded(scaleY->get_Orientation(&orientation))) s.scaleYOrientation = orientation;
  }
  if (const CEditorVisualization* visual = state.visualization.get()) {
    const view::VisualSettings settings = visual->Settings();
    s.tooltipEnabled = settings.markerToolTipEnabled;
    s.channelsInterval = settings.channelsInterval;
  }
  s.pointerCursor = v->PointerCursor();
  if (const document::HistoryStep* step = doc.Current()) {
    int32_t number = 0;
    for (const document::Marker& m : step->markers)
      s.markers.push_back({++number, m.position, m.length, m.note});
  }
  view::ComputeSceneColumns(s);
  return s;
}

platform::WindowHost* ControlMouse::Window() {
  Picture* v = control_.Waveform();
  return v ? v->Window() : nullptr;
}

bool ControlMouse::MouseEventsEnabled() const {
  return control_.mouseEventsEnabled_ != 0;
}
bool ControlMouse::MarkerMouseEventsEnabled() const {
  return control_.markerMouseEventsEnabled_ != 0;
}

// ---- changes, through the rules of the property puts ----

void ControlMouse::SetSelection(int64_t start, int64_t end, bool selected) {
  document::Document& doc = control_.Model();
  const document::ViewStack* stack = doc.View();
  if (!stack) return;
  if (!selected || end <= start) {
    editing::SetSelected(doc, *quiet_, 0);
    editing::SetStartSelect(doc, *quiet_, start);
    return;
  }
  // The mouse's own "true"; the getters report it as 1.
  editing::SetSelected(doc, *quiet_, 1);
  const int64_t currentEnd = editing::GetFramePositions(doc).endSelect;
  if (start < currentEnd || !stack->selected) {
    editing::SetStartSelect(doc, *quiet_, start);
    editing::SetEndSelect(doc, *quiet_, end);
  } else {
    editing::SetEndSelect(doc, *quiet_, end);
    editing::SetStartSelect(doc, *quiet_, start);
  }
}

void ControlMouse::SetView(int64_t start, int64_t end) {
  document::Document& doc = control_.Model();
  // Whichever end moves away from the other goes first, so the range never
  // turns inside out on the way.
  if (start >= editing::GetFramePositions(doc).endView) {
    editing::SetEndView(doc, *quiet_, end);
    editing::SetStartView(doc, *quiet_, start);
  } else {
    editing::SetStartView(doc, *quiet_, start);
    editing::SetEndView(doc, *quiet_, end);
  }
}

void ControlMouse::Zoom(int64_t start, int64_t end) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  control_.Zoom(static_cast<int32_t>(std::clamp<int64_t>(start, -kMax, kMax)),
                static_cast<int32_t>(std::clamp<int64_t>(end, -kMax, kMax)));
}

void ControlMouse::SetOperated(int channel, bool on) {
  document::Document& doc = control_.Model();
  if (!doc.channels.SetOperation(channel, on ? com::VARIANT_TRUE : com::VARIANT_FALSE)) return;
  doc.RecountChannels();
  doc.RecomputeOperationMask();
  control_.State().PictureChanged();
}

void ControlMouse::SelectMarker(int32_t number) {
  editing::SelectMarker(control_.Model(), number);
}

void ControlMouse::MoveMarker(int64_t position, int64_t length) {
  editing::SetMarkerPosition(control_.Model(), *quiet_, position);
  editing::SetMarkerLength(control_.Model(), *quiet_, length);
}

int32_t ControlMouse::InsertMarker(int64_t position, int64_t length, std::u16string label) {
  document::Document& doc = control_.Model();
  const document::HistoryStep* step = doc.Current();
  if (!step) return 0;
  const size_t before = step->markers.size();
  editing::InsertMarker(doc, *quiet_, position, length, std::move(label), u"");
  step = doc.Current();
  return step && step->markers.size() > before ? static_cast<int32_t>(step->markers.size()) : 0;
}

void ControlMouse::DeleteMarker() {
  editing::DeleteMarker(control_.Model(), *quiet_);
}

void ControlMouse::ResizeLanes(int upper, int upperHeight, int lower, int lowerHeight, bool) {
  if (Picture* v = control_.Waveform()) v->SetLaneHeights(upper, upperHeight, lower, lowerHeight);
}

// ---- events ----

void ControlMouse::MouseDown(int button, int shift, int x, int y) {
  control_.sender_.MouseDown(button, shift, x, y);
}
void ControlMouse::MouseUp(int button, int shift, int x, int y) {
  control_.sender_.MouseUp(button, shift, x, y);
}
void ControlMouse::MouseMove(int button, int shift, int x, int y) {
  control_.sender_.MouseMove(button, shift, x, y);
}
void ControlMouse::DblClick() {
  control_.sender_.DblClick();
}
void ControlMouse::ScaleXClick() {
  control_.sender_.ScaleXClick();
}
void ControlMouse::ScaleYClick() {
  control_.sender_.ScaleYClick();
}
void ControlMouse::WaveformRClick() {
  control_.sender_.WaveformRClick();
}
void ControlMouse::ChangePosition() {
  control_.sender_.ChangePosition();
}
void ControlMouse::MarkerClick(int32_t number) {
  control_.sender_.MarkerClick(number);
}
void ControlMouse::NewMarker(int32_t number) {
  control_.sender_.NewMarker(number);
}
void ControlMouse::ChangeMarker(int32_t number) {
  control_.sender_.ChangeMarker(number);
}
void ControlMouse::SelectChannel() {
  control_.sender_.SelectChannel();
}

}  // namespace qel

// The mouse in the waveform view: zones, hit-testing, the drag modes and the
// events of every press, move, release, double click and wheel turn.
//
// MouseController is the state machine. It reads the geometry and positions of
// the moment from its owner (MouseActions::Scene, taken afresh for every
// message, so a drag never works from a stale picture) and changes nothing by
// itself: the selection, view, channel flags and markers change through
// MouseActions, which the control implements with the same editing functions
// its property puts use, and events go out through MouseActions too. The
// window (capture, cursor, the scroll timer, the tooltip) is a
// platform::WindowHost, so the machine runs in tests with a HeadlessWindow.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"
#include "view/layout.h"

namespace qel::view {

// Drag modes, numbered as the control has always numbered them (hosts that
// trace the control see these values).
enum class DragMode : int {
  None = 0,
  Select = 1,
  Slider = 2,
  TimeScale = 4,
  CueMarker = 7,
  RangeStart = 8,
  RangeEnd = 9,
  ThirdHandle = 10,
  SelectionEdge = 11,
  MoveSelection = 12,
  LaneResize = 15,
  SliderRight = 16,
  SliderLeft = -16,
};

// The zone cursors are the control's cursor resources 202 ... 218; the window
// sees them as kZoneCursorBase + resource, clear of the platform's shapes and
// of the pointer numbers (kPointerCursorBase + MousePointer).
inline constexpr int kZoneCursorBase = 1000;
inline constexpr int kScrollTimerId = 1;
inline constexpr int kScrollIntervalMs = 50;
// Key-state flag 0x20 (the first extra button), reported as Shift + 4.
inline constexpr uint32_t kExtraKeyFlag = 0x20;

namespace zone_cursor {
inline constexpr int kFrontLeft = 202;
inline constexpr int kMoveSelection = 203;
inline constexpr int kLeftOnly = 204;
inline constexpr int kRightOnly = 205;
inline constexpr int kFrontRight = 206;
inline constexpr int kBackCentre = 207;
inline constexpr int kBackLeft = 208;
inline constexpr int kBackRight = 209;
inline constexpr int kFrontCentre = 210;
inline constexpr int kSideLeft = 211;
inline constexpr int kSideRight = 212;
inline constexpr int kLowFrequency = 213;
inline constexpr int kLaneResize = 214;
inline constexpr int kScrollable = 215;
inline constexpr int kDragging = 216;
inline constexpr int kHandles = 217;
inline constexpr int kSliderEdge = 218;
}  // namespace zone_cursor

constexpr int ZoneCursorId(int resource) {
  return kZoneCursorBase + resource;
}
// The channel-pick cursor resource of a speaker bit; 0 for speakers without one.
int SpeakerCursor(uint32_t speakerBit);

// A marker as the mouse sees it: frames, and its 1-based number in the list.
struct MouseMarker {
  int32_t number = 0;
  int64_t position = 0;
  int64_t length = 0;  // 0 for a cue marker
  std::u16string note;
};

// Geometry and positions at the time of one message. Positions are frames.
struct MouseScene {
  Layout layout;  // sizes, lanes, slider; selection columns are computed here
  std::array<int, kMaxChannels> laneTops{};  // -1 for hidden channels
  bool open = false;
  int64_t frames = 0;  // document length
  int channels = 1;
  std::array<uint32_t, kMaxChannels> speakers{};  // speaker bit of each channel
  std::array<bool, kMaxChannels> visible{};
  std::array<bool, kMaxChannels> operated{};
  int64_t startView = 0, endView = 0;
  int64_t startSelect = 0, endSelect = 0;
  bool selected = false;
  int32_t status = 0;
  bool scaleXVisible = true;
  bool scaleYVisible = true;
  int scaleYOrientation = 1;
  int channelsInterval = 4;
  bool tooltipEnabled = false;
  int pointerCursor = 0;  // the window cursor of MousePointer
  std::vector<MouseMarker> markers;
};

// What the machine asks of the control.
class MouseActions {
 public:
  virtual ~MouseActions() = default;
  virtual MouseScene Scene() = 0;
  virtual platform::WindowHost* Window() = 0;
  virtual bool MouseEventsEnabled() const = 0;
  virtual bool MarkerMouseEventsEnabled() const = 0;

  // Changes, in frames, through the rules of the property puts.
  virtual void SetSelection(int64_t start, int64_t end, bool selected) = 0;
  virtual void SetView(int64_t start, int64_t end) = 0;
  // IAudioEditor.Zoom: validates and records a new zoom level.
  virtual void Zoom(int64_t start, int64_t end) = 0;
  // A channel's OperationEnabled flag; the operation mask follows.
  virtual void SetOperated(int channel, bool on) = 0;
  virtual void SelectMarker(int32_t number) = 0;
  // The current marker's position and length.
  virtual void MoveMarker(int64_t position, int64_t length) = 0;
  // Returns the number of the new marker (0 when none was added).
  virtual int32_t InsertMarker(int64_t position, int64_t length, std::u16string label) = 0;
  virtual void DeleteMarker() = 0;
  // Lane resize: the new heights of two lanes; `done` on release (the level
  // scales and the trace are rebuilt then at the latest).
  virtual void ResizeLanes(int upper, int upperHeight, int lower, int lowerHeight, bool done) = 0;

  // Events to the host.
  virtual void MouseDown(int button, int shift, int x, int y) = 0;
  virtual void MouseUp(int button, int shift, int x, int y) = 0;
  virtual void MouseMove(int button, int shift, int x, int y) = 0;
  virtual void DblClick() = 0;
  virtual void ScaleXClick() = 0;
  virtual void ScaleYClick() = 0;
  virtual void WaveformRClick() = 0;
  virtual void ChangePosition() = 0;
  virtual void MarkerClick(int32_t number) = 0;
  virtual void NewMarker(int32_t number) = 0;
  virtual void ChangeMarker(int32_t number) = 0;
  virtual void SelectChannel() = 0;
};

// The Shift argument of the mouse events: 1 shift, + 2 control, + 4 flag 0x20.
int ShiftArgument(uint32_t keys);
// The Button argument of MouseMove: 1 left, 2 right, 4 middle held.
int ButtonMask(uint32_t keys);

class MouseController final : public platform::WindowMessageHandler {
 public:
  explicit MouseController(MouseActions& actions) : actions_(actions) {}

  void OnMouseDown(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseUp(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseMove(uint32_t keys, int x, int y) override;
  void OnDoubleClick(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseWheel(int delta, uint32_t keys, int x, int y) override;
  void OnTimer(uintptr_t id) override;
  void OnCaptureLost() override;

  DragMode Mode() const { return mode_; }
  bool ScrollTimerRunning() const { return timerRunning_; }
  uint32_t ScrollInterval() const { return timerInterval_; }
  // The cursor a hover at (x, y) with these keys asks for.
  int HoverCursor(const MouseScene& scene, uint32_t keys, int x, int y) const;

 private:
  void LeftDown(uint32_t keys, int x, int y);
  void LeftUp(uint32_t keys, int x, int y);
  void RightDown(uint32_t keys, int x, int y);
  void Drag(const MouseScene& scene, int x, int y);
  void DragSelection(const MouseScene& scene, int x);
  void DragView(const MouseScene& scene, int x);
  void DragSliderEdge(const MouseScene& scene, int x);
  void DragMarker(const MouseScene& scene, int x);
  void DragLanes(const MouseScene& scene, int y);
  void Hover(const MouseScene& scene, uint32_t keys, int x, int y);
  // Sets the window's cursor, giving it the picture of a zone cursor first.
  void ShowCursor(int cursor);
  void StartScrollTimer(uint32_t interval);
  void StopScrollTimer();
  void EndDrag();

  MouseActions& actions_;
  DragMode mode_ = DragMode::None;
  int origin_ = 0;         // press x, or the offset to a grabbed edge
  int64_t anchor_ = 0;     // the frame that stays while selecting
  int64_t grabFrame_ = 0;  // frame under the press when moving the selection
  int64_t grabStart_ = 0;  // the selection when the move began
  int64_t grabEnd_ = 0;
  bool grabbedEnd_ = false;  // selection edge: the end (not the start) moves
  int32_t marker_ = 0;       // the marker being dragged
  int upperLane_ = -1, lowerLane_ = -1;
  int upperHeight_ = 0, lowerHeight_ = 0;
  int lastY_ = 0;
  uint32_t lastKeys_ = 0;  // the last move, replayed by the scroll timer
  int lastX_ = 0, lastMoveY_ = 0;
  bool timerRunning_ = false;
  uint32_t timerInterval_ = kScrollIntervalMs;
  bool channelPicked_ = false;
};

// Zone tests shared by the machine and its tests.
bool InSliderZone(const MouseScene& s, int x, int y);
bool InTimeScaleZone(const MouseScene& s, int x, int y);
bool InMarginBand(const MouseScene& s, int y);
bool InLaneZone(const MouseScene& s, int x, int y);
// The visible channel whose lane holds y; -1 when none.
int LaneAt(const MouseScene& s, int y);
// The two visible channels around the interval band holding y; false when y
// is not in such a band.
bool BandBetweenLanes(const MouseScene& s, int y, int* upper, int* lower);
// The frame under column x of the pointer (clamped to the waveform columns).
int64_t FrameAt(const MouseScene& s, int x);
// The column (client x) of a frame in the view.
int ColumnOf(const MouseScene& s, int64_t frame);
// The slider and the selection columns of the scene's positions.
void ComputeSceneColumns(MouseScene& s);

}  // namespace qel::view

#include "view/mouse_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "com/bstr.h"
#include "view/mouse_cursors.h"

namespace qel::view {

using platform::MK_CONTROL;
using platform::MK_LBUTTON;
using platform::MK_MBUTTON;
using platform::MK_RBUTTON;
using platform::MK_SHIFT;
using platform::MouseButton;

namespace {

// Edge tolerances of the slider: 3 pixels outside its left edge, 1 inside
// and 3 outside its right one; the zone reaches 5 pixels past either side.
constexpr int kSliderZoneReach = 5;
constexpr int kEdgeOutside = 3;
constexpr int kRightEdgeInside = 1;
// The smallest slider the edge drags leave, and the smallest lane.
constexpr int kMinSliderWidth = 3;
constexpr int kMinLaneHeight = 20;
// A lane resize follows the pointer in steps of at least this many rows.
constexpr int kLaneStep = 2;
// A selection this many columns wide or less is taken for a click.
constexpr int kClickColumns = 3;
// The room below the time scale a right click still counts for the scale.
constexpr int kScaleClickReach = 3;
// The scroll timer's interval per column when the view hit the document end.
constexpr uint32_t kEdgeIntervalPerColumn = 25;
constexpr uint32_t kMaxScrollInterval = 500;
constexpr uint32_t kMinTimerInterval = 10;  // the message queue's shortest timer

bool Scrollable(const MouseScene& s) {
  return s.open && s.frames > 0 && s.endView - s.startView < s.frames;
}

bool InColumns(const MouseScene& s, int x) {
  return x >= s.layout.left && x < s.layout.left + s.layout.width;
}

int LowerBandTop(const MouseScene& s) {
  return s.layout.bottom - s.layout.laneMargin;
}

// The first and second visible lanes of a two-channel document (-1 when a
// channel is hidden).
bool UpperThird(const MouseScene& s, int y) {
  const int top = s.laneTops[0];
  const int h = s.layout.laneHeight[0];
  return s.visible[0] && top >= 0 && y >= top && y < top + h / 3;
}
bool LowerThird(const MouseScene& s, int y) {
  const int top = s.laneTops[1];
  const int h = s.layout.laneHeight[1];
  return s.visible[1] && top >= 0 && y >= top + h - h / 3 && y < top + h;
}

struct MarkerHit {
  const MouseMarker* marker = nullptr;
  bool end = false;  // the range's end column was the nearer one
};

// The marker with a start or end column within `reach` pixels of x, nearest first.
MarkerHit HitMarker(const MouseScene& s, int x, int reach) {
  MarkerHit best;
  int bestDistance = std::numeric_limits<int>::max();
  for (const MouseMarker& m : s.markers) {
    const int64_t ends[2] = {m.position, m.position + m.length};
    for (int k = 0; k < (m.length > 0 ? 2 : 1); ++k) {
      if (ends[k] < s.startView || ends[k] > s.endView) continue;
      const int d = std::abs(x - ColumnOf(s, ends[k]));
      if (d <= reach && d < bestDistance) {
        bestDistance = d;
        best = {&m, k == 1};
      }
    }
  }
  return best;
}

int DragCursor(DragMode mode) {
  switch (mode) {
    case DragMode::Slider:
    case DragMode::TimeScale:
      return zone_cursor::kDragging;
    case DragMode::SliderLeft:
    case DragMode::SliderRight:
      return zone_cursor::kSliderEdge;
    case DragMode::MoveSelection:
      return zone_cursor::kMoveSelection;
    case DragMode::SelectionEdge:
    case DragMode::CueMarker:
    case DragMode::RangeStart:
    case DragMode::RangeEnd:
    case DragMode::ThirdHandle:
      return zone_cursor::kHandles;
    case DragMode::LaneResize:
      return zone_cursor::kLaneResize;
    default:
      return 0;
  }
}

}  // namespace

int SpeakerCursor(uint32_t speakerBit) {
  switch (speakerBit) {
    case 1:
      return zone_cursor::kFrontLeft;
    case 2:
      return zone_cursor::kFrontRight;
    case 4:
      return zone_cursor::kFrontCentre;
    case 8:
      return zone_cursor::kLowFrequency;
    case 16:
      return zone_cursor::kBackLeft;
    case 32:
      return zone_cursor::kBackRight;
    case 256:
      return zone_cursor::kBackCentre;
    case 512:
      return zone_cursor::kSideLeft;
    case 1024:
      return zone_cursor::kSideRight;
    default:
      return 0;
  }
}

int ShiftArgument(uint32_t keys) {
  return ((keys & MK_SHIFT) ? 1 : 0) + ((keys & MK_CONTROL) ? 2 : 0) +
         ((keys & kExtraKeyFlag) ? 4 : 0);
}

int ButtonMask(uint32_t keys) {
  return ((keys & MK_LBUTTON) ? 1 : 0) + ((keys & MK_RBUTTON) ? 2 : 0) +
         ((keys & MK_MBUTTON) ? 4 : 0);
}

// ---- zones ----

bool InSliderZone(const MouseScene& s, int x, int y) {
  const Layout& l = s.layout;
  return Scrollable(s) && y >= 0 && y <= l.stripHeight + kSliderZoneReach &&
         x >= l.sliderLeft - kSliderZoneReach &&
         x <= l.sliderLeft + l.sliderWidth + kSliderZoneReach;
}

bool InTimeScaleZone(const MouseScene& s, int x, int y) {
  const Layout& l = s.layout;
  return s.scaleXVisible && l.timeScaleHeight > 0 && InColumns(s, x) &&
         y >= l.clientHeight - l.timeScaleHeight && y <= l.clientHeight;
}

bool InMarginBand(const MouseScene& s, int y) {
  const Layout& l = s.layout;
  return (y >= l.top && y < l.top + l.laneMargin) || (y > LowerBandTop(s) && y <= l.bottom);
}

bool InLaneZone(const MouseScene& s, int x, int y) {
  const Layout& l = s.layout;
  return InColumns(s, x) && y >= l.top + l.laneMargin && y <= LowerBandTop(s);
}

int LaneAt(const MouseScene& s, int y) {
  for (int c = 0; c < std::min(s.channels, kMaxChannels); ++c) {
    if (!s.visible[c] || s.laneTops[c] < 0) continue;
    if (y >= s.laneTops[c] && y < s.laneTops[c] + s.layout.laneHeight[c]) return c;
  }
  return -1;
}

bool BandBetweenLanes(const MouseScene& s, int y, int* upper, int* lower) {
  int previous = -1;
  for (int c = 0; c < std::min(s.channels, kMaxChannels); ++c) {
    if (!s.visible[c] || s.laneTops[c] < 0) continue;
    if (previous >= 0) {
      const int from = s.laneTops[previous] + s.layout.laneHeight[previous];
      const int to = std::max(s.laneTops[c], from + 1);
      if (y >= from && y < to) {
        *upper = previous;
        *lower = c;
        return true;
      }
    }
    previous = c;
  }
  return false;
}

int64_t FrameAt(const MouseScene& s, int x) {
  const int column = std::clamp(x - s.layout.left, 0, std::max(s.layout.width, 0));
  return ColumnToPosition(column, s.startView, s.endView, s.layout.width);
}

int ColumnOf(const MouseScene& s, int64_t frame) {
  return s.layout.left + PositionToColumn(frame, s.startView, s.endView, s.layout.width);
}

void ComputeSceneColumns(MouseScene& s) {
  ComputeSlider(s.layout, s.startView, s.endView, s.open ? s.frames : 0);
  ComputeSelectionColumns(s.layout, s.startSelect, s.endSelect, s.startView, s.endView);
}

// ---- hover ----

void MouseController::ShowCursor(int cursor) {
  platform::WindowHost* window = actions_.Window();
  if (!window) return;
  // Our own pictures go to the window the first time it is asked to show one.
  if (cursor >= kZoneCursorBase && !window->HasCursorShape(cursor))
    window->DefineCursor(cursor, ZoneCursorShape(cursor - kZoneCursorBase));
  window->SetCursor(cursor);
}

int MouseController::HoverCursor(const MouseScene& s, uint32_t keys, int x, int y) const {
  const Layout& l = s.layout;
  const bool shift = keys & MK_SHIFT;
  const bool ctrl = keys & MK_CONTROL;
  int resource = 0;
  // Later rules win.
  if (InSliderZone(s, x, y)) {
    const int right = l.sliderLeft + l.sliderWidth;
    const bool inside = x > l.sliderLeft && x < right - kRightEdgeInside;
    const bool edge = (x >= l.sliderLeft - kEdgeOutside && x <= l.sliderLeft) ||
                      (x >= right - kRightEdgeInside && x <= right + kEdgeOutside);
    resource = !inside && edge ? zone_cursor::kSliderEdge : zone_cursor::kScrollable;
  }
  if (InTimeScaleZone(s, x, y)) {
    if (Scrollable(s)) resource = zone_cursor::kScrollable;
    if (s.selected && x >= l.left + l.selectionStart && x <= l.left + l.selectionEnd)
      resource = zone_cursor::kMoveSelection;
  }
  if (s.open && InColumns(s, x)) {
    if (InMarginBand(s, y)) resource = zone_cursor::kHandles;
    int upper = -1, lower = -1;
    if (shift && BandBetweenLanes(s, y, &upper, &lower)) resource = zone_cursor::kLaneResize;
    if (s.channels == 2 && !shift && !ctrl) {
      if (UpperThird(s, y)) resource = zone_cursor::kLeftOnly;
      if (LowerThird(s, y)) resource = zone_cursor::kRightOnly;
    }
    if (ctrl) {
      const int lane = LaneAt(s, y);
      if (lane >= 0 && SpeakerCursor(s.speakers[lane])) resource = SpeakerCursor(s.speakers[lane]);
    }
  }
  return resource ? ZoneCursorId(resource) : s.pointerCursor;
}

void MouseController::Hover(const MouseScene& s, uint32_t keys, int x, int y) {
  platform::WindowHost* window = actions_.Window();
  if (!window) return;
  ShowCursor(HoverCursor(s, keys, x, y));
  if (!s.tooltipEnabled) {
    window->HideTooltip();
    return;
  }
  // The tool rectangle is the marker's column +-1 over the lanes.
  const Layout& l = s.layout;
  if (y >= l.top && y <= l.bottom) {
    for (const MouseMarker& m : s.markers) {
      if (m.note.empty() || m.position < s.startView || m.position > s.endView) continue;
      if (std::abs(x - ColumnOf(s, m.position)) <= 1) {
        window->ShowTooltip(com::Utf16ToUtf8(m.note), x, y);
        return;
      }
    }
  }
  window->HideTooltip();
}

// ---- press ----

void MouseController::OnMouseDown(MouseButton button, uint32_t keys, int x, int y) {
  if (button == MouseButton::Left)
    LeftDown(keys, x, y);
  else if (button == MouseButton::Right)
    RightDown(keys, x, y);
}

void MouseController::LeftDown(uint32_t keys, int x, int y) {
  const int shiftArg = ShiftArgument(keys);
  if (!actions_.MouseEventsEnabled()) {
    actions_.MouseDown(1, shiftArg, x, y);
    return;
  }
  MouseScene s = actions_.Scene();
  const Layout& l = s.layout;
  const bool shift = keys & MK_SHIFT;
  const bool ctrl = keys & MK_CONTROL;
  StopScrollTimer();
  mode_ = DragMode::None;
  channelPicked_ = false;
  if (s.open && s.frames > 0 && InColumns(s, x) && y >= 0 && y < l.clientHeight) {
    if (platform::WindowHost* window = actions_.Window()) window->SetCapture();

    // The slider: scroll by its body, zoom by its edges.
    if (InSliderZone(s, x, y)) {
      const int right = l.sliderLeft + l.sliderWidth;
      if (x > l.sliderLeft && x < right - kRightEdgeInside) {
        mode_ = DragMode::Slider;
        origin_ = x;
      } else if ((x >= l.sliderLeft - kEdgeOutside && x <= l.sliderLeft) ||
                 (x >= right - kRightEdgeInside && x <= right + kEdgeOutside)) {
        if (x >= l.sliderLeft + l.sliderWidth / 2) {
          mode_ = DragMode::SliderRight;
          origin_ = x - right;
        } else {
          mode_ = DragMode::SliderLeft;
          origin_ = l.sliderLeft - x;
        }
      }
    }
    // The time scale: move the selection, or drag the content.
    if (mode_ == DragMode::None && InTimeScaleZone(s, x, y)) {
      if (s.selected && x >= l.left + l.selectionStart && x <= l.left + l.selectionEnd) {
        mode_ = DragMode::MoveSelection;
        grabFrame_ = FrameAt(s, x);
        grabStart_ = s.startSelect;
        grabEnd_ = s.endSelect;
      } else if (Scrollable(s)) {
        mode_ = DragMode::TimeScale;
        origin_ = x;
      }
    }
    // Ctrl picks the lane's channel in or out of the operations.
    if (ctrl) {
      const int lane = LaneAt(s, y);
      if (lane >= 0) {
        s.operated[lane] = !s.operated[lane];
        actions_.SetOperated(lane, s.operated[lane]);
        channelPicked_ = true;
      }
    }
    int upper = -1, lower = -1;
    if (mode_ == DragMode::None && shift && BandBetweenLanes(s, y, &upper, &lower)) {
      mode_ = DragMode::LaneResize;
      upperLane_ = upper;
      lowerLane_ = lower;
      upperHeight_ = l.laneHeight[upper];
      lowerHeight_ = l.laneHeight[lower];
      lastY_ = y;
    }
    // Stereo: a press picks the channels by where it lands.
    if (mode_ == DragMode::None && s.channels == 2 && !ctrl && !shift) {
      const int lane = LaneAt(s, y);
      const int count = (s.operated[0] ? 1 : 0) + (s.operated[1] ? 1 : 0);
      if (count == 1 && lane >= 0 && !s.operated[lane]) {
        actions_.SetOperated(lane, true);
        channelPicked_ = true;
      } else if (UpperThird(s, y) || LowerThird(s, y)) {
        const int only = UpperThird(s, y) ? 0 : 1;
        actions_.SetOperated(only, true);
        actions_.SetOperated(1 - only, false);
        channelPicked_ = true;
      }
    }
    // The margin bands hold the selection's edges and the markers' handles.
    if (mode_ == DragMode::None && InMarginBand(s, y)) {
      const int m = l.laneMargin;
      if (s.selected) {
        const int startCol = l.left + l.selectionStart - m / 2;
        const int endCol = l.left + l.selectionEnd + m / 2;
        const int dStart = std::abs(x - startCol);
        const int dEnd = std::abs(x - endCol);
        if (dStart <= m || dEnd <= m) {
          mode_ = DragMode::SelectionEdge;
          grabbedEnd_ = dEnd < dStart || (dEnd == dStart && x >= (startCol + endCol) / 2);
          anchor_ = grabbedEnd_ ? s.startSelect : s.endSelect;
        }
      }
      if (mode_ == DragMode::None && actions_.MarkerMouseEventsEnabled() && !s.markers.empty()) {
        const MarkerHit hit = HitMarker(s, x, 2 * m);
        if (hit.marker) {
          marker_ = hit.marker->number;
          grabStart_ = hit.marker->position;
          grabEnd_ = hit.marker->position + hit.marker->length;
          actions_.SelectMarker(marker_);
          actions_.MarkerClick(marker_);
          mode_ = hit.marker->length == 0 ? DragMode::CueMarker
                  : hit.end               ? DragMode::RangeEnd
                                          : DragMode::RangeStart;
        }
      }
    }
    // The lanes: Shift extends the selection, a plain press starts one.
    if (mode_ == DragMode::None && InLaneZone(s, x, y)) {
      const int64_t p = FrameAt(s, x);
      if (shift) {
        int64_t start = s.startSelect, end = s.selected ? s.endSelect : s.startSelect;
        if (p < start)
          start = p;
        else
          end = p;
        actions_.SetSelection(start, end, end > start);
        actions_.ChangePosition();
      } else {
        mode_ = DragMode::Select;
        anchor_ = p;
        actions_.SetSelection(p, p, false);
      }
    }
    if (const int cursor = DragCursor(mode_)) ShowCursor(ZoneCursorId(cursor));
  }
  actions_.MouseDown(1, shiftArg, x, y);
}

void MouseController::RightDown(uint32_t keys, int x, int y) {
  if (actions_.MouseEventsEnabled() && !(keys & MK_LBUTTON)) {
    const MouseScene s = actions_.Scene();
    const Layout& l = s.layout;
    const int scaleTop = l.clientHeight - l.timeScaleHeight;
    if (s.scaleXVisible && l.timeScaleHeight > 0 && InColumns(s, x) &&
        y >= scaleTop - kScaleClickReach && y <= l.clientHeight)
      actions_.ScaleXClick();
    if (s.scaleYVisible && l.levelScaleWidth > 0 && y >= 0 && y <= scaleTop) {
      const int reach = l.levelScaleWidth + kScaleClickReach;
      const bool onScale = s.scaleYOrientation == 2 ? x <= reach : x >= l.clientWidth - reach;
      if (onScale) actions_.ScaleYClick();
    }
    if (InColumns(s, x) && y >= l.top + l.laneMargin && y < scaleTop) actions_.WaveformRClick();
  }
  actions_.MouseDown(2, ShiftArgument(keys), x, y);
}

// ---- moves ----

void MouseController::OnMouseMove(uint32_t keys, int x, int y) {
  lastKeys_ = keys;
  lastX_ = x;
  lastMoveY_ = y;
  if (actions_.MouseEventsEnabled()) {
    const MouseScene s = actions_.Scene();
    if (mode_ != DragMode::None && !(keys & MK_LBUTTON)) EndDrag();  // a release we missed
    if (mode_ == DragMode::None)
      Hover(s, keys, x, y);
    else
      Drag(s, x, y);
  }
  actions_.MouseMove(ButtonMask(keys), ShiftArgument(keys), x, y);
}

void MouseController::Drag(const MouseScene& s, int x, int y) {
  if (!s.open || s.frames <= 0 || s.layout.width <= 0) return;
  switch (mode_) {
    case DragMode::Select:
    case DragMode::SelectionEdge:
    case DragMode::MoveSelection:
      DragSelection(s, x);
      break;
    case DragMode::Slider:
    case DragMode::TimeScale:
      DragView(s, x);
      break;
    case DragMode::SliderLeft:
    case DragMode::SliderRight:
      DragSliderEdge(s, x);
      break;
    case DragMode::CueMarker:
    case DragMode::RangeStart:
    case DragMode::RangeEnd:
    case DragMode::ThirdHandle:
      DragMarker(s, x);
      break;
    case DragMode::LaneResize:
      DragLanes(s, y);
      break;
    case DragMode::None:
      break;
  }
}

void MouseController::DragSelection(const MouseScene& scene, int x) {
  MouseScene s = scene;
  const Layout& l = s.layout;
  if (mode_ == DragMode::Select) {
    // Past the waveform's side the view follows, two columns' worth a step.
    const int64_t length = s.endView - s.startView;
    const bool leftOut = x < l.left && s.startView > 0;
    const bool rightOut = x >= l.left + l.width && s.endView < s.frames;
    if ((leftOut || rightOut) && length > 0) {
      const int64_t step = std::max<int64_t>(1, 2 * length / l.width);
      int64_t moved = 0;
      if (leftOut) {
        moved = s.startView - std::max<int64_t>(0, s.startView - step);
        s.startView -= moved;
        s.endView -= moved;
      } else {
        moved = std::min(s.frames, s.endView + step) - s.endView;
        s.startView += moved;
        s.endView += moved;
      }
      actions_.SetView(s.startView, s.endView);
      const bool hitEdge = moved < step;
      const auto columns = static_cast<uint32_t>((moved * l.width + length / 2) / length);
      StartScrollTimer(hitEdge ? std::clamp(kEdgeIntervalPerColumn * columns, kMinTimerInterval,
                                            kMaxScrollInterval)
                               : static_cast<uint32_t>(kScrollIntervalMs));
    } else {
      StopScrollTimer();
    }
  }
  const int64_t p = FrameAt(s, x);
  if (mode_ == DragMode::MoveSelection) {
    const int64_t length = grabEnd_ - grabStart_;
    const int64_t start = std::clamp(grabStart_ + (p - grabFrame_), int64_t{0},
                                     std::max<int64_t>(0, s.frames - length));
    actions_.SetSelection(start, start + length, length > 0);
  } else {
    const int64_t start = std::min(anchor_, p), end = std::max(anchor_, p);
    actions_.SetSelection(start, end, end > start);
  }
  actions_.ChangePosition();
}

void MouseController::DragView(const MouseScene& s, int x) {
  const int64_t length = s.endView - s.startView;
  const double r = static_cast<double>(x - origin_) / s.layout.width;
  const double span = static_cast<double>(mode_ == DragMode::Slider ? s.frames : length);
  const auto shift = static_cast<int64_t>(span * r + 0.5);
  if (shift == 0) return;
  // The slider carries the view; the time scale carries the content, so the
  // view goes the other way.
  int64_t start = mode_ == DragMode::Slider ? s.startView + shift : s.startView - shift;
  start = std::clamp(start, int64_t{0}, std::max<int64_t>(0, s.frames - length));
  actions_.SetView(start, start + length);
  actions_.ChangePosition();
  origin_ = x;
}

void MouseController::DragSliderEdge(const MouseScene& s, int x) {
  const Layout& l = s.layout;
  const double perColumn = static_cast<double>(s.frames) / l.width;
  if (mode_ == DragMode::SliderRight) {
    const int edge = std::max(x - origin_, l.sliderLeft + kMinSliderWidth);
    int64_t end = s.frames;
    if (edge < l.left + l.width) end = static_cast<int64_t>((edge - l.left - 0.5) * perColumn);
    end = std::clamp(end, s.startView + 1, s.frames);
    actions_.SetView(s.startView, end);
  } else {
    const int right = l.sliderLeft + l.sliderWidth;
    const int left = std::clamp(x + origin_, l.left, std::max(l.left, right - kMinSliderWidth));
    int64_t start = static_cast<int64_t>((left - l.left - 0.5) * perColumn);
    start = std::clamp(start, int64_t{0}, std::max<int64_t>(0, s.endView - 1));
    actions_.SetView(start, s.endView);
  }
  actions_.ChangePosition();
}

void MouseController::DragMarker(const MouseScene& s, int x) {
  const int64_t p = FrameAt(s, x);
  switch (mode_) {
    case DragMode::CueMarker:
      actions_.MoveMarker(p, 0);
      break;
    case DragMode::RangeStart: {
      // The end stays; the start stops one frame before it.
      const int64_t start = std::min(p, grabEnd_ - 1);
      actions_.MoveMarker(start, grabEnd_ - start);
      break;
    }
    case DragMode::RangeEnd: {
      const int64_t end = std::max(p, grabStart_ + 1);
      actions_.MoveMarker(grabStart_, end - grabStart_);
      break;
    }
    default:
      return;
  }
  actions_.ChangeMarker(marker_);
}

void MouseController::DragLanes(const MouseScene&, int y) {
  const int dy = y - lastY_;
  if (std::abs(dy) < kLaneStep) return;
  const int upper = upperHeight_ + dy;
  const int lower = lowerHeight_ - dy;
  if (upper < kMinLaneHeight || lower < kMinLaneHeight) {
    // Too far: the resize ends where it stood.
    actions_.ResizeLanes(upperLane_, upperHeight_, lowerLane_, lowerHeight_, true);
    mode_ = DragMode::None;
    return;
  }
  upperHeight_ = upper;
  lowerHeight_ = lower;
  lastY_ = y;
  actions_.ResizeLanes(upperLane_, upperHeight_, lowerLane_, lowerHeight_, false);
}

// ---- release ----

void MouseController::OnMouseUp(MouseButton button, uint32_t keys, int x, int y) {
  if (button == MouseButton::Left)
    LeftUp(keys, x, y);
  else if (button == MouseButton::Right)
    actions_.MouseUp(2, ShiftArgument(keys), x, y);
}

void MouseController::LeftUp(uint32_t keys, int x, int y) {
  const int shiftArg = ShiftArgument(keys);
  const DragMode mode = mode_;
  StopScrollTimer();
  mode_ = DragMode::None;
  if (actions_.MouseEventsEnabled()) {
    const MouseScene s = actions_.Scene();
    ShowCursor(HoverCursor(s, keys, x, y));
    if (platform::WindowHost* window = actions_.Window()) window->ReleaseCapture();
    if (mode == DragMode::Select) {
      const int width = PositionToColumn(s.endSelect, s.startView, s.endView, s.layout.width) -
                        PositionToColumn(s.startSelect, s.startView, s.endView, s.layout.width);
      if (width < kClickColumns) actions_.SetSelection(anchor_, anchor_, false);
      actions_.ChangePosition();
      if (channelPicked_) actions_.SelectChannel();
      channelPicked_ = false;
    } else if (mode == DragMode::LaneResize) {
      actions_.ResizeLanes(upperLane_, upperHeight_, lowerLane_, lowerHeight_, true);
    }
  }
  actions_.MouseUp(1, shiftArg, x, y);
}

// ---- double click ----

void MouseController::OnDoubleClick(MouseButton button, uint32_t keys, int x, int y) {
  if (button == MouseButton::Left && actions_.MouseEventsEnabled()) {
    const MouseScene s = actions_.Scene();
    const Layout& l = s.layout;
    ShowCursor(HoverCursor(s, keys, x, y));
    const bool upperBand = y >= l.top && y < l.top + l.laneMargin;
    const bool lowerBand = y > LowerBandTop(s) && y <= l.bottom && !(keys & MK_SHIFT);
    if (s.open && s.frames > 0 && InColumns(s, x) && (upperBand || lowerBand) &&
        actions_.MarkerMouseEventsEnabled()) {
      const int reach = 2 * l.laneMargin;
      const MarkerHit hit = HitMarker(s, x, reach);
      if (hit.marker) {
        actions_.SelectMarker(hit.marker->number);
        actions_.DeleteMarker();
      } else {
        int64_t position = s.startSelect, length = 0;
        if (s.selected) {
          length = s.endSelect - s.startSelect;
        } else if (std::abs(x - ColumnOf(s, s.startSelect)) > reach) {
          position = FrameAt(s, x);
        }
        std::u16string label = u"Marker ";
        for (char c : std::to_string(s.markers.size() + 1))
          label += static_cast<char16_t>(c);
        if (const int32_t number = actions_.InsertMarker(position, length, std::move(label)))
          actions_.NewMarker(number);
      }
    }
  }
  actions_.DblClick();
}

// ---- wheel ----

void MouseController::OnMouseWheel(int delta, uint32_t, int x, int y) {
  if (!actions_.MouseEventsEnabled() || delta == 0) return;
  const MouseScene s = actions_.Scene();
  const Layout& l = s.layout;
  if (!s.open || s.frames <= 0 || l.width <= 0 || !InColumns(s, x) || y < l.top || y >= l.bottom)
    return;
  const double f = static_cast<double>(x - l.left) / l.width;
  const auto length = static_cast<double>(s.endView - s.startView);
  double start = 0, newLength = 0;
  if (delta > 0) {
    newLength = 0.75 * length;
    start = s.startView + 0.25 * f * length;
  } else {
    if (s.startView <= 0 && s.endView >= s.frames) return;  // the whole document shows
    newLength = length / 0.75;
    start = s.startView - f * length / 3;
  }
  // Both keep the frame under the pointer where it is.
  actions_.Zoom(static_cast<int64_t>(start), static_cast<int64_t>(start + newLength));
}

// ---- timer and capture ----

void MouseController::OnTimer(uintptr_t id) {
  if (id != kScrollTimerId) return;
  if (mode_ != DragMode::Select) {
    StopScrollTimer();
    return;
  }
  OnMouseMove(lastKeys_, lastX_, lastMoveY_);
}

void MouseController::OnCaptureLost() {
  if (mode_ == DragMode::None) return;
  if (mode_ == DragMode::LaneResize)
    actions_.ResizeLanes(upperLane_, upperHeight_, lowerLane_, lowerHeight_, true);
  EndDrag();
}

void MouseController::EndDrag() {
  StopScrollTimer();
  mode_ = DragMode::None;
}

void MouseController::StartScrollTimer(uint32_t interval) {
  if (timerRunning_ && interval == timerInterval_) return;
  platform::WindowHost* window = actions_.Window();
  if (!window) return;
  window->SetTimer(kScrollTimerId, interval);
  timerRunning_ = true;
  timerInterval_ = interval;
}

void MouseController::StopScrollTimer() {
  if (!timerRunning_) return;
  timerRunning_ = false;
  timerInterval_ = kScrollIntervalMs;
  if (platform::WindowHost* window = actions_.Window()) window->KillTimer(kScrollTimerId);
}

}  // namespace qel::view

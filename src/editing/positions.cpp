#include "editing/positions.h"

#include <algorithm>
#include <cstdlib>

namespace qel::editing {

using document::ViewStack;

namespace {
constexpr int32_t kDeepestLevel = document::kZoomLevels - 1;
}  // namespace

void SetStartSelect(Document& doc, OperationObserver& observer, int64_t frames) {
  ViewStack* view = doc.View();
  if (!view) return;
  const int64_t b = doc.ClampToBytes(frames);
  const int z = view->zoom;
  if (view->selected && b < view->endSelect[z])
    view->startSelect[z] = b;
  else
    view->startSelect[z] = view->endSelect[z] = b;  // a cursor; Selected stays as it was
  observer.SelectionChanged();
}

void SetEndSelect(Document& doc, OperationObserver& observer, int64_t frames) {
  ViewStack* view = doc.View();
  if (!view) return;
  const int64_t b = doc.ClampToBytes(frames);
  const int z = view->zoom;
  if (!view->selected) {
    view->startSelect[z] = view->endSelect[z] = b;
  } else if (b <= view->startSelect[z]) {
    view->endSelect[z] = view->startSelect[z];  // the ends swap
    view->startSelect[z] = b;
  } else {
    view->endSelect[z] = b;
  }
  observer.SelectionChanged();
}

void SetSelected(Document& doc, OperationObserver& observer, int16_t value) {
  if (ViewStack* view = doc.View()) view->selected = value;
  observer.SelectionChanged();
}

void SetCurrent(Document& doc, OperationObserver& observer, int64_t frames) {
  ViewStack* view = doc.View();
  if (!view) return;
  // During playback the value would be a seek for the player; the selection
  // must not move under it.
  if (doc.Status() == status::kPlaying) return;
  const int64_t b = doc.ClampToBytes(frames);
  const int z = view->zoom;
  if (!view->selected) {
    view->startSelect[z] = view->endSelect[z] = b;
  } else if (b < view->endSelect[z]) {
    view->startSelect[z] = b;
  } else {
    view->startSelect[z] = view->endSelect[z];
    view->endSelect[z] = b;
  }
  observer.SelectionChanged();
}

void SetStartView(Document& doc, OperationObserver& observer, int64_t frames) {
  ViewStack* view = doc.View();
  if (!view) return;
  const int64_t b = doc.ClampToBytes(frames);
  if (b == view->startView[view->zoom]) return;
  document::LeaveFullView(*view);
  const int z = view->zoom;
  if (b < view->endView[z]) {
    view->startView[z] = b;
  } else {
    view->startView[z] = view->endView[z];
    view->endView[z] = b;
  }
  document::ApplyView(doc, observer);
}

void SetEndView(Document& doc, OperationObserver& observer, int64_t frames) {
  ViewStack* view = doc.View();
  if (!view) return;
  const int64_t b = doc.ClampToBytes(frames);
  if (b == view->endView[view->zoom]) return;
  document::LeaveFullView(*view);
  const int z = view->zoom;
  if (b > view->startView[z]) {
    view->endView[z] = b;
  } else {
    view->endView[z] = view->startView[z];
    view->startView[z] = b;
  }
  document::ApplyView(doc, observer);
}

FramePositions GetFramePositions(const Document& doc) {
  FramePositions p;
  const ViewStack* view = doc.View();
  if (!view) return p;
  const int z = view->zoom;
  p.startSelect = doc.ToFrames(view->startSelect[z]);
  p.endSelect = doc.ToFrames(view->endSelect[z]);
  p.startView = doc.ToFrames(view->startView[z]);
  p.endView = doc.ToFrames(view->endView[z]);
  return p;
}

void Zoom(Document& doc, OperationObserver& observer, int32_t start, int32_t end) {
  ViewStack* viewPtr = doc.View();
  const int64_t length = doc.length;
  if (!viewPtr || length == 0) return;
  ViewStack& view = *viewPtr;
  if (view.zoom >= kDeepestLevel) return;
  if (std::llabs(int64_t{end} - int64_t{start}) < 2) return;
  const int64_t align = doc.format.BlockAlign();
  int64_t s = int64_t{start} * align, e = int64_t{end} * align;
  if (s > e) std::swap(s, e);
  const int64_t width = e - s;
  if (s < 0) s = 0;
  if (s > length) {
    // Slid back to end at the document's end, but never before its start.
    s = std::max<int64_t>(length - width, 0);
    e = length;
  }
  if (e > length) e = length;
  view.zoom = std::max(view.zoom + 1, 0);
  const int z = view.zoom;
  view.startView[z] = s;
  view.endView[z] = e;
  // The selection comes from the selection level, not necessarily the level above.
  const int from = std::clamp(doc.selectionLevel, 0, kDeepestLevel);
  view.startSelect[z] = view.startSelect[from];
  view.endSelect[z] = view.endSelect[from];
  document::ApplyView(doc, observer);
  if (view.startSelect[z] == view.endSelect[z]) view.selected = 0;
  observer.PictureChanged();
}

void ZoomIn(Document& doc, OperationObserver& observer) {
  ViewStack* viewPtr = doc.View();
  if (!viewPtr || doc.length == 0 || viewPtr->zoom >= kDeepestLevel) return;
  const ViewStack& view = *viewPtr;
  const int z = view.zoom;
  const int64_t width = view.endView[z] - view.startView[z];
  auto inside = [&](int64_t p) { return view.startView[z] < p && p < view.endView[z]; };
  // Around the selection when it lies wholly in the view, else around the view.
  const int64_t centre = inside(view.startSelect[z]) && inside(view.endSelect[z])
                             ? (view.startSelect[z] + view.endSelect[z]) / 2
                             : (view.startView[z] + view.endView[z]) / 2;
  const int64_t s = static_cast<int64_t>(static_cast<double>(centre) - width / 6.0);
  const int64_t align = doc.format.BlockAlign();
  const auto startFrame = static_cast<int32_t>(s / align);
  const auto endFrame = static_cast<int32_t>((width / 3.0 + static_cast<double>(s)) / align);
  Zoom(doc, observer, startFrame, endFrame);
  doc.selectionLevel = viewPtr->zoom;
}

void ZoomOut(Document& doc, OperationObserver& observer) {
  ViewStack* viewPtr = doc.View();
  if (!viewPtr || doc.length == 0) return;
  ViewStack& view = *viewPtr;
  if (view.zoom == 0) doc.selectionLevel = 0;
  const int64_t sv = view.startView[view.zoom], ev = view.endView[view.zoom];
  const int64_t width = ev - sv;
  if (width >= doc.length) return;
  // Zoom adds one level back: the net effect is one level up, three times as wide.
  view.zoom -= 2;
  const int64_t align = doc.format.BlockAlign();
  Zoom(doc, observer, static_cast<int32_t>((sv - width) / align),
       static_cast<int32_t>((ev + width) / align));
  if (view.zoom < 0) view.zoom = 0;
  doc.selectionLevel = view.zoom;
}

void ZoomFull(Document& doc, OperationObserver& observer) {
  ViewStack* viewPtr = doc.View();
  if (!viewPtr || doc.length == 0) return;
  ViewStack& view = *viewPtr;
  const int64_t ss = view.startSelect[view.zoom], es = view.endSelect[view.zoom];
  view.zoom = 0;
  view.startView[0] = 0;
  view.endView[0] = doc.length;
  view.startSelect[0] = ss;
  view.endSelect[0] = es;
  view.selected = ss != es ? 1 : 0;
  doc.selectionLevel = 0;
  document::ApplyView(doc, observer);
  observer.PictureChanged();
}

void ZoomVertical(Document& doc, OperationObserver& observer, int32_t percent) {
  const int32_t value = percent < 1 ? 10 : std::min(percent, 1000);
  if (value == doc.verticalZoom) return;
  doc.verticalZoom = value;
  observer.PictureChanged();
}

}  // namespace qel::editing

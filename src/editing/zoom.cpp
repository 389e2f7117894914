// Zooming: a stack of 100 view levels per history step. Level 0 shows the whole
// document; each zoom in pushes a narrower range, each zoom out climbs back.
#include <algorithm>
#include <cstdlib>

#include "core/audio_editor.h"

namespace qel {

using namespace com;

namespace {
constexpr int32_t kDeepestLevel = document::kZoomLevels - 1;
}

HRESULT CAudioEditor::Zoom(int32_t start, int32_t end) {
  document::HistoryStep* step = position_->History().Current();
  if (!step || length_ == 0) return S_OK;
  document::ViewStack& view = step->view;
  if (view.zoom >= kDeepestLevel) return S_OK;
  if (std::llabs(int64_t{end} - int64_t{start}) < 2) return S_OK;
  const int64_t align = format_.BlockAlign();
  int64_t s = int64_t{start} * align, e = int64_t{end} * align;
  if (s > e) std::swap(s, e);
  const int64_t width = e - s;
  if (s < 0) s = 0;
  if (s > length_) {
    s = length_ - width;
    e = length_;
  }
  if (e > length_) e = length_;
  view.zoom = std::max(view.zoom + 1, 0);
  const int z = view.zoom;
  view.startView[z] = s;
  view.endView[z] = e;
  // The selection comes from the selection level, not necessarily the level above.
  const int from = std::clamp(selectionLevel_, 0, kDeepestLevel);
  view.startSelect[z] = view.startSelect[from];
  view.endSelect[z] = view.endSelect[from];
  ApplyView();
  if (view.startSelect[z] == view.endSelect[z]) view.selected = 0;
  Recompose();
  return S_OK;
}

HRESULT CAudioEditor::ZoomIn() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || length_ == 0 || step->view.zoom >= kDeepestLevel) return S_OK;
  const document::ViewStack& view = step->view;
  const int z = view.zoom;
  const int64_t width = view.endView[z] - view.startView[z];
  auto inside = [&](int64_t p) { return view.startView[z] < p && p < view.endView[z]; };
  // Around the selection when it lies wholly in the view, else around the view.
  const int64_t centre = inside(view.startSelect[z]) && inside(view.endSelect[z])
                             ? (view.startSelect[z] + view.endSelect[z]) / 2
                             : (view.startView[z] + view.endView[z]) / 2;
  const int64_t s = static_cast<int64_t>(static_cast<double>(centre) - width / 6.0);
  const int64_t align = format_.BlockAlign();
  const auto startFrame = static_cast<int32_t>(s / align);
  const auto endFrame = static_cast<int32_t>((width / 3.0 + static_cast<double>(s)) / align);
  Zoom(startFrame, endFrame);
  selectionLevel_ = step->view.zoom;
  return S_OK;
}

HRESULT CAudioEditor::ZoomOut() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || length_ == 0) return S_OK;
  document::ViewStack& view = step->view;
  if (view.zoom == 0) selectionLevel_ = 0;
  const int64_t sv = view.startView[view.zoom], ev = view.endView[view.zoom];
  const int64_t width = ev - sv;
  if (width >= length_) return S_OK;
  // Zoom adds one level back: the net effect is one level up, three times as wide.
  view.zoom -= 2;
  const int64_t align = format_.BlockAlign();
  Zoom(static_cast<int32_t>((sv - width) / align), static_cast<int32_t>((ev + width) / align));
  if (view.zoom < 0) view.zoom = 0;
  selectionLevel_ = view.zoom;
  return S_OK;
}

HRESULT CAudioEditor::ZoomFull() {
  document::HistoryStep* step = position_->History().Current();
  if (!step || length_ == 0) return S_OK;
  document::ViewStack& view = step->view;
  const int64_t ss = view.startSelect[view.zoom], es = view.endSelect[view.zoom];
  view.zoom = 0;
  view.startView[0] = 0;
  view.endView[0] = length_;
  view.startSelect[0] = ss;
  view.endSelect[0] = es;
  view.selected = ss != es ? 1 : 0;
  selectionLevel_ = 0;
  ApplyView();
  Recompose();
  return S_OK;
}

HRESULT CAudioEditor::ZoomVertical(int32_t percent) {
  const int32_t value = percent < 1 ? 10 : std::min(percent, 1000);
  if (value == verticalZoom_) return S_OK;
  verticalZoom_ = value;
  Recompose();
  return S_OK;
}

}  // namespace qel

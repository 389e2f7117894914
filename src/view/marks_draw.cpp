// Markers (composed layer) and the cursor layer (present bitmap): range
// backgrounds, strip marks, labels, points and dashed lines of markers; the
// selection, the edit cursor and the play cursor; the marker tooltip.
#include <algorithm>

#include "com/bstr.h"
#include "view/colors.h"
#include "view/waveform_view.h"

namespace qel::view {

namespace {

constexpr int32_t kOpening = 3;

bool PlayCursorShown(int32_t status) {
  return status == 1 || status == 5 || status == 14 || status == 84;
}

Pen DashedPen(Argb color) {
  return Pen{color, 1.0f, std::vector<double>(18, 2.0)};
}

enum class Pointing { Down, Up, Right, Left };

// A triangle of side m with its flat side on the row `y` (Down at the top of
// the extent, Up at its bottom) or, for Right and Left, a flag standing on the
// column x that opens toward the given side from the row y.
void Triangle(Graphics& g, const Brush& brush, int x, int y, int m, Pointing p, bool atTop) {
  const int dy = atTop ? m : -m;
  switch (p) {
    case Pointing::Down:
    case Pointing::Up: {
      const PointF pts[] = {{static_cast<double>(x - m), static_cast<double>(y)},
                            {static_cast<double>(x + m + 1), static_cast<double>(y)},
                            {static_cast<double>(x), static_cast<double>(y + dy)}};
      g.FillPolygon(brush, pts);
      break;
    }
    case Pointing::Right:
    case Pointing::Left: {
      const int dx = p == Pointing::Right ? m : -m;
      const PointF pts[] = {{static_cast<double>(x), static_cast<double>(y)},
                            {static_cast<double>(x + dx), static_cast<double>(y)},
                            {static_cast<double>(x), static_cast<double>(y + dy)}};
      g.FillPolygon(brush, pts);
      break;
    }
  }
}

}  // namespace

LaneExtent ComputeLaneExtent(const Layout& layout, const Scene& scene) {
  LaneExtent e;
  const int margin = layout.laneMargin;
  e.top = layout.top + margin + 1;
  e.bottom = layout.top + layout.height - margin - 1;
  const int visible = scene.VisibleCount();
  if (visible == 0) return e;
  e.empty = false;
  if (scene.doc.channels == 2 && scene.OperatedCount() == 1) {
    const bool leftOperated = scene.operated[0];
    if (visible == 1) {
      const int shown = scene.visible[0] ? 0 : 1;
      if (!scene.operated[shown]) e.empty = true;
    } else if (leftOperated) {
      e.bottom = layout.top + layout.laneHeight[0] + margin + 1;
    } else {
      e.top = layout.bottom - layout.laneHeight[1] - margin - 1;
    }
  }
  if (e.bottom < e.top) e.empty = true;
  return e;
}

Argb WaveformView::MarkerColor(const MarkerMark& m) const {
  if (scene_.visual.markerType >= 1) return OleToArgb(m.color, 255);
  return scene_.colors.argb[m.length > 0 ? ColorSettings::kRangeMarker : ColorSettings::kCueMarker];
}

void WaveformView::DrawRangeBackgrounds(Graphics& g) {
  const DocumentState& doc = scene_.doc;
  if (!doc.open || doc.lengthBytes == 0 || scene_.status == kOpening ||
      scene_.OperatedCount() < 1 || scene_.markers.empty() ||
      !scene_.visual.markerBackgroundEnabled || scene_.visual.markerType >= 2)
    return;
  const LaneExtent ext = Extent();
  if (ext.empty) return;
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  // Opaque in every view, the spectral one included.
  const Brush brush{WithAlpha(scene_.colors.argb[ColorSettings::kRangeMarkerBackground], 255)};
  for (const MarkerMark& m : scene_.markers) {
    if (m.length <= 0) continue;
    const int64_t start = scene_.Frames(m.position);
    const int64_t end = start + scene_.Frames(m.length);
    if (end < vs || start > ve) continue;
    const int c0 = PositionToColumn(std::max(start, vs), vs, ve, layout_.width);
    const int c1 = PositionToColumn(std::min(end, ve), vs, ve, layout_.width);
    g.FillRectangle(brush, layout_.left + c0, ext.top, c1 - c0 + 1, ext.bottom - ext.top + 1);
  }
}

void WaveformView::DrawMarkers(Graphics& g) {
  firstMarker_ = lastMarker_ = -1;
  const DocumentState& doc = scene_.doc;
  const int64_t total = doc.Frames();
  if (!doc.open || total <= 0 || layout_.width < 1) return;
  const VisualSettings& v = scene_.visual;
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  const int w = layout_.width;
  const int strip = layout_.stripHeight;
  const int m = layout_.laneMargin;
  const LaneExtent ext = Extent();
  const int cell = layout_.fontX.cellHeight;
  for (size_t i = 0; i < scene_.markers.size(); ++i) {
    const MarkerMark& mark = scene_.markers[i];
    const int64_t start = scene_.Frames(mark.position);
    const int64_t end = start + scene_.Frames(mark.length);
    const bool range = mark.length > 0;
    const Argb color = MarkerColor(mark);
    const Pen solid{color, 1.0f, {}};
    // The strip shows every marker at the scale of the whole document.
    const int xs = layout_.left + static_cast<int>(start * w / total);
    const int xe = layout_.left + static_cast<int>(end * w / total);
    if (!range) {
      g.DrawLine(solid, xs, 2, xs, strip + 3);
    } else if (v.markerType < 2) {
      g.DrawLine(solid, xs, 2, xs, strip + 3);
      g.DrawLine(solid, xe, 2, xe, strip + 3);
    } else {
      g.FillRectangle(Brush{WithAlpha(color, 0x63)}, xs, 3, xe - xs + 1, strip);
    }
    const bool startIn = start >= vs && start <= ve;
    const bool endIn = range && end >= vs && end <= ve;
    if (!startIn && !endIn) continue;
    if (firstMarker_ < 0) firstMarker_ = static_cast<int>(i);
    lastMarker_ = static_cast<int>(i);
    if (v.markerType >= 2 && !v.markerLabelEnabled) continue;
    const int sc = startIn ? PositionToColumn(start, vs, ve, w) : -1;
    const int ec = endIn ? PositionToColumn(end, vs, ve, w) : -1;
    if (v.markerLabelEnabled && fontX_)
      g.DrawString(com::Utf16ToUtf8(mark.label), *fontX_,
                   RectF{static_cast<double>(layout_.left + m + sc),
                         static_cast<double>(layout_.top), 20.0 * cell, static_cast<double>(cell)},
                   TextFormat{Align::Near, Align::Center},
                   Brush{scene_.colors.argb[ColorSettings::kFontMarker]});
    if (ext.empty) continue;
    if (v.markerPointEnabled) {
      const Brush brush{color};
      if (!range) {
        if (sc >= 0) {
          Triangle(g, brush, layout_.left + sc, ext.top, m, Pointing::Down, true);
          Triangle(g, brush, layout_.left + sc, ext.bottom, m, Pointing::Up, false);
        }
      } else {
        if (sc >= 0) {
          Triangle(g, brush, layout_.left + sc, ext.top, m, Pointing::Right, true);
          Triangle(g, brush, layout_.left + sc, ext.bottom, m, Pointing::Right, false);
        }
        if (ec >= 0) {
          Triangle(g, brush, layout_.left + ec, ext.top, m, Pointing::Left, true);
          Triangle(g, brush, layout_.left + ec, ext.bottom, m, Pointing::Left, false);
        }
      }
    }
    if (v.markerBarEnabled) {
      const Pen dashed = DashedPen(color);
      if (sc >= 0) g.DrawLine(dashed, layout_.left + sc, ext.top, layout_.left + sc, ext.bottom);
      if (range && ec >= 0)
        g.DrawLine(dashed, layout_.left + ec, ext.top, layout_.left + ec, ext.bottom);
    }
  }
}

void WaveformView::DrawCursorLayer(Graphics& g) {
  const DocumentState& doc = scene_.doc;
  if (!doc.open) return;
  const int64_t total = doc.Frames();
  const int w = layout_.width;
  const int left = layout_.left;
  const int strip = layout_.stripHeight;
  const int m = layout_.laneMargin;
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  const int64_t ss = scene_.Frames(scene_.pos.startSelect);
  const int64_t se = scene_.Frames(scene_.pos.endSelect);
  const bool selection = scene_.pos.selected && se > ss;
  const Brush select{scene_.colors.argb[ColorSettings::kSelect]};
  const Brush cursorBrush{pens_.cursor.color};
  if (total > 0) {
    const int x0 = left + static_cast<int>(ss * w / total);
    const int x1 = left + static_cast<int>(se * w / total);
    if (selection)
      g.FillRectangle(select, x0, 3, std::max(x1 - x0, 1), strip);
    else
      g.DrawLine(pens_.cursor, x0, 2, x0, strip + 3);
  }
  const int s0 = layout_.selectionStart, s1 = layout_.selectionEnd;
  if (selection && layout_.timeScaleHeight >= 2)
    g.FillRectangle(select, left + s0, layout_.bottom + 4, s1 - s0, layout_.timeScaleHeight - 2);
  const LaneExtent ext = Extent();
  if (!ext.empty) {
    if (selection) {
      g.FillRectangle(select, left + s0, ext.top, s1 - s0, ext.bottom - ext.top + 1);
      if (ss >= vs && ss <= ve) {
        Triangle(g, cursorBrush, left + s0, ext.top, m, Pointing::Right, true);
        Triangle(g, cursorBrush, left + s0, ext.bottom, m, Pointing::Right, false);
      }
      if (se >= vs && se <= ve) {
        Triangle(g, cursorBrush, left + s1, ext.top, m, Pointing::Left, true);
        Triangle(g, cursorBrush, left + s1, ext.bottom, m, Pointing::Left, false);
      }
    } else if (ss >= vs && ss <= ve) {
      const int x = left + PositionToColumn(ss, vs, ve, w);
      g.DrawLine(DashedPen(pens_.cursor.color), x, ext.top, x, ext.bottom);
      Triangle(g, cursorBrush, x, ext.top, m, Pointing::Down, true);
      Triangle(g, cursorBrush, x, ext.bottom, m, Pointing::Up, false);
    }
    if (PlayCursorShown(scene_.status)) {
      const int x = left + PositionToColumn(scene_.Frames(scene_.pos.playPosition), vs, ve, w);
      g.DrawLine(pens_.play, x, ext.top, x, ext.bottom);
    }
  }
}

void WaveformView::UpdateMarkerTooltip(int x, int y) {
  if (!window_) return;
  if (!scene_.visual.markerToolTipEnabled || !scene_.doc.open) {
    window_->HideTooltip();
    return;
  }
  const int64_t total = scene_.doc.Frames();
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  const int w = layout_.width;
  const LaneExtent ext = Extent();
  constexpr int kReach = 2;  // pixels either side of a mark
  for (const MarkerMark& mark : scene_.markers) {
    const int64_t start = scene_.Frames(mark.position);
    const int64_t end = start + scene_.Frames(mark.length);
    bool hit = false;
    for (int64_t p : {start, end}) {
      if (mark.length <= 0 && p != start) continue;
      if (total > 0 && y <= layout_.stripHeight + 3) {
        const int sx = layout_.left + static_cast<int>(p * w / total);
        hit = hit || std::abs(x - sx) <= kReach;
      }
      if (!ext.empty && p >= vs && p <= ve && y >= ext.top && y <= ext.bottom) {
        const int lx = layout_.left + PositionToColumn(p, vs, ve, w);
        hit = hit || std::abs(x - lx) <= kReach;
      }
    }
    if (hit) {
      window_->ShowTooltip(com::Utf16ToUtf8(mark.label), x, y);
      return;
    }
  }
  window_->HideTooltip();
}

}  // namespace qel::view

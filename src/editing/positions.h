// The rules of the positions: selection, view range, cursor and zoom levels of
// the current history step. Frames come from the host (or the mouse); inside,
// positions are byte offsets of the sample data. A property put and a drag of
// the mouse both go through these, so the same clamping and ordering rules
// serve both. Each reports what it changed to the observer.
#pragma once

#include <cstdint>

#include "document/document.h"

namespace qel::editing {

using document::Document;
using document::OperationObserver;

// Selection ends. Without a selection each put places a cursor (both ends); with
// one, a start past the end makes a cursor and an end before the start swaps
// the ends.
void SetStartSelect(Document& doc, OperationObserver& observer, int64_t frames);
void SetEndSelect(Document& doc, OperationObserver& observer, int64_t frames);
// The host's value is kept as given (VARIANT_TRUE reads back as -1).
void SetSelected(Document& doc, OperationObserver& observer, int16_t value);
// The cursor: moves the selection start (or places a cursor without a selection).
void SetCurrent(Document& doc, OperationObserver& observer, int64_t frames);

// View range ends; the first change leaves the full view (level 0).
void SetStartView(Document& doc, OperationObserver& observer, int64_t frames);
void SetEndView(Document& doc, OperationObserver& observer, int64_t frames);

// Selection and view of the current level in frames (0 without a document).
struct FramePositions {
  int64_t startSelect = 0, endSelect = 0, startView = 0, endView = 0;
};
FramePositions GetFramePositions(const Document& doc);

// Zooming: a stack of 100 view levels per history step. Level 0 shows the whole
// document; each zoom in pushes a narrower range, each zoom out climbs back.
void Zoom(Document& doc, OperationObserver& observer, int32_t startFrame, int32_t endFrame);
// A third of the width around the selection (when wholly in view) or the view.
void ZoomIn(Document& doc, OperationObserver& observer);
// One level up, three times as wide.
void ZoomOut(Document& doc, OperationObserver& observer);
void ZoomFull(Document& doc, OperationObserver& observer);
// Percent, 10 to 1000; below 1 means 10.
void ZoomVertical(Document& doc, OperationObserver& observer, int32_t percent);

}  // namespace qel::editing

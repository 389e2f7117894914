// Changing the markers of the current version: what a property put of the
// markers object and a drag or double click of the mouse both do. Positions
// and lengths are frames. Each change rebuilds the layout and asks for a new
// picture.
#pragma once

#include <string>
#include <vector>

#include "document/document.h"

namespace qel::editing {

// The current marker (Num), or null.
document::Marker* CurrentMarker(document::Document& doc);

// Adds a marker at `position` (clamped at 0; nothing past the end), at most to
// the end of the document.
void InsertMarker(document::Document& doc, document::OperationObserver& observer, int64_t position,
                  int64_t length, std::u16string label, std::u16string note);
void DeleteMarker(document::Document& doc, document::OperationObserver& observer);
// Equal positions keep their order; Num keeps its value (and so may now name
// another marker).
void SortMarkers(document::Document& doc, document::OperationObserver& observer);
// 1 ... count.
void SelectMarker(document::Document& doc, int32_t number);
void SetMarkerPosition(document::Document& doc, document::OperationObserver& observer,
                       int64_t frames);
// The marker ends at the document end at the latest.
void SetMarkerLength(document::Document& doc, document::OperationObserver& observer,
                     int64_t frames);
void SetMarkerLabel(document::Document& doc, document::OperationObserver& observer,
                    std::u16string label);
void SetMarkerNote(document::Document& doc, document::OperationObserver& observer,
                   std::u16string note);
// Colours only shape the picture where markers are drawn in their own colour.
void SetMarkerColor(document::Document& doc, document::OperationObserver& observer, uint32_t color,
                    bool drawnInOwnColour);
void SetMarkerPlayList(document::Document& doc, document::OperationObserver& observer,
                       int32_t value);

// Writes the document in pieces cut at the markers (a range marker makes a
// piece of its own) into the temporary folder; *files receives their names.
// A marker within one frame of the last cut makes no piece. Cancelling keeps
// the pieces written before.
ErrorNumber SplitFileByMarkers(document::Document& doc, document::OperationObserver& observer,
                               std::vector<std::string>* files);

}  // namespace qel::editing

// The rules of markers: named points and ranges kept in each history step, so
// that undo brings back the markers of the restored state. Positions and
// lengths are frames; the layout (what drawing and splitting read) is in bytes
// and sorted by position.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/history.h"

namespace qel::document {

struct MarkerLayoutEntry {
  int64_t position;  // bytes
  int64_t length;    // bytes
  uint32_t color;
  int32_t playList;
  std::u16string label;
  int32_t number;  // 1-based number in the list
};

// The markers of a step sorted by position (equal positions keep list order).
std::vector<MarkerLayoutEntry> MarkerLayout(const HistoryStep& step, int64_t blockAlign);

// Adds a marker to the step; nothing is added past documentFrames. The
// attribute text may give the colour and play-list value ("Color:" and "Play:"
// each followed by a number in the next 8 characters).
void AddMarker(HistoryStep& step, int64_t documentFrames, int64_t position, int64_t length,
               std::u16string label, std::u16string note, std::u16string attributes);

// The attribute text that carries colour and play list through media files.
std::u16string MarkerAttributeText(const Marker& marker);

// After an edit: copies the previous step's markers into the current one and
// moves them with the audio (the edit replaced the previous selection by the
// current one). changed(number) is called for each marker the edit touched.
void CarryMarkers(const HistoryStep& previous, HistoryStep& current,
                  const std::function<void(int32_t number)>& changed);

}  // namespace qel::document

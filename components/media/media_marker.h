// A marker as the extra-data object carries it: start and length in
// milliseconds from the start of the file, label, note and attribute text.
#pragma once

#include <string>

namespace qel::media {

struct MediaMarker {
  double startMs = 0, lengthMs = 0;
  std::u16string label, note, attributes;
};

// Markers that travel as chapters carry this tag ("1"); their label is then the
// "label" tag, not the chapter's title.
inline constexpr char kChapterMarkerTag[] = "QEL_MARKER";

}  // namespace qel::media

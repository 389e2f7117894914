// Pictures of the zone cursors (resources 202 ... 218 of the control), drawn
// here rather than loaded: 32 x 32 black shapes with a white outline, the hot
// spot in the middle, so that any host with a screen shows the same cursors.
#pragma once

#include "platform/window.h"

namespace qel::view {

// The picture of a zone cursor resource; an empty shape for other numbers.
platform::CursorShape ZoneCursorShape(int resource);

}  // namespace qel::view

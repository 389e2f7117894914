// The drawing font of a scale's font description.
#pragma once

#include <string>

#include "view/view_source.h"

namespace qel::view {

// The drawing font of a font object: its logical height at 96 dpi
// (size x 96 / 72, rounded, in pixels) becomes the point size of the drawing
// font, so a 5-point scale font draws at 7 points; style bits from weight
// (above 500 is bold), italic and underline.
struct DrawingFont {
  std::string face;
  float emPoints;
  int style;
};
DrawingFont ToDrawingFont(const FontDescription& description);

}  // namespace qel::view

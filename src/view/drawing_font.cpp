#include "view/drawing_font.h"

#include <cmath>

#include "view/graphics.h"

namespace qel::view {

DrawingFont ToDrawingFont(const FontDescription& d) {
  DrawingFont f;
  f.face = d.name.empty() ? "Arial" : d.name;
  f.emPoints = static_cast<float>(std::abs(std::lround(d.size * 96.0 / 72.0)));
  if (f.emPoints < 1) f.emPoints = 1;
  f.style = (d.weight > 500 ? kFontBold : 0) | (d.italic ? kFontItalic : 0) |
            (d.underline ? kFontUnderline : 0) | (d.strikethrough ? kFontStrikeout : 0);
  return f;
}

}  // namespace qel::view

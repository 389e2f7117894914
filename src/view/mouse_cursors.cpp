#include "view/mouse_cursors.h"

#include <cairo.h>

#include <cstring>
#include <string>

#include "view/graphics.h"
#include "view/mouse_controller.h"

namespace qel::view {

namespace {

constexpr int kSize = 32;
constexpr double kMid = kSize / 2.0;

// A horizontal (or vertical) double arrow through the middle.
void DoubleArrow(cairo_t* cr, bool vertical, double half) {
  cairo_save(cr);
  if (vertical) {
    cairo_translate(cr, kMid, kMid);
    cairo_rotate(cr, 1.5707963267948966);
    cairo_translate(cr, -kMid, -kMid);
  }
  cairo_move_to(cr, kMid - half, kMid);
  cairo_line_to(cr, kMid - half + 6, kMid - 5);
  cairo_line_to(cr, kMid - half + 6, kMid - 2);
  cairo_line_to(cr, kMid + half - 6, kMid - 2);
  cairo_line_to(cr, kMid + half - 6, kMid - 5);
  cairo_line_to(cr, kMid + half, kMid);
  cairo_line_to(cr, kMid + half - 6, kMid + 5);
  cairo_line_to(cr, kMid + half - 6, kMid + 2);
  cairo_line_to(cr, kMid - half + 6, kMid + 2);
  cairo_line_to(cr, kMid - half + 6, kMid + 5);
  cairo_close_path(cr);
  cairo_restore(cr);
}

void Bar(cairo_t* cr, double x, double y, double w, double h) {
  cairo_rectangle(cr, x, y, w, h);
}

// Fills the current path black with a white outline.
void Ink(cairo_t* cr) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 2);
  cairo_stroke_preserve(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_fill(cr);
}

// Speaker and channel letters in a small box.
void Letters(cairo_t* cr, const char* text) {
  cairo_rectangle(cr, 5, 9, 22, 14);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 11);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text, &e);
  cairo_move_to(cr, kMid - e.width / 2 - e.x_bearing, kMid - e.height / 2 - e.y_bearing);
  cairo_show_text(cr, text);
}

const char* SpeakerText(int resource) {
  switch (resource) {
    case zone_cursor::kFrontLeft:
      return "FL";
    case zone_cursor::kFrontRight:
      return "FR";
    case zone_cursor::kFrontCentre:
      return "FC";
    case zone_cursor::kLowFrequency:
      return "LF";
    case zone_cursor::kBackLeft:
      return "BL";
    case zone_cursor::kBackRight:
      return "BR";
    case zone_cursor::kBackCentre:
      return "BC";
    case zone_cursor::kSideLeft:
      return "SL";
    case zone_cursor::kSideRight:
      return "SR";
    case zone_cursor::kLeftOnly:
      return "L";
    case zone_cursor::kRightOnly:
      return "R";
    default:
      return nullptr;
  }
}

}  // namespace

platform::CursorShape ZoneCursorShape(int resource) {
  platform::CursorShape shape;
  if (resource < zone_cursor::kFrontLeft || resource > zone_cursor::kSliderEdge) return shape;
  const SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize));
  const CairoPtr cr(cairo_create(surface.get()));
  cairo_t* c = cr.get();
  switch (resource) {
    case zone_cursor::kScrollable:
      DoubleArrow(c, false, 13);
      Ink(c);
      break;
    case zone_cursor::kDragging:
      DoubleArrow(c, false, 13);
      Ink(c);
      Bar(c, kMid - 5, kMid - 9, 10, 18);  // a grip over the arrow
      Ink(c);
      break;
    case zone_cursor::kSliderEdge:
      DoubleArrow(c, false, 14);
      Ink(c);
      Bar(c, kMid - 1.5, 4, 3, 24);
      Ink(c);
      break;
    case zone_cursor::kMoveSelection:
      DoubleArrow(c, false, 13);
      Ink(c);
      DoubleArrow(c, true, 13);
      Ink(c);
      break;
    case zone_cursor::kHandles:
      Bar(c, kMid - 1, 3, 2, 26);
      Ink(c);
      cairo_move_to(c, kMid + 1, 3);
      cairo_line_to(c, kMid + 9, 3);
      cairo_line_to(c, kMid + 1, 11);
      cairo_close_path(c);
      Ink(c);
      break;
    case zone_cursor::kLaneResize:
      DoubleArrow(c, true, 13);
      Ink(c);
      Bar(c, 6, kMid - 3, 20, 2);
      Bar(c, 6, kMid + 1, 20, 2);
      Ink(c);
      break;
    default:
      if (const char* text = SpeakerText(resource)) Letters(c, text);
      break;
  }
  cairo_surface_flush(surface.get());
  shape.width = shape.height = kSize;
  shape.hotX = shape.hotY = kSize / 2;
  shape.pixels.resize(static_cast<size_t>(kSize) * kSize);
  const int stride = cairo_image_surface_get_stride(surface.get());
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  for (int y = 0; y < kSize; ++y)
    std::memcpy(&shape.pixels[static_cast<size_t>(y) * kSize],
                data + static_cast<size_t>(y) * stride, kSize * sizeof(uint32_t));
  return shape;
}

}  // namespace qel::view

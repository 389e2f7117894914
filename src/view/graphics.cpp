#include "view/graphics.h"

#include <algorithm>
#include <cstring>

namespace qel::view {

namespace {

// Pango's default resolution; the fonts' point sizes are meant at this density.
constexpr double kDpi = 96.0;

Status FromCairo(cairo_status_t status) {
  switch (status) {
    case CAIRO_STATUS_SUCCESS:
      return Status::Ok;
    case CAIRO_STATUS_NO_MEMORY:
      return Status::OutOfMemory;
    case CAIRO_STATUS_INVALID_SIZE:
    case CAIRO_STATUS_INVALID_STRIDE:
    case CAIRO_STATUS_INVALID_DASH:
    case CAIRO_STATUS_INVALID_MATRIX:
      return Status::InvalidParameter;
    default:
      return Status::GenericError;
  }
}

}  // namespace

FontOptionsPtr MakeFontOptions() {
  FontOptionsPtr options(cairo_font_options_create());
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_FULL);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
  return options;
}

// ---- Bitmap ----

Bitmap::Bitmap(int width, int height) {
  if (width <= 0 || height <= 0) return;
  SurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return;
  surface_ = std::move(s);
  width_ = width;
  height_ = height;
}

Bitmap Bitmap::Wrap(uint8_t* data, int width, int height, int stride) {
  Bitmap b;
  if (!data || width <= 0 || height <= 0) return b;
  SurfacePtr s(
      cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, stride));
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return b;
  b.surface_ = std::move(s);
  b.width_ = width;
  b.height_ = height;
  return b;
}

Bitmap Bitmap::FromSurface(cairo_surface_t* surface) {
  Bitmap b;
  if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
    return b;
  b.surface_.reset(cairo_surface_reference(surface));
  b.width_ = cairo_image_surface_get_width(surface);
  b.height_ = cairo_image_surface_get_height(surface);
  return b;
}

int Bitmap::Stride() const {
  return surface_ ? cairo_image_surface_get_stride(surface_.get()) : 0;
}

uint8_t* Bitmap::Data() {
  return surface_ ? cairo_image_surface_get_data(surface_.get()) : nullptr;
}

const uint8_t* Bitmap::Data() const {
  return surface_ ? cairo_image_surface_get_data(surface_.get()) : nullptr;
}

uint32_t Bitmap::Pixel(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  Flush();
  uint32_t v;
  std::memcpy(&v, Data() + static_cast<size_t>(y) * Stride() + static_cast<size_t>(x) * 4, 4);
  return v;
}

void Bitmap::SetPixel(int x, int y, uint32_t premultiplied) {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Flush();
  std::memcpy(Data() + static_cast<size_t>(y) * Stride() + static_cast<size_t>(x) * 4,
              &premultiplied, 4);
  MarkDirty();
}

uint32_t* Bitmap::Row(int y) {
  return reinterpret_cast<uint32_t*>(Data() + static_cast<size_t>(y) * Stride());
}

void Bitmap::MarkDirty() {
  if (surface_) cairo_surface_mark_dirty(surface_.get());
}

void Bitmap::Flush() const {
  if (surface_) cairo_surface_flush(surface_.get());
}

bool Bitmap::CopyFrom(const Bitmap& other) {
  if (!surface_ || !other.surface_ || other.width_ != width_ || other.height_ != height_)
    return false;
  other.Flush();
  Flush();
  const size_t row = static_cast<size_t>(width_) * 4;
  if (Stride() == other.Stride()) {
    std::memcpy(Data(), other.Data(), static_cast<size_t>(Stride()) * height_);
  } else {
    for (int y = 0; y < height_; ++y)
      std::memcpy(Data() + static_cast<size_t>(y) * Stride(),
                  other.Data() + static_cast<size_t>(y) * other.Stride(), row);
  }
  MarkDirty();
  return true;
}

bool Bitmap::WritePng(const std::string& path) const {
  if (!surface_) return false;
  Flush();
  return cairo_surface_write_to_png(surface_.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

// ---- Font ----

Font::Font(std::string_view face, float emPoints, int style)
    : face_(face), em_(emPoints), style_(style) {
  Build();
}

Font::Font(const Font& other) : face_(other.face_), em_(other.em_), style_(other.style_) {
  Build();
}

Font& Font::operator=(const Font& other) {
  if (this != &other) {
    face_ = other.face_;
    em_ = other.em_;
    style_ = other.style_;
    Build();
  }
  return *this;
}

void Font::Build() {
  description_.reset(pango_font_description_new());
  pango_font_description_set_family(description_.get(), face_.c_str());
  pango_font_description_set_size(description_.get(),
                                  static_cast<int>(std::max(em_, 0.1f) * PANGO_SCALE + 0.5f));
  pango_font_description_set_weight(description_.get(),
                                    style_ & kFontBold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(description_.get(),
                                   style_ & kFontItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // The line spacing, measured the way drawing will lay the text out.
  GObjectPtr<PangoContext> context(
      pango_font_map_create_context(pango_cairo_font_map_get_default()));
  FontOptionsPtr options = MakeFontOptions();
  pango_cairo_context_set_font_options(context.get(), options.get());
  pango_cairo_context_set_resolution(context.get(), kDpi);
  const FontMetricsPtr metrics(
      pango_context_get_metrics(context.get(), description_.get(), nullptr));
  if (metrics) {
    int height = pango_font_metrics_get_height(metrics.get());
    if (height <= 0)
      height = pango_font_metrics_get_ascent(metrics.get()) +
               pango_font_metrics_get_descent(metrics.get());
    height_ = static_cast<double>(height) / PANGO_SCALE;
  }
}

// ---- Graphics ----

Graphics::Graphics(Bitmap& target) : target_(target) {
  if (!target.Valid()) {
    last_ = Status::InvalidParameter;
    return;
  }
  target.Flush();
  cr_.reset(cairo_create(target.Surface()));
  if (cairo_status(cr_.get()) != CAIRO_STATUS_SUCCESS) {
    last_ = FromCairo(cairo_status(cr_.get()));
    cr_.reset();
    return;
  }
  cairo_set_antialias(cr_.get(), CAIRO_ANTIALIAS_NONE);
  cairo_set_line_join(cr_.get(), CAIRO_LINE_JOIN_MITER);
}

Graphics::~Graphics() {
  layout_.reset();
  pango_.reset();
  cr_.reset();
  target_.MarkDirty();
}

void Graphics::Check() {
  if (!cr_) return;
  cairo_status_t s = cairo_status(cr_.get());
  if (s != CAIRO_STATUS_SUCCESS) Fail(FromCairo(s));
}

void Graphics::SetSource(Argb c) {
  cairo_set_source_rgba(cr_.get(), ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                        (c & 0xFF) / 255.0, AlphaOf(c) / 255.0);
}

void Graphics::ApplyPen(const Pen& pen) {
  SetSource(pen.color);
  const double width = pen.width > 0 ? pen.width : 1.0;
  cairo_set_line_width(cr_.get(), width);
  if (pen.dashes.empty()) {
    // Square caps make a one-pixel line include both of its end pixels.
    cairo_set_line_cap(cr_.get(), CAIRO_LINE_CAP_SQUARE);
    cairo_set_dash(cr_.get(), nullptr, 0, 0);
  } else {
    cairo_set_line_cap(cr_.get(), CAIRO_LINE_CAP_BUTT);
    std::vector<double> scaled(pen.dashes);
    for (double& d : scaled)
      d *= width;
    cairo_set_dash(cr_.get(), scaled.data(), static_cast<int>(scaled.size()), 0);
  }
}

void Graphics::Clear(Argb color) {
  if (!cr_) return Fail(Status::WrongState);
  cairo_save(cr_.get());
  cairo_set_operator(cr_.get(), CAIRO_OPERATOR_SOURCE);
  SetSource(color);
  cairo_paint(cr_.get());
  cairo_restore(cr_.get());
  Check();
}

void Graphics::Copy(const Bitmap& source) {
  if (!cr_) return Fail(Status::WrongState);
  if (!target_.CopyFrom(source)) Fail(Status::InvalidParameter);
}

void Graphics::DrawLine(const Pen& pen, int x0, int y0, int x1, int y1) {
  if (!cr_) return Fail(Status::WrongState);
  ApplyPen(pen);
  cairo_move_to(cr_.get(), x0 + 0.5, y0 + 0.5);
  cairo_line_to(cr_.get(), x1 + 0.5, y1 + 0.5);
  cairo_stroke(cr_.get());
  Check();
}

void Graphics::DrawLines(const Pen& pen, std::span<const PointF> points) {
  if (!cr_) return Fail(Status::WrongState);
  if (points.size() < 2) return Fail(Status::InvalidParameter);
  ApplyPen(pen);
  cairo_move_to(cr_.get(), points[0].x + 0.5, points[0].y + 0.5);
  for (size_t i = 1; i < points.size(); ++i)
    cairo_line_to(cr_.get(), points[i].x + 0.5, points[i].y + 0.5);
  cairo_stroke(cr_.get());
  Check();
}

void Graphics::DrawSegments(const Pen& pen, std::span<const Segment> segments) {
  if (!cr_) return Fail(Status::WrongState);
  if (segments.empty()) return;
  ApplyPen(pen);
  for (const Segment& s : segments) {
    cairo_move_to(cr_.get(), s.x0 + 0.5, s.y0 + 0.5);
    cairo_line_to(cr_.get(), s.x1 + 0.5, s.y1 + 0.5);
  }
  cairo_stroke(cr_.get());
  Check();
}

void Graphics::DrawRectangle(const Pen& pen, int x, int y, int width, int height) {
  if (!cr_) return Fail(Status::WrongState);
  ApplyPen(pen);
  cairo_set_line_cap(cr_.get(), CAIRO_LINE_CAP_BUTT);
  cairo_rectangle(cr_.get(), x + 0.5, y + 0.5, width, height);
  cairo_stroke(cr_.get());
  Check();
}

void Graphics::FillRectangle(const Brush& brush, int x, int y, int width, int height) {
  if (!cr_) return Fail(Status::WrongState);
  if (width <= 0 || height <= 0) return;
  SetSource(brush.color);
  cairo_rectangle(cr_.get(), x, y, width, height);
  cairo_fill(cr_.get());
  Check();
}

void Graphics::FillPolygon(const Brush& brush, std::span<const PointF> points) {
  if (!cr_) return Fail(Status::WrongState);
  if (points.size() < 3) return Fail(Status::InvalidParameter);
  SetSource(brush.color);
  cairo_move_to(cr_.get(), points[0].x + 0.5, points[0].y + 0.5);
  for (size_t i = 1; i < points.size(); ++i)
    cairo_line_to(cr_.get(), points[i].x + 0.5, points[i].y + 0.5);
  cairo_close_path(cr_.get());
  cairo_fill(cr_.get());
  Check();
}

std::vector<PointF> CardinalControls(std::span<const PointF> p, double tension) {
  const size_t n = p.size();
  std::vector<PointF> controls(2 * n);
  const double k = tension / 3.0;
  for (size_t i = 0; i < n; ++i) {
    const PointF& prev = p[(i + n - 1) % n];
    const PointF& cur = p[i];
    const PointF& next = p[(i + 1) % n];
    const PointF& after = p[(i + 2) % n];
    controls[2 * i] = {cur.x + k * (next.x - prev.x), cur.y + k * (next.y - prev.y)};
    controls[2 * i + 1] = {next.x - k * (after.x - cur.x), next.y - k * (after.y - cur.y)};
  }
  return controls;
}

void Graphics::CurvePath(std::span<const PointF> p, double tension) {
  const std::vector<PointF> c = CardinalControls(p, tension);
  cairo_move_to(cr_.get(), p[0].x + 0.5, p[0].y + 0.5);
  for (size_t i = 0; i < p.size(); ++i) {
    const PointF& end = p[(i + 1) % p.size()];
    cairo_curve_to(cr_.get(), c[2 * i].x + 0.5, c[2 * i].y + 0.5, c[2 * i + 1].x + 0.5,
                   c[2 * i + 1].y + 0.5, end.x + 0.5, end.y + 0.5);
  }
  cairo_close_path(cr_.get());
}

void Graphics::FillClosedCurve(const Brush& brush, std::span<const PointF> points, double tension) {
  if (!cr_) return Fail(Status::WrongState);
  if (points.size() < 3) return Fail(Status::InvalidParameter);
  SetSource(brush.color);
  CurvePath(points, tension);
  cairo_fill(cr_.get());
  Check();
}

void Graphics::DrawClosedCurve(const Pen& pen, std::span<const PointF> points, double tension) {
  if (!cr_) return Fail(Status::WrongState);
  if (points.size() < 3) return Fail(Status::InvalidParameter);
  ApplyPen(pen);
  CurvePath(points, tension);
  cairo_stroke(cr_.get());
  Check();
}

void Graphics::DrawImage(const Bitmap& image, int x, int y) {
  if (!cr_) return Fail(Status::WrongState);
  if (!image.Valid()) return Fail(Status::InvalidParameter);
  image.Flush();
  cairo_save(cr_.get());
  cairo_set_source_surface(cr_.get(), image.Surface(), x, y);
  cairo_pattern_set_filter(cairo_get_source(cr_.get()), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr_.get(), x, y, image.Width(), image.Height());
  cairo_fill(cr_.get());
  cairo_restore(cr_.get());
  Check();
}

void Graphics::DrawImage(const Bitmap& image, int x, int y, int srcX, int srcY, int width,
                         int height) {
  if (!cr_) return Fail(Status::WrongState);
  if (!image.Valid()) return Fail(Status::InvalidParameter);
  if (width <= 0 || height <= 0) return;
  image.Flush();
  cairo_save(cr_.get());
  cairo_set_operator(cr_.get(), CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr_.get(), image.Surface(), x - srcX, y - srcY);
  cairo_pattern_set_filter(cairo_get_source(cr_.get()), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr_.get(), x, y, width, height);
  cairo_fill(cr_.get());
  cairo_restore(cr_.get());
  Check();
}

PangoLayout* Graphics::Layout(const Font& font) {
  if (!pango_) {
    pango_.reset(pango_cairo_create_context(cr_.get()));
    FontOptionsPtr options = MakeFontOptions();
    pango_cairo_context_set_font_options(pango_.get(), options.get());
    pango_cairo_context_set_resolution(pango_.get(), kDpi);
    layout_.reset(pango_layout_new(pango_.get()));
  }
  pango_layout_set_font_description(layout_.get(), font.Description());
  const AttrListPtr attrs(pango_attr_list_new());
  if (font.Style() & kFontUnderline)
    pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  if (font.Style() & kFontStrikeout)
    pango_attr_list_insert(attrs.get(), pango_attr_strikethrough_new(TRUE));
  pango_layout_set_attributes(layout_.get(), attrs.get());  // the layout keeps its own reference
  return layout_.get();
}

void Graphics::DrawString(std::string_view utf8, const Font& font, const RectF& box,
                          const TextFormat& format, const Brush& brush) {
  if (!cr_) return Fail(Status::WrongState);
  if (utf8.empty()) return;
  PangoLayout* layout = Layout(font);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  auto place = [](Align a, double start, double room, double size) {
    switch (a) {
      case Align::Near:
        return start;
      case Align::Center:
        return start + (room - size) / 2.0;
      case Align::Far:
        return start + room - size;
    }
    return start;
  };
  const double x = place(format.horizontal, box.x, box.width, logical.width) - logical.x;
  const double y = place(format.vertical, box.y, box.height, logical.height) - logical.y;
  cairo_save(cr_.get());
  cairo_rectangle(cr_.get(), box.x, box.y, box.width, box.height);
  cairo_clip(cr_.get());
  SetSource(brush.color);
  // Whole pixels keep the unsmoothed glyphs on the grid.
  cairo_move_to(cr_.get(), static_cast<int>(x + (x < 0 ? -0.5 : 0.5)),
                static_cast<int>(y + (y < 0 ? -0.5 : 0.5)));
  pango_cairo_show_layout(cr_.get(), layout);
  cairo_restore(cr_.get());
  Check();
}

SizeF Graphics::MeasureString(std::string_view utf8, const Font& font) {
  if (!cr_) {
    Fail(Status::WrongState);
    return {0, 0};
  }
  PangoLayout* layout = Layout(font);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  return {static_cast<double>(logical.width), static_cast<double>(logical.height)};
}

}  // namespace qel::view

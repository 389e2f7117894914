// The view's drawing layer: bitmaps, pens, brushes, fonts and a Graphics object
// that draws on a bitmap. Everything is a Cairo image surface in premultiplied
// ARGB32 with Pango for text. The view draws crisp pixel art: anti-aliasing is
// off for shapes and for text, images are copied with nearest-neighbour
// sampling, and a one-pixel line at integer coordinates covers exactly the
// pixels it names, both ends included.
//
// A failing call never stops a drawing pass: Graphics records the status of the
// last call that failed and carries on, and the caller reads it at the end.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "view/argb.h"

namespace qel::view {

// Result of a drawing call; the numbering follows the classic status codes so
// that a host reading it sees familiar values.
enum class Status : int {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  FontFamilyNotFound = 14,
};

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct GObjectDeleter {
  void operator()(void* o) const { g_object_unref(o); }
};
struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct FontMetricsDeleter {
  void operator()(PangoFontMetrics* m) const { pango_font_metrics_unref(m); }
};
struct AttrListDeleter {
  void operator()(PangoAttrList* a) const { pango_attr_list_unref(a); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;
using FontMetricsPtr = std::unique_ptr<PangoFontMetrics, FontMetricsDeleter>;
using AttrListPtr = std::unique_ptr<PangoAttrList, AttrListDeleter>;
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

// A 32-bit premultiplied ARGB picture. Owns its pixels unless made by Wrap.
class Bitmap {
 public:
  Bitmap() = default;
  // A transparent picture; Valid() is false when it could not be made.
  Bitmap(int width, int height);
  // A view of pixels someone else owns (a window's buffer, a host's bitmap).
  static Bitmap Wrap(uint8_t* data, int width, int height, int stride);
  // Shares the surface of a host's image surface (a reference is taken).
  static Bitmap FromSurface(cairo_surface_t* surface);

  bool Valid() const { return surface_ != nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const;
  uint8_t* Data();
  const uint8_t* Data() const;
  cairo_surface_t* Surface() const { return surface_.get(); }

  // One pixel as premultiplied 0xAARRGGBB; 0 outside.
  uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, uint32_t premultiplied);
  // Row pointer for direct writing (call MarkDirty afterwards).
  uint32_t* Row(int y);
  void MarkDirty();
  void Flush() const;
  // Copies all pixels of other (same size) into this one.
  bool CopyFrom(const Bitmap& other);
  bool WritePng(const std::string& path) const;

 private:
  SurfacePtr surface_;
  int width_ = 0;
  int height_ = 0;
};

// Line pens: colour, width and an optional dash pattern in multiples of the
// width (as {3, 3, ...}).
struct Pen {
  Argb color = 0xFF000000;
  float width = 1.0f;
  std::vector<double> dashes;
};

struct Brush {
  Argb color = 0xFF000000;
};

// Style bits of a font.
inline constexpr int kFontBold = 1;
inline constexpr int kFontItalic = 2;
inline constexpr int kFontUnderline = 4;
inline constexpr int kFontStrikeout = 8;

// A font by face name, em size in points and style bits. Pango lays text out at
// 96 dots per inch, so one point is 4/3 of a pixel.
class Font {
 public:
  Font(std::string_view face, float emPoints, int style = 0);
  Font(const Font& other);
  Font& operator=(const Font& other);
  Font(Font&&) noexcept = default;
  Font& operator=(Font&&) noexcept = default;

  const std::string& Face() const { return face_; }
  float EmSize() const { return em_; }
  int Style() const { return style_; }
  // Line spacing in pixels (fractional), as text measurement reports it.
  double Height() const { return height_; }
  const PangoFontDescription* Description() const { return description_.get(); }

 private:
  void Build();

  std::string face_;
  float em_ = 0;
  int style_ = 0;
  double height_ = 0;
  FontDescriptionPtr description_;
};

enum class Align { Near, Center, Far };

struct TextFormat {
  Align horizontal = Align::Near;
  Align vertical = Align::Near;
};

struct PointF {
  double x;
  double y;
};

struct RectF {
  double x;
  double y;
  double width;
  double height;
};

struct SizeF {
  double width;
  double height;
};

// A line from (x0, y0) to (x1, y1), both ends included.
struct Segment {
  int x0;
  int y0;
  int x1;
  int y1;
};

// Draws on a bitmap. The bitmap must outlive the Graphics object.
class Graphics {
 public:
  explicit Graphics(Bitmap& target);
  ~Graphics();
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;

  // Status of the last call that failed, Ok when none did.
  Status LastStatus() const { return last_; }

  void Clear(Argb color);
  // Copies the pixels of source over the whole target (no blending).
  void Copy(const Bitmap& source);
  void DrawLine(const Pen& pen, int x0, int y0, int x1, int y1);
  // Connected segments through the points.
  void DrawLines(const Pen& pen, std::span<const PointF> points);
  // Many separate lines with one pen, stroked at once.
  void DrawSegments(const Pen& pen, std::span<const Segment> segments);
  void DrawRectangle(const Pen& pen, int x, int y, int width, int height);
  void FillRectangle(const Brush& brush, int x, int y, int width, int height);
  void FillPolygon(const Brush& brush, std::span<const PointF> points);
  // A closed cardinal spline through the points (tension 0.5 by default),
  // drawn as cubic Bézier segments.
  void FillClosedCurve(const Brush& brush, std::span<const PointF> points, double tension = 0.5);
  void DrawClosedCurve(const Pen& pen, std::span<const PointF> points, double tension = 0.5);
  // Blends the image at (x, y) by its alpha.
  void DrawImage(const Bitmap& image, int x, int y);
  // Copies a part of the image pixel for pixel (with its alpha).
  void DrawImage(const Bitmap& image, int x, int y, int srcX, int srcY, int width, int height);
  // Text laid out on one line in a box, aligned in both directions and clipped
  // to the box.
  void DrawString(std::string_view utf8, const Font& font, const RectF& box,
                  const TextFormat& format, const Brush& brush);
  SizeF MeasureString(std::string_view utf8, const Font& font);

 private:
  void Check();
  void Fail(Status status) { last_ = status; }
  void SetSource(Argb color);
  void ApplyPen(const Pen& pen);
  void CurvePath(std::span<const PointF> points, double tension);
  PangoLayout* Layout(const Font& font);

  Bitmap& target_;
  CairoPtr cr_;
  GObjectPtr<PangoContext> pango_;
  GObjectPtr<PangoLayout> layout_;
  Status last_ = Status::Ok;
};

// Bézier control points of a closed cardinal spline: for each point i, the
// segment to point i + 1 has the controls returned at 2i and 2i + 1.
std::vector<PointF> CardinalControls(std::span<const PointF> points, double tension);

// Font options every drawing of the view uses: no anti-aliasing, full hinting.
FontOptionsPtr MakeFontOptions();

}  // namespace qel::view

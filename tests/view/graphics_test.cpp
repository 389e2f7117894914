// The drawing layer: unsmoothed lines that cover exactly the pixels they name,
// dashes, polygons, closed curves through their points, images with alpha,
// aligned text, font measures, and a pass that carries on after a failure.
#include <gtest/gtest.h>

#include "view/graphics.h"

namespace qel::view {
namespace {

constexpr uint32_t kRed = 0xFFFF0000;

Pen Solid(Argb colour) {
  Pen p;
  p.color = colour;
  return p;
}

// A bitmap of the given size after `draw` and the end of its drawing pass.
template <class Draw>
Bitmap Drawn(int width, int height, Draw draw) {
  Bitmap b(width, height);
  {
    Graphics g(b);
    draw(g);
  }
  return b;
}

// Whether every pixel is either transparent black or `colour`: nothing smoothed.
bool OnlyBlankOr(const Bitmap& b, uint32_t colour) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != 0 && b.Pixel(x, y) != colour) return false;
  return true;
}

int CountColour(const Bitmap& b, uint32_t colour) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) == colour) ++n;
  return n;
}

TEST(Lines, AOnePixelLineCoversBothEndsAndNothingElse) {
  const Bitmap b = Drawn(20, 20, [](Graphics& g) { g.DrawLine(Solid(kRed), 5, 3, 5, 12); });
  EXPECT_EQ(CountColour(b, kRed), 10);
  EXPECT_EQ(b.Pixel(5, 3), kRed);
  EXPECT_EQ(b.Pixel(5, 12), kRed);
  EXPECT_EQ(b.Pixel(4, 7), 0u);
  EXPECT_EQ(b.Pixel(6, 7), 0u);
}

TEST(Lines, ManySegmentsAtOnceMatchTheSameLinesOneByOne) {
  const Segment segments[] = {{1, 1, 1, 20}, {5, 2, 9, 2}, {10, 10, 20, 25}};
  const Bitmap a = Drawn(30, 30, [&](Graphics& g) { g.DrawSegments(Solid(kRed), segments); });
  const Bitmap b = Drawn(30, 30, [&](Graphics& g) {
    for (const Segment& s : segments)
      g.DrawLine(Solid(kRed), s.x0, s.y0, s.x1, s.y1);
  });
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << x << "," << y;
}

TEST(Lines, ShapesAndTextAreDrawnWithoutSmoothing) {
  const Bitmap b = Drawn(100, 70, [](Graphics& g) {
    g.DrawLine(Solid(kRed), 0, 0, 39, 17);
    const PointF tri[] = {{5, 20}, {30, 25}, {12, 38}};
    g.FillPolygon(Brush{kRed}, tri);
    g.DrawString("Qel 42", Font("Arial", 9), RectF{0, 40, 100, 30}, TextFormat{}, Brush{kRed});
  });
  int text = 0;
  for (int y = 40; y < 70; ++y)
    for (int x = 0; x < 100; ++x)
      text += b.Pixel(x, y) == kRed;
  EXPECT_GT(text, 20);
  EXPECT_TRUE(OnlyBlankOr(b, kRed));
}

TEST(Lines, DashesAlternateInMultiplesOfTheWidth) {
  const Bitmap b = Drawn(20, 1, [](Graphics& g) {
    g.DrawLine(Pen{kRed, 1.0f, std::vector<double>(18, 2.0)}, 0, 0, 19, 0);
  });
  std::string pattern;
  for (int x = 0; x < 12; ++x)
    pattern += b.Pixel(x, 0) == kRed ? '#' : '.';
  EXPECT_EQ(pattern, "##..##..##..");
}

TEST(Rectangles, FillCoversWidthByHeightAndOutlineOneMore) {
  const Bitmap b = Drawn(20, 20, [](Graphics& g) { g.FillRectangle(Brush{kRed}, 2, 3, 4, 5); });
  EXPECT_EQ(CountColour(b, kRed), 20);
  const Bitmap o = Drawn(20, 20, [](Graphics& g) { g.DrawRectangle(Solid(kRed), 2, 3, 4, 5); });
  EXPECT_EQ(o.Pixel(2, 3), kRed);
  EXPECT_EQ(o.Pixel(6, 8), kRed);
  EXPECT_EQ(o.Pixel(4, 5), 0u);
}

TEST(Curves, AClosedCardinalCurvePassesThroughItsPoints) {
  const PointF square[] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
  const std::vector<PointF> c = CardinalControls(square, 0.5);
  ASSERT_EQ(c.size(), 8u);
  // Segment 0 runs from (10, 10) to (30, 10); its controls lean along the
  // neighbours by a sixth of their distance.
  EXPECT_DOUBLE_EQ(c[0].x, 10 + (30 - 10) / 6.0);
  EXPECT_DOUBLE_EQ(c[0].y, 10 + (10 - 30) / 6.0);
  const Bitmap b = Drawn(40, 40, [&](Graphics& g) { g.FillClosedCurve(Brush{kRed}, square); });
  EXPECT_EQ(b.Pixel(20, 20), kRed);
  EXPECT_EQ(b.Pixel(10, 10), kRed);
  EXPECT_EQ(b.Pixel(2, 2), 0u);
}

TEST(Images, AnImageIsBlendedByItsAlpha) {
  const Bitmap image = Drawn(2, 1, [](Graphics& g) {
    g.FillRectangle(Brush{0x80FFFFFF}, 0, 0, 1, 1);  // half-transparent white
  });
  const Bitmap target = Drawn(2, 1, [&](Graphics& g) {
    g.Clear(0xFF000000);
    g.DrawImage(image, 0, 0);
  });
  EXPECT_NEAR(static_cast<int>(target.Pixel(0, 0) & 0xFF), 128, 1);
  EXPECT_EQ(target.Pixel(1, 0), 0xFF000000u);  // the transparent pixel leaves black
}

TEST(Images, APartCopiedPixelForPixelKeepsItsAlpha) {
  const Bitmap image = Drawn(4, 4, [](Graphics& g) {
    g.Clear(0x00000000);
    g.FillRectangle(Brush{0xFF00FF00}, 2, 2, 2, 2);
  });
  const Bitmap target = Drawn(4, 4, [&](Graphics& g) {
    g.Clear(0xFFFF0000);
    g.DrawImage(image, 0, 0, 1, 1, 2, 2);
  });
  EXPECT_EQ(target.Pixel(0, 0), 0u);           // copied, not blended
  EXPECT_EQ(target.Pixel(1, 1), 0xFF00FF00u);  // source (2, 2)
  EXPECT_EQ(target.Pixel(3, 3), kRed);         // outside the copied part
}

// The box of the lit pixels.
struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
};
Box Lit(const Bitmap& b) {
  Box r;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != 0) {
        r.left = std::min(r.left, x);
        r.right = std::max(r.right, x);
        r.top = std::min(r.top, y);
        r.bottom = std::max(r.bottom, y);
      }
  return r;
}

TEST(Text, FarAlignmentEndsAtTheRightOfTheBoxAndTextIsClippedToIt) {
  const Box box = Lit(Drawn(200, 40, [](Graphics& g) {
    const Font font("Arial", 10);
    g.DrawString("HH", font, RectF{50, 10, 100, 20}, TextFormat{Align::Far, Align::Near},
                 Brush{kRed});
    g.DrawString("clipped away", font, RectF{0, 0, 200, 2}, TextFormat{}, Brush{kRed});
  }));
  EXPECT_LE(box.right, 150);
  EXPECT_GE(box.right, 145);
  EXPECT_GE(box.top, 10);
}

TEST(Fonts, MeasuresFollowTheEmSizeAtNinetySixDots) {
  const Font eight("Arial", 8);
  EXPECT_EQ(eight.EmSize(), 8.0f);
  // 8 points are about 10.7 pixels; a line is about 1.15 em.
  EXPECT_NEAR(eight.Height(), 12.3, 1.0);
  const Font sixteen("Arial", 16, kFontBold | kFontItalic);
  EXPECT_NEAR(sixteen.Height(), 2 * eight.Height(), 1.5);
  Bitmap b(10, 10);
  Graphics g(b);
  const SizeF wide = g.MeasureString("WWWW", eight);
  const SizeF narrow = g.MeasureString("iiii", eight);
  EXPECT_GT(wide.width, 2 * narrow.width);
}

TEST(Status, AFailingCallIsRecordedAndThePassGoesOnAndAMissingBitmapFailsWithoutHarm) {
  Bitmap b(10, 10);
  Graphics g(b);
  EXPECT_EQ(g.LastStatus(), Status::Ok);
  const PointF one[] = {{1, 1}};
  g.DrawLines(Solid(kRed), one);
  EXPECT_EQ(g.LastStatus(), Status::InvalidParameter);
  g.FillRectangle(Brush{kRed}, 0, 0, 2, 2);
  EXPECT_EQ(b.Pixel(1, 1), kRed);
  Bitmap none;
  Graphics nowhere(none);
  nowhere.DrawLine(Solid(kRed), 0, 0, 5, 5);
  EXPECT_NE(nowhere.LastStatus(), Status::Ok);
}

}  // namespace
}  // namespace qel::view

// Whole pictures against reference PNGs in tests/view/references. Inside the
// lanes almost every pixel must match; around them, where the scales' text
// lies, font rasterisation may move a few glyph pixels. Run with
// QEL_UPDATE_VIEW_REFERENCES=1 to write the references anew (then look at them
// before committing).
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "view/memory_source.h"

namespace qel::view {
namespace {

using test::MemorySource;
using test::ViewHarness;

// A pixel differs when a colour channel moves by more than this.
constexpr int kChannelTolerance = 24;
// Share of pixels that may differ inside the lanes, and around them.
constexpr double kLaneShare = 0.002;
constexpr double kScaleShare = 0.03;

std::string ReferencePath(const std::string& name) {
  return std::string(QEL_VIEW_REFERENCES) + "/" + name + ".png";
}

// The picture as 0xRRGGBB per pixel; empty when the file cannot be read.
std::vector<uint32_t> LoadRgb(const std::string& path, int* width, int* height) {
  const SurfacePtr s(cairo_image_surface_create_from_png(path.c_str()));
  std::vector<uint32_t> rgb;
  if (cairo_surface_status(s.get()) == CAIRO_STATUS_SUCCESS) {
    *width = cairo_image_surface_get_width(s.get());
    *height = cairo_image_surface_get_height(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    const uint8_t* data = cairo_image_surface_get_data(s.get());
    for (int y = 0; y < *height; ++y)
      for (int x = 0; x < *width; ++x)
        rgb.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF);
  }
  return rgb;
}

bool Differs(uint32_t a, uint32_t b) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        kChannelTolerance)
      return true;
  return false;
}

void ExpectMatchesReference(WaveformView& view, const std::string& name) {
  view.Update();
  const Bitmap& picture = view.Picture();
  if (std::getenv("QEL_UPDATE_VIEW_REFERENCES")) {
    ASSERT_TRUE(picture.WritePng(ReferencePath(name)));
    return;
  }
  int w = 0, h = 0;
  const std::vector<uint32_t> reference = LoadRgb(ReferencePath(name), &w, &h);
  ASSERT_FALSE(reference.empty()) << "no reference " << ReferencePath(name);
  ASSERT_EQ(w, picture.Width());
  ASSERT_EQ(h, picture.Height());
  const Layout& l = view.GetLayout();
  int laneDiff = 0, laneAll = 0, scaleDiff = 0, scaleAll = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool lane = x >= l.left && x < l.right && y >= l.top && y < l.bottom;
      const bool differs = Differs(picture.Pixel(x, y) & 0xFFFFFF, reference[y * w + x]);
      (lane ? laneAll : scaleAll) += 1;
      if (differs) (lane ? laneDiff : scaleDiff) += 1;
    }
  }
  EXPECT_LE(laneDiff, laneAll * kLaneShare) << name << ": pixels differing inside the lanes";
  EXPECT_LE(scaleDiff, scaleAll * kScaleShare) << name << ": pixels differing around the lanes";
  if (laneDiff > laneAll * kLaneShare || scaleDiff > scaleAll * kScaleShare)
    picture.WritePng(::testing::TempDir() + name + "-actual.png");
}

// Two seconds of stereo: a decaying chirp on the left, a fixed pseudo-random
// noise with a swell on the right.
std::vector<int32_t> TwoSeconds() {
  std::vector<int32_t> s;
  uint32_t seed = 12345;
  for (int i = 0; i < 88200; ++i) {
    const double t = i / 44100.0;
    s.push_back(
        static_cast<int32_t>(std::sin(2 * M_PI * 220 * t * (1 + t)) * 26000 * std::exp(-0.8 * t)));
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed >> 16) / 65536.0 - 0.5;
    s.push_back(static_cast<int32_t>(noise * 18000 * (0.3 + std::sin(M_PI * t / 2))));
  }
  return s;
}

struct TwoSecondScene {
  TwoSecondScene() { h.source->Load(44100, 16, 2, TwoSeconds(), 3); }
  ViewHarness h;
};

TEST(ReferencePictures, WaveformAtFullView) {
  TwoSecondScene s;
  ExpectMatchesReference(s.h.view, "waveform_full");
}

TEST(ReferencePictures, ZoomedToSampleSquaresWithPercentAndFrames) {
  TwoSecondScene s;
  s.h.source->ShowFrames(30000, 30016);  // level 3
  s.h.source->scaleY.type = 2;
  s.h.source->scaleX.type = 3;
  ExpectMatchesReference(s.h.view, "waveform_level3_percent");
}

TEST(ReferencePictures, EnvelopeWithTheLevelScaleOnTheLeft) {
  TwoSecondScene s;
  s.h.source->visual.viewType = 2;
  s.h.source->scaleY.orientation = 2;
  ExpectMatchesReference(s.h.view, "envelope_left_scale");
}

TEST(ReferencePictures, SpectralOfAChirpAndTwoTones) {
  TwoSecondScene s;
  std::vector<int32_t> tones = TwoSeconds();
  for (size_t i = 1; i < tones.size(); i += 2) {
    const double t = static_cast<double>(i / 2) / 44100.0;
    tones[i] = static_cast<int32_t>(9000 * std::sin(2 * M_PI * 3000 * t) +
                                    6000 * t * std::sin(2 * M_PI * 9000 * t));
  }
  s.h.source->Load(44100, 16, 2, tones, 3);
  s.h.source->visual.viewType = 1;
  ExpectMatchesReference(s.h.view, "spectral");
}

void AddMarkers(MemorySource& m) {
  m.AddMarker(10000, 0, 0x00FFFF, u"cue");
  m.AddMarker(30000, 20000, 0x00FF00, u"range");
  m.AddMarker(70000, 8000, 0xFF8000, u"short");
  m.visual.markerLabelEnabled = true;
}

TEST(ReferencePictures, MarkersOfTypeZeroWithOnlyTheRightChannelOperated) {
  TwoSecondScene s;
  AddMarkers(*s.h.source);
  s.h.source->operated = {false, true};
  s.h.source->SelectFrames(52000, 64000);
  ExpectMatchesReference(s.h.view, "markers_type0_right_operated");
}

TEST(ReferencePictures, MarkersOfTypeTwoWithChannelIconsAndAnInnerFrame) {
  TwoSecondScene s;
  AddMarkers(*s.h.source);
  s.h.source->visual.markerType = 2;
  s.h.source->visual.channelLabelEnabled = true;
  s.h.source->visual.borderType = 4;
  ExpectMatchesReference(s.h.view, "markers_type2_icons");
}

}  // namespace
}  // namespace qel::view

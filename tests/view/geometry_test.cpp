// Where things lie: the layout record's dropping rules and orientation, lane
// heights and placement, positions to columns and back, amplitudes to rows.
#include <gtest/gtest.h>

#include "view/layout.h"

namespace qel::view {
namespace {

LayoutInput Input(int width, int height) {
  LayoutInput in;
  in.width = width;
  in.height = height;
  in.sampleSize = 16;
  in.fontX = {11, 7.0f};
  in.fontY = {11, 7.0f};
  return in;
}

Layout Make(const LayoutInput& in) {
  Layout l;
  EXPECT_TRUE(ComputeLayout(in, &l));
  return l;
}

TEST(LayoutDropping, NarrowControlsLoseTheLevelScaleLowOnesTheTimeScaleTinyOnesEverything) {
  for (int type : {1, 2, 3}) {
    LayoutInput in = Input(150, 200);
    in.scaleYType = type;
    EXPECT_EQ(Make(in).levelScaleWidth, -2) << "type " << type;
  }
  EXPECT_EQ(Make(Input(400, 60)).timeScaleHeight, 0);
  // 2 x 11 + 2 = 24 pixels of scale; 89 - 24 - 5 = 60 is not below 60.
  EXPECT_EQ(Make(Input(400, 89)).timeScaleHeight, 24);
  EXPECT_EQ(Make(Input(400, 88)).timeScaleHeight, 0);
  // Nothing is laid out below two by two pixels.
  Layout l;
  l.width = 77;
  EXPECT_FALSE(ComputeLayout(Input(1, 1), &l));
  EXPECT_EQ(l.width, 77);
}

TEST(LayoutWidths, LevelScaleWidthComesFromTheWidestSampleLabel) {
  // "32767": (5 + 1) x 7 + 2
  EXPECT_EQ(Make(Input(400, 200)).levelScaleWidth, 44);
  LayoutInput eight = Input(400, 200);
  eight.sampleSize = 8;  // "127" plus 20 pixels
  EXPECT_EQ(Make(eight).levelScaleWidth, (3 + 1) * 7 + 2 + 20);
  LayoutInput percent = Input(400, 200);
  percent.scaleYType = 2;  // "norm"
  EXPECT_EQ(Make(percent).levelScaleWidth, 37);
}

TEST(LayoutWidths, StripAndMarginGrowWithTheHeightFromEightPixels) {
  EXPECT_EQ(Make(Input(400, 200)).stripHeight, 8);
  const Layout tall = Make(Input(400, 1000));
  EXPECT_EQ(tall.stripHeight, 12);
  EXPECT_EQ(tall.laneMargin, 12);
  EXPECT_EQ(tall.top, 17);
}

TEST(LayoutOrientation, TheLevelScaleSideAndVisibilityPlaceTheWaveform) {
  struct Case {
    int orientation;
    bool visible;
    int left, right;
  };
  // A visible scale takes 44 + 5 pixels on its side; a hidden one leaves the
  // waveform 3 pixels from that edge, 2 from the other.
  for (const Case& c : {Case{1, true, 2, 400 - 44 - 5}, Case{2, true, 44 + 5, 398},
                        Case{2, false, 3, 398}, Case{1, false, 2, 397}}) {
    LayoutInput in = Input(400, 200);
    in.scaleYOrientation = c.orientation;
    in.scaleYVisible = c.visible;
    const Layout l = Make(in);
    SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << " visible " << c.visible);
    EXPECT_EQ(l.left, c.left);
    EXPECT_EQ(l.right, c.right);
    EXPECT_EQ(l.width, l.right - l.left);
    EXPECT_EQ(l.bottom, 200 - 24 - 5);
    if (!c.visible) {
      EXPECT_EQ(l.levelScaleWidth, -2);
    }
  }
}

// A layout whose lane space is exactly `space` pixels for `visible` lanes.
Layout WithLaneSpace(int space, const LaneSet& lanes) {
  Layout l;
  l.laneMargin = 8;
  l.top = 13;
  l.height = space + 2 * l.laneMargin + (lanes.VisibleCount() - 1) * lanes.interval;
  l.bottom = l.top + l.height;
  SplitLanesEqually(l, lanes);
  return l;
}

TEST(Lanes, ThreeLanesShareOneHundredPixelsAsThirtyThreeEachTheLastAtTheBottom) {
  LaneSet lanes;
  lanes.channels = 3;
  lanes.visible = {true, true, true};
  const Layout l = WithLaneSpace(100, lanes);
  EXPECT_EQ(l.laneSpace, 100);
  EXPECT_EQ(l.laneHeight[0], 33);
  EXPECT_EQ(l.laneHeight[1], 33);
  EXPECT_EQ(l.laneHeight[2], 33);
  // The last lane is aligned to the bottom and the gap above it takes the remainder.
  const auto tops = LaneTops(l, lanes);
  EXPECT_EQ(tops[0], l.top + 8);
  EXPECT_EQ(tops[1], tops[0] + 33 + 4);
  EXPECT_EQ(tops[2] + 33, l.top + l.height - 8);
  EXPECT_EQ(tops[2] - (tops[1] + 33), 4 + 1);
}

TEST(Lanes, HiddenChannelsGetNoLaneAndTheOthersShareTheSpace) {
  LaneSet lanes;
  lanes.channels = 3;
  lanes.visible = {true, false, true};
  const Layout l = WithLaneSpace(100, lanes);
  EXPECT_EQ(l.laneHeight[0], 50);
  EXPECT_EQ(l.laneHeight[1], 0);
  EXPECT_EQ(LaneTops(l, lanes)[1], -1);
}

TEST(Columns, APositionMapsToTheNearestColumnClampedAndTheLastColumnReachesTheViewEnd) {
  EXPECT_EQ(PositionToColumn(0, 0, 1000, 100), 0);
  EXPECT_EQ(PositionToColumn(1000, 0, 1000, 100), 100);
  EXPECT_EQ(PositionToColumn(14, 0, 1000, 100), 1);    // 1.4 + 0.5
  EXPECT_EQ(PositionToColumn(-500, 0, 1000, 100), 0);  // before the view
  EXPECT_EQ(PositionToColumn(7, 3, 3, 100), 0);        // an empty view
  // 1000 frames over 3 columns: the span used is 1001 frames, yet column 3 is the end.
  EXPECT_EQ(ColumnToPosition(3, 500, 1500, 3), 1500);
  EXPECT_EQ(ColumnToPosition(2, 500, 1500, 3), 500 + 667);
}

TEST(Amplitude, FullScaleKeepsSevenPercentHeadroomAndTheVerticalZoomScalesAndClips) {
  // 32767 x 1.07 fills half of a 100-pixel lane; full scale is 93 % of it.
  EXPECT_EQ(AmplitudeToRow(32767, 0, 100, 16, 100), 50 - 46);
  EXPECT_EQ(AmplitudeToRow(-32768, 0, 100, 16, 100), 50 + 46);
  // Half the zoom doubles the height, clipped at the lane edge.
  EXPECT_EQ(AmplitudeToRow(32767, 10, 100, 16, 50), 10);
  EXPECT_EQ(AmplitudeToRow(-32768, 10, 100, 16, 50), 10 + 100);
  // 24-bit values are scaled as widened to 32 bits.
  EXPECT_EQ(AmplitudeToRow(0x7FFFFF << 8, 0, 100, 24, 100), 50 - 46);
  // The zoom is stored between 10 and 1000.
  EXPECT_EQ(ClampVerticalZoom(0), 10);
  EXPECT_EQ(ClampVerticalZoom(1), 1);
  EXPECT_EQ(ClampVerticalZoom(5000), 1000);
}

TEST(Slider, TheSliderStandsForTheViewIsAtLeastThreePixelsWideAndCoversAnEmptyDocument) {
  Layout l = Make(Input(400, 200));  // W = 349
  ComputeSlider(l, 1000, 2000, 4000);
  EXPECT_EQ(l.sliderLeft, l.left + 87);  // 87.25 + 0.5
  EXPECT_EQ(l.sliderWidth, 87);
  ComputeSlider(l, 0, 1, 1000000);
  EXPECT_EQ(l.sliderWidth, 3);
  ComputeSlider(l, 0, 0, 0);
  EXPECT_EQ(l.sliderLeft, l.left);
  EXPECT_EQ(l.sliderWidth, l.width);
}

TEST(Selection, ASelectionsColumnsAreClippedToTheViewAndEmptyWhollyOutsideIt) {
  struct Case {
    int64_t start, end;
    int first, last;
  };
  // The view is frames 500 ... 1000 over 100 columns.
  for (const Case& c : {Case{100, 3000, 0, 100}, Case{10, 20, 0, 0}, Case{2000, 3000, 0, 0}}) {
    Layout l;
    l.width = 100;
    ComputeSelectionColumns(l, c.start, c.end, 500, 1000);
    EXPECT_EQ(l.selectionStart, c.first) << c.start;
    EXPECT_EQ(l.selectionEnd, c.last) << c.start;
  }
  Layout inside;
  inside.width = 100;
  ComputeSelectionColumns(inside, 250, 500, 0, 1000);
  EXPECT_EQ(inside.selectionStart, 25);
  EXPECT_EQ(inside.selectionEnd, 50);
}

}  // namespace
}  // namespace qel::view

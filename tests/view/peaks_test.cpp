// Column data: the softened peaks, the detail level, frame skipping, columns
// from the document's peak overview and the curve of zoomed-in views.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "view/memory_source.h"
#include "view/peaks.h"
#include "view/spline.h"

namespace qel::view {
namespace {

using test::MemorySource;

TEST(HalfwayRule, ALouderValueOfTheSameSignMovesHalfwayAndOneOfTheOtherSignReplaces) {
  struct Case {
    bool maximum;
    std::vector<int32_t> values;
    int32_t expected;
  };
  for (const Case& c :
       {Case{true, {100, 300, 500}, 350},  // 100, then 200, then 350
        Case{true, {-50, 80}, 80}, Case{false, {-100, -300, 40}, -200},
        // halving rounds toward zero and does not overflow
        Case{true, {2147483647 - 2, 2147483647}, 2147483646}, Case{false, {-3, -6}, -4}}) {
    int32_t m = kEmptyColumn;
    for (int32_t v : c.values)
      c.maximum ? AddToMaximum(m, v) : AddToMinimum(m, v);
    EXPECT_EQ(m, c.expected) << c.values.back();
  }
}

TEST(DetailLevel, LevelsFollowTheBytesPerColumnPerChannelAndLevelOnesBoundTheSampleRate) {
  // 1500 frames of 16-bit mono over 100 columns: x = 30 bytes per column.
  EXPECT_EQ(DetailLevel(3000, 100, 1, 44100), 1);  // below 40
  EXPECT_EQ(DetailLevel(3000, 100, 1, 11025), 0);  // not below 25
  EXPECT_EQ(DetailLevel(2000, 100, 1, 11025), 1);  // x = 20
  EXPECT_EQ(DetailLevel(30, 100, 1, 44100), 2);    // x = 0.3
  EXPECT_EQ(DetailLevel(10, 100, 1, 44100), 3);    // x = 0.1
  EXPECT_EQ(DetailLevel(2, 100, 1, 44100), 4);     // x = 0.02
  EXPECT_EQ(DetailLevel(0, 100, 1, 44100), 0);
  EXPECT_EQ(DetailLevel(4000, 100, 2, 44100), 1);  // stereo: x = 20
  // At most about five hundred frames feed a column.
  EXPECT_EQ(FrameStep(999), 1);
  EXPECT_EQ(FrameStep(1000), 2);
  EXPECT_EQ(FrameStep(82000), 164);
}

// Columns from 16-bit mono samples in memory, read from the first frame to `endByte`.
ColumnData PeaksOf(const std::vector<int32_t>& samples, int width, int64_t endByte) {
  MemorySource s;
  s.Load(44100, 16, 1, samples);
  ColumnData data;
  data.Reset(1, width);
  auto reader = s.OpenSamples();
  EXPECT_TRUE(PeaksFromSamples(*reader, s.doc, 0, endByte, data));
  return data;
}

TEST(SamplePeaks, EachFrameGoesToItsNearestColumnAndTheLastFrameToColumnW) {
  // 11 frames over 10 columns: frame i lands in column i.
  const ColumnData data = PeaksOf({0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 10, 20);
  for (int c = 0; c <= 10; ++c) {
    EXPECT_EQ(data.channels[0].maximum[c], 10 * c) << c;
    EXPECT_EQ(data.channels[0].minimum[c], 10 * c) << c;
  }
}

TEST(SamplePeaks, OnlyEveryKthFrameIsExamined) {
  // 1000 frames in one column: every second frame is examined.
  std::vector<int32_t> samples(1001, 0);
  samples[1] = 30000;  // skipped
  samples[2] = 100;
  EXPECT_EQ(PeaksOf(samples, 1, 2000).channels[0].maximum[0], 100);
}

TEST(SamplePeaks, AFailedReadLeavesTheRemainingColumnsEmpty) {
  struct Failing : SampleReader {
    size_t ReadAt(int64_t, void*, size_t) override { return 0; }
  } failing;
  MemorySource s;
  s.Load(44100, 16, 1, std::vector<int32_t>(1000));
  ColumnData data;
  data.Reset(1, 10);
  EXPECT_FALSE(PeaksFromSamples(failing, s.doc, 0, 2000, data));
  EXPECT_TRUE(data.channels[0].Empty(3));
}

// An overview of interleaved 16-bit samples.
document::PeakOverview OverviewOf(const std::vector<int16_t>& samples, int channels = 1) {
  document::PeakOverviewBuilder builder(channels, 16);
  builder.Feed(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2);
  return builder.Finish();
}

constexpr int64_t kBlock = document::PeakOverview::kBlockFrames;

TEST(OverviewPeaks, ColumnsOfWholeBlocksGetTheTrueExtremesOfTheirFrames) {
  std::vector<int16_t> samples(40 * kBlock);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>((i * 7919) % 20001 - 10000);
  ColumnData data;
  data.Reset(1, 10);  // four blocks per column
  ColumnsFromOverview(OverviewOf(samples), 0, 40 * kBlock, data);
  for (int c = 0; c < 10; ++c) {
    const auto first = samples.begin() + c * 4 * kBlock;
    const auto [lo, hi] = std::minmax_element(first, first + 4 * kBlock);
    EXPECT_EQ(data.channels[0].maximum[c], *hi) << c;
    EXPECT_EQ(data.channels[0].minimum[c], *lo) << c;
  }
  EXPECT_TRUE(data.channels[0].Empty(10));
}

TEST(OverviewPeaks, APeakShowsInOneColumnOnlyWhenColumnsDoNotStartOnBlockBoundaries) {
  std::vector<int16_t> samples(100 * kBlock, 0);
  samples[37 * kBlock + 5] = 20000;
  const document::PeakOverview overview = OverviewOf(samples);
  ColumnData data;
  data.Reset(1, 33);  // about three blocks per column, starting anywhere in a block
  ColumnsFromOverview(overview, 301, 100 * kBlock - 77, data);
  int showing = 0;
  for (int c = 0; c < 33; ++c)
    if (data.channels[0].maximum[c] == 20000) ++showing;
  EXPECT_EQ(showing, 1);
}

TEST(OverviewPeaks, ChannelsAreReadEachFromItsOwnPeaks) {
  std::vector<int16_t> stereo(2 * 8 * kBlock);
  for (size_t i = 0; i < stereo.size(); i += 2) {
    stereo[i] = 100;
    stereo[i + 1] = -300;
  }
  ColumnData data;
  data.Reset(2, 4);
  ColumnsFromOverview(OverviewOf(stereo, 2), 0, 8 * kBlock, data);
  EXPECT_EQ(data.channels[0].maximum[2], 100);
  EXPECT_EQ(data.channels[1].minimum[2], -300);
}

// Column data with one value per listed column.
ColumnData Points(int width, std::initializer_list<std::pair<int, int32_t>> points) {
  ColumnData d;
  d.Reset(1, width);
  for (auto [c, v] : points)
    d.channels[0].maximum[c] = d.channels[0].minimum[c] = v;
  return d;
}

TEST(Curve, TheSplineRunsThroughThePointsUpToTheSecondToLast) {
  ColumnData d = Points(12, {{0, 0}, {4, 400}, {8, 0}, {10, 1000}});
  BuildCurves(d, 16, kCurveSpline);
  const auto& curve = d.channels[0].curve;
  EXPECT_EQ(curve[2], 200);
  EXPECT_EQ(curve[4], 400);
  EXPECT_EQ(curve[6], 200);
  EXPECT_EQ(curve[8], 0);
  // After the second-to-last point: the quadratic through the last three.
  EXPECT_EQ(curve[10], 1000);
  EXPECT_EQ(curve[9], static_cast<int32_t>(Quadratic(4, 400, 8, 0, 10, 1000, 9)));
}

TEST(Curve, TheValueOfAColumnIsItsLouderPeak) {
  ColumnData d;
  d.Reset(1, 3);
  auto& cc = d.channels[0];
  cc.maximum = {10, 10, 10, 10};
  cc.minimum = {-5, -50, -10, -5};
  BuildCurves(d, 16, kCurveQuadratic);
  EXPECT_EQ(cc.curve[0], 10);
  EXPECT_EQ(cc.curve[1], -50);
  EXPECT_EQ(cc.curve[2], 10);  // a tie goes to the maximum
}

TEST(Curve, TheQuadraticModeClampsInsideFullScale) {
  ColumnData d = Points(6, {{0, 0}, {1, 32000}, {2, 32000}, {3, 0}});
  BuildCurves(d, 16, kCurveQuadratic);
  for (int32_t v : d.channels[0].curve) {
    EXPECT_LE(v, 32766);
    EXPECT_GE(v, -32766);
  }
  EXPECT_EQ(d.channels[0].curve[5], -32766);  // the parabola falls off beyond the last point
}

TEST(Curve, FewerThanFourPointsUseTheQuadraticEvenInSplineMode) {
  ColumnData spline = Points(4, {{0, 0}, {2, 100}, {4, 0}});
  ColumnData quad = spline;
  BuildCurves(spline, 16, kCurveSpline);
  BuildCurves(quad, 16, kCurveQuadratic);
  EXPECT_EQ(spline.channels[0].curve, quad.channels[0].curve);
  EXPECT_EQ(spline.channels[0].curve[1], 75);
}

}  // namespace
}  // namespace qel::view

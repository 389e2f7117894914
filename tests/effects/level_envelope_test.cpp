// The envelope's gain curve read off a constant signal: it passes through its
// points whatever the spline, holds flat outside them and never goes negative.
#include <gtest/gtest.h>

#include <vector>

#include "level_signals.h"
#include "processors.h"

namespace {

using namespace leveltest;
using qel::effects::MakeEnvelope;

constexpr double kDc = 1000;

struct Points {
  std::vector<double> ms;
  std::vector<double> percent;
};

// The gain of every frame (in percent), read off a constant input.
std::vector<double> Curve(const Points& points, int shape, size_t frames, double steepness = 0,
                          double selectionMs = 0) {
  auto p = MakeEnvelope();
  EXPECT_TRUE(p->SetParam(1, points.ms));
  EXPECT_TRUE(p->SetParam(2, points.percent));
  EXPECT_TRUE(p->SetParam(3, static_cast<double>(shape)));
  EXPECT_TRUE(p->SetParam(4, steepness));
  EXPECT_TRUE(p->SetParam(5, selectionMs));
  auto out = RunBlocks(*p, Constant(kDc, frames), 4410);
  for (double& x : out)
    x *= 100 / kDc;
  return out;
}

size_t Frame(double ms) {
  return static_cast<size_t>(ms * kRate / 1000);
}

// Points on whole frames: 10 ms is 441 frames.
const Points kSix{{0, 10, 20, 30, 40, 50}, {100, 50, 150, 20, 80, 100}};

class EnvelopeShape : public testing::TestWithParam<int> {};

TEST_P(EnvelopeShape, PassesThroughEachPoint) {
  const auto gain = Curve(kSix, GetParam(), 2500);
  for (size_t i = 0; i < kSix.ms.size(); ++i) {
    EXPECT_NEAR(gain[Frame(kSix.ms[i])], kSix.percent[i], 1e-7) << kSix.ms[i] << " ms";
  }
}

TEST_P(EnvelopeShape, HoldsTheLastLevelAfterTheLastPoint) {
  const Points points{{5, 20}, {100, 40}};
  const auto gain = Curve(points, GetParam(), 2000);
  EXPECT_NEAR(gain[Frame(20) + 1], 40.0, 1e-9);
  EXPECT_NEAR(gain[1999], 40.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(AllShapes, EnvelopeShape, testing::Values(0, 1, 2, 3, 4));

TEST(Envelope, HoldsTheFirstLevelBeforeTheFirstPoint) {
  const auto gain = Curve({{10, 20}, {30, 60}}, 0, 1000);
  EXPECT_NEAR(gain[0], 30.0, 1e-9);
  EXPECT_NEAR(gain[Frame(10) - 1], 30.0, 1e-9);
}

TEST(Envelope, TheLinearShapeIsStraightBetweenPoints) {
  const auto gain = Curve({{0, 40}, {10, 200}}, 0, 2000);
  EXPECT_NEAR(gain[Frame(20)], 105.0, 1e-9);
  EXPECT_NEAR(gain[Frame(10)], 57.5, 1e-9);
}

TEST(Envelope, AkimaWithFewerThanFivePointsStillPassesThroughThem) {
  const Points points{{0, 10, 20}, {100, 30, 70}};
  const auto gain = Curve(points, 2, 1000);
  for (size_t i = 0; i < points.ms.size(); ++i) {
    EXPECT_NEAR(gain[Frame(points.ms[i])], points.percent[i], 1e-7);
  }
}

TEST(Envelope, ACubicOvershootBelowZeroIsHeldAtSilence) {
  // A natural cubic through 100, 0, 0, 100 dips below zero between the zeros.
  const auto gain = Curve({{0, 10, 20, 30}, {100, 0, 0, 100}}, 1, 1500);
  EXPECT_EQ(gain[Frame(15)], 0.0);
  for (double g : gain)
    ASSERT_GE(g, 0.0);
}

TEST(Envelope, TheSelectionDurationStretchesThePointTimesOverTheRange) {
  // The points were drawn over 2000 ms; the range is 1000 frames long.
  const auto gain = Curve({{0, 1000, 2000}, {0, 100, 0}}, 0, 1000, 0, 2000);
  EXPECT_NEAR(gain[500], 100.0, 1e-9);
  EXPECT_NEAR(gain[250], 50.0, 1e-9);
}

TEST(Envelope, MismatchedArraysLeaveTheGainAtUnity) {
  auto p = MakeEnvelope();
  ASSERT_TRUE(p->SetParam(1, std::vector<double>{0, 10, 20}));
  ASSERT_TRUE(p->SetParam(2, std::vector<double>{50, 60}));
  const auto out = RunBlocks(*p, Constant(kDc, 1000), 1000);
  for (double x : out)
    ASSERT_EQ(x, kDc);
}

TEST(Envelope, RejectsAnUnknownShapeAndANonFiniteTime) {
  auto p = MakeEnvelope();
  EXPECT_FALSE(p->SetParam(3, 5.0));
  EXPECT_FALSE(p->SetParam(1, std::vector<double>{0, std::nan("")}));
}

}  // namespace

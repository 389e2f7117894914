// The FFT filter measured with steady sines against the curve through its
// points, and with impulses for its alignment.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "effects/spectral_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace spectral_test;

enum Spline { kLinear = 0, kCubic = 1, kAkima = 2, kMonotone = 3 };
enum Window { kRectangular = 0, kHann = 1, kHamming = 2, kBlackman = 3 };

std::unique_ptr<Processor> FftFilter(const std::vector<double>& hz, const std::vector<double>& db,
                                     int spline = kCubic, double size = 4096, int window = kHann) {
  auto p = MakeFftFilter();
  EXPECT_TRUE(p->SetParam(1, hz));
  EXPECT_TRUE(p->SetParam(2, static_cast<double>(spline)));
  EXPECT_TRUE(p->SetParam(3, size));
  EXPECT_TRUE(p->SetParam(4, db));
  EXPECT_TRUE(p->SetParam(5, static_cast<double>(window)));
  Start(*p);
  return p;
}

TEST(FftFilter, EverySplineMeetsEachGainPointWithinOneDecibel) {
  const std::vector<double> hz = {100, 400, 1000, 4000, 10000};
  const std::vector<double> db = {0, -12, 6, -6, 3};
  for (int spline : {kLinear, kCubic, kAkima, kMonotone}) {
    for (std::size_t i = 0; i < hz.size(); ++i) {
      auto p = FftFilter(hz, db, spline);
      EXPECT_NEAR(MeasuredGainDb(*p, hz[i]), db[i], 1.0)
          << "spline " << spline << ", " << hz[i] << " Hz";
    }
  }
}

TEST(FftFilter, CurveIsHeldFlatBelowTheFirstPointAndAboveTheLast) {
  auto low = FftFilter({200, 5000}, {-6, 4}, kLinear);
  EXPECT_NEAR(MeasuredGainDb(*low, 50), -6, 0.2);
  auto high = FftFilter({200, 5000}, {-6, 4}, kLinear);
  EXPECT_NEAR(MeasuredGainDb(*high, 15000), 4, 0.2);
}

TEST(FftFilter, LinearSplineIsAStraightLineInLogFrequency) {
  // 1 kHz lies halfway between 100 Hz and 10 kHz on a log axis.
  auto p = FftFilter({100, 10000}, {0, -20}, kLinear);
  EXPECT_NEAR(MeasuredGainDb(*p, 1000), -10, 0.2);
}

TEST(FftFilter, RectangularWindowMeetsTheCurveExactlyAtTheTransformBins) {
  // Bin 100 of 4096 at 44.1 kHz; forty whole cycles fit in 1638.4 frames,
  // so 4096·4 frames hold a whole number of them.
  const double hz = 100 * kRate / 4096;
  const double expected = -20 * std::log2(hz / 500) / 2;  // on the line 500 Hz 0 dB → 2 kHz −20 dB
  auto p = FftFilter({500, 2000}, {0, -20}, kLinear, 4096, kRectangular);
  EXPECT_NEAR(MeasuredGainDb(*p, hz, End::kMarked, 4 * 4096), expected, 0.01);
}

TEST(FftFilter, BlackmanWindowKeepsAStopbandBelowMinus55DecibelsAnOctaveFromAStepEdge) {
  auto p = FftFilter({1000, 1100}, {0, -100}, kLinear, 4096, kBlackman);
  EXPECT_LT(MeasuredGainDb(*p, 2200), -55);
}

TEST(FftFilter, ImpulseComesOutCentredOnItsOwnPositionAndSymmetric) {
  const std::size_t at = 20000;
  const std::vector<double> in = Impulse(kSecond, at);
  auto p = FftFilter({100, 1000, 5000}, {-10, 0, -20}, kCubic);
  const std::vector<double> out = RunBlocks(*p, in, 10000);
  ASSERT_EQ(out.size(), in.size());
  const double peak = MaxAbs(out);
  EXPECT_EQ(std::abs(out[at]), peak);
  for (std::size_t k = 1; k < 2048; ++k)
    ASSERT_NEAR(out[at + k], out[at - k], 1e-9 * peak) << "tap " << k;
}

TEST(FftFilter, OutputDoesNotDependOnHowTheRangeIsSplitIntoBlocks) {
  std::vector<double> in = Noise(kSecond + 333, 5000);
  auto whole = FftFilter({100, 1000, 5000}, {-10, 0, -20});
  const std::vector<double> reference = RunBlocks(*whole, in, in.size());
  for (std::size_t block : {1, 7, 4410}) {
    auto p = FftFilter({100, 1000, 5000}, {-10, 0, -20});
    const std::vector<double> split = RunBlocks(*p, in, block);
    ASSERT_EQ(split.size(), reference.size()) << "blocks of " << block;
    EXPECT_LE(MaxAbsDifference(split, reference), 1e-9 * MaxAbs(reference))
        << "blocks of " << block;
  }
}

TEST(FftFilter, RunEndingAtRangeFramesWithoutAMarkGivesTheSameWholeOutput) {
  const std::vector<double> in = Noise(kSecond, 5000);
  auto marked = FftFilter({300, 3000}, {6, -6});
  const std::vector<double> reference = RunBlocks(*marked, in, 10000);
  auto p = FftFilter({300, 3000}, {6, -6});
  const std::vector<double> out = RunBlocks(*p, in, 10000, End::kRangeOnly);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(MaxAbsDifference(out, reference), 1e-9 * MaxAbs(reference));
}

TEST(FftFilter, NoPointsLeaveTheSignalUnchanged) {
  const std::vector<double> in = Noise(kSecond, 5000);
  auto p = FftFilter({}, {});
  const std::vector<double> out = RunBlocks(*p, in, 4410);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(MaxAbsDifference(out, in), 1e-9 * 32768);
}

TEST(FftFilter, RangeShorterThanHalfTheResponseComesBackWholeAndInPlace) {
  // One point: a flat −6 dB, so the output is the input times 0.501.
  const std::vector<double> in = Noise(100, 5000);
  auto p = FftFilter({1000}, {-6});
  const std::vector<double> out = RunBlocks(*p, in, 30);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(MaxAbsDifference(out, ScaledDb(in, -6)), 1e-9 * 32768);
}

TEST(FftFilter, GainChangedBetweenBlocksGlidesToTheNewLevelWithoutAStep) {
  const double amplitude = 10000;
  const std::vector<double> in = Sine(1000, 3 * kSecond, amplitude);
  auto p = FftFilter({1000}, {0});
  std::vector<double> out;
  p->Process({in.data(), kSecond}, {0, 3 * kSecond, false}, out);
  ASSERT_TRUE(p->SetParam(4, std::vector<double>{-12}));
  for (std::size_t at = kSecond; at < in.size(); at += kSecond) {
    std::vector<double> piece;
    p->Process({in.data() + at, kSecond},
               {static_cast<int64_t>(at), 3 * kSecond, at + kSecond == in.size()}, piece);
    out.insert(out.end(), piece.begin(), piece.end());
  }
  ASSERT_EQ(out.size(), in.size());
  const double sineStep = amplitude * 2 * std::numbers::pi * 1000 / kRate;
  EXPECT_LE(LargestStep(out, kSecond - 4096, kSecond + 4096), 1.01 * sineStep);
  EXPECT_NEAR(Db(std::abs(Bin(out, 1000, 2 * kSecond)) / std::abs(Bin(in, 1000, 2 * kSecond))), -12,
              0.05);
}

TEST(FftFilter, InvalidParametersAreRefusedAndLeaveTheFilterAsItWas) {
  auto p = MakeFftFilter();
  ASSERT_TRUE(p->SetParam(1, std::vector<double>{1000}));
  ASSERT_TRUE(p->SetParam(4, std::vector<double>{-6}));
  EXPECT_FALSE(p->SetParam(1, 1000.0));
  EXPECT_FALSE(p->SetParam(4, std::vector<double>{std::numeric_limits<double>::quiet_NaN()}));
  EXPECT_FALSE(p->SetParam(2, std::vector<double>{1}));
  EXPECT_FALSE(p->SetParam(3, std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(p->SetParam(5, std::u16string(u"1")));
  EXPECT_FALSE(p->SetParam(6, 1.0));
  Start(*p);
  EXPECT_NEAR(MeasuredGainDb(*p, 3000), -6, 0.05);
}

}  // namespace
}  // namespace qel::effects

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

TEST(FftFilter, TheLinearSplineIsStraightInLogFrequencyAndHeldFlatBeyondTheEndPoints) {
  struct Case {
    std::vector<double> hz, db;
    double at, expected;
  };
  // 1 kHz lies halfway between 100 Hz and 10 kHz on a log axis.
  for (const Case& c :
       {Case{{200, 5000}, {-6, 4}, 50, -6}, Case{{100, 10000}, {0, -20}, 1000, -10}}) {
    auto p = FftFilter(c.hz, c.db, kLinear);
    EXPECT_NEAR(MeasuredGainDb(*p, c.at), c.expected, 0.2) << c.at << " Hz";
  }
}

TEST(FftFilter, RectangularWindowMeetsTheCurveExactlyAtTheTransformBins) {
  // Bin 100 of 4096 at 44.1 kHz; forty whole cycles fit in 1638.4 frames,
  // so 4096·4 frames hold a whole number of them.
  const double hz = 100 * kRate / 4096;
  const double expected = -20 * std::log2(hz / 500) / 2;  // on the line 500 Hz 0 dB → 2 kHz −20 dB
  auto p = FftFilter({500, 2000}, {0, -20}, kLinear, 4096, kRectangular);
  EXPECT_NEAR(MeasuredGainDb(*p, hz, End::kMarked, 4 * 4096), expected, 0.01);
}

TEST(FftFilter, ImpulseComesOutCentredOnItsOwnPositionAndSymmetric) {
  const std::size_t at = 20000;
  const std::vector<double> in = Impulse(kSecond, at);
  auto p = FftFilter({100, 1000, 5000}, {-10, 0, -20}, kCubic);
  const std::vector<double> out = RunBlocks(*p, in, 10000);
  ASSERT_EQ(out.size(), in.size());
  const double peak = Peak(out);
  EXPECT_EQ(std::abs(out[at]), peak);
  for (std::size_t k = 1; k < 2048; ++k)
    ASSERT_NEAR(out[at + k], out[at - k], 1e-9 * peak) << "tap " << k;
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
  ExpectGlideToMinus12Db(*FftFilter({1000}, {0}), 4, 4096, End::kMarked);
}

}  // namespace
}  // namespace qel::effects

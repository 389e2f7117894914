// The FIR filter measured with steady sines against its points, and with
// impulses for its linear phase and its alignment. The control does not mark
// this kind's last block: runs here end at rangeFrames unless said otherwise.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "effects/spectral_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace spectral_test;

std::unique_ptr<Processor> FirFilter(const std::vector<double>& hz, const std::vector<double>& db,
                                     const std::vector<double>& weights = {}, double quality = 4) {
  auto p = MakeFirFilter();
  EXPECT_TRUE(p->SetParam(1, hz));
  EXPECT_TRUE(p->SetParam(2, db));
  EXPECT_TRUE(p->SetParam(3, weights));
  EXPECT_TRUE(p->SetParam(4, quality));
  Start(*p);
  return p;
}

// The position of the largest |value|.
std::size_t PeakAt(const std::vector<double>& s) {
  std::size_t at = 0;
  for (std::size_t i = 1; i < s.size(); ++i)
    if (std::abs(s[i]) > std::abs(s[at])) at = i;
  return at;
}

TEST(FirFilter, MeetsEachGainPointWithinOneDecibel) {
  const std::vector<double> hz = {200, 1000, 3000, 8000};
  const std::vector<double> db = {0, -12, 6, -6};
  for (std::size_t i = 0; i < hz.size(); ++i) {
    auto p = FirFilter(hz, db);
    EXPECT_NEAR(MeasuredGainDb(*p, hz[i], End::kRangeOnly), db[i], 1.0) << hz[i] << " Hz";
  }
}

TEST(FirFilter, ImpulseResponseIsSymmetricAboutTheImpulsesOwnPosition) {
  const std::size_t at = 20000;
  const std::vector<double> in = Impulse(kSecond, at);
  auto p = FirFilter({200, 1000, 3000}, {-6, 0, -20});
  const std::vector<double> out = RunBlocks(*p, in, 10000, End::kRangeOnly);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(PeakAt(out), at);
  const double peak = Peak(out);
  for (std::size_t k = 1; k <= 512; ++k)
    ASSERT_NEAR(out[at + k], out[at - k], 1e-9 * peak) << "tap " << k;
}

TEST(FirFilter, WithoutAKnownEndEachBlockGivesAsManyFramesDelayedByHalfTheTaps) {
  // 2^(quality + 6) + 1 taps, quality above eight acting as eight: a delay of
  // 128 frames at quality 2 and 8192 at 20.
  const std::vector<double> in = Impulse(kSecond, 1000);
  for (const auto& [quality, delay] : {std::pair{2.0, 128u}, {20.0, 8192u}}) {
    auto p = FirFilter({200, 1000, 3000}, {-6, 0, -20}, {}, quality);
    std::vector<double> out;
    for (std::size_t at = 0; at < in.size(); at += 4410) {
      std::vector<double> piece;
      p->Process({in.data() + at, 4410}, {static_cast<int64_t>(at), 0, false}, piece);
      ASSERT_EQ(piece.size(), 4410u);
      out.insert(out.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(PeakAt(out), 1000u + delay) << "quality " << quality;
  }
}

TEST(FirFilter, HeavierWeightBeyondAPointKeepsThatBandCloserToTheCurve) {
  // 65 taps cannot follow a 20 dB drop within 300 Hz. Weight 100 on the upper
  // point (and so on the whole band above it) moves the error below 1 kHz.
  const std::vector<double> hz = {1000, 1300};
  const std::vector<double> db = {0, -20};
  auto worstError = [&](const std::vector<double>& weights) {
    double worst = 0;
    for (double f : {1600.0, 2000.0, 2500.0, 3000.0, 5000.0}) {
      auto p = FirFilter(hz, db, weights, 0);
      worst = std::max(worst, std::abs(MeasuredGainDb(*p, f, End::kRangeOnly) + 20));
    }
    return worst;
  };
  EXPECT_LT(worstError({1, 100}), 0.25 * worstError({1, 1}));
}

TEST(FirFilter, RangeShorterThanTheDelayComesBackWholeAndInPlace) {
  // One point: a flat −6 dB, so the output is the input times 0.501.
  const std::vector<double> in = Noise(50, 5000);
  auto p = FirFilter({1000}, {-6});
  const std::vector<double> out = RunBlocks(*p, in, 20, End::kRangeOnly);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(MaxAbsDifference(out, ScaledDb(in, -6)), 1e-9 * 32768);
}

TEST(FirFilter, GainChangedBetweenBlocksGlidesToTheNewLevelWithoutAStep) {
  // The shortest filter: the fade is all that hides the switch.
  ExpectGlideToMinus12Db(*FirFilter({1000}, {0}, {}, 0), 2, 2048, End::kRangeOnly);
}

}  // namespace
}  // namespace qel::effects

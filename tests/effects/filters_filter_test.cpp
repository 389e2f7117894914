// The single filters measured on steady sines against the response of the
// cookbook transfer functions, written out here independently.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "effects/filters_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace filters_test;

enum Type { kLowPass = 1, kHighPass, kNotch, kBandPass, kLowShelf, kHighShelf, kPeaking };

// The cookbook response of `type` at hz; steepness is Q, or S for the shelves.
double CookbookDb(int type, double f0, double steepness, double gainDb, double hz) {
  const double w0 = 2 * std::numbers::pi * f0 / kRate;
  const double c = std::cos(w0), s = std::sin(w0);
  const double a = std::pow(10.0, gainDb / 40);
  const double alpha = s / (2 * steepness);
  switch (type) {
    case kLowPass:
      return BiquadDb((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha, hz);
    case kHighPass:
      return BiquadDb((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha, hz);
    case kNotch:
      return BiquadDb(1, -2 * c, 1, 1 + alpha, -2 * c, 1 - alpha, hz);
    case kBandPass:
      return BiquadDb(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha, hz);
    case kPeaking:
      return PeakingDb(f0, steepness, gainDb, hz);
    default:
      break;
  }
  const double k = 2 * std::sqrt(a) * s / 2 * std::sqrt((a + 1 / a) * (1 / steepness - 1) + 2);
  if (type == kLowShelf) {
    return BiquadDb(a * ((a + 1) - (a - 1) * c + k), 2 * a * ((a - 1) - (a + 1) * c),
                    a * ((a + 1) - (a - 1) * c - k), (a + 1) + (a - 1) * c + k,
                    -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - k, hz);
  }
  return BiquadDb(a * ((a + 1) + (a - 1) * c + k), -2 * a * ((a - 1) + (a + 1) * c),
                  a * ((a + 1) + (a - 1) * c - k), (a + 1) - (a - 1) * c + k,
                  2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - k, hz);
}

// A started filter; a NaN steepness leaves P2 unset.
std::unique_ptr<Processor> Filter(int type, double f0, double steepness, double gainDb = 0) {
  auto p = MakeFilter();
  EXPECT_TRUE(p->SetParam(1, f0));
  if (!std::isnan(steepness)) {
    EXPECT_TRUE(p->SetParam(2, steepness));
  }
  EXPECT_TRUE(p->SetParam(3, static_cast<double>(type)));
  EXPECT_TRUE(p->SetParam(4, gainDb));
  Start(*p);
  return p;
}

// Checks the gain at each frequency (a fresh run each) against the cookbook.
void ExpectCookbookResponse(int type, double f0, double steepness, double gainDb,
                            std::initializer_list<double> frequencies) {
  const double reference = std::isnan(steepness) ? 1.0 : steepness;  // the shelves' default S
  for (double hz : frequencies) {
    auto p = Filter(type, f0, steepness, gainDb);
    EXPECT_NEAR(MeasuredGainDb(*p, hz), CookbookDb(type, f0, reference, gainDb, hz), 0.02)
        << "at " << hz << " Hz";
  }
}

constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();

TEST(Filter, EachTypeFollowsTheCookbookResponseBelowAtAndAboveItsCorner) {
  SCOPED_TRACE("low pass");
  ExpectCookbookResponse(kLowPass, 1000, 0.7071, 0, {125, 1000, 8000});
  SCOPED_TRACE("high pass");
  ExpectCookbookResponse(kHighPass, 500, 2, 0, {60, 500, 4000});
  SCOPED_TRACE("notch");
  ExpectCookbookResponse(kNotch, 1000, 4, 0, {500, 950, 2000});
  SCOPED_TRACE("band pass");
  ExpectCookbookResponse(kBandPass, 2000, 3, 0, {500, 2000, 6000});
  SCOPED_TRACE("low shelf with the default slope");
  ExpectCookbookResponse(kLowShelf, 300, kUnset, 9, {50, 300, 3000});
  SCOPED_TRACE("high shelf");
  ExpectCookbookResponse(kHighShelf, 4000, 0.5, -12, {500, 4000, 15000});
  SCOPED_TRACE("peaking");
  ExpectCookbookResponse(kPeaking, 1500, 1.41, 6, {300, 1500, 6000});
}

// Properties of the designs that do not need the formulas.

// Clamping.

TEST(Filter, ACutoffAbove49PercentOfTheRateAQAbove100AndAShelfSlopeAbove1ActAtTheirLimits) {
  auto cutoff = Filter(kLowPass, 30000, 2);
  EXPECT_NEAR(MeasuredGainDb(*cutoff, 15000), CookbookDb(kLowPass, 0.49 * kRate, 2, 0, 15000),
              0.02);
  auto q = Filter(kBandPass, 1000, 1000);
  EXPECT_NEAR(MeasuredGainDb(*q, 1010), CookbookDb(kBandPass, 1000, 100, 0, 1010), 0.02);
  auto slope = Filter(kHighShelf, 3000, 4, 12);
  EXPECT_NEAR(MeasuredGainDb(*slope, 1500), CookbookDb(kHighShelf, 3000, 1, 12, 1500), 0.02);
}

// Running.

TEST(Filter, OutputDoesNotDependOnHowTheRangeIsSplitIntoBlocks) {
  const std::vector<double> in = Noise(44100, 7000);
  const std::vector<double> whole = RunBlocks(*Filter(kPeaking, 800, 3, 6), in, in.size());
  for (std::size_t block : {1, 7, 4410}) {
    const std::vector<double> split = RunBlocks(*Filter(kPeaking, 800, 3, 6), in, block);
    ASSERT_EQ(split.size(), whole.size());
    EXPECT_LE(MaxAbsDifference(split, whole), 1e-9 * 20000) << "blocks of " << block;
  }
}

TEST(Filter, ChangingTheCutoffBetweenBlocksKeepsTheFilterMemory) {
  // A cosine at the block edge: were the memory cleared, the output would
  // restart from zero while the input stands at its peak.
  const double amplitude = 10000;
  const std::vector<double> in = Sine(100, 88200, amplitude, std::numbers::pi / 2);
  auto changed = Filter(kLowPass, 1000, kUnset);
  std::vector<double> out;
  changed->Process({in.data(), 44100}, {0, 88200, false}, out);
  ASSERT_TRUE(changed->SetParam(1, 1100.0));
  out.clear();
  changed->Process({in.data() + 44100, 44100}, {44100, 88200, true}, out);
  const std::vector<double> steady = RunBlocks(*Filter(kLowPass, 1100, kUnset), in, 88200);
  const std::vector<double> after(steady.begin() + 44100, steady.end());
  // The two cutoffs differ in phase at 100 Hz by about 0.013 rad.
  EXPECT_LT(MaxAbsDifference(out, after), 0.03 * amplitude);
}

TEST(Filter, OutputSettlesToExactZerosAfterTheInputFallsSilent) {
  std::vector<double> in = Noise(44100, 7000);
  in.resize(4 * 44100, 0.0);
  const std::vector<double> out = RunBlocks(*Filter(kLowPass, 1000, kUnset), in, 44100);
  for (std::size_t i = 3 * 44100; i < out.size(); ++i)
    ASSERT_EQ(out[i], 0.0) << "frame " << i;
}

TEST(Filter, InvalidParametersAreRefusedAndLeaveTheFilterAsItWas) {
  auto p = MakeFilter();
  ASSERT_TRUE(p->SetParam(1, 1000.0));
  ASSERT_TRUE(p->SetParam(3, static_cast<double>(kHighPass)));
  EXPECT_FALSE(p->SetParam(3, 8.0));
  EXPECT_FALSE(p->SetParam(1, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(p->SetParam(1, std::vector<double>{200}));
  EXPECT_FALSE(p->SetParam(5, 1.0));
  Start(*p);
  EXPECT_NEAR(MeasuredGainDb(*p, 250), CookbookDb(kHighPass, 1000, 0.70710678, 0, 250), 0.02);
}

}  // namespace
}  // namespace qel::effects

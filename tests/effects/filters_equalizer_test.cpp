// The equalizer measured at its band centres on steady sines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "effects/filters_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace filters_test;

std::unique_ptr<Processor> Equalizer(const std::vector<double>& gainsDb,
                                     const std::vector<double>& frequencies) {
  auto p = MakeEqualizer();
  EXPECT_TRUE(p->SetParam(1, gainsDb));
  EXPECT_TRUE(p->SetParam(2, frequencies));
  EXPECT_TRUE(p->SetParam(3, 2.0));
  Start(*p);
  return p;
}

// The gain at every centre is the gain asked for there, within 0.1 dB.
void ExpectCentreGains(const std::vector<double>& gainsDb, const std::vector<double>& frequencies) {
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    auto p = Equalizer(gainsDb, frequencies);
    EXPECT_NEAR(MeasuredGainDb(*p, frequencies[i]), gainsDb[i], 0.1)
        << "at " << frequencies[i] << " Hz";
  }
}

const std::vector<double> kOctaves = {31, 62, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

TEST(Equalizer, LoneBandIsAnOctaveWideCookbookPeakingFilter) {
  const double w0 = 2 * std::numbers::pi * 1000 / kRate;
  const double q = 1 / (2 * std::sinh(std::numbers::ln2 / 2 * w0 / std::sin(w0)));
  for (double hz : {250, 1000, 4000}) {
    auto p = Equalizer({6}, {1000});
    EXPECT_NEAR(MeasuredGainDb(*p, hz), PeakingDb(1000, q, 6, hz), 0.02) << "at " << hz << " Hz";
  }
}

TEST(Equalizer, OctaveAndUnevenBandsReachTheirGainsAtTheirCentres) {
  ExpectCentreGains({12, -6, 3, -12, 9, 0, -3, 6, -9, 12}, kOctaves);
  ExpectCentreGains({-8, 10, 4, -6}, {90, 400, 520, 7000});
}

// The width of each band follows the spacing of its neighbours: wide enough
// to keep a plateau between equal boosts, narrow enough that a lone boost
// stays between its neighbours.

TEST(Equalizer, EqualBoostsOnOctaveBandsHoldWithinOneAndAHalfDecibelsBetweenCentres) {
  const std::vector<double> gains(kOctaves.size(), 6);
  for (double hz : {177, 707, 2828}) {
    auto p = Equalizer(gains, kOctaves);
    EXPECT_NEAR(MeasuredGainDb(*p, hz), 6, 1.5) << "at " << hz << " Hz";
  }
}

TEST(Equalizer, LoneBoostInAThirdOctaveBankStaysBetweenItsNeighbours) {
  const std::vector<double> centres = {500, 630, 800, 1000, 1250, 1600, 2000};
  const std::vector<double> gains = {0, 0, 0, 12, 0, 0, 0};
  // Midway between the first and second neighbour on each side.
  for (double hz : {710, 1414}) {
    auto p = Equalizer(gains, centres);
    EXPECT_NEAR(MeasuredGainDb(*p, hz), 0, 0.15) << "at " << hz << " Hz";
  }
}

TEST(Equalizer, ExtraListEntriesBandsNearNyquistAndFlatBandsChangeNothing) {
  struct Bank {
    std::vector<double> gains, frequencies;
  };
  const std::vector<double> in = Noise(44100, 7000);
  // Gains beyond the shorter list are ignored; bands above 49 % of the rate
  // are left out; empty or flat banks pass the input.
  for (const auto& [bank, same] :
       {std::pair<Bank, Bank>{{{6, -6, 9}, {500, 2000}}, {{6, -6}, {500, 2000}}},
        {{{6, 12}, {500, 30000}}, {{6}, {500}}},
        {{{0, 0, 0}, {100, 1000, 10000}}, {{}, {}}}}) {
    EXPECT_EQ(RunBlocks(*Equalizer(bank.gains, bank.frequencies), in, 4410),
              RunBlocks(*Equalizer(same.gains, same.frequencies), in, 4410))
        << bank.frequencies.back() << " Hz";
  }
  EXPECT_EQ(RunBlocks(*Equalizer({}, {}), in, 4410), in);
}

TEST(Equalizer, BandsAddedBetweenBlocksJoinAsThoughTheyHadBeenFlatSoFar) {
  // A cosine at the block edge: bands starting from cleared memory would
  // ring while the input stands at its peak.
  const double amplitude = 10000;
  const std::vector<double> in = Sine(100, 88200, amplitude, std::numbers::pi / 2);
  auto p = Equalizer({}, {});
  std::vector<double> out;
  p->Process({in.data(), 44100}, {0, 88200, false}, out);
  ASSERT_TRUE(p->SetParam(1, std::vector<double>{1, -1}));
  ASSERT_TRUE(p->SetParam(2, std::vector<double>{4000, 8000}));
  out.clear();
  p->Process({in.data() + 44100, 44100}, {44100, 88200, true}, out);
  const std::vector<double> steady = RunBlocks(*Equalizer({1, -1}, {4000, 8000}), in, 88200);
  const std::vector<double> after(steady.begin() + 44100, steady.end());
  EXPECT_LT(MaxAbsDifference(out, after), 0.005 * amplitude);
}

TEST(Equalizer, InvalidParametersAreRefusedAndLeaveTheBankAsItWas) {
  auto p = MakeEqualizer();
  ASSERT_TRUE(p->SetParam(1, std::vector<double>{-6}));
  ASSERT_TRUE(p->SetParam(2, std::vector<double>{1000}));
  EXPECT_FALSE(p->SetParam(1, 6.0));
  EXPECT_FALSE(p->SetParam(2, std::vector<double>{std::numeric_limits<double>::quiet_NaN()}));
  EXPECT_FALSE(p->SetParam(4, 1.0));
  Start(*p);
  EXPECT_NEAR(MeasuredGainDb(*p, 1000), -6, 0.02);
}

}  // namespace
}  // namespace qel::effects

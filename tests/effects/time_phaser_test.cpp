// The phaser's notches: where the analytic all-pass chain puts them, how they
// move with the LFO, and what the P9 feedback switch does.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

constexpr double kFs = 44100;
constexpr double kPi = std::numbers::pi;

// The documented chain: N stages of (a + z⁻¹)/(1 + a·z⁻¹), a = (t − 1)/(t + 1),
// t = tan(π·fb/fs); out = dry·x + wet·w, w = A^N·(x + feedback·z⁻¹·w).
double Response(double hz, double breakHz, int stages, double dry, double wet,
                double feedback = 0) {
  const double t = std::tan(kPi * breakHz / kFs);
  const double a = (t - 1) / (t + 1);
  const std::complex<double> z1 = std::polar(1.0, -2 * kPi * hz / kFs);
  const std::complex<double> chain = std::pow((a + z1) / (1.0 + a * z1), stages);
  return std::abs(dry + wet * chain / (1.0 - feedback * z1 * chain));
}

// Where N stages turn the phase by (2k + 1)·180°: tan(ω/2) = t·tan((2k + 1)π/2N).
double NotchHz(double breakHz, int stages, int k) {
  const double t = std::tan(kPi * breakHz / kFs);
  return kFs / kPi * std::atan(t * std::tan((2 * k + 1) * kPi / (2 * stages)));
}

double SteadyGain(Processor& p, double hz) {
  const auto out = RunBlocks(p, Sine(hz, 1000, 44100));
  return Amplitude(out, hz, 22050, 22050) / 1000;
}

Settings Static(double breakHz, int stages) {
  return {{2, 0}, {3, 0}, {4, breakHz}, {5, 50}, {6, 50}, {7, 100}, {8, double(stages)}};
}

TEST(Phaser, AFrozenSweepPutsNotchesWhereTheChainTurnsTheToneByOddHalfTurns) {
  // With the wet signal inverted the notches sit where the chain turns by
  // whole turns: four stages make one at exactly −360°, the break frequency.
  // Odd stage counts round up to even: five stages notch as six.
  auto inverted = Static(1500, 4);
  inverted.push_back({10, -1});
  for (const auto& [settings, hz] : {std::pair{Static(1000, 4), NotchHz(1000, 4, 1)},
                                     {inverted, 1500.0},
                                     {Static(1000, 5), NotchHz(1000, 6, 0)}}) {
    auto p = Make(MakePhaser, settings);
    EXPECT_LT(Db(SteadyGain(*p, hz)), -60.0) << hz << " Hz";
  }
  // Between notches the level is the analytic one (within 0.01 dB).
  auto p = Make(MakePhaser, Static(1000, 4));
  EXPECT_NEAR(Db(SteadyGain(*p, 3000)), Db(Response(3000, 1000, 4, 0.5, 0.5)), 0.01);
}

TEST(Phaser, TheNotchFollowsTheSineSweepAtTheLfoSpeed) {
  // 0.25 Hz, depth 100 % (five octaves up from 500 Hz), four stages. The tone
  // sits on the first notch of the chain at the middle of the sweep
  // (500·2^2.5 Hz), which the LFO passes at t = 1 s and 3 s: cancelled there
  // (below −40 dB), and at t = 0.5, 2 and 4 s (breaks 500·2^(5·0.146), 500·32,
  // 500 Hz) at the analytic chain's level within 0.5 dB. 20 ms windows.
  const double tone = NotchHz(500 * std::exp2(2.5), 4, 0);
  auto p = Make(MakePhaser, {{2, 0.25}, {3, 0}, {4, 500}, {5, 50}, {6, 50}, {7, 100}, {8, 4}});
  const auto out = RunBlocks(*p, Sine(tone, 1000, static_cast<size_t>(4.2 * kFs)));
  auto around = [&](double seconds) {
    return Db(Amplitude(out, tone, static_cast<size_t>((seconds - 0.01) * kFs), 882) / 1000);
  };
  EXPECT_LT(around(1), -40.0);
  EXPECT_LT(around(3), -40.0);
  const double eighth = (1 - std::cos(kPi / 4)) / 2;
  EXPECT_NEAR(around(0.5), Db(Response(tone, 500 * std::exp2(5 * eighth), 4, 0.5, 0.5)), 0.5);
  EXPECT_NEAR(around(2), Db(Response(tone, 500 * 32, 4, 0.5, 0.5)), 0.5);
  EXPECT_NEAR(around(4), Db(Response(tone, 500, 4, 0.5, 0.5)), 0.5);
}

// P9 receives the percentage and then the on/off switch.
double GainWithP9(const std::vector<double>& p9, double hz) {
  auto settings = Static(800, 6);
  for (double v : p9)
    settings.push_back({9, v});
  auto p = Make(MakePhaser, settings);
  return SteadyGain(*p, hz);
}

TEST(Phaser, APercentageThenMinusOneSwitchesFeedbackOnAtThatPercentageAndThenZeroOff) {
  struct Case {
    std::vector<double> p9;
    double feedback;
  };
  // Zero then minus one is feedback on at zero percent.
  for (const Case& c : {Case{{40, -1}, 0.4}, Case{{40, 0}, 0.0}, Case{{40, -1, 0, -1}, 0.0}}) {
    EXPECT_NEAR(Db(GainWithP9(c.p9, 1200)), Db(Response(1200, 800, 6, 0.5, 0.5, c.feedback)), 0.01)
        << c.p9.size() << " values ending " << c.p9[1];
  }
}

}  // namespace
}  // namespace qel::effects::time_test

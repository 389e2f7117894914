// Flanger, chorus and vibrato: the swept delay measured on impulses and the
// frequency modulation measured on a sine.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

// The documented sweep: delay = base + sweep·(1 − cos(2π(rate·t + phase)))/2.
double SweptDelay(double baseSamples, double sweepSamples, double rateHz, double phaseDeg, double n,
                  double fs) {
  const double p = rateHz * n / fs + phaseDeg / 360;
  return baseSamples + sweepSamples * (1 - std::cos(2 * std::numbers::pi * p)) / 2;
}

// Sum and centre of mass of x over [from, to).
std::pair<double, double> Cluster(const std::vector<double>& x, size_t from, size_t to) {
  double sum = 0, moment = 0;
  for (size_t i = from; i < to; ++i) {
    sum += x[i];
    moment += x[i] * static_cast<double>(i);
  }
  return {sum, moment / sum};
}

TEST(Flanger, TheEchoDelayFollowsTheSweepAtTheSweepRate) {
  // Base 1 ms, sweep 4 ms, 2 Hz, starting phase 30°, mix 100 %, no feedback.
  // An impulse every 1024 samples: its echo (cubic read: weights summing to
  // 1 with their centre at the read point) lands where n − delay(n) hits it,
  // within 0.1 sample.
  const double fs = 44100;
  auto p = Make(MakeModulatedDelay, {{1, 1}, {2, 100}, {3, 0}, {4, 4}, {5, 2}, {6, 30}, {7, 1}});
  std::vector<double> in(88200, 0.0);
  for (size_t n = 0; n + 1024 < in.size(); n += 1024)
    in[n] = 1.0;
  const auto out = RunBlocks(*p, in);
  int checked = 0;
  for (size_t n0 = 0; n0 + 1024 < in.size(); n0 += 1024) {
    double n = static_cast<double>(n0);
    for (int it = 0; it < 20; ++it)
      n = static_cast<double>(n0) + SweptDelay(44.1, 176.4, 2, 30, n, fs);
    const auto [sum, centre] = Cluster(out, n0 + 1, n0 + 1000);
    // The moving read point squeezes or stretches the echo by 1/(1 − delay').
    const double slope =
        (SweptDelay(44.1, 176.4, 2, 30, n + 0.5, fs) - SweptDelay(44.1, 176.4, 2, 30, n - 0.5, fs));
    EXPECT_NEAR(sum, 1 / (1 - slope), 0.002) << "impulse at " << n0;
    EXPECT_NEAR(centre, n, 0.1) << "impulse at " << n0;
    ++checked;
  }
  EXPECT_EQ(checked, 86);
}

TEST(Chorus, ThreeVoicesEchoAThirdEachAtDelaysAThirdOfACycleApart) {
  // Frozen LFO at 90°: the voices read at phases 90°, 210° and 330°.
  const double fs = 48000;
  auto p =
      Make(MakeModulatedDelay, {{1, 10}, {2, 60}, {3, 0}, {4, 20}, {5, 0}, {6, 90}, {7, 2}}, fs);
  const auto out = RunBlocks(*p, Impulse(3000, 1));
  for (double phase : {90.0, 210.0, 330.0}) {
    const double delay = SweptDelay(480, 960, 0, phase, 0, fs);
    const auto lo = static_cast<size_t>(delay) - 4;
    const auto [sum, centre] = Cluster(out, lo, lo + 10);
    EXPECT_NEAR(sum, 0.2, 1e-9) << phase;
    EXPECT_NEAR(centre, delay, 1e-6) << phase;
  }
}

TEST(Chorus, ModeOtherThanFlangerOrChorusIsRefused) {
  auto p = MakeModulatedDelay();
  EXPECT_FALSE(p->SetParam(7, 3.0));
  EXPECT_FALSE(p->SetParam(7, 0.0));
  EXPECT_TRUE(p->SetParam(7, 2.0));
}

// Bessel function of the first kind by its series (β up to a few).
double BesselJ(int order, double x) {
  double sum = 0, term = std::pow(x / 2, order) / std::tgamma(order + 1);
  for (int m = 0; m < 40; ++m) {
    sum += term;
    term *= -(x / 2) * (x / 2) / ((m + 1.0) * (m + 1.0 + order));
  }
  return sum;
}

TEST(Vibrato, SidebandsAtTheRateFollowTheBesselLevelsOfTheAskedPitchDeviation) {
  // 1 % peak deviation of a 1 kHz tone at 5 Hz: modulation index
  // β = 1000·0.01/5 = 2, sideband k relative to the carrier J_k(2)/J_0(2).
  auto p = Make(MakeVibrato, {{1, 1}, {2, 5}, {3, 0}});
  const auto out = RunBlocks(*p, Sine(1000, 1000, 2 * 44100));
  const double carrier = Bin(out, 1000, 4410, 44100);
  for (int k : {1, 2}) {
    const double expected = BesselJ(k, 2) / BesselJ(0, 2);
    EXPECT_NEAR(Bin(out, 1000 + 5 * k, 4410, 44100) / carrier, expected, 0.02 * expected) << k;
    EXPECT_NEAR(Bin(out, 1000 - 5 * k, 4410, 44100) / carrier, expected, 0.02 * expected) << k;
  }
}

}  // namespace
}  // namespace qel::effects::time_test

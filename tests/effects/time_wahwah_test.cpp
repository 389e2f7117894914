// The wah-wah's band-pass: its shape when frozen and its centre following the
// LFO.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

constexpr double kFs = 44100;

// The trapezoidal SVF's band-pass is the bilinear image, pre-warped at the
// centre, of (s/Q)/(s² + s/Q + 1).
double BandPass(double hz, double centreHz, double q) {
  const double g = std::tan(std::numbers::pi * centreHz / kFs);
  const std::complex<double> s(0, std::tan(std::numbers::pi * hz / kFs) / g);
  return std::abs((s / q) / (s * s + s / q + 1.0));
}

TEST(WahWah, WithoutSweepItIsABandPassOfUnityPeakAndTheGivenQ) {
  for (double hz : {400.0, 800.0, 1600.0}) {
    auto p = Make(MakeWahWah, {{1, 0}, {2, 0}, {4, 3}, {5, 800}});
    const auto out = RunBlocks(*p, Sine(hz, 1000, 22050));
    const double gain = Amplitude(out, hz, 11025, 11025) / 1000;
    EXPECT_NEAR(Db(gain), Db(BandPass(hz, 800, 3)), 0.01) << hz << " Hz";
  }
}

TEST(WahWah, AToneIsLoudestEachTimeTheSweptCentreCrossesIt) {
  // Base 300 Hz, depth 100 % (four octaves), 1 Hz from phase 0: the centre is
  // at 300·2^(4·(1 − cos 2πt)/2) and passes 1200 Hz at t = 0.25 s and 0.75 s
  // of each second. Envelope in 2 ms windows; peaks within 10 ms of those
  // times, at the unity centre gain within 1 dB.
  auto p = Make(MakeWahWah, {{1, 100}, {2, 1}, {3, 0}, {4, 5}, {5, 300}});
  const auto out = RunBlocks(*p, Sine(1200, 1000, 2 * 44100));
  const size_t window = 88;
  for (double expected : {0.25, 0.75, 1.25, 1.75}) {
    double best = 0, bestTime = 0;
    for (double t = expected - 0.2; t < expected + 0.2; t += 0.001) {
      const double a = Amplitude(out, 1200, static_cast<size_t>(t * kFs) - window / 2, window);
      if (a > best) best = a, bestTime = t;
    }
    EXPECT_NEAR(bestTime, expected, 0.01);
    EXPECT_NEAR(Db(best / 1000), 0.0, 1.0) << expected;
  }
}

}  // namespace
}  // namespace qel::effects::time_test

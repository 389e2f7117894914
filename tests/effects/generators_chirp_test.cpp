// The chirp: its frequency at the start and end of the sweep, the law between
// them, and the end frequency held afterwards.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/generators_signals.h"

namespace qel::effects::generators_test {
namespace {

// The frequency between the first two rising zero crossings at or after
// `from` seconds, and between the last two before `to` seconds.
double FrequencyAfter(std::span<const double> x, double from) {
  const auto t = RisingCrossings(x.subspan(Frames(from)));
  return kRate / (t[1] - t[0]);
}
double FrequencyBefore(std::span<const double> x, double to) {
  const auto t = RisingCrossings(x.first(Frames(to)));
  return kRate / (t[t.size() - 1] - t[t.size() - 2]);
}

// 200 Hz to 2 kHz over 5 s, then 1 s more.
std::vector<double> Sweep(double law) {
  return Generate({{7, 200}, {8, 2000}, {13, 5000}, {15, law}, {2, -6}, {1, kChirp}}, Frames(6));
}

TEST(GeneratorChirp, StartsAtTheStartFrequencyAndReachesAndHoldsTheEndOneAtTheChirpTime) {
  const auto x = Sweep(0);
  EXPECT_NEAR(FrequencyAfter(x, 0), 200.0, 2.0);
  EXPECT_NEAR(FrequencyBefore(x, 5), 2000.0, 20.0);
  EXPECT_NEAR(FrequencyHz(std::span(x).subspan(Frames(5.01))), 2000.0, 0.1);
  // The level stays while sweeping.
  EXPECT_NEAR(SineLevelDb(std::span(x).first(Frames(5))), -6.0, 0.05);
}

TEST(GeneratorChirp, SweepsExponentiallyWhenBothFrequenciesArePositiveOrLinearlyWhenAsked) {
  // Halfway in time is halfway in octaves, √(200·2000) ≈ 632 Hz, or in hertz.
  EXPECT_NEAR(FrequencyAfter(Sweep(0), 2.5), std::sqrt(200.0 * 2000.0), 6.3);
  EXPECT_NEAR(FrequencyAfter(Sweep(1), 2.5), 1100.0, 11.0);
}

TEST(GeneratorChirp, SweepsLinearlyDownToZero) {
  const auto x = Generate({{7, 1000}, {8, 0}, {13, 2000}, {2, -6}, {1, kChirp}}, Frames(2));
  EXPECT_NEAR(FrequencyAfter(x, 0), 1000.0, 10.0);
  EXPECT_NEAR(FrequencyAfter(x, 1), 500.0, 5.0);
}

}  // namespace
}  // namespace qel::effects::generators_test

// The noise colours: spectral slope per octave, RMS level and the seed.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/generators_signals.h"

namespace qel::effects::generators_test {
namespace {

// Five frequencies an octave apart: four octaves.
const std::vector<double> kOctaves = {250, 500, 1000, 2000, 4000};

// The PSD at each octave relative to the first, in dB, minus `slope` dB per
// octave: all zeros for a perfect slope.
std::vector<double> DeviationFromSlope(double type, double slope) {
  const auto x = Generate({{2, -6}, {1, type}}, Frames(20));
  const auto power = SpectrumAt(x, kOctaves);
  std::vector<double> deviation;
  for (size_t k = 0; k < power.size(); ++k)
    deviation.push_back(Db(power[k] / power[0]) - slope * static_cast<double>(k));
  return deviation;
}

TEST(GeneratorNoise, WhiteIsFlatPinkFalls3AndBrown6DecibelsPerOctaveWithin1DecibelOver4Octaves) {
  for (const auto& [type, slope] : {std::pair{kWhite, 0.0}, {kPink, -3.01}, {kBrown, -6.02}})
    for (double d : DeviationFromSlope(type, slope))
      EXPECT_NEAR(d, 0.0, 1.0) << "type " << type;
}

TEST(GeneratorNoise, WhiteIsUniformUpToThePeakLevel) {
  const auto x = Generate({{2, -6}, {1, kWhite}}, Frames(10));
  const double a = DbToAmplitude(-6);
  EXPECT_NEAR(Peak(x), a, a * 1e-4);
  EXPECT_NEAR(Rms(x), a / std::sqrt(3.0), a * 0.005);
}

TEST(GeneratorNoise, PinkAndBrownHaveAnRmsTwelveDecibelsUnderThePeakLevel) {
  for (double type : {kPink, kBrown}) {
    const auto x = Generate({{2, -6}, {1, type}}, Frames(20));
    EXPECT_NEAR(20 * std::log10(Rms(x) / DbToAmplitude(-6)), -12.04, 0.3) << "type " << type;
  }
}

TEST(GeneratorNoise, DifferentSeedsGiveUncorrelatedNoise) {
  const auto a = Generate({{14, 0}, {1, kWhite}}, Frames(2));
  const auto b = Generate({{14, 1}, {1, kWhite}}, Frames(2));
  double ab = 0;
  for (size_t i = 0; i < a.size(); ++i)
    ab += a[i] * b[i];
  const double correlation = ab / (Rms(a) * Rms(b) * static_cast<double>(a.size()));
  EXPECT_LT(std::abs(correlation), 0.01);  // 4.8 standard errors at 88200 frames
}

}  // namespace
}  // namespace qel::effects::generators_test

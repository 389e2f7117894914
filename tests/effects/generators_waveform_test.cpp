// The periodic signals: frequency, peak level and RMS of each waveform, the
// amplitude modulation, the fade-in and the dry/wet mix.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/generators_signals.h"

namespace qel::effects::generators_test {
namespace {

TEST(GeneratorSine, HasTheRequestedFrequencyAndPeaksAtTheRequestedLevelInDecibelsReFullScale) {
  const auto x = Generate({{7, 1000}, {2, -6}, {1, kSine}}, Frames(2));
  EXPECT_NEAR(FrequencyHz(x), 1000.0, 0.01);
  EXPECT_NEAR(Peak(x), DbToAmplitude(-6), DbToAmplitude(-6) * 1e-3);
}

TEST(GeneratorSine, LevelIsRelativeToTheFullScaleOfTheStream) {
  // A 24-bit stream given undivided: full scale 2^23.
  constexpr double kFull24 = 8388608;
  auto p = Make({{7, 440}, {2, -20}, {1, kSine}}, kFull24);
  const auto x = Generate(*p, {Frames(1)});
  EXPECT_NEAR(Peak(x), kFull24 * 0.1, kFull24 * 0.1 * 1e-3);
}

TEST(GeneratorWaveforms, SquareSawtoothAndTrianglePeakAtTheLevelWithTheirOwnRms) {
  struct Case {
    double type, hz, peakTolerance, rmsShare, rmsTolerance;  // tolerances as shares of the peak
  };
  // The square sits at ± the peak (equal time at each); the sawtooth's ramp
  // reaches −peak and +peak less one step; the triangle at 441 Hz has 100
  // samples a period, so its tip is sampled.
  for (const Case& c :
       {Case{kSquare, 1000, 1e-12, 1, 1e-3}, Case{kSawtooth, 1000, 0.05, 1 / std::sqrt(3.0), 2e-3},
        Case{kTriangle, 441, 1e-6, 1 / std::sqrt(3.0), 2e-3}}) {
    const auto x = Generate({{7, c.hz}, {2, -6}, {1, c.type}}, Frames(1));
    const double a = DbToAmplitude(-6);
    EXPECT_NEAR(Peak(x), a, a * c.peakTolerance) << "type " << c.type;
    EXPECT_NEAR(Rms(x), a * c.rmsShare, a * c.rmsTolerance) << "type " << c.type;
  }
}

TEST(GeneratorModulation, DepthSixtyPercentSwingsTheEnvelopeFromFullToFortyPercent) {
  const auto x = Generate({{7, 1000}, {2, -6}, {5, 4}, {6, 60}, {11, -1}, {1, kSine}}, Frames(1));
  // The envelope: the peak of each 1 ms (one carrier period).
  double highest = 0, lowest = 1e300;
  for (size_t from = 0; from + 44 <= x.size(); from += 44) {
    const double peak = Peak(std::span(x).subspan(from, 44));
    highest = std::max(highest, peak);
    lowest = std::min(lowest, peak);
  }
  const double a = DbToAmplitude(-6);
  EXPECT_NEAR(highest, a, a * 0.01);
  EXPECT_NEAR(lowest, 0.4 * a, a * 0.01);
}

TEST(GeneratorFade, StartsAtTheFadeLevelAndRisesInDecibelsLinearlyToTheLevel) {
  // −46 dBFS up to −6 dBFS over 1 s: 40 dB per second.
  const auto x =
      Generate({{7, 1000}, {2, -6}, {9, -46}, {10, 1000}, {12, -1}, {1, kSine}}, Frames(1.5));
  auto levelAt = [&](double seconds) {
    const size_t centre = Frames(seconds);
    return SineLevelDb(std::span(x).subspan(centre - 220, 441));
  };
  EXPECT_NEAR(levelAt(0.25), -36.0, 0.1);
  EXPECT_NEAR(levelAt(0.5), -26.0, 0.1);
  EXPECT_NEAR(levelAt(0.75), -16.0, 0.1);
  EXPECT_NEAR(levelAt(1.25), -6.0, 0.01);
  // It starts at the fade level: the first quarter period rises to the first
  // peak, 0.25 ms into the fade.
  EXPECT_NEAR(Peak(std::span(x).first(22)), DbToAmplitude(-46), DbToAmplitude(-46) * 0.01);
}

TEST(GeneratorMix, GivesDryTimesInputPlusWetTimesSignal) {
  auto p = Make({{7, 1000}, {2, 0}, {3, 50}, {4, 25}, {1, kSquare}});
  const std::vector<double> in(1000, 1000.0);
  std::vector<double> out;
  p->Process(in, BlockInfo{0, 0, false}, out);
  ASSERT_EQ(out.size(), in.size());
  for (double v : out)
    ASSERT_TRUE(std::abs(v - 8692) < 1e-9 || std::abs(v + 7692) < 1e-9) << v;
}

TEST(GeneratorSilence, GivesZerosAsLongAsTheChunk) {
  const auto x = Generate({{2, 0}, {1, kSilence}}, 12345);
  ASSERT_EQ(x.size(), 12345u);
  EXPECT_EQ(Peak(x), 0.0);
}

}  // namespace
}  // namespace qel::effects::generators_test

// The noise remover measured on a tone in white noise whose first second is
// noise alone, so the quietest frames of the selection are pure noise.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "effects/spectral_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace spectral_test;

constexpr double kToneHz = 1000;
constexpr double kToneAmplitude = 8000;
constexpr double kNoiseSigma = 300;

std::unique_ptr<Processor> Remover(double reductionDb, double fftLength = 2048) {
  auto p = MakeNoiseRemover();
  EXPECT_TRUE(p->SetParam(1, fftLength));
  EXPECT_TRUE(p->SetParam(2, reductionDb));
  Start(*p);
  return p;
}

// Four seconds of noise with the tone from the second second on.
std::vector<double> ToneInNoise() {
  std::vector<double> tone = Sine(kToneHz, 4 * kSecond, kToneAmplitude);
  std::fill(tone.begin(), tone.begin() + kSecond, 0.0);
  return Add(tone, Noise(4 * kSecond, kNoiseSigma));
}

// The noise power of `out` relative to `in` in dB, summed over frequencies
// from 3 to 15 kHz (far from the tone) in the third second.
double NoiseFloorChangeDb(const std::vector<double>& in, const std::vector<double>& out) {
  double before = 0;
  double after = 0;
  for (double hz = 3000; hz <= 15000; hz += 101) {
    before += HannPower(in, hz, 2 * kSecond);
    after += HannPower(out, hz, 2 * kSecond);
  }
  return 10 * std::log10(after / before);
}

TEST(NoiseRemover, EveryFftLengthLowersTheFloorByTheReductionLessThreeDecibelsAndKeepsTheTone) {
  // The floor is measured away from the tone.
  const std::vector<double> in = ToneInNoise();
  const std::vector<double> tone = Sine(kToneHz, 4 * kSecond, kToneAmplitude);
  for (const auto& [length, reduction] :
       {std::pair{2048.0, 40.0}, {256.0, 12.0}, {16384.0, 12.0}}) {
    auto p = Remover(reduction, length);
    const std::vector<double> out = MeasureAndRun(*p, in);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_LE(NoiseFloorChangeDb(in, out), -(reduction - 3))
        << length << ", " << reduction << " dB";
    // The tone keeps its level within 1 dB and its phase: one sample of
    // shift would turn a 1 kHz tone by 0.14 rad.
    const auto ratio = Bin(out, kToneHz, 2 * kSecond) / Bin(tone, kToneHz, 2 * kSecond);
    EXPECT_NEAR(Db(std::abs(ratio)), 0.0, 1.0) << length << ", " << reduction << " dB";
    EXPECT_NEAR(std::arg(ratio), 0.0, 0.02) << length << ", " << reduction << " dB";
  }
}

TEST(NoiseRemover, SilenceComesOutAsExactSilence) {
  const std::vector<double> in(2 * kSecond, 0.0);
  auto p = Remover(24);
  const std::vector<double> out = MeasureAndRun(*p, in);
  ASSERT_EQ(out.size(), in.size());
  for (std::size_t i = 0; i < out.size(); ++i)
    ASSERT_EQ(out[i], 0.0) << "frame " << i;
}

TEST(NoiseRemover, DigitallySilentFramesAreNotTakenForTheNoiseFloor) {
  // A second of exact zeros before the noisy part: were the zeros the
  // quietest frames, the learnt floor would be nothing and nothing reduced.
  std::vector<double> in(kSecond, 0.0);
  const std::vector<double> noisy = ToneInNoise();
  in.insert(in.end(), noisy.begin(), noisy.end());
  auto p = Remover(12);
  const std::vector<double> out = MeasureAndRun(*p, in);
  const std::vector<double> tail(out.begin() + kSecond, out.end());
  EXPECT_LE(NoiseFloorChangeDb(noisy, tail), -9.0);
}

TEST(NoiseRemover, RangeShorterThanOneFrameComesBackWholeAndFinite) {
  const std::vector<double> in = Noise(100, 1000);
  auto p = Remover(12, 4096);
  const std::vector<double> out = MeasureAndRun(*p, in);
  ASSERT_EQ(out.size(), in.size());
  for (double v : out)
    ASSERT_TRUE(std::isfinite(v));
  // Noise alone is all profile: it is reduced, not raised.
  double before = 0;
  double after = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    before += in[i] * in[i];
    after += out[i] * out[i];
  }
  EXPECT_LT(after, before);
}

}  // namespace
}  // namespace qel::effects

// The LADSPA SDK's example plug-ins, run through the host, do what their
// documentation says.
#include <gtest/gtest.h>

#include <cmath>

#include "ladspa_host.h"
#include "plugin_signals.h"

namespace qel::plugins {
namespace {

using test::Db;
using test::kFullScale;
using test::kRate;
using test::Rms;

class LadspaSdk : public ::testing::Test {
 protected:
  void SetUp() override { host_.Load(kLoadAll); }

  // The level change in dB that the plug-in gives a sine of `frequency`,
  // measured after `settle` frames.
  double GainDb(size_t plugin, double frequency, size_t settle) {
    const auto instance = host_.Instantiate(plugin, kRate, 1);
    std::vector<std::vector<double>> channels = {test::Sine(frequency, 10000.0, 44100)};
    const double before = Rms(channels[0], settle);
    test::Run(*instance, channels);
    return Db(Rms(channels[0], settle) / before);
  }

  LadspaHost host_{{"/usr/lib/ladspa"}};
};

TEST_F(LadspaSdk, LowPassFallsBySixDecibelsPerOctaveWellAboveItsCutoff) {
  // A one-pole filter: first order. Measured at ten and twenty times the
  // cutoff, past the filter's settling.
  const size_t lpf = test::Required(host_, "1041");
  host_.SetValue(lpf, test::ParamNamed(host_, lpf, "Cutoff Frequency (Hz)"), 200.0);
  const double at10 = GainDb(lpf, 2000.0, 4410);
  const double at20 = GainDb(lpf, 4000.0, 4410);
  EXPECT_NEAR(at10, -20.0, 0.5);
  EXPECT_NEAR(at10 - at20, 6.0, 0.3);
}

TEST_F(LadspaSdk, DelayLineDelaysAnImpulseByTheDelayTimeWithTheDryWetMix) {
  const size_t delay = test::Required(host_, "1043");
  host_.SetValue(delay, test::ParamNamed(host_, delay, "Delay (Seconds)"), 0.25);
  host_.SetValue(delay, test::ParamNamed(host_, delay, "Dry/Wet Balance"), 0.3);
  const auto instance = host_.Instantiate(delay, kRate, 1);
  // Longer than the host's chunks, so the delay runs across chunk edges.
  std::vector<std::vector<double>> channels = {std::vector<double>(44100, 0.0)};
  channels[0][100] = 10000.0;
  test::Run(*instance, channels);
  const size_t delayed = 100 + 11025;
  EXPECT_NEAR(channels[0][100], 7000.0, 0.01);
  EXPECT_NEAR(channels[0][delayed], 3000.0, 0.01);
  double elsewhere = 0.0;
  for (size_t i = 0; i < channels[0].size(); ++i) {
    if (i != 100 && i != delayed) elsewhere = std::max(elsewhere, std::abs(channels[0][i]));
  }
  EXPECT_LT(elsewhere, 1e-6);
}

TEST_F(LadspaSdk, WhiteNoiseStaysWithinItsAmplitude) {
  const size_t noise = test::Required(host_, "1050");
  host_.SetValue(noise, test::ParamNamed(host_, noise, "Amplitude"), 0.5);
  const auto instance = host_.Instantiate(noise, kRate, 2);
  std::vector<std::vector<double>> channels(2, std::vector<double>(8192, 0.0));
  test::Run(*instance, channels);
  for (const auto& channel : channels) {
    for (const double sample : channel)
      EXPECT_LE(std::abs(sample), 0.5 * kFullScale);
    // Uniform noise: an RMS of amplitude / sqrt(3).
    EXPECT_NEAR(Rms(channel) / (0.5 * kFullScale), 1.0 / std::sqrt(3.0), 0.02);
  }
}

TEST_F(LadspaSdk, SamplesKeepTheirValueThroughAUnityGain) {
  // The document's scale goes to ±1 for the plug-in and back: a 24-bit
  // scale loses nothing beyond float precision.
  const size_t amp = test::Required(host_, "1048");
  const auto instance = host_.Instantiate(amp, kRate, 1);
  const double fullScale = 8388608.0;
  std::vector<std::vector<double>> channels = {{-8388608.0, -1.0, 0.0, 1.0, 4194304.0}};
  const auto expected = channels[0];
  test::Run(*instance, channels, fullScale);
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_DOUBLE_EQ(channels[0][i], expected[i]);
}

}  // namespace
}  // namespace qel::plugins

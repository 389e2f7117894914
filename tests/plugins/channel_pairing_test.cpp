// How an instance meets a document's channels: mono plug-ins once per
// channel, stereo plug-ins on channel pairs with a lone last channel feeding
// both inputs, for both hosts alike.
#include <gtest/gtest.h>

#include "ladspa_host.h"
#include "lv2_host.h"
#include "plugin_signals.h"

namespace qel::plugins {
namespace {

using test::kRate;

// Three channels that differ everywhere.
std::vector<std::vector<double>> ThreeChannels() {
  return {test::Sine(300.0, 1000.0, 6000), test::Sine(700.0, 2000.0, 6000),
          test::Sine(1100.0, 3000.0, 6000)};
}

// The routing fixtures give left 2·L − R and right L + R.
void ExpectRoutedInPairs(Instance& instance) {
  auto channels = ThreeChannels();
  const auto in = channels;
  test::Run(instance, channels);
  for (size_t i = 0; i < in[0].size(); ++i) {
    ASSERT_NEAR(channels[0][i], 2.0 * in[0][i] - in[1][i], 1e-3) << "frame " << i;
    ASSERT_NEAR(channels[1][i], in[0][i] + in[1][i], 1e-3) << "frame " << i;
    // The lone third channel on both inputs: 2·x − x.
    ASSERT_NEAR(channels[2][i], in[2][i], 1e-3) << "frame " << i;
  }
}

TEST(ChannelPairing, ALadspaStereoPlugInTakesChannelsInPairsAndALoneLastChannelOnBothInputs) {
  LadspaHost host({test::kLadspaFixtures});
  host.Load(kLoadAll);
  const auto instance = host.Instantiate(test::Required(host, "9104"), kRate, 3);
  EXPECT_EQ(instance->Channels(), 3u);
  ExpectRoutedInPairs(*instance);
}

TEST(ChannelPairing, AnLv2StereoPlugInTakesChannelsInPairsAndALoneLastChannelOnBothInputs) {
  Lv2Host host;
  host.AddDirectories({test::kLv2Fixtures});
  host.Load(kLoadAll);
  const auto instance = host.Instantiate(test::Required(host, "urn:qel:test:routing"), kRate, 3);
  ExpectRoutedInPairs(*instance);
}

TEST(ChannelPairing, AMonoPlugInRunsAnInstanceOfItsOwnForEachChannel) {
  // Each channel's impulse comes back once, in its own channel only.
  LadspaHost host({"/usr/lib/ladspa"});
  host.Load(kLoadAll);
  const size_t delay = test::Required(host, "1043");
  host.SetValue(delay, 0, 0.01);  // 441 frames
  host.SetValue(delay, 1, 1.0);   // wet only
  const auto instance = host.Instantiate(delay, kRate, 2);
  std::vector<std::vector<double>> channels(2, std::vector<double>(2000, 0.0));
  channels[0][10] = 1000.0;
  channels[1][20] = 2000.0;
  test::Run(*instance, channels);
  EXPECT_NEAR(channels[0][451], 1000.0, 1e-3);
  EXPECT_NEAR(channels[1][461], 2000.0, 1e-3);
  EXPECT_NEAR(test::Rms(channels[0]) * std::sqrt(2000.0), 1000.0, 1e-3);
  EXPECT_NEAR(test::Rms(channels[1]) * std::sqrt(2000.0), 2000.0, 1e-3);
}

TEST(ChannelPairing, SeparateOutputBuffersLeaveTheInputAsItWas) {
  LadspaHost host({"/usr/lib/ladspa"});
  host.Load(kLoadAll);
  const size_t amp = test::Required(host, "1048");
  host.SetValue(amp, 0, 2.0);
  const auto instance = host.Instantiate(amp, kRate, 1);
  const std::vector<double> input = test::Sine(440.0, 1000.0, 10000);
  std::vector<double> output(input.size());
  const double* in[] = {input.data()};
  double* out[] = {output.data()};
  instance->Process(in, out, input.size(), test::kFullScale);
  EXPECT_EQ(input, test::Sine(440.0, 1000.0, 10000));
  for (size_t i = 0; i < input.size(); ++i)
    ASSERT_NEAR(output[i], 2.0 * input[i], 1e-3);
}

}  // namespace
}  // namespace qel::plugins

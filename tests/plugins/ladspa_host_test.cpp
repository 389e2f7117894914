// The LADSPA host: where it looks, what it lists, how it reads the range
// hints and how it starts plug-ins, with the SDK's plug-ins and the fixtures
// built beside these tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ladspa_host.h"
#include "plugin_signals.h"

namespace qel::plugins {
namespace {

using test::kRate;

std::vector<std::string> Ids(const Host& host) {
  std::vector<std::string> ids;
  for (size_t i = 0; i < host.Count(); ++i)
    ids.push_back(host.Id(i));
  return ids;
}

TEST(LadspaSearchPath, SplitsLadspaPathAtColonsSkippingEmptyParts) {
  const std::vector<std::filesystem::path> expected = {"/opt/a", "/opt/b"};
  EXPECT_EQ(LadspaSearchPath("/opt/a::/opt/b:"), expected);
}

TEST(LadspaSearchPath, FallsBackToTheDebianFoldersWhenUnsetOrEmpty) {
  const std::vector<std::filesystem::path> debian = {"/usr/lib/ladspa", "/usr/local/lib/ladspa",
                                                     "/usr/lib/x86_64-linux-gnu/ladspa"};
  EXPECT_EQ(LadspaSearchPath(nullptr), debian);
  EXPECT_EQ(LadspaSearchPath(""), debian);
}

TEST(LadspaDiscovery, ListsEveryDescriptorOfEveryLibraryWithNameAndMaker) {
  LadspaHost host({"/usr/lib/ladspa"});
  host.Load(kLoadAll);
  for (int id = 1041; id <= 1050; ++id)
    EXPECT_TRUE(host.Find(std::to_string(id))) << id;
  const size_t amp = test::Required(host, "1048");
  EXPECT_EQ(host.Name(amp), "Mono Amplifier");
  EXPECT_EQ(host.Maker(amp), "Richard Furse (LADSPA example plugins)");
  EXPECT_EQ(host.AudioInputs(amp), 1u);
  EXPECT_EQ(host.AudioOutputs(amp), 1u);
}

TEST(LadspaDiscovery, EffectsMethodKeepsOnlyPlugInsThatProcessAChannelOrAPair) {
  LadspaHost host({"/usr/lib/ladspa", test::kLadspaFixtures});
  host.Load(kLoadEffects);
  const auto ids = Ids(host);
  for (const char* kept : {"1041", "1042", "1043", "1048", "1049", "9104"}) {
    EXPECT_NE(std::find(ids.begin(), ids.end(), kept), ids.end()) << kept;
  }
  // Generators, and two inputs into one output.
  for (const char* left : {"1047", "1050", "1044", "9105"}) {
    EXPECT_EQ(std::find(ids.begin(), ids.end(), left), ids.end()) << left;
  }
}

TEST(LadspaDiscovery, SkippingInTheFoundCallbackLeavesOutExactlyThatPlugIn) {
  LadspaHost host({"/usr/lib/ladspa"});
  host.Load(kLoadAll);
  auto expected = Ids(host);
  expected.erase(std::find(expected.begin(), expected.end(), "1043"));
  std::vector<size_t> offered;
  host.Load(kLoadAll, [&](size_t index, const std::string& name) {
    offered.push_back(index);
    return name != "Simple Delay Line";
  });
  EXPECT_EQ(Ids(host), expected);
  EXPECT_EQ(offered.size(), expected.size() + 1);
  EXPECT_EQ(offered.back(), expected.size());
}

size_t CountIn(std::vector<std::filesystem::path> directories) {
  LadspaHost host(std::move(directories));
  return host.Load(kLoadAll);
}

TEST(LadspaDiscovery, ListsAPlugInOnceWhenItsFolderIsSearchedTwice) {
  EXPECT_EQ(CountIn({"/usr/lib/ladspa", "/usr/lib/ladspa/../ladspa"}),
            CountIn({"/usr/lib/ladspa"}));
}

TEST(LadspaDiscovery, PassesOverAMissingFolder) {
  EXPECT_EQ(CountIn({"/nonexistent/ladspa", "/usr/lib/ladspa"}), CountIn({"/usr/lib/ladspa"}));
}

TEST(LadspaDiscovery, RefusesAnUnknownLoadMethodAndKeepsTheList) {
  LadspaHost host({"/usr/lib/ladspa"});
  const size_t count = host.Load(kLoadAll);
  EXPECT_THROW(host.Load(7), PluginError);
  EXPECT_EQ(host.Count(), count);
}

TEST(LadspaDiscovery, KeepsAPlugInsValuesAcrossAReload) {
  LadspaHost host({"/usr/lib/ladspa"});
  host.Load(kLoadAll);
  host.SetValue(test::Required(host, "1048"), 0, 2.5);
  host.Load(kLoadEffects);
  EXPECT_EQ(host.Value(test::Required(host, "1048"), 0), 2.5);
}

class LadspaHints : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Load(kLoadAll);
    hints_ = test::Required(host_, "9101");
  }
  const ParamInfo& Named(std::string_view name) {
    return host_.Param(hints_, test::ParamNamed(host_, hints_, name));
  }

  LadspaHost host_{{test::kLadspaFixtures}};
  size_t hints_ = 0;
};

TEST_F(LadspaHints, DefaultsFollowTheDefaultHints) {
  EXPECT_EQ(Named("Minimum").defaultValue, 10.0);
  EXPECT_EQ(Named("Low").defaultValue, 25.0);
  EXPECT_NEAR(Named("Middle log").defaultValue, 10.0, 1e-9);  // geometric mean of 1 and 100
  EXPECT_EQ(Named("High").defaultValue, 75.0);
  EXPECT_EQ(Named("Maximum").defaultValue, 20.0);
  EXPECT_EQ(Named("Zero").defaultValue, 0.0);
  EXPECT_EQ(Named("One").defaultValue, 1.0);
  EXPECT_EQ(Named("Hundred").defaultValue, 100.0);
  EXPECT_EQ(Named("Rate 440").defaultValue, 440.0);
  EXPECT_EQ(Named("No default").defaultValue, 2.0);
}

TEST_F(LadspaHints, IntegerPortsRoundTheirDefault) {
  EXPECT_TRUE(Named("Integer").integer);
  EXPECT_EQ(Named("Integer").defaultValue, 5.0);  // the middle of 1…8 is 4.5
}

TEST_F(LadspaHints, TogglesAreOffOrOn) {
  const ParamInfo& toggle = Named("Toggle");
  EXPECT_TRUE(toggle.toggled);
  EXPECT_EQ(toggle.defaultValue, 1.0);
  EXPECT_EQ(host_.SetValue(hints_, test::ParamNamed(host_, hints_, "Toggle"), 0.3), 1.0);
}

TEST_F(LadspaHints, ALogarithmicRangeFromZeroPlacesItsDefaultsFromAThousandthOfTheTop) {
  EXPECT_TRUE(Named("Log low").logarithmic);
  EXPECT_NEAR(Named("Log low").defaultValue, std::pow(1000.0, 0.25), 1e-9);
}

TEST_F(LadspaHints, SampleRateBoundsAreScaledByTheHostRate) {
  EXPECT_EQ(Named("Rate 440").maximum, 22050.0);
  host_.SetSampleRate(48000.0);
  host_.Load(kLoadAll);
  EXPECT_EQ(Named("Rate 440").maximum, 24000.0);
}

TEST_F(LadspaHints, OpenSidesGetAWorkingRangeButNoClamp) {
  const ParamInfo& one = Named("One");
  EXPECT_FALSE(one.boundedAbove);
  EXPECT_EQ(one.minimum, 0.0);
  EXPECT_EQ(one.maximum, 10.0);
  EXPECT_EQ(host_.SetValue(hints_, test::ParamNamed(host_, hints_, "One"), 50.0), 50.0);
  const ParamInfo& openBelow = Named("Open below");
  EXPECT_EQ(openBelow.minimum, 0.0);
  EXPECT_EQ(openBelow.maximum, 5.0);
}

class LadspaInstances : public ::testing::Test {
 protected:
  void SetUp() override { host_.Load(kLoadAll); }
  LadspaHost host_{{"/usr/lib/ladspa", test::kLadspaFixtures}};
};

TEST_F(LadspaInstances, APlugInBrokenInPlaceGetsSeparateBuffers) {
  const size_t broken = test::Required(host_, "9102");
  ASSERT_TRUE(host_.InPlaceBroken(broken));
  const auto instance = host_.Instantiate(broken, kRate, 1);
  std::vector<std::vector<double>> channels = {test::Sine(440.0, 1000.0, 5000)};
  const auto expected = channels[0];
  test::Run(*instance, channels);
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_NEAR(channels[0][i], expected[i], 1e-3);
}

TEST_F(LadspaInstances, APlugInThatRefusesToStartGivesAClearError) {
  const size_t refuses = test::Required(host_, "9103");
  const size_t count = host_.Count();
  try {
    host_.Instantiate(refuses, kRate, 1);
    FAIL() << "no error";
  } catch (const PluginError& error) {
    EXPECT_NE(std::string(error.what()).find("Refuses To Start: the plug-in refused to start"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(host_.Count(), count);
}

TEST_F(LadspaInstances, APlugInWhosePortsFitNoChannelsIsRefused) {
  EXPECT_THROW(host_.Instantiate(test::Required(host_, "9105"), kRate, 2), PluginError);
}

TEST_F(LadspaInstances, AnIndexOutOfRangeGivesAClearError) {
  try {
    host_.Instantiate(host_.Count(), kRate, 1);
    FAIL() << "no error";
  } catch (const PluginError& error) {
    EXPECT_NE(std::string(error.what()).find("no plug-in"), std::string::npos) << error.what();
  }
}

TEST_F(LadspaInstances, LatencyIsReportedButNotCompensated) {
  const auto instance = host_.Instantiate(test::Required(host_, "9101"), kRate, 1);
  std::vector<std::vector<double>> channels = {{0.0, 1000.0, 0.0, 0.0}};
  test::Run(*instance, channels);
  EXPECT_EQ(channels[0][1], 1000.0);
  EXPECT_EQ(instance->LatencyFrames(), 7.0);
}

TEST_F(LadspaInstances, AGainChangedBetweenCallsAppliesFromTheNextCall) {
  const size_t amp = test::Required(host_, "1048");
  const auto instance = host_.Instantiate(amp, kRate, 1);
  std::vector<std::vector<double>> first = {{1000.0}}, second = {{1000.0}};
  host_.SetValue(amp, 0, 0.5);
  test::Run(*instance, first);
  host_.SetValue(amp, 0, 3.0);
  test::Run(*instance, second);
  EXPECT_EQ(first[0][0], 500.0);
  EXPECT_EQ(second[0][0], 3000.0);
}

TEST_F(LadspaInstances, ProcessingWithFewerBuffersThanChannelsIsRefused) {
  const auto instance = host_.Instantiate(test::Required(host_, "1048"), kRate, 2);
  std::vector<double> samples(16);
  const double* in[] = {samples.data()};
  double* out[] = {samples.data()};
  EXPECT_THROW(instance->Process(in, out, samples.size(), test::kFullScale), PluginError);
}

TEST_F(LadspaInstances, ThePropertyPageListsEachParameterWithItsValue) {
  const size_t delay = test::Required(host_, "1043");
  host_.SetValue(delay, 0, 0.25);
  EXPECT_EQ(host_.PropertyPage(delay), "Delay (Seconds) = 0.25\nDry/Wet Balance = 0.5\n");
}

}  // namespace
}  // namespace qel::plugins

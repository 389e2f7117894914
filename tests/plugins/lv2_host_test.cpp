// The LV2 host: the mda plug-ins Debian installs and the fixtures built beside
// these tests, listed, started, given presets, and kept in the state store.
#include <gtest/gtest.h>

#include <fstream>

#include "lv2_host.h"
#include "plugin_signals.h"

namespace qel::plugins {
namespace {

using test::Db;
using test::kMda;
using test::kRate;
using test::Rms;

std::string Mda(const char* name) {
  return std::string(kMda) + name;
}

class Lv2 : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.AddDirectories({test::kLv2Fixtures});
    host_.Load(kLoadAll);
  }
  size_t Plugin(const std::string& id) { return test::Required(host_, id); }

  Lv2Host host_;
};

TEST_F(Lv2, ListsAnMdaPlugInWithItsNameAuthorAndPorts) {
  const size_t delay = Plugin(Mda("Delay"));
  EXPECT_EQ(host_.Name(delay), "MDA Delay");
  EXPECT_EQ(host_.Maker(delay), "David Robillard");
  EXPECT_EQ(host_.AudioInputs(delay), 2u);
  EXPECT_EQ(host_.AudioOutputs(delay), 2u);
  EXPECT_EQ(host_.ParamCount(delay), 6u);
  EXPECT_EQ(host_.Param(delay, 0).name, "L Delay");
  EXPECT_EQ(host_.Param(delay, 0).key, "l_delay");
  EXPECT_NEAR(host_.Param(delay, 1).defaultValue, 0.27, 1e-6);
}

TEST_F(Lv2, GivesParametersTheUnitSymbolsOfTheUnitsExtension) {
  const size_t gain = Plugin("urn:qel:test:gain");
  const std::vector<std::string> units = {"dB", "Hz", "ms", "", "", "wdg"};
  for (size_t i = 0; i < units.size(); ++i)
    EXPECT_EQ(host_.Param(gain, i).unit, units[i]);
}

TEST_F(Lv2, ReadsRangesAndPortProperties) {
  const size_t gain = Plugin("urn:qel:test:gain");
  EXPECT_EQ(host_.Param(gain, 0).minimum, -60.0);
  EXPECT_EQ(host_.Param(gain, 0).maximum, 12.0);
  const ParamInfo& cutoff = host_.Param(gain, 1);  // multiples of the sample rate
  EXPECT_NEAR(cutoff.minimum, 0.0002 * kRate, 1e-3);
  EXPECT_NEAR(cutoff.maximum, 0.5 * kRate, 1e-3);
  EXPECT_TRUE(cutoff.logarithmic);
  EXPECT_TRUE(host_.Param(gain, 3).integer);
  EXPECT_EQ(host_.Param(gain, 3).defaultValue, 3.0);
  EXPECT_TRUE(host_.Param(gain, 4).toggled);
  EXPECT_EQ(host_.Maker(gain), "Qel Tests");
}

TEST_F(Lv2, ThePropertyPageShowsValuesWithTheirUnits) {
  const size_t gain = Plugin("urn:qel:test:gain");
  host_.SetValue(gain, 0, -6.0);
  EXPECT_EQ(host_.PropertyPage(gain).substr(0, 25), "Gain = -6 dB\nCutoff = 882");
}

TEST_F(Lv2, EffectsMethodLeavesOutInstruments) {
  EXPECT_TRUE(host_.Find(Mda("JX10")));
  host_.Load(kLoadEffects);
  EXPECT_FALSE(host_.Find(Mda("JX10")));
  EXPECT_TRUE(host_.Find(Mda("Delay")));
}

TEST_F(Lv2, SkippingInTheFoundCallbackLeavesOutExactlyThatPlugIn) {
  std::vector<std::string> expected;
  for (size_t i = 0; i < host_.Count(); ++i) {
    if (host_.Name(i) != "MDA Leslie") expected.push_back(host_.Id(i));
  }
  host_.Load(kLoadAll, [](size_t, const std::string& name) { return name != "MDA Leslie"; });
  std::vector<std::string> ids;
  for (size_t i = 0; i < host_.Count(); ++i)
    ids.push_back(host_.Id(i));
  EXPECT_EQ(ids, expected);
}

TEST_F(Lv2, AGainParameterAppliesLiveToARunningInstance) {
  const size_t gain = Plugin("urn:qel:test:gain");
  const auto instance = host_.Instantiate(gain, kRate, 1);
  std::vector<std::vector<double>> first = {test::Sine(1000.0, 8000.0, 4410)};
  auto second = first;
  const double level = Rms(first[0]);
  host_.SetValue(gain, 0, -6.0);
  test::Run(*instance, first);
  host_.SetValue(gain, 0, 0.0);
  test::Run(*instance, second);
  EXPECT_NEAR(Db(Rms(first[0]) / level), -6.0, 0.01);
  EXPECT_NEAR(Db(Rms(second[0]) / level), 0.0, 0.01);
}

TEST_F(Lv2, AnInstrumentWithAnEventInputRunsSilentWithoutNotes) {
  const auto instance = host_.Instantiate(Plugin(Mda("JX10")), kRate, 2);
  std::vector<std::vector<double>> channels(2, std::vector<double>(10000, 0.0));
  test::Run(*instance, channels);
  EXPECT_EQ(Rms(channels[0]), 0.0);
  EXPECT_EQ(Rms(channels[1]), 0.0);
}

TEST_F(Lv2, AddedDirectoriesNeedANewLoadAndLeaveRunningInstancesAlone) {
  Lv2Host host;
  host.Load(kLoadAll);
  EXPECT_FALSE(host.Find("urn:qel:test:gain"));
  const size_t amp = test::Required(host, Mda("Overdrive"));
  host.SetValue(amp, 0, 0.75);
  const auto running = host.Instantiate(amp, kRate, 2);
  host.AddDirectories({test::kLv2Fixtures});
  EXPECT_EQ(host.Count(), 0u);
  host.Load(kLoadAll);
  EXPECT_TRUE(host.Find("urn:qel:test:gain"));
  EXPECT_EQ(host.Value(test::Required(host, Mda("Overdrive")), 0), 0.75);
  std::vector<std::vector<double>> channels(2, test::Sine(440.0, 1000.0, 1000));
  test::Run(*running, channels);
  EXPECT_GT(Rms(channels[0]), 100.0);
}

class Lv2Presets : public Lv2 {};

TEST_F(Lv2Presets, AreListedByTheirLabelsInAlphabeticalOrder) {
  const size_t detune = Plugin(Mda("Detune"));
  ASSERT_EQ(host_.PresetCount(detune), 3u);
  EXPECT_EQ(host_.PresetName(detune, 0), "Out Of Tune");
  EXPECT_EQ(host_.PresetName(detune, 1), "Stereo Detune");
  EXPECT_EQ(host_.PresetName(detune, 2), "Symphonic");
  EXPECT_EQ(host_.PresetCount(Plugin("urn:qel:test:gain")), 0u);
}

TEST_F(Lv2Presets, ApplyingOneSetsItsValuesAndSelectsIt) {
  const size_t detune = Plugin(Mda("Detune"));
  const size_t preset = test::PresetNamed(host_, detune, "Out Of Tune");
  host_.ApplyPreset(detune, preset);
  EXPECT_NEAR(host_.Value(detune, test::ParamNamed(host_, detune, "Detune")), 0.8, 1e-6);
  EXPECT_NEAR(host_.Value(detune, test::ParamNamed(host_, detune, "Mix")), 0.7, 1e-6);
  EXPECT_EQ(host_.SelectedPreset(detune), preset);
}

class Lv2Store : public Lv2 {
 protected:
  test::TempDir dir_;
};

TEST_F(Lv2Store, ValuesAndSelectedPresetSurviveASaveAndAReloadIntoAFreshHost) {
  const size_t detune = Plugin(Mda("Detune"));
  host_.ApplyPreset(detune, test::PresetNamed(host_, detune, "Symphonic"));
  host_.SetValue(detune, 2, 0.123456789012345);
  const size_t gain = Plugin("urn:qel:test:gain");
  host_.SetValue(gain, 0, -7.25);
  ASSERT_TRUE(host_.SaveState(dir_ / "store.xml").ok);

  Lv2Host fresh;
  fresh.AddDirectories({test::kLv2Fixtures});
  fresh.Load(kLoadAll);
  const StoreReport report = fresh.LoadState(dir_ / "store.xml");
  ASSERT_TRUE(report.ok) << report.message;
  for (const std::string& id : {Mda("Detune"), std::string("urn:qel:test:gain")}) {
    const size_t before = Plugin(id);
    const size_t after = test::Required(fresh, id);
    for (size_t p = 0; p < host_.ParamCount(before); ++p) {
      EXPECT_EQ(fresh.Value(after, p), host_.Value(before, p)) << id << " " << p;
    }
    ASSERT_EQ(fresh.SelectedPreset(after).has_value(), host_.SelectedPreset(before).has_value());
    if (fresh.SelectedPreset(after)) {
      EXPECT_EQ(fresh.PresetId(after, *fresh.SelectedPreset(after)),
                host_.PresetId(before, *host_.SelectedPreset(before)));
    }
  }
}

TEST_F(Lv2Store, AStoreReadBeforeLoadingAppliesToThePlugInsLoadedLater) {
  host_.SetValue(Plugin(Mda("Delay")), 4, 0.9);
  ASSERT_TRUE(host_.SaveState(dir_ / "store.xml").ok);
  Lv2Host fresh;
  ASSERT_TRUE(fresh.LoadState(dir_ / "store.xml").ok);
  fresh.Load(kLoadEffects);
  EXPECT_EQ(fresh.Value(test::Required(fresh, Mda("Delay")), 4), 0.9);
}

TEST_F(Lv2Store, KeepsTheStateOfPlugInsThatAreNotLoaded) {
  host_.SetValue(Plugin("urn:qel:test:gain"), 0, -3.0);
  ASSERT_TRUE(host_.SaveState(dir_ / "first.xml").ok);
  Lv2Host withoutFixtures;
  withoutFixtures.Load(kLoadAll);
  ASSERT_TRUE(withoutFixtures.LoadState(dir_ / "first.xml").ok);
  ASSERT_TRUE(withoutFixtures.SaveState(dir_ / "second.xml").ok);
  Lv2Host again;
  again.AddDirectories({test::kLv2Fixtures});
  again.Load(kLoadAll);
  ASSERT_TRUE(again.LoadState(dir_ / "second.xml").ok);
  EXPECT_EQ(again.Value(test::Required(again, "urn:qel:test:gain"), 0), -3.0);
}

TEST_F(Lv2Store, AMissingStoreIsReportedAndChangesNothing) {
  const size_t delay = Plugin(Mda("Delay"));
  host_.SetValue(delay, 0, 0.1);
  const StoreReport report = host_.LoadState(dir_ / "absent.xml");
  EXPECT_FALSE(report.ok);
  EXPECT_NE(report.message.find("no plug-in state store"), std::string::npos) << report.message;
  EXPECT_EQ(host_.Value(delay, 0), 0.1);
}

TEST_F(Lv2Store, AMalformedStoreIsReportedAndChangesNothing) {
  const size_t delay = Plugin(Mda("Delay"));
  host_.SetValue(delay, 0, 0.1);
  std::ofstream(dir_ / "broken.xml") << "<plugin-states version=\"1\"><plugin id=\"" << Mda("Delay")
                                     << "\"><param key=\"l_delay\" value=\"0.9\"/>";
  const StoreReport report = host_.LoadState(dir_ / "broken.xml");
  EXPECT_FALSE(report.ok);
  EXPECT_NE(report.message.find("malformed"), std::string::npos) << report.message;
  EXPECT_EQ(host_.Value(delay, 0), 0.1);
}

class Lv2Failures : public Lv2 {
 protected:
  // The error Instantiate throws for the plug-in; the host must be as before.
  std::string ErrorFor(size_t plugin) {
    const size_t count = host_.Count();
    const std::string page = plugin < count ? host_.PropertyPage(plugin) : "";
    std::string message;
    try {
      host_.Instantiate(plugin, kRate, 2);
    } catch (const PluginError& error) {
      message = error.what();
    }
    EXPECT_EQ(host_.Count(), count);
    if (plugin < count) {
      EXPECT_EQ(host_.PropertyPage(plugin), page);
    }
    return message;
  }
};

TEST_F(Lv2Failures, APlugInNeedingAFeatureTheHostLacksGivesAClearError) {
  EXPECT_EQ(ErrorFor(Plugin("urn:qel:test:needs-feature")),
            "Qel Test Needs Feature: needs the LV2 feature <urn:qel:test:unprovided-feature>, "
            "which this host does not provide");
}

TEST_F(Lv2Failures, APlugInThatRefusesToStartGivesAClearError) {
  EXPECT_EQ(ErrorFor(Plugin("urn:qel:test:refuses")),
            "Qel Test Refuses: the plug-in refused to start (lilv could not instantiate it)");
}

}  // namespace
}  // namespace qel::plugins

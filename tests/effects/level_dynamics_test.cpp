// The compressor and expander in steady state on sines at known levels
// relative to the threshold.
#include <gtest/gtest.h>

#include <vector>

#include "level_signals.h"
#include "processors.h"

namespace {

using namespace leveltest;
using qel::effects::MakeDynamics;

struct Setting {
  double thresholdDb;
  double ratio;
  int mode;
  double makeUpDb = 0;
};

// The output of a 1 kHz sine at `levelDb` (its peak, re full scale), two
// seconds long, so the detector (50 ms) and the gain have settled.
std::vector<double> Dynamics(const Setting& s, double levelDb,
                             std::vector<double>* input = nullptr) {
  auto p = MakeDynamics();
  EXPECT_TRUE(p->SetParam(1, s.thresholdDb));
  EXPECT_TRUE(p->SetParam(2, s.ratio));
  EXPECT_TRUE(p->SetParam(3, 50.0));
  EXPECT_TRUE(p->SetParam(4, static_cast<double>(s.mode)));
  EXPECT_TRUE(p->SetParam(5, s.makeUpDb));
  const auto in = Sine(1000, DbToAmplitude(levelDb), 2 * 44100);
  if (input != nullptr) *input = in;
  return RunBlocks(*p, in, 44100);
}

// The last half second, once everything has settled.
double SettledLevelDb(const std::vector<double>& out) {
  return SineLevelDb(std::span<const double>(out).subspan(out.size() - 22050));
}

TEST(Compressor, TheExcessOverThresholdIsDividedByTheRatioThenRaisedByTheMakeUpGain) {
  struct Case {
    Setting setting;
    double inDb, outDb;
  };
  for (const Case& c : {Case{{-20, 4, 1}, -8, -17},  // 12 dB over at 4:1: 9 dB lower
                        Case{{-20, 4, 1, 6}, -8, -11}}) {
    EXPECT_NEAR(SettledLevelDb(Dynamics(c.setting, c.inDb)), c.outDb, 0.05)
        << c.setting.thresholdDb << " dB at " << c.setting.ratio << ":1 + " << c.setting.makeUpDb;
  }
}

TEST(Compressor, LeavesASignalWellBelowThresholdUntouched) {
  std::vector<double> in;
  const auto out = Dynamics({-20, 4, 1}, -40, &in);
  for (size_t i = 0; i < in.size(); ++i)
    ASSERT_NEAR(out[i], in[i], 1e-9) << i;
}

TEST(Expander, TheShortfallBelowThresholdIsMultipliedByTheRatio) {
  // 6 dB below at ratio 4 loses 18 dB.
  EXPECT_NEAR(SettledLevelDb(Dynamics({-30, 4, 2}, -36)), -54.0, 0.05);
}

TEST(Expander, LeavesASignalAboveThresholdUntouched) {
  EXPECT_NEAR(SettledLevelDb(Dynamics({-40, 3, 2}, -10)), -10.0, 1e-6);
}

TEST(Dynamics, RejectsAModeOtherThanCompressorOrExpander) {
  auto p = MakeDynamics();
  EXPECT_FALSE(p->SetParam(4, 3.0));
  EXPECT_FALSE(p->SetParam(4, 0.0));
}

}  // namespace

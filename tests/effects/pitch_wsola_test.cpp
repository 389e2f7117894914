// What only the time-domain engine (the default) of the pitch shifter and the
// time stretcher promises: it is transparent where nothing changes, it keeps a
// tone's level, and its output runs to the very end without a gap.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/pitch_signals.h"

namespace qel::effects::pitch_test {
namespace {

const double kThreeSemitones = std::pow(2.0, 3.0 / 12);

TEST(TimeDomainEngine, AtSpeedOneTheTimeStretcherGivesTheInputBack) {
  const auto in = Noise(100000, 10000);
  auto p = Make(MakeTimeStretcher, {{1, 1.0}});
  const auto out = RunBlocks(*p, in, {4410});
  ASSERT_EQ(out.size(), in.size());
  double worst = 0;
  for (size_t i = 0; i < in.size(); ++i)
    worst = std::max(worst, std::abs(out[i] - in[i]));
  EXPECT_LT(worst, 0.01);  // float rounding of samples up to 10000
}

TEST(TimeDomainEngine, ATonesLevelIsKeptByBothKinds) {
  const auto in = Sine(440, 10000, 3 * 44100);
  auto stretch = Make(MakeTimeStretcher, {{1, 0.8}});
  const auto slow = RunBlocks(*stretch, in, {44100});
  EXPECT_NEAR(Db(Level(slow, 440, 44100, 32768) / 10000), 0.0, 0.5);  // 0.5 dB
  auto shift = Make(MakePitchShifter, {{1, kThreeSemitones}});
  const auto high = RunBlocks(*shift, in, {44100});
  EXPECT_NEAR(Db(Level(high, 440 * kThreeSemitones, 44100, 32768) / 10000), 0.0, 0.5);
}

TEST(TimeDomainEngine, TheOutputHasNoGapUpToItsLastFrameAtTheExtremeRatios) {
  // Were a segment taken beyond the input's end, or the engine behind the
  // schedule, the output would hold a run of exact zeros.
  for (Factory factory : {MakePitchShifter, MakeTimeStretcher}) {
    for (double ratio : {0.25, 4.0}) {
      auto p = Make(factory, {{1, ratio}});
      EXPECT_LT(LongestZeroRun(RunBlocks(*p, Noise(2 * 44100, 10000), {1})), 2u) << ratio;
    }
  }
}

TEST(TimeDomainEngine, AToneBurstEndsAtItsInputTimeOverTheSpeed) {
  // The tone ends at 1.5 s of the input: 1.2 s of the output at speed 1.25.
  const auto in = Burst(440, 10000, 2 * 44100, 22050, 66150);
  auto p = Make(MakeTimeStretcher, {{1, 1.25}});
  const auto out = RunBlocks(*p, in, {44100});
  EXPECT_NEAR(Edge(out, 10000, false), 1.2, 0.015);  // 15 ms: search + part of a hop
}

}  // namespace
}  // namespace qel::effects::pitch_test

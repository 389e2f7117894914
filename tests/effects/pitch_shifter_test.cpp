// The pitch shifter on both engines: how far a tone moves, that the length is
// kept exactly and that the output lines up with the input.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/pitch_signals.h"

namespace qel::effects::pitch_test {
namespace {

class PitchShifter : public ::testing::TestWithParam<double> {};

const double kThreeSemitones = std::pow(2.0, 3.0 / 12);

TEST_P(PitchShifter, ThreeSemitonesUpOrRatioPoint8DownMovesATonesFrequencyByThatRatio) {
  struct Case {
    double ratio, toneHz, searchFrom, searchTo;
  };
  // 440 Hz three semitones up is 523.25 Hz.
  for (const Case& c : {Case{kThreeSemitones, 440, 400, 700}, Case{0.8, 1000, 600, 1100}}) {
    auto p = Make(MakePitchShifter, {{1, c.ratio}, {2, GetParam()}});
    const auto out = RunBlocks(*p, Sine(c.toneHz, 10000, 3 * 44100), {44100});
    const double f = PeakFrequency(out, 44100, 32768, c.searchFrom, c.searchTo);
    EXPECT_NEAR(f / (c.toneHz * c.ratio), 1.0, 0.005) << "ratio " << c.ratio;  // 0.5 %
  }
}

TEST_P(PitchShifter, RatiosBeyondTwoOctavesAreClampedToFourAndAQuarter) {
  auto up = Make(MakePitchShifter, {{1, 10.0}, {2, GetParam()}});
  const auto high = RunBlocks(*up, Sine(500, 10000, 3 * 44100));
  EXPECT_NEAR(PeakFrequency(high, 44100, 32768, 1000, 3000) / 2000, 1.0, 0.005);
  auto down = Make(MakePitchShifter, {{1, 0.01}, {2, GetParam()}});
  const auto low = RunBlocks(*down, Sine(2000, 10000, 3 * 44100));
  EXPECT_NEAR(PeakFrequency(low, 44100, 32768, 300, 1000) / 500, 1.0, 0.005);
}

TEST_P(PitchShifter, TheOutputIsExactlyAsLongAsTheInputWhateverTheBlocks) {
  const auto in = Sine(440, 10000, 100000);
  for (const std::vector<size_t>& blocks : {std::vector<size_t>{}, {7}, {1000, 1, 30000, 13}}) {
    auto p = Make(MakePitchShifter, {{1, kThreeSemitones}, {2, GetParam()}});
    EXPECT_EQ(RunBlocks(*p, in, blocks).size(), in.size()) << "first block " << blocks.size();
  }
}

TEST_P(PitchShifter, ARangeEndGivenOnlyByItsLengthIsFlushedToo) {
  auto p = Make(MakePitchShifter, {{1, 0.8}, {2, GetParam()}});
  EXPECT_EQ(RunBlocks(*p, Sine(440, 10000, 50000), {30000}, nullptr, false).size(), 50000u);
}
TEST_P(PitchShifter, AToneBurstStartsAndEndsWhereTheInputsDoes) {
  // 0.5 s of silence, 1 s of tone, 0.5 s of silence, in one-second blocks.
  const auto in = Burst(440, 10000, 2 * 44100, 22050, 66150);
  for (double ratio : {kThreeSemitones, 0.8}) {
    auto p = Make(MakePitchShifter, {{1, ratio}, {2, GetParam()}});
    const auto out = RunBlocks(*p, in, {44100});
    EXPECT_NEAR(Edge(out, 10000, true), 0.5, 0.004) << ratio;  // 4 ms
    // Rubber Band smears the abrupt end over its 46 ms analysis window; the
    // time-domain engine may take the last segment up to its 10 ms search
    // early, plus a fraction of its 30 ms hop.
    const double endTolerance = GetParam() == kRubberBand ? 0.010 : 0.015;  // 10 / 15 ms
    EXPECT_NEAR(Edge(out, 10000, false), 1.5, endTolerance) << ratio;
  }
}

TEST_P(PitchShifter, EachBlocksOutputCountDependsOnlyOnTheBlockLengths) {
  ExpectCountsIndependentOfTheSignal(MakePitchShifter, {{1, 1.5}, {2, GetParam()}}, 150000);
}

TEST_P(PitchShifter, NoiseComesOutWithoutDropoutsInSingleFrameBlocks) {
  // Were the engine ever behind the schedule, the gap would be filled with
  // exact zeros; noise through a pitch shift never gives a run of them.
  auto p = Make(MakePitchShifter, {{1, 0.25}, {2, GetParam()}});
  EXPECT_LT(LongestZeroRun(RunBlocks(*p, Noise(3 * 44100, 10000), {1}), 4410), 2u);
}

INSTANTIATE_TEST_SUITE_P(Engines, PitchShifter, ::testing::Values(kTimeDomain, kRubberBand),
                         EngineName);

}  // namespace
}  // namespace qel::effects::pitch_test

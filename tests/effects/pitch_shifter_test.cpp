// The pitch shifter: how far a tone moves, that the length is kept exactly and
// that the output lines up with the input.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/pitch_signals.h"

namespace qel::effects::pitch_test {
namespace {

const double kThreeSemitones = std::pow(2.0, 3.0 / 12);

TEST(PitchShifter, ThreeSemitonesUpMovesATonesFrequencyByThatRatio) {
  auto p = Make(MakePitchShifter, {{1, kThreeSemitones}});
  const auto out = RunBlocks(*p, Sine(440, 10000, 3 * 44100), {44100});
  const double expected = 440 * kThreeSemitones;  // 523.25 Hz
  const double f = PeakFrequency(out, 44100, 32768, 400, 700);
  EXPECT_NEAR(f / expected, 1.0, 0.005);  // 0.5 %
}

TEST(PitchShifter, RatioPoint8LowersATonesFrequencyByThatRatio) {
  auto p = Make(MakePitchShifter, {{1, 0.8}});
  const auto out = RunBlocks(*p, Sine(1000, 10000, 3 * 44100), {44100});
  const double f = PeakFrequency(out, 44100, 32768, 600, 1100);
  EXPECT_NEAR(f / 800, 1.0, 0.005);  // 0.5 %
}

TEST(PitchShifter, RatiosBeyondTwoOctavesAreClampedToFourAndAQuarter) {
  auto up = Make(MakePitchShifter, {{1, 10.0}});
  const auto high = RunBlocks(*up, Sine(500, 10000, 3 * 44100));
  EXPECT_NEAR(PeakFrequency(high, 44100, 32768, 1000, 3000) / 2000, 1.0, 0.005);
  auto down = Make(MakePitchShifter, {{1, 0.01}});
  const auto low = RunBlocks(*down, Sine(2000, 10000, 3 * 44100));
  EXPECT_NEAR(PeakFrequency(low, 44100, 32768, 300, 1000) / 500, 1.0, 0.005);
}

TEST(PitchShifter, TheOutputIsExactlyAsLongAsTheInputWhateverTheBlocks) {
  const auto in = Sine(440, 10000, 100000);
  for (const std::vector<size_t>& blocks :
       {std::vector<size_t>{}, {44100}, {4410}, {7}, {1000, 1, 30000, 13}}) {
    auto p = Make(MakePitchShifter, {{1, kThreeSemitones}});
    EXPECT_EQ(RunBlocks(*p, in, blocks).size(), in.size()) << "first block " << blocks.size();
  }
}

TEST(PitchShifter, ARangeEndGivenOnlyByItsLengthIsFlushedToo) {
  auto p = Make(MakePitchShifter, {{1, 0.8}});
  const auto in = Sine(440, 10000, 50000);
  std::vector<double> out, block;
  p->Process(std::span(in).first(30000), BlockInfo{0, 50000, false}, block);
  out = block;
  block.clear();
  p->Process(std::span(in).subspan(30000), BlockInfo{30000, 50000, false}, block);
  out.insert(out.end(), block.begin(), block.end());
  EXPECT_EQ(out.size(), in.size());
}

TEST(PitchShifter, AToneBurstStartsAndEndsWhereTheInputsDoes) {
  // 0.5 s of silence, 1 s of tone, 0.5 s of silence, in one-second blocks.
  const auto in = Burst(440, 10000, 2 * 44100, 22050, 66150);
  for (double ratio : {kThreeSemitones, 0.8}) {
    auto p = Make(MakePitchShifter, {{1, ratio}});
    const auto out = RunBlocks(*p, in, {44100});
    EXPECT_NEAR(Edge(out, 10000, true), 0.5, 0.004) << ratio;  // 4 ms
    // The abrupt end is smeared over the 46 ms analysis window.
    EXPECT_NEAR(Edge(out, 10000, false), 1.5, 0.010) << ratio;  // 10 ms
  }
}

TEST(PitchShifter, EachBlocksOutputCountDependsOnlyOnTheBlockLengths) {
  const std::vector<size_t> blocks{44100, 1, 7, 20000, 4410, 3};
  std::vector<size_t> toneCounts, noiseCounts;
  auto a = Make(MakePitchShifter, {{1, 1.5}});
  RunBlocks(*a, Sine(440, 10000, 150000), blocks, &toneCounts);
  auto b = Make(MakePitchShifter, {{1, 1.5}});
  RunBlocks(*b, Noise(150000, 20000), blocks, &noiseCounts);
  EXPECT_EQ(toneCounts, noiseCounts);
}

TEST(PitchShifter, NoiseComesOutWithoutDropoutsInSingleFrameBlocks) {
  // Were the engine ever behind the schedule, the gap would be filled with
  // exact zeros; noise through a pitch shift never gives a run of them.
  auto p = Make(MakePitchShifter, {{1, 0.25}});
  const auto out = RunBlocks(*p, Noise(3 * 44100, 10000), {1});
  size_t run = 0, longest = 0;
  for (size_t i = 4410; i < out.size(); ++i) {
    run = out[i] == 0 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_LT(longest, 2u);
}

TEST(PitchShifter, RefusesOtherIndicesArraysAndNonFiniteNumbers) {
  auto p = MakePitchShifter();
  EXPECT_TRUE(p->SetParam(1, 1.5));
  EXPECT_FALSE(p->SetParam(2, 1.0));
  EXPECT_FALSE(p->SetParam(0, 1.0));
  EXPECT_FALSE(p->SetParam(1, std::vector<double>{2.0}));
  EXPECT_FALSE(p->SetParam(1, NAN));
  EXPECT_FALSE(p->SetParam(1, INFINITY));
  EXPECT_TRUE(p->PreservesLength());
}

}  // namespace
}  // namespace qel::effects::pitch_test

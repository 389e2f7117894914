// The time stretcher on both engines: the length follows the speed factor
// exactly, the pitch stays, and the output of each block is counted the same
// for any signal.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/pitch_signals.h"

namespace qel::effects::pitch_test {
namespace {

class TimeStretcher : public ::testing::TestWithParam<double> {};

TEST_P(TimeStretcher,
       SpeedPoint8Or1Point25ScalesTheLengthByOneOverTheSpeedAndKeepsATonesFrequency) {
  struct Case {
    double speed, toneHz, searchFrom, searchTo;
  };
  for (const Case& c : {Case{0.8, 440, 350, 550}, Case{1.25, 1000, 800, 1200}}) {
    auto p = Make(MakeTimeStretcher, {{1, c.speed}, {2, GetParam()}});
    const auto in = Sine(c.toneHz, 10000, 3 * 44100);
    const auto out = RunBlocks(*p, in, {44100});
    const double ratio = static_cast<double>(out.size()) / static_cast<double>(in.size());
    EXPECT_NEAR(ratio * c.speed, 1.0, 0.01) << "speed " << c.speed;  // 1 %
    EXPECT_NEAR(PeakFrequency(out, 44100, 32768, c.searchFrom, c.searchTo) / c.toneHz, 1.0, 0.01)
        << "speed " << c.speed;  // 1 %
  }
}

TEST_P(TimeStretcher, TheTotalIsExactlyTheRoundedInputOverTheSpeedWhateverTheBlocks) {
  const auto in = Noise(100001, 10000);
  for (double speed : {0.3, 3.7}) {
    const auto expected = static_cast<size_t>(std::llround(100001 / speed));
    for (const std::vector<size_t>& blocks : {std::vector<size_t>{}, {7}, {1000, 1, 30000, 13}}) {
      auto p = Make(MakeTimeStretcher, {{1, speed}, {2, GetParam()}});
      EXPECT_EQ(RunBlocks(*p, in, blocks).size(), expected) << speed << " " << blocks[0];
    }
  }
}

TEST_P(TimeStretcher, ASpeedChangedBetweenBlocksCountsFromTheNextBlock) {
  // 44100 frames at 0.8, then 44100 at 2: 55125 + 22050 frames.
  auto p = Make(MakeTimeStretcher, {{1, 0.8}, {2, GetParam()}});
  const auto in = Sine(440, 10000, 88200);
  std::vector<double> first, second;
  p->Process(std::span(in).first(44100), BlockInfo{0, 88200, false}, first);
  ASSERT_TRUE(p->SetParam(1, 2.0));
  p->Process(std::span(in).subspan(44100), BlockInfo{44100, 88200, true}, second);
  EXPECT_EQ(first.size() + second.size(), 55125u + 22050u);
}

TEST_P(TimeStretcher, AToneBurstStartsAtItsInputTimeOverTheSpeed) {
  // The tone starts at 0.5 s of the input: 0.4 s of the output at speed 1.25.
  const auto in = Burst(440, 10000, 2 * 44100, 22050, 66150);
  auto p = Make(MakeTimeStretcher, {{1, 1.25}, {2, GetParam()}});
  const auto out = RunBlocks(*p, in, {44100});
  EXPECT_NEAR(Edge(out, 10000, true), 0.4, 0.005);  // 5 ms
}

TEST_P(TimeStretcher, EachBlocksOutputCountDependsOnlyOnTheBlockLengths) {
  ExpectCountsIndependentOfTheSignal(MakeTimeStretcher, {{1, 1.25}, {2, GetParam()}}, 150000);
}

TEST_P(TimeStretcher, SpeedsOutsideAQuarterToFourAreClamped) {
  const auto in = Noise(40000, 10000);
  auto fast = Make(MakeTimeStretcher, {{1, 100.0}, {2, GetParam()}});
  EXPECT_EQ(RunBlocks(*fast, in).size(), 10000u);
  auto slow = Make(MakeTimeStretcher, {{1, -3.0}, {2, GetParam()}});
  EXPECT_EQ(RunBlocks(*slow, in).size(), 160000u);
}

INSTANTIATE_TEST_SUITE_P(Engines, TimeStretcher, ::testing::Values(kTimeDomain, kRubberBand),
                         EngineName);

}  // namespace
}  // namespace qel::effects::pitch_test

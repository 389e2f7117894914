// The constant and ramped gains (amplify, fade, normalize) and the sample
// rearrangements (invert, silence, reverse), measured on known signals.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "level_signals.h"
#include "processors.h"

namespace {

using namespace leveltest;
using qel::effects::MakeAmplify;
using qel::effects::MakeFade;
using qel::effects::MakeInvert;
using qel::effects::MakeNormalize;
using qel::effects::MakeReverse;
using qel::effects::MakeSilence;

// ---- amplify ---------------------------------------------------------------

TEST(Amplify, MultipliesEverySampleByThePercentageANegativeOneInvertingThePolarity) {
  // 200 % raises the level by 6.02 dB.
  const auto in = Sine(440, 2000, 4410);
  for (double percent : {200.0, -50.0}) {
    auto p = MakeAmplify();
    ASSERT_TRUE(p->SetParam(1, percent));
    const auto out = RunBlocks(*p, in, 4410);
    for (size_t i = 0; i < in.size(); ++i)
      ASSERT_NEAR(out[i], percent / 100 * in[i], 1e-12 * kFullScale) << percent << " % at " << i;
  }
}

TEST(Amplify, AChangeBetweenBlocksGlidesToTheNewGainOverTenMilliseconds) {
  auto p = MakeAmplify();
  p->Start({});
  const auto in = Constant(1000, 1000);
  std::vector<double> first;
  std::vector<double> second;
  p->Process(in, {0, 0, false}, first);
  ASSERT_TRUE(p->SetParam(1, 50.0));
  p->Process(in, {1000, 0, false}, second);
  // 441 frames from 1000 to 500: no step larger than one 441st of the jump.
  double largest = std::abs(second[0] - first.back());
  for (size_t i = 1; i < second.size(); ++i) {
    largest = std::max(largest, std::abs(second[i] - second[i - 1]));
  }
  EXPECT_LE(largest, 500.0 / 441 + 1e-9);
  EXPECT_NEAR(second[441], 500.0, 1e-9);
}

TEST(Amplify, RejectsANonFiniteValueAndKeepsTheGainItHad) {
  auto p = MakeAmplify();
  ASSERT_TRUE(p->SetParam(1, 300.0));
  EXPECT_FALSE(p->SetParam(1, std::nan("")));
  EXPECT_FALSE(p->SetParam(2, 50.0));
  const auto out = RunBlocks(*p, Constant(100, 10), 10);
  EXPECT_NEAR(out[9], 300.0, 1e-12);
}

// ---- fade ------------------------------------------------------------------

std::vector<double> FadeDc(double from, double to, double durationMs, size_t frames,
                           int64_t rangeFrames) {
  auto p = MakeFade();
  EXPECT_TRUE(p->SetParam(1, from));
  EXPECT_TRUE(p->SetParam(2, to));
  EXPECT_TRUE(p->SetParam(3, durationMs));
  p->Start({});
  std::vector<double> out;
  p->Process(Constant(1000, frames), {0, rangeFrames, true}, out);
  return out;
}

TEST(Fade, RampsLinearlyFromTheFirstLevelToTheSecondOverTheDurationOrTheWholeRange) {
  struct Case {
    double from, to, durationMs;
    size_t frames;
    int64_t rangeFrames;
    std::vector<std::pair<size_t, double>> expected;  // frame, output of a DC of 1000
  };
  const Case cases[] = {
      {100, 0, 0, 1001, 1001, {{0, 1000}, {1000, 0}}},
      // 10 ms at 44.1 kHz: frames 0 … 440 ramp, the rest hold.
      {0, 100, 10, 2000, 2000, {{220, 500}, {440, 1000}, {1999, 1000}}},
      // A whole-range ramp over an unknown length holds the first level.
      {50, 0, 0, 100, 0, {{0, 500}, {99, 500}}},
  };
  for (const Case& c : cases) {
    const auto out = FadeDc(c.from, c.to, c.durationMs, c.frames, c.rangeFrames);
    for (const auto& [frame, value] : c.expected)
      EXPECT_NEAR(out[frame], value, 1e-9) << c.from << " to " << c.to << " at " << frame;
    for (size_t i = 1; i < out.size(); ++i)  // never turns back
      ASSERT_GE((out[i] - out[i - 1]) * (c.to - c.from), -1e-12) << i;
  }
}

// ---- normalize -------------------------------------------------------------

TEST(Normalize, ThePeakReachesTheAskedShareOfFullScale) {
  auto p = MakeNormalize();
  ASSERT_TRUE(p->SetParam(1, 90.0));
  auto in = Sine(100, 1234, 44100);
  in[777] = -2345;
  const auto out = RunBlocks(*p, in, 4410);
  EXPECT_NEAR(Peak(out), 0.9 * kFullScale, 1e-6);
  EXPECT_NEAR(out[777], -0.9 * kFullScale, 1e-6);
}

TEST(Normalize, RemovingTheMeanLeavesNoOffsetAndThePeakAtFullScale) {
  auto p = MakeNormalize();
  ASSERT_TRUE(p->SetParam(1, 100.0));
  ASSERT_TRUE(p->SetParam(2, -1.0));
  auto in = Sine(100, 1000, 44100);
  for (double& x : in)
    x += 3000;
  const auto out = RunBlocks(*p, in, 4410);
  EXPECT_NEAR(Mean(out), 0.0, 1e-6);
  EXPECT_NEAR(Peak(out), kFullScale, 1e-6);
}

TEST(Normalize, LeavesSilenceUnchanged) {
  auto p = MakeNormalize();
  const auto out = RunBlocks(*p, Constant(0, 1000), 100);
  EXPECT_EQ(Peak(out), 0.0);
}

// ---- invert, silence, reverse ----------------------------------------------

TEST(InvertAndSilence, NegateOrZeroEverySampleInAnyBlocks) {
  const auto in = Sine(50, 3000, 500);
  const auto inverted = RunBlocks(*MakeInvert(), in, 500);
  const auto silenced = RunBlocks(*MakeSilence(), in, 128);
  ASSERT_EQ(silenced.size(), 500u);
  EXPECT_EQ(Peak(silenced), 0.0);
  for (size_t i = 0; i < in.size(); ++i)
    ASSERT_EQ(inverted[i], -in[i]) << i;
}

TEST(Reverse, ARangeFedLastBlockFirstComesOutReversed) {
  auto p = MakeReverse();
  p->Start({});
  std::vector<double> in(1000);
  for (size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<double>(i);
  std::vector<double> result;
  std::vector<double> out;
  const std::span<const double> all(in);
  for (size_t end = in.size(); end > 0;) {
    const size_t start = end >= 300 ? end - 300 : 0;
    out.clear();
    p->Process(all.subspan(start, end - start),
               {static_cast<int64_t>(in.size() - end), 1000, start == 0}, out);
    result.insert(result.end(), out.begin(), out.end());
    end = start;
  }
  for (size_t i = 0; i < in.size(); ++i)
    ASSERT_EQ(result[i], in[in.size() - 1 - i]) << i;
}

}  // namespace

// The resampler: length and pitch follow the rate ratio, an impulse keeps its
// place, the linear method is block-size independent, and the low-passes
// remove what would alias or image.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/pitch_signals.h"

namespace qel::effects::pitch_test {
namespace {

Settings Resample(double hz, int method, bool pre = false, bool post = false) {
  return {{1, hz}, {2, pre ? -1.0 : 0.0}, {3, post ? -1.0 : 0.0}, {4, method}};
}

TEST(Resampler, LengthScalesByTargetOverRateAndFrequencyByRateOverTargetForEachMethod) {
  const auto in = Sine(1000, 10000, 88200);
  for (int method : {0, 1, 2}) {
    for (double target : {48000.0, 22050.0}) {
      auto p = Make(MakeResampler, Resample(target, method, true, true));
      const auto out = RunBlocks(*p, in, {44100});
      const double lengthRatio = static_cast<double>(out.size()) / 88200;
      EXPECT_NEAR(lengthRatio / (target / 44100), 1.0, 0.005) << method << " " << target;
      const double expected = 1000 * 44100 / target;
      const double f = PeakFrequency(out, 4410, 32768, expected * 0.9, expected * 1.1);
      EXPECT_NEAR(f / expected, 1.0, 0.005) << method << " " << target;  // 0.5 %
    }
  }
}

TEST(Resampler, TheTotalIsExactlyTheRoundedLengthTimesTargetOverRate) {
  const auto in = Noise(100001, 10000);
  for (int method : {0, 1, 2}) {
    auto p = Make(MakeResampler, Resample(48000, method));
    EXPECT_EQ(RunBlocks(*p, in, {4410}).size(), 108845u) << method;  // 100001·48000/44100
  }
}

TEST(Resampler, AnImpulseComesOutAtItsPositionTimesTargetOverRate) {
  // Frame 10000 of the input at 44.1 → 88.2 kHz is frame 20000 of the output.
  for (int method : {0, 1, 2}) {
    auto p = Make(MakeResampler, Resample(88200, method));
    std::vector<double> in(30000, 0.0);
    in[10000] = 10000;
    const auto out = RunBlocks(*p, in, {4410});
    const auto peak = std::max_element(out.begin(), out.end()) - out.begin();
    EXPECT_EQ(peak, 20000) << method;
  }
}

TEST(Resampler, TheLinearMethodGivesTheSameSamplesWhateverTheBlocks) {
  const auto in = Noise(50000, 10000);
  const Settings settings = Resample(37000, 0, true, true);
  auto whole = Make(MakeResampler, settings);
  const auto reference = RunBlocks(*whole, in);
  for (size_t block : {1u, 7u, 4410u}) {
    auto p = Make(MakeResampler, settings);
    const auto out = RunBlocks(*p, in, {block});
    EXPECT_LT(time_test::RelativeDifference(out, reference), 1e-9) << block;
  }
}

TEST(Resampler, ThePreFilterKeepsATooHighToneFromAliasingWhenThePitchGoesUp) {
  // 44.1 → 22.05 kHz with linear interpolation: a 15 kHz tone would come out
  // at 30 kHz, folded to 14.1 kHz at full level; the pre-filter (cut at
  // 9.9 kHz) takes it below −40 dB while a 1 kHz tone (2 kHz out) stays
  // within 0.5 dB.
  std::vector<double> in = Sine(15000, 10000, 44100);
  const auto low = Sine(1000, 10000, 44100);
  auto p = Make(MakeResampler, Resample(22050, 0, true, false));
  const auto out = RunBlocks(*p, in);
  EXPECT_LT(Db(Level(out, 14100, 2000, 16384) / 10000), -40.0);
  auto q = Make(MakeResampler, Resample(22050, 0, true, false));
  const auto pass = RunBlocks(*q, low);
  EXPECT_NEAR(Db(Level(pass, 2000, 2000, 16384) / 10000), 0.0, 0.5);
}

TEST(Resampler, ThePostFilterRemovesTheImagesOfLinearInterpolationWhenThePitchGoesDown) {
  // 44.1 → 88.2 kHz: a 15 kHz tone comes out at 7.5 kHz, with an image of
  // the interpolation at 22.05 − 7.5 = 14.55 kHz; the post-filter (cut at
  // 0.45·44.1 kHz of the resampled signal, 9.9 kHz as played) takes it from
  // about −12 dB to below −40 dB while the tone itself loses less than 3 dB
  // (linear interpolation's own droop included).
  auto p = Make(MakeResampler, Resample(88200, 0, false, true));
  const auto out = RunBlocks(*p, Sine(15000, 10000, 44100));
  EXPECT_LT(Db(Level(out, 14550, 4000, 32768) / 10000), -40.0);
  EXPECT_GT(Db(Level(out, 7500, 4000, 32768) / 10000), -3.0);
}

TEST(Resampler, ATargetRateChangedBetweenBlocksCountsFromTheNextBlock) {
  // 44100 frames unchanged, then 44100 frames to 22.05 kHz: 44100 + 22050.
  auto p = Make(MakeResampler, Resample(44100, 2));
  const auto in = Sine(440, 10000, 88200);
  std::vector<double> first, second;
  p->Process(std::span(in).first(44100), BlockInfo{0, 88200, false}, first);
  ASSERT_TRUE(p->SetParam(1, 22050.0));
  p->Process(std::span(in).subspan(44100), BlockInfo{44100, 88200, true}, second);
  EXPECT_EQ(first.size() + second.size(), 66150u);
}

TEST(Resampler, TargetRatesBeyondSixteenTimesEitherWayAreClamped) {
  const auto in = Noise(16000, 10000);
  auto up = Make(MakeResampler, Resample(44100 * 100, 0));
  EXPECT_EQ(RunBlocks(*up, in).size(), 256000u);
  auto down = Make(MakeResampler, Resample(10, 0));
  EXPECT_EQ(RunBlocks(*down, in).size(), 1000u);
}

}  // namespace
}  // namespace qel::effects::pitch_test

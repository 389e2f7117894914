// The echo: lag, level and feedback measured on an impulse.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

TEST(Delay, AnImpulseEchoesAtTheDelayTimeAtMixLevelAndRepeatsScaledByFeedback) {
  // 10 ms at 44.1 kHz is 441 samples; mix 50 %, feedback 40 %.
  auto p = Make(MakeDelay, {{1, 10}, {2, 50}, {3, 40}, {4, 1}});
  const auto out = RunBlocks(*p, Impulse(2000, 1000));
  std::vector<double> expected(out.size(), 0.0);
  for (const auto& [at, value] :
       {std::pair{0, 1000.0}, {441, 500.0}, {882, 200.0}, {1323, 80.0}, {1764, 32.0}})
    expected[at] = value;
  for (size_t i = 0; i < out.size(); ++i)
    EXPECT_NEAR(out[i], expected[i], 1e-9) << "sample " << i;
}

TEST(Delay, NegativeFeedbackAlternatesTheSignOfTheRepeatsHereAndInTheUnsweptFlanger) {
  // 1 ms and 3 ms at 48 kHz are exactly 48 and 144 samples.
  struct Case {
    Factory factory;
    Settings settings;
    size_t lag;
  };
  for (const Case& c :
       {Case{MakeDelay, {{1, 1}, {2, 100}, {3, -50}}, 48},
        Case{MakeModulatedDelay, {{1, 3}, {2, 100}, {3, -50}, {4, 0}, {5, 1}, {7, 1}}, 144}}) {
    const auto out = RunBlocks(*Make(c.factory, c.settings, 48000), Impulse(4 * c.lag + 10, 1));
    EXPECT_NEAR(out[c.lag], 1.0, 1e-12) << c.lag;
    EXPECT_NEAR(out[2 * c.lag], -0.5, 1e-12) << c.lag;
    EXPECT_NEAR(out[3 * c.lag], 0.25, 1e-12) << c.lag;
    EXPECT_NEAR(out[2 * c.lag + c.lag / 2], 0.0, 1e-12) << c.lag;
  }
}
TEST(Delay, ChangingTheDelayWhilePlayingCrossFadesInsteadOfJumping) {
  // A 100 Hz sine of amplitude 1000 plus its echo moves by at most
  // 2·1000·2π·100/44100 ≈ 28.5 per sample; a tap jumping from 10 to 13 ms
  // would step by hundreds.
  auto p = Make(MakeDelay, {{1, 10}, {2, 100}, {3, 0}});
  const auto in = Sine(100, 1000, 44100);
  std::vector<double> out;
  std::vector<double> block;
  p->Process(std::span(in).first(22050), BlockInfo{0, 44100, false}, block);
  out = block;
  ASSERT_TRUE(p->SetParam(1, 13.0));
  block.clear();
  p->Process(std::span(in).subspan(22050), BlockInfo{22050, 44100, true}, block);
  out.insert(out.end(), block.begin(), block.end());
  double step = 0;
  for (size_t i = 1000; i < out.size(); ++i)
    step = std::max(step, std::abs(out[i] - out[i - 1]));
  EXPECT_LT(step, 30.0);
  // Once the fade is over the echo sits at the new lag, 13 ms = 573 samples.
  const size_t n = 40000;
  EXPECT_NEAR(out[n], in[n] + in[n - 573], 1e-9);
}

}  // namespace
}  // namespace qel::effects::time_test

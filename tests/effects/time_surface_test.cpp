// What every time-effect kind shares: block splitting does not change the
// result, and bad parameters are refused without touching the processor.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "effects/time_signals.h"

namespace qel::effects::time_test {
namespace {

struct Kind {
  std::string name;
  Factory factory;
  int parameters;
  Settings settings;
};

std::vector<Kind> Kinds() {
  return {
      {"Delay", MakeDelay, 4, {{1, 30}, {2, 60}, {3, 50}, {4, 1}}},
      {"Flanger",
       MakeModulatedDelay,
       7,
       {{1, 1}, {2, 70}, {3, 40}, {4, 3}, {5, 2}, {6, 30}, {7, 1}}},
      {"Chorus",
       MakeModulatedDelay,
       7,
       {{1, 15}, {2, 60}, {3, 20}, {4, 10}, {5, 1}, {6, 0}, {7, 2}}},
      {"Vibrato", MakeVibrato, 3, {{1, 2}, {2, 6}, {3, 45}}},
      {"Phaser",
       MakePhaser,
       11,
       {{2, 3}, {3, 1}, {4, 300}, {5, 50}, {6, 50}, {7, 80}, {8, 6}, {9, 40}, {9, -1}}},
      {"WahWah", MakeWahWah, 5, {{1, 80}, {2, 3}, {3, 0}, {4, 4}, {5, 400}}},
      {"Reverb", MakeReverb, 6, {{1, 30}, {2, 40}, {3, 70}, {4, 100}, {5, 4000}, {6, 6}}},
  };
}

void PrintTo(const Kind& kind, std::ostream* os) {
  *os << kind.name;
}

class EveryTimeKind : public testing::TestWithParam<Kind> {};

TEST_P(EveryTimeKind, GivesTheSameOutputHoweverTheRangeIsSplitIntoBlocks) {
  const Kind& kind = GetParam();
  const auto in = Noise(30000, 10000);
  const auto whole = RunBlocks(*Make(kind.factory, kind.settings), in);
  for (size_t block : {1, 7, 4410}) {
    const auto split = RunBlocks(*Make(kind.factory, kind.settings), in, {block});
    EXPECT_LE(RelativeDifference(whole, split), 1e-9) << "blocks of " << block;
  }
}

TEST_P(EveryTimeKind, RefusesBadParametersAndStaysAsItWas) {
  const Kind& kind = GetParam();
  auto p = kind.factory();
  for (const auto& [index, value] : kind.settings)
    ASSERT_TRUE(p->SetParam(index, value));
  EXPECT_FALSE(p->SetParam(0, 1.0));
  EXPECT_FALSE(p->SetParam(kind.parameters + 1, 1.0));
  EXPECT_FALSE(p->SetParam(1, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(p->SetParam(2, std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(p->SetParam(1, std::vector<double>{1.0, 2.0}));
  EXPECT_FALSE(p->SetParam(1, std::u16string(u"10")));
  p->Start(StreamSetup{});
  const auto in = Noise(20000, 10000);
  const auto expected = RunBlocks(*Make(kind.factory, kind.settings), in);
  EXPECT_LE(RelativeDifference(RunBlocks(*p, in), expected), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Time, EveryTimeKind, testing::ValuesIn(Kinds()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qel::effects::time_test

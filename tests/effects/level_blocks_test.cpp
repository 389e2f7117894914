// Every level kind that keeps state gives the same output whether the range
// arrives in one block or in blocks of 1, 7 or 4410 frames.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "level_signals.h"
#include "processors.h"

namespace {

using namespace leveltest;
using namespace qel::effects;

struct Kind {
  std::string name;
  std::unique_ptr<Processor> (*make)();
  std::vector<ParamValue> params;  // P1, P2, ...

  std::unique_ptr<Processor> Make() const {
    auto p = make();
    for (size_t i = 0; i < params.size(); ++i)
      EXPECT_TRUE(p->SetParam(static_cast<int>(i + 1), params[i])) << name << " P" << i + 1;
    return p;
  }
};

void PrintTo(const Kind& kind, std::ostream* os) {
  *os << kind.name;
}

const Kind kKinds[] = {
    {"Amplify", MakeAmplify, {173.0}},
    {"Fade", MakeFade, {10.0, 130.0, 0.0}},
    {"ShortFade", MakeFade, {0.0, 100.0, 30.0}},
    {"Normalize", MakeNormalize, {95.0, -1.0}},
    {"Envelope",
     MakeEnvelope,
     {std::vector<double>{20, 90, 150, 400, 700, 950},
      std::vector<double>{100, 30, 180, 60, 0, 120}, 2.0, 0.0, 0.0}},
    {"Compressor", MakeDynamics, {-30.0, 5.0, 20.0, 1.0, 4.0}},
};

class BlockSplit : public testing::TestWithParam<std::tuple<Kind, size_t>> {};

TEST_P(BlockSplit, GivesTheSameOutputAsOneWholeBlock) {
  const auto& [kind, block] = GetParam();
  // One second of noise swelling from quiet to loud, with an offset.
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> in(44100);
  for (size_t i = 0; i < in.size(); ++i) {
    in[i] = 200 + 8000 * noise(random) * static_cast<double>(i) / static_cast<double>(in.size());
  }
  const auto whole = RunBlocks(*kind.Make(), in, in.size());
  const auto split = RunBlocks(*kind.Make(), in, block);
  ASSERT_EQ(split.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    ASSERT_NEAR(split[i], whole[i], 1e-9 * std::max(1.0, std::abs(whole[i]))) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(LevelKinds, BlockSplit,
                         testing::Combine(testing::ValuesIn(kKinds),
                                          testing::Values<size_t>(1, 7, 4410)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "In" +
                                  std::to_string(std::get<1>(info.param)) + "FrameBlocks";
                         });

}  // namespace

// What every signal type shares: chunks join without a seam, a change of
// level while previewing glides, and bad parameters are refused. The square,
// sawtooth and triangle run on the sine's phase, so the sine stands for them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "effects/generators_signals.h"
#include "effects/time_signals.h"

namespace qel::effects::generators_test {
namespace {

struct Type {
  std::string name;
  double type;
};

void PrintTo(const Type& type, std::ostream* os) {
  *os << type.name;
}

// Every feature that depends on time is on: modulation, a fade-in crossing the
// chunk boundaries, and a chirp that stops sweeping mid-run.
Settings Everything(double type) {
  return {{2, -3},    {5, 3},   {6, 40},  {7, 300},   {8, 3000}, {9, -40},
          {10, 1200}, {11, -1}, {12, -1}, {13, 1500}, {14, 9},   {1, type}};
}

class EveryType : public testing::TestWithParam<Type> {};

TEST_P(EveryType, GivesTheSameSignalHoweverTheChunksFall) {
  const size_t total = Frames(2.5);
  const auto whole = Generate(*Make(Everything(GetParam().type)), {total});
  // Seconds as the control makes them, and chunks of 1, 7 and 4410 frames.
  std::vector<std::vector<size_t>> splits = {{Frames(1), Frames(1), Frames(0.5)}};
  for (size_t chunk : {1, 7, 4410}) {
    splits.emplace_back(total / chunk, chunk);
    if (total % chunk != 0) splits.back().push_back(total % chunk);
  }
  for (const std::vector<size_t>& chunks : splits) {
    const auto split = Generate(*Make(Everything(GetParam().type)), chunks);
    EXPECT_LE(time_test::RelativeDifference(whole, split), 1e-9) << "chunks of " << chunks[0];
  }
}

TEST_P(EveryType, NeverExceedsThePeakLevel) {
  const auto x = Generate({{2, -10}, {7, 1000}, {8, 5000}, {1, GetParam().type}}, Frames(5));
  EXPECT_LE(Peak(x), DbToAmplitude(-10) * (1 + 1e-12));
}

TEST_P(EveryType, StartingAgainRepeatsTheSameSignal) {
  auto p = Make(Everything(GetParam().type));
  const auto first = Generate(*p, {Frames(0.5)});
  p->Start(StreamSetup{kRate, 16, kFullScale});
  const auto again = Generate(*p, {Frames(0.5)});
  EXPECT_EQ(first, again);
}

INSTANTIATE_TEST_SUITE_P(Generator, EveryType,
                         testing::Values(Type{"White", kWhite}, Type{"Silence", kSilence},
                                         Type{"Pink", kPink}, Type{"Brown", kBrown},
                                         Type{"Sine", kSine}, Type{"Chirp", kChirp}),
                         [](const auto& info) { return info.param.name; });

TEST(GeneratorPreview, ALevelChangeBetweenChunksGlidesInsteadOfStepping) {
  // 100 Hz at 0 dBFS, then −20 dB from the chunk that starts at the crest:
  // a step would drop by ~29000; the sine itself moves at most 467 a frame.
  auto p = Make({{7, 100}, {2, 0}, {1, kSine}});
  auto x = Generate(*p, {110});
  ASSERT_TRUE(p->SetParam(2, -20.0));
  std::vector<double> out;
  const std::vector<double> zeros(Frames(0.1), 0.0);
  p->Process(zeros, BlockInfo{110, 0, false}, out);
  x.insert(x.end(), out.begin(), out.end());
  double step = 0;
  for (size_t i = 1; i < x.size(); ++i)
    step = std::max(step, std::abs(x[i] - x[i - 1]));
  EXPECT_LT(step, 500.0);
  // After the 10 ms glide the new level holds.
  EXPECT_NEAR(Peak(std::span(x).subspan(Frames(0.05))), DbToAmplitude(-20), 1.0);
}

TEST(GeneratorParameters, RefusesUnknownTypesBadNumbersAndUnknownIndicesAndStaysAsItWas) {
  const Settings sine = {{7, 500}, {2, -12}, {1, kSine}};
  auto p = MakeGenerator();
  for (const auto& [index, value] : sine)
    ASSERT_TRUE(p->SetParam(index, value));
  EXPECT_FALSE(p->SetParam(1, 4.0));  // no type 4
  EXPECT_FALSE(p->SetParam(1, 5.5));
  EXPECT_FALSE(p->SetParam(2, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(p->SetParam(7, std::vector<double>{440}));
  EXPECT_FALSE(p->SetParam(15, 3.0));
  EXPECT_FALSE(p->SetParam(16, 1.0));
  p->Start(StreamSetup{kRate, 16, kFullScale});
  EXPECT_EQ(Generate(*p, {Frames(0.2)}), Generate(sine, Frames(0.2)));
}

}  // namespace
}  // namespace qel::effects::generators_test

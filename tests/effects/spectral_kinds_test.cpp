// What every spectral kind shares: the output does not depend on the block
// sizes nor on whether the end is marked or known only from the range length,
// and a neutral setting gives the input back.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "effects/spectral_signals.h"
#include "processors.h"

namespace qel::effects {
namespace {

using namespace spectral_test;

using Settings = std::vector<std::pair<int, ParamValue>>;
using Values = std::vector<double>;

struct Kind {
  std::string name;
  std::unique_ptr<Processor> (*make)();
  Settings shaping, neutral;
  Settings refused;  // each refused whatever was set before

  std::unique_ptr<Processor> Make(const Settings& settings) const {
    auto p = make();
    for (const auto& [index, value] : settings)
      EXPECT_TRUE(p->SetParam(index, value)) << name << " P" << index;
    Start(*p);
    return p;
  }
};

void PrintTo(const Kind& kind, std::ostream* os) {
  *os << kind.name;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

const Kind kKinds[] = {
    {"FftFilter",
     MakeFftFilter,
     {{1, Values{100, 1000, 5000}}, {4, Values{-10, 0, -20}}},
     {{1, Values{}}, {4, Values{}}},
     {{1, 1000.0}, {4, Values{kNaN}}, {2, Values{1}}, {3, kInfinity}, {5, u"1"}, {6, 1.0}}},
    // The shortest filter (quality 0).
    {"ShortFirFilter",
     MakeFirFilter,
     {{1, Values{200, 1000, 3000}}, {2, Values{-6, 0, -20}}, {4, 0.0}},
     {{1, Values{}}, {2, Values{}}},
     {{1, 1000.0}, {2, Values{kInfinity}}, {3, u"1"}, {4, kNaN}, {5, 1.0}}},
    {"NoiseRemover",
     MakeNoiseRemover,
     {{1, 2048.0}, {2, 18.0}},
     {{2, 0.0}},
     {{1, kNaN}, {2, kInfinity}, {2, Values{12}}, {1, u"2048"}, {3, 1.0}, {0, 1.0}}},
};

// A second of noise, then a tone in that noise: the noise remover learns its
// floor from the quietest frames.
std::vector<double> Input() {
  std::vector<double> tone = Sine(1000, 2 * kSecond + 777, 8000);
  std::fill(tone.begin(), tone.begin() + kSecond, 0.0);
  return Add(tone, Noise(tone.size(), 300));
}

class EverySpectralKind : public testing::TestWithParam<Kind> {};

TEST_P(EverySpectralKind, GivesTheSameOutputHoweverTheRangeIsSplitIntoBlocks) {
  const Kind& kind = GetParam();
  const std::vector<double> in = Input();
  const std::vector<double> whole = MeasureAndRun(*kind.Make(kind.shaping), in, in.size());
  for (std::size_t block : {1, 7, 4410}) {
    const std::vector<double> split = MeasureAndRun(*kind.Make(kind.shaping), in, block);
    ASSERT_EQ(split.size(), whole.size()) << "blocks of " << block;
    EXPECT_LE(MaxAbsDifference(split, whole), 1e-9 * Peak(whole)) << "blocks of " << block;
  }
}

TEST_P(EverySpectralKind, ARunEndingAtRangeFramesWithoutAMarkGivesTheSameWholeOutput) {
  const Kind& kind = GetParam();
  const std::vector<double> in = Input();
  const std::vector<double> marked = MeasureAndRun(*kind.Make(kind.shaping), in, 10000);
  const std::vector<double> byRange =
      MeasureAndRun(*kind.Make(kind.shaping), in, 10000, End::kRangeOnly);
  ASSERT_EQ(byRange.size(), in.size());
  EXPECT_LE(MaxAbsDifference(byRange, marked), 1e-9 * Peak(marked));
}

TEST_P(EverySpectralKind, NoPointsOrNoReductionGiveTheInputBack) {
  const Kind& kind = GetParam();
  const std::vector<double> in = Input();
  const std::vector<double> out = MeasureAndRun(*kind.Make(kind.neutral), in, 4410);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_LE(MaxAbsDifference(out, in), 1e-9 * 32768);
}

TEST_P(EverySpectralKind, RefusesBadParametersAndStaysAsItWas) {
  const Kind& kind = GetParam();
  auto p = kind.make();
  for (const auto& [index, value] : kind.shaping)
    ASSERT_TRUE(p->SetParam(index, value));
  for (const auto& [index, value] : kind.refused)
    EXPECT_FALSE(p->SetParam(index, value)) << "P" << index;
  Start(*p);
  const std::vector<double> in = Input();
  EXPECT_EQ(MeasureAndRun(*p, in, 4410), MeasureAndRun(*kind.Make(kind.shaping), in, 4410));
}

INSTANTIATE_TEST_SUITE_P(Spectral, EverySpectralKind, testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qel::effects

// The generator's tones, their level and their place in time, measured on its
// output.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dtmf_signals.h"

namespace qel::dtmf::test {
namespace {

constexpr double kRate = 44100;

size_t Frames(double ms, double rate = kRate) {
  return static_cast<size_t>(std::llround(ms * rate / 1000));
}

// One symbol held for 1.1 s: the second from 50 ms on holds whole cycles of
// both (integer) frequencies, away from the edges.
double ToneLevelDb(const Dial& dial, double hz) {
  const auto x = Generate(dial, kRate, Frames(1100));
  return Db(AmplitudeAt(x, hz, kRate, Frames(50), Frames(1000)) / kFullScale16);
}

Dial Held(std::u16string symbol) {
  Dial dial;
  dial.digits = std::move(symbol);
  dial.toneMs = 1100;
  return dial;
}

TEST(DtmfTones, EverySymbolIsItsRowAndColumnFrequencyEachAtMinusNineDbfs) {
  for (int i = 0; i < kSymbols; ++i) {
    const Dial dial = Held(std::u16string(1, static_cast<char16_t>(kAlphabet[size_t(i)])));
    const KeyPlace key = kKeyPlaces[static_cast<size_t>(i)];
    EXPECT_NEAR(ToneLevelDb(dial, kRowHz[size_t(key.row)]), -9.0, 0.01) << kAlphabet[size_t(i)];
    EXPECT_NEAR(ToneLevelDb(dial, kColumnHz[size_t(key.column)]), -9.0, 0.01)
        << kAlphabet[size_t(i)];
  }
}

TEST(DtmfTones, EachToneStartsAndEndsWithinOnePercentOfSilence) {
  Dial dial;
  dial.digits = u"159";
  const auto x = Generate(dial, kRate, DialFrames(dial, kRate));
  for (size_t k = 0; k < 3; ++k) {
    const size_t start = k * Frames(100);
    EXPECT_LE(std::abs(x[start + 1]), 0.01 * ToneAmplitude()) << k;
    EXPECT_LE(std::abs(x[start + Frames(50) - 1]), 0.01 * ToneAmplitude()) << k;
  }
}

TEST(DtmfTones, CustomPairsReplaceTheKeypadOnlyWhenTypeSignalsIsOne) {
  Dial dial = Held(u"1");
  dial.custom.assign(32, 500);
  EXPECT_NEAR(ToneLevelDb(dial, 697), -9.0, 0.01);  // type 0: the keypad
  EXPECT_LT(ToneLevelDb(dial, 500), -200.0);
  dial.type = 1;
  dial.custom[3] = 2000;  // symbol 1: low 500, high 2000
  EXPECT_NEAR(ToneLevelDb(dial, 500), -9.0, 0.01);
  EXPECT_NEAR(ToneLevelDb(dial, 2000), -9.0, 0.01);
  EXPECT_LT(ToneLevelDb(dial, 697), -200.0);
}

// Where the output is not exactly zero: [first, last] of each run of sound
// separated by at least `silence` zeros.
std::vector<std::pair<size_t, size_t>> SoundRuns(std::span<const double> x, size_t silence) {
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i] == 0) continue;
    if (!runs.empty() && i - runs.back().second <= silence) {
      runs.back().second = i;
    } else {
      runs.push_back({i, i});
    }
  }
  return runs;
}

TEST(DtmfTiming, ToneBreakAndEveryPauseLastTheirLengthsAndSilenceFollowsTheDialString) {
  Dial dial;
  dial.digits = u"1,,2";
  dial.toneMs = 50;
  dial.breakMs = 30;
  dial.pauseMs = 100;
  const auto x = Generate(dial, 8000, 8000);
  // At 8 kHz: tone 400 frames, break 240, two pauses of 800. A tone starts at
  // phase 0, so its first sample is 0 and its second is not.
  const std::vector<std::pair<size_t, size_t>> expected = {{1, 399}, {2241, 2639}};
  EXPECT_EQ(SoundRuns(x, 10), expected);
}

TEST(DtmfTiming, OnlyTheFirstPauseCharacterCountsUnknownCharactersAreSkippedAndCaseIsIgnored) {
  const auto generated = [](std::u16string digits) {
    Dial dial;
    dial.digits = std::move(digits);
    dial.pauseCharacter = u";,";
    return Generate(dial, 8000, 8000);
  };
  EXPECT_NE(generated(u"1;2"), generated(u"12"));
  EXPECT_EQ(generated(u"1,2"), generated(u"12"));
  EXPECT_EQ(generated(u"1 x-2/Ab"), generated(u"12aB"));
}

TEST(DtmfTiming, TheOutputIsTheSameHoweverTheChunksFall) {
  Dial dial;
  dial.digits = u"147*,2580369#ABCD";
  dial.toneMs = 45;
  dial.breakMs = 33;
  dial.pauseMs = 120;
  const size_t total = DialFrames(dial, kRate) + Frames(120);
  const auto whole = Generate(*MakeGenerator(dial, kRate), total, total);
  double peak = 0;
  for (double v : whole)
    peak = std::max(peak, std::abs(v));
  for (size_t chunk : {1, 7, 4410, 44100}) {
    const auto split = Generate(*MakeGenerator(dial, kRate), total, chunk);
    ASSERT_EQ(split.size(), whole.size());
    double diff = 0;
    for (size_t i = 0; i < whole.size(); ++i)
      diff = std::max(diff, std::abs(split[i] - whole[i]));
    EXPECT_LE(diff, 1e-9 * peak) << "chunks of " << chunk;
  }
}

TEST(DtmfMix, HalfTheWetMixHalvesTheTones) {
  Dial dial = Held(u"5");
  const double full = ToneLevelDb(dial, 770);
  auto p = MakeDtmfGenerator();
  p->SetParam(6, dial.digits);
  p->SetParam(2, dial.toneMs);
  p->SetParam(7, 50.0);
  p->Start(effects::StreamSetup{kRate, 16, kFullScale16});
  const auto x = Generate(*p, Frames(1100), 44100);
  EXPECT_NEAR(Db(AmplitudeAt(x, 770, kRate, Frames(50), Frames(1000)) / kFullScale16) - full,
              Db(0.5), 0.01);
}

TEST(DtmfMix, TheDryMixPassesTheInputUnderTheTones) {
  auto p = MakeDtmfGenerator();
  p->SetParam(8, 25.0);
  p->Start(effects::StreamSetup{kRate, 16, kFullScale16});
  const std::vector<double> dc(100, 1000.0);
  std::vector<double> out;
  p->Process(dc, effects::BlockInfo{0, 0, false}, out);
  ASSERT_EQ(out.size(), dc.size());
  for (double v : out)
    EXPECT_NEAR(v, 250.0, 1e-9);
}

TEST(DtmfParameters, WrongTypesUnknownIndicesAndMeaninglessNumbersAreRefused) {
  auto p = MakeDtmfGenerator();
  EXPECT_FALSE(p->SetParam(6, 5.0));                   // the dial string is text
  EXPECT_FALSE(p->SetParam(2, std::u16string(u"5")));  // a duration is a number
  EXPECT_FALSE(p->SetParam(2, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(p->SetParam(1, 2.0));  // only the keypad (0) or custom pairs (1)
  EXPECT_FALSE(p->SetParam(0, 1.0));
  EXPECT_FALSE(p->SetParam(9, 1.0));
  EXPECT_TRUE(p->SetParam(1, 1.0));
  EXPECT_TRUE(p->SetParam(6, std::u16string(u"123")));
}

TEST(DtmfParameters, ARefusedValueLeavesTheOutputUnchanged) {
  Dial dial;
  dial.digits = u"12";
  auto p = MakeGenerator(dial, 8000);
  p->SetParam(2, std::numeric_limits<double>::quiet_NaN());
  p->SetParam(6, 3.0);
  p->Start(effects::StreamSetup{8000, 16, kFullScale16});
  EXPECT_EQ(Generate(*p, 8000, 8000), Generate(dial, 8000, 8000));
}

}  // namespace
}  // namespace qel::dtmf::test

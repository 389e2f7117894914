// The recogniser reading back what the generator made, through 8- to 32-bit
// PCM, in noise and off frequency, and refusing speech-like sound.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dtmf_signals.h"

namespace qel::dtmf::test {
namespace {

const std::string kAllBack = "0123456789*#abcd";

struct Case {
  std::string name;
  double rate;
  double toneMs;
  double breakMs;
  int method;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class EveryRate : public testing::TestWithParam<Case> {
 protected:
  Dial MakeDial() const {
    Dial dial;
    dial.toneMs = GetParam().toneMs;
    dial.breakMs = GetParam().breakMs;
    return dial;
  }
  Reading MakeReading() const {
    Reading r;
    r.rate = GetParam().rate;
    r.method = GetParam().method;
    return r;
  }
};

TEST_P(EveryRate, AllSixteenSymbolsComeBackInOrder) {
  const Dial dial = MakeDial();
  const auto x = Generate(dial, GetParam().rate, DialFrames(dial, GetParam().rate));
  EXPECT_EQ(RecogniseSymbols(x, MakeReading()), kAllBack);
}

TEST_P(EveryRate, AllSixteenSymbolsComeBackInWhiteNoiseTenDecibelsBelowTheTones) {
  const Dial dial = MakeDial();
  for (uint32_t seed : {1u, 2u, 3u}) {
    auto x = Generate(dial, GetParam().rate, DialFrames(dial, GetParam().rate));
    AddNoise(x, 10.0, seed);
    EXPECT_EQ(RecogniseSymbols(x, MakeReading()), kAllBack) << "seed " << seed;
  }
}

TEST_P(EveryRate, EachSymbolIsPlacedWithinOneTenMillisecondFrameOfItsTone) {
  const Dial dial = MakeDial();
  const double rate = GetParam().rate;
  const auto found =
      Recognise(ToPcm(Generate(dial, rate, DialFrames(dial, rate)), 16), MakeReading());
  ASSERT_EQ(found.size(), 16u);
  const double frame = 0.010 * rate;
  for (size_t k = 0; k < found.size(); ++k) {
    const double onset = static_cast<double>(k) * (dial.toneMs + dial.breakMs) * rate / 1000;
    EXPECT_NEAR(static_cast<double>(found[k].position), onset, frame) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Recognizer, EveryRate,
                         testing::Values(Case{"At8kHz50msTones", 8000, 50, 50, 0},
                                         Case{"At44kHz40msTones", 44100, 40, 40, 0},
                                         Case{"At8kHz40msTonesOverlapping", 8000, 40, 40, 1},
                                         Case{"At16kHz35msTonesOverlapping", 16000, 35, 30, 1}),
                         [](const auto& info) { return info.param.name; });

// A voice-like buzz at −6 dBFS peak for 2 s.
std::vector<double> Sawtooth(double hz, double rate) {
  std::vector<double> x(static_cast<size_t>(2 * rate));
  for (size_t i = 0; i < x.size(); ++i) {
    const double phase = std::fmod(hz * static_cast<double>(i) / rate, 1.0);
    x[i] = 0.5 * kFullScale16 * (2 * phase - 1);
  }
  return x;
}

std::vector<double> Harmonics(double hz, int count, double rate) {
  std::vector<double> x(static_cast<size_t>(2 * rate));
  for (size_t i = 0; i < x.size(); ++i) {
    double v = 0;
    for (int k = 1; k <= count; ++k)
      v += std::sin(2 * std::numbers::pi * k * hz * static_cast<double>(i) / rate);
    x[i] = 0.5 * kFullScale16 * v / count;
  }
  return x;
}

TEST(DtmfSpeechRejection, ASawtoothAt150HzOrEqualHarmonicsOf200HzGiveNoSymbolAtAnyQuality) {
  for (double rate : {8000.0, 44100.0}) {
    const std::vector<std::pair<std::string, std::vector<double>>> sounds = {
        {"sawtooth", Sawtooth(150, rate)},
        {"6 harmonics", Harmonics(200, 6, rate)},
        {"16 harmonics", Harmonics(200, 16, rate)}};
    for (const auto& [name, x] : sounds) {
      for (int quality = 0; quality <= 3; ++quality) {
        Reading r;
        r.rate = rate;
        r.quality = quality;
        EXPECT_EQ(RecogniseSymbols(x, r), "") << rate << " Hz, " << name << ", q" << quality;
      }
    }
  }
}

TEST(DtmfSpeechRejection, ATwoToneChordWithItsSecondHarmonicsIsRefused) {
  // 770 + 1336 Hz ("5") with both second harmonics 3 dB below: a voiced sound
  // landing on a key, not a key.
  constexpr double kRate = 8000;
  std::vector<double> x(8000);
  const double a = ToneAmplitude();
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (double hz : {770.0, 1336.0}) {
      v += std::sin(2 * std::numbers::pi * hz * t) +
           0.7 * std::sin(2 * std::numbers::pi * 2 * hz * t);
    }
    x[i] = a * 0.7 * v;
  }
  Reading r;
  r.quality = 1;
  EXPECT_EQ(RecogniseSymbols(x, r), "");
}

TEST(DtmfRecognizer, ATooShortToneIsNothingAHeldKeyOneSymbolAndAKeyAfterABreakASecond) {
  struct Case {
    std::u16string digits;
    double toneMs, pauseMs;
    std::string expected;
  };
  for (const Case& c : {Case{u"7", 15, 500, ""},  // too short at quality one
                        Case{u"8", 1000, 500, "8"}, Case{u"55#,#", 50, 300, "55##"}}) {
    Dial dial;
    dial.digits = c.digits;
    dial.toneMs = c.toneMs;
    dial.pauseMs = c.pauseMs;
    EXPECT_EQ(RecogniseSymbols(Generate(dial, 8000, 12000), Reading{}), c.expected) << c.expected;
  }
}

TEST(DtmfRecognizer, EightTwentyFourAndThirtyTwoBitStereoInputIsRead) {
  const Dial dial;
  const auto x = Generate(dial, 44100, DialFrames(dial, 44100));
  for (int bits : {8, 24, 32}) {
    Reading r;
    r.rate = 44100;
    r.bits = bits;
    r.channels = 2;
    EXPECT_EQ(RecogniseSymbols(x, r), kAllBack) << bits << " bits";
  }
}

TEST(DtmfRecognizer, PiecesOfAnyByteCountGiveTheSameDetections) {
  Dial dial;
  Reading whole;
  whole.rate = 44100;
  whole.bits = 24;
  whole.channels = 2;
  auto x = Generate(dial, 44100, DialFrames(dial, 44100));
  AddNoise(x, 20.0, 7);
  const auto pcm = ToPcm(x, 24, 2);
  const auto expected = Recognise(pcm, whole);
  ASSERT_EQ(expected.size(), 16u);
  for (size_t piece : {1, 7, 4410}) {
    Reading split = whole;
    split.piece = piece;
    const auto found = Recognise(pcm, split);
    ASSERT_EQ(found.size(), expected.size()) << piece;
    for (size_t k = 0; k < found.size(); ++k) {
      EXPECT_EQ(found[k].symbol, expected[k].symbol);
      EXPECT_EQ(found[k].position, expected[k].position);
    }
  }
}

TEST(DtmfRecognizer, CustomPairsFromTheGeneratorAreReadAsTheKeysTheyCopy) {
  // Symbol i sounds as symbol i + 1 of the keypad, so "0123…" reads "123…0".
  Dial dial;
  dial.type = 1;
  for (int i = 0; i < kSymbols; ++i) {
    const KeyPlace key = kKeyPlaces[static_cast<size_t>((i + 1) % kSymbols)];
    dial.custom.push_back(static_cast<int32_t>(kRowHz[size_t(key.row)]));
    dial.custom.push_back(static_cast<int32_t>(kColumnHz[size_t(key.column)]));
  }
  const std::string expected = kAllBack.substr(1) + kAllBack.substr(0, 1);
  EXPECT_EQ(RecogniseSymbols(Generate(dial, 8000, DialFrames(dial, 8000)), Reading{}), expected);
}

// The keypad with every frequency moved by `offset` (0.015: 1.5 % up).
Dial Shifted(double offset) {
  Dial dial;
  dial.type = 1;
  for (int i = 0; i < kSymbols; ++i) {
    const KeyPlace key = kKeyPlaces[static_cast<size_t>(i)];
    dial.custom.push_back(
        static_cast<int32_t>(std::lround(kRowHz[size_t(key.row)] * (1 + offset))));
    dial.custom.push_back(
        static_cast<int32_t>(std::lround(kColumnHz[size_t(key.column)] * (1 + offset))));
  }
  return dial;
}

TEST(DtmfFrequencyTolerance,
     TonesOnePointFivePercentOffAreAcceptedAndThreePointFiveRefusedAtQualityTwo) {
  for (double rate : {8000.0, 44100.0}) {
    for (double offset : {-0.015, 0.015, -0.035, 0.035}) {
      Reading r;
      r.rate = rate;
      r.quality = 2;
      const Dial dial = Shifted(offset);
      EXPECT_EQ(RecogniseSymbols(Generate(dial, rate, DialFrames(dial, rate)), r),
                std::abs(offset) < 0.02 ? kAllBack : "")
          << rate << " Hz, " << offset;
    }
  }
}

// "5" for 200 ms with the row `twistDb` above the column (row at −9 dBFS).
std::vector<double> Twisted(double twistDb) {
  constexpr double kRate = 8000;
  std::vector<double> x(4000);
  const double row = ToneAmplitude();
  const double column = row * std::pow(10.0, -twistDb / 20);
  for (size_t i = 200; i < 1800; ++i) {
    const double t = static_cast<double>(i) / kRate;
    x[i] = row * std::sin(2 * std::numbers::pi * 770 * t) +
           column * std::sin(2 * std::numbers::pi * 1336 * t);
  }
  return x;
}

TEST(DtmfRecognizer, RowOverColumnFromMinusEightToPlusFourDecibelsIsAcceptedAtQualityOne) {
  for (double twist : {-7.5, -4.0, 0.0, 3.5})
    EXPECT_EQ(RecogniseSymbols(Twisted(twist), Reading{}), "5") << twist << " dB";
  for (double twist : {-8.5, 4.5})
    EXPECT_EQ(RecogniseSymbols(Twisted(twist), Reading{}), "") << twist << " dB";
}

TEST(DtmfRecognizer, WhiteNoiseAloneGivesNoSymbolAtAnyQuality) {
  for (int quality = 0; quality <= 3; ++quality) {
    std::vector<double> x(8000 * 20, 0.0);
    AddNoise(x, -6.0, 11);  // 6 dB louder than a pair of tones would be
    Reading r;
    r.quality = quality;
    EXPECT_EQ(RecogniseSymbols(x, r), "") << "q" << quality;
  }
}

TEST(DtmfRecognizer, TonesFortyDecibelsDownAreFoundAtQualityOneButNotAtThree) {
  Dial dial;
  auto x = Generate(dial, 8000, DialFrames(dial, 8000));
  for (double& v : x)
    v *= std::pow(10.0, -28.0 / 20);  // each tone at −37 dBFS
  Reading lenient;
  Reading strict;
  strict.quality = 3;
  EXPECT_EQ(RecogniseSymbols(x, lenient), kAllBack);
  EXPECT_EQ(RecogniseSymbols(x, strict), "");
}

}  // namespace
}  // namespace qel::dtmf::test

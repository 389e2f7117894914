// The tempo analyser on click tracks of known tempo.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/analysis_signals.h"

namespace qel::effects::analysis_test {
namespace {

// `seconds` of clicks at `bpm`: each click 10 ms of a 1 kHz sine decaying
// with a 1.8 ms time constant from 80 % of full scale, the same on every
// channel; silence between clicks.
Frames ClickTrack(double bpm, double seconds, int32_t channels, int32_t bits, double rate = 44100) {
  const auto frames = static_cast<size_t>(seconds * rate);
  const double fullScale = std::ldexp(1.0, bits - 1);
  Frames x(frames * static_cast<size_t>(channels), 0);
  const double period = 60.0 / bpm * rate;
  const auto clickFrames = static_cast<size_t>(0.01 * rate);
  for (int beat = 0;; ++beat) {
    const auto start = static_cast<size_t>(std::llround(beat * period));
    if (start >= frames) break;
    for (size_t i = 0; i < clickFrames && start + i < frames; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double v =
          0.8 * fullScale * std::exp(-t / 0.0018) * std::sin(2 * std::numbers::pi * 1000 * t);
      for (int32_t c = 0; c < channels; ++c)
        x[(start + i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
            static_cast<int32_t>(std::lround(v));
    }
  }
  return x;
}

double Analyse(const PcmFormat& format, const std::vector<uint8_t>& bytes, size_t blockFrames = 0) {
  auto p = MakeTempo();
  const auto out = RunFrames(*p, format, bytes, blockFrames);
  EXPECT_TRUE(out.empty());
  return p->Result();
}

class ClickTrackAt : public testing::TestWithParam<double> {};

TEST_P(ClickTrackAt, TwentySecondsGiveTheTempoWithinOneBeatPerMinute) {
  const double bpm = GetParam();
  const PcmFormat format = Format(1, 16);
  EXPECT_NEAR(Analyse(format, Pcm(ClickTrack(bpm, 20, 1, 16), 16)), bpm, 1.0);
}

// At 60 bpm the tracker also predicts beats halfway between the clicks, in
// silence; those are not counted, so the tempo is not read as double time.
INSTANTIATE_TEST_SUITE_P(Tempo, ClickTrackAt, testing::Values(60.0, 140.0), [](const auto& info) {
  return std::to_string(static_cast<int>(info.param)) + "Bpm";
});

TEST(Tempo, ReadsStereoTwentyFourBitAtFortyEightKilohertz) {
  const PcmFormat format = Format(2, 24, 48000);
  EXPECT_NEAR(Analyse(format, Pcm(ClickTrack(120, 20, 2, 24, 48000), 24)), 120.0, 1.0);
}

TEST(Tempo, GivesTheSameTempoHoweverTheInputIsSplitIntoBlocks) {
  const PcmFormat format = Format(1, 16);
  const auto bytes = Pcm(ClickTrack(120, 20, 1, 16), 16);
  EXPECT_EQ(Analyse(format, bytes, 333), Analyse(format, bytes));
}

TEST(Tempo, FindsTheTempoOfClicksFollowedBySilence) {
  const PcmFormat format = Format(1, 16);
  const auto bytes = Pcm(Join({ClickTrack(120, 15, 1, 16), Silence(44100 * 15, 1)}), 16);
  EXPECT_NEAR(Analyse(format, bytes), 120.0, 1.0);
}

TEST(Tempo, FindsNoTempoInSilence) {
  const PcmFormat format = Format(1, 16);
  EXPECT_EQ(Analyse(format, Pcm(Silence(44100 * 10, 1), 16)), 0.0);
}

TEST(Tempo, AnswersZeroUntilTheLastBlock) {
  const PcmFormat format = Format(1, 16);
  const auto bytes = Pcm(ClickTrack(120, 20, 1, 16), 16);
  auto p = MakeTempo();
  p->Start(format);
  std::vector<uint8_t> out;
  p->Process(bytes, false, out);
  EXPECT_EQ(p->Result(), 0.0);
  p->Process({}, true, out);
  EXPECT_NEAR(p->Result(), 120.0, 1.0);
}

}  // namespace
}  // namespace qel::effects::analysis_test

// The silence remover: which frames go, that the others stay byte for byte,
// and that block sizes and sample formats do not change the result.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effects/analysis_signals.h"

namespace qel::effects::analysis_test {
namespace {

constexpr double kRate = 44100;

std::unique_ptr<FrameProcessor> Remover(double thresholdDb, double windowMs) {
  auto p = MakeSilenceRemover();
  p->SetParam(1, thresholdDb);
  p->SetParam(2, windowMs);
  return p;
}

size_t Ms(double ms) {
  return static_cast<size_t>(std::llround(ms * kRate / 1000));
}

// Where `out` is `in` with one stretch [from, to) of bytes cut out; `cut`
// false when out is not of that form.
struct Cut {
  bool cut = false;
  size_t from = 0, to = 0;
};
Cut FindCut(std::span<const uint8_t> in, std::span<const uint8_t> out) {
  if (out.size() > in.size()) return {};
  size_t prefix = 0;
  while (prefix < out.size() && in[prefix] == out[prefix])
    ++prefix;
  const size_t removed = in.size() - out.size();
  for (size_t i = prefix; i < out.size(); ++i)
    if (out[i] != in[i + removed]) return {};
  return {true, prefix, prefix + removed};
}

// 1 s tone, 0.5 s digital silence, 1 s tone, stereo 16-bit at −6 dBFS.
struct ToneGapTone {
  PcmFormat format = Format(2, 16);
  std::vector<uint8_t> in =
      Pcm(Join({Tone(Ms(1000), 2, 16384), Silence(Ms(500), 2), Tone(Ms(1000), 2, 16384, 660)}), 16);
};

TEST(SilenceRemover, ToneGapToneLosesTheGapAndKeepsEveryOtherFrameByteForByte) {
  ToneGapTone s;
  const auto out = RunFrames(*Remover(-60, 50), s.format, s.in);
  const Cut cut = FindCut(s.in, out);
  ASSERT_TRUE(cut.cut) << "the output is not the input with one stretch cut out";
  // The cut lies in the gap (give or take near-zero samples at the tone edges).
  EXPECT_NEAR(static_cast<double>(cut.from) / 4, static_cast<double>(Ms(1000)), 5.0);
  EXPECT_NEAR(static_cast<double>(cut.to) / 4, static_cast<double>(Ms(1500)), 5.0);
}

TEST(SilenceRemover, GivesTheSameResultHoweverTheInputIsSplitIntoBlocks) {
  ToneGapTone s;
  const auto whole = RunFrames(*Remover(-60, 50), s.format, s.in);
  for (size_t block : {1, 7, 4410})
    EXPECT_EQ(RunFrames(*Remover(-60, 50), s.format, s.in, block), whole) << "blocks of " << block;
}

TEST(SilenceRemover, HoldsBackOneWindowLessAFrameUntilTheLastBlock) {
  ToneGapTone s;
  auto p = Remover(-60, 50);
  p->Start(s.format);
  std::vector<uint8_t> out;
  p->Process(std::span(s.in).first(Ms(800) * 4), false, out);
  EXPECT_EQ(out.size() / 4, Ms(800) - (Ms(50) - 1));
}

TEST(SilenceRemover, RemovesWhatStaysUnderTheThresholdForAWindowInEveryFormat) {
  struct Case {
    const char* what;
    PcmFormat format;
    Frames samples;
    double thresholdDb, removedMs;  // removed within 10 ms
  };
  // 24-bit: a gap holding a sine at −61 dBFS goes under a −60 threshold
  // (read by its peak level), one at −59 dBFS stays.
  const auto quiet = [](double db) { return 8388608.0 * std::pow(10.0, db / 20); };
  // Six channels of 32 bits, silent but for one loud channel: the level is
  // taken over all channels together.
  Frames oneLoud = Silence(Ms(500), 6);
  const auto loud = Tone(Ms(500), 1, 1e9);
  for (size_t t = 0; t < loud.size(); ++t)
    oneLoud[t * 6 + 3] = loud[t];
  const Case cases[] = {
      {"gap shorter than the window", Format(2, 16),
       Join({Tone(Ms(300), 2, 16384), Silence(Ms(40), 2), Tone(Ms(300), 2, 16384)}), -60, 0},
      {"leading and trailing silence", Format(1, 16),
       Join({Silence(Ms(300), 1), Tone(Ms(500), 1, 10000), Silence(Ms(300), 1)}), -60, 600},
      {"all silence", Format(2, 16), Silence(Ms(2000), 2), -60, 2000},
      {"8-bit silence at 0x80", Format(1, 8),
       Join({Tone(Ms(500), 1, 100), Silence(Ms(500), 1), Tone(Ms(500), 1, 100)}), -40, 500},
      {"sine under", Format(1, 24),
       Join({Tone(Ms(300), 1, 4e6), Tone(Ms(500), 1, quiet(-61), 1000), Tone(Ms(300), 1, 4e6)}),
       -60, 500},
      {"sine over", Format(1, 24),
       Join({Tone(Ms(300), 1, 4e6), Tone(Ms(500), 1, quiet(-59), 1000), Tone(Ms(300), 1, 4e6)}),
       -60, 0},
      {"one of six channels loud", Format(6, 32),
       Join({Tone(Ms(300), 6, 1e9), oneLoud, Tone(Ms(300), 6, 1e9)}), -60, 0},
  };
  for (const Case& c : cases) {
    const auto in = Pcm(c.samples, c.format.bitsPerSample);
    const auto out = RunFrames(*Remover(c.thresholdDb, 50), c.format, in);
    const auto align = static_cast<size_t>(c.format.BlockAlign());
    if (c.removedMs == 0) {
      EXPECT_EQ(out, in) << c.what;
    } else {
      EXPECT_NEAR(static_cast<double>((in.size() - out.size()) / align),
                  static_cast<double>(Ms(c.removedMs)), static_cast<double>(Ms(10)))
          << c.what;
    }
  }
}

TEST(SilenceRemover, RefusesUnknownIndicesAndNonNumbers) {
  auto p = MakeSilenceRemover();
  EXPECT_FALSE(p->SetParam(3, 1.0));
  EXPECT_FALSE(p->SetParam(1, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(p->SetParam(1, -50.0));
}

}  // namespace
}  // namespace qel::effects::analysis_test

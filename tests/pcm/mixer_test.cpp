// The channel mixer: the rule matrices with their exact coefficients, the
// overload normalisation, the derived low-frequency channel and the presets.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>

#include "pcm/mixer.h"
#include "pcm/pcm_convert.h"
#include "signals.h"

namespace PCM_CODEC {
namespace {

constexpr double kG = 0.7071067811865476;

struct Layouts {
  std::uint32_t inMask;
  int inChannels;
  std::uint32_t outMask;
  int outChannels;
};

void Prepare(CMixer& m, Layouts l, int rate = 48000) {
  m.SetInput(l.inMask, l.inChannels);
  m.SetOutput(l.outMask, l.outChannels);
  m.SetSampleRate(rate);
  m.ComputeMatrix();
}

std::vector<std::int32_t> Mix(CMixer& m, const std::vector<std::int32_t>& in, int bits = 16) {
  const auto bytes = pcmtest::Pack(in, bits);
  return pcmtest::Unpack(m.Mix(bytes, bits), bits);
}

// ---- rule matrices ---------------------------------------------------------

TEST(MixerMatrix, StereoToMonoTakesEachSideAtMinus3Db) {
  CMixer m;
  Prepare(m, {0x3, 2, 0x1, 1});
  EXPECT_EQ(m.Coefficient(0, 0), kG);
  EXPECT_EQ(m.Coefficient(0, 1), kG);
  EXPECT_EQ(Mix(m, {1000, 0, 1000, 1000}), (std::vector<std::int32_t>{707, 1414}));
}

TEST(MixerMatrix, FivePointOneToStereoFoldsCentreAndBackIntoTheFrontPair) {
  CMixer m;
  Prepare(m, {0x3F, 6, 0x3, 2});
  // [out][in] over FL FR FC LFE BL BR
  const double expected[2][6] = {{1, 0, kG, 0, 1, 0}, {0, 1, kG, 0, 0, 1}};
  const int speakers[6] = {0, 1, 2, 3, 4, 5};
  for (int o = 0; o < 2; ++o) {
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(m.Coefficient(o, speakers[i]), expected[o][i]) << o << "," << i;
    }
  }
  EXPECT_FALSE(m.UsesPositionalMatrix());
}

TEST(MixerMatrix, StereoToFivePointOneDecodesTheBackPairFromTheDifference) {
  CMixer m;
  Prepare(m, {0x3, 2, 0x3F, 6});
  EXPECT_EQ(m.Coefficient(4, 0), 1.1220184543019633);
  EXPECT_EQ(m.Coefficient(4, 1), -0.5610092271509817);
  EXPECT_EQ(m.Coefficient(5, 0), 0.5610092271509817);
  EXPECT_EQ(m.Coefficient(5, 1), -1.1220184543019633);
  EXPECT_EQ(m.Coefficient(2, 0), kG);
  EXPECT_EQ(m.Coefficient(2, 1), kG);
  EXPECT_EQ(m.Coefficient(0, 0), 1.0);
  EXPECT_EQ(m.Coefficient(1, 1), 1.0);
}

TEST(MixerMatrix, StereoToFivePointOneAsIsCopiesLeftAndRightToTheBack) {
  CMixer m;
  m.SetAsIsEnabled(true);
  Prepare(m, {0x3, 2, 0x3F, 6});
  // [out][in] for the back pair and the centre
  const std::tuple<int, int, double> expected[] = {
      {4, 0, 1.0}, {4, 1, 0.0}, {5, 1, 1.0}, {5, 0, 0.0}, {2, 0, kG}};
  for (const auto& [out, in, value] : expected)
    EXPECT_EQ(m.Coefficient(out, in), value) << out << "," << in;
}

TEST(MixerMatrix, LowFrequencyPassesOnlyWhenBothLayoutsHaveIt) {
  CMixer keep;
  Prepare(keep, {0x3F, 6, 0xB, 3});
  EXPECT_EQ(keep.Coefficient(3, 3), 1.0);
  CMixer drop;
  Prepare(drop, {0x3F, 6, 0x7, 3});
  EXPECT_EQ(drop.Coefficient(3, 3), 0.0);
}

TEST(MixerMatrix, LayoutsNoRuleCoversArePlacedByPosition) {
  CMixer m;
  Prepare(m, {0x603, 4, 0x3, 2});  // front pair and side pair to stereo
  EXPECT_TRUE(m.UsesPositionalMatrix());
  EXPECT_EQ(m.Coefficient(0, 0), 1.0);  // shared speakers pass unchanged
  EXPECT_EQ(m.Coefficient(1, 1), 1.0);
  const double near = m.Coefficient(0, 9), far = m.Coefficient(1, 9);
  EXPECT_GT(near, far);  // side left sounds mostly on the left
  EXPECT_GT(far, 0.0);
  EXPECT_NEAR(near * near + far * far, 1.0, 1e-12);  // constant power
  EXPECT_NEAR(m.Coefficient(1, 10), near, 1e-12);    // and the mirror image
}

TEST(MixerMatrix, PositionalPanningCrossFeedsTheMirrorSpeaker) {
  CMixer m;
  // Side left into a 5.0 layout: panned between back left and front left, each
  // sending 0.3 of its share to its mirror on the right.
  Prepare(m, {0x200, 1, 0x37, 5});
  EXPECT_TRUE(m.UsesPositionalMatrix());
  EXPECT_NEAR(m.Coefficient(1, 9) / m.Coefficient(0, 9), kCrossFeed, 1e-12);
  EXPECT_NEAR(m.Coefficient(5, 9) / m.Coefficient(4, 9), kCrossFeed, 1e-12);
  EXPECT_EQ(m.Coefficient(2, 9), 0.0);
}

// ---- overload normalisation --------------------------------------------------

// Stereo to mono over 1000 in-phase frames: `loud` at full scale, then 8192.
std::vector<std::int32_t> MixLoudThenQuiet(int loud) {
  CMixer m;
  Prepare(m, {0x3, 2, 0x1, 1});
  std::vector<std::int32_t> in;
  for (int t = 0; t < 1000; ++t) {
    const std::int32_t v = t < loud ? 32767 : 8192;
    in.insert(in.end(), {v, v});
  }
  return Mix(m, in);
}

TEST(MixerOverload, SustainedOverloadScalesTheWholeBlockInsteadOfClipping) {
  const auto out = MixLoudThenQuiet(500);
  EXPECT_EQ(out[0], 32767);
  // The quiet half shrinks by the same factor (1.414) as the loud one: 8192, not 11585.
  EXPECT_EQ(out[999], 8192);
}

TEST(MixerOverload, OverloadInAtMostOnePercentOfFramesIsClippedOnly) {
  const auto out = MixLoudThenQuiet(10);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[999], 11585);
}

TEST(MixerSampleSizes, EightAndTwentyFourBitMixAroundTheirOwnScales) {
  CMixer m;
  Prepare(m, {0x3, 2, 0x1, 1});
  EXPECT_EQ(Mix(m, {40, 40, -40, -40}, 8), (std::vector<std::int32_t>{57, -57}));
  EXPECT_EQ(Mix(m, {4194304, 4194304}, 24), (std::vector<std::int32_t>{5931642}));
  EXPECT_EQ(Mix(m, {1 << 29, 1 << 29}, 32), (std::vector<std::int32_t>{759250125}));
}

// ---- low frequency -------------------------------------------------------------

double LfeGainDb(double freq, int cutoff) {
  CMixer m;
  m.SetLfeFrequency(cutoff);
  Prepare(m, {0x3, 2, 0x3F, 6});
  const auto in = pcmtest::Sine(freq, 48000, 8000, 48000, 2);
  const auto out = Mix(m, in);
  const auto lfe = pcmtest::Channel(out, 6, 3);
  const std::span<const double> settled(lfe.data() + 24000, 24000);
  return pcmtest::Db(pcmtest::ToneAmplitude(settled, freq, 48000) / 8000.0);
}

TEST(MixerLfe, DerivedLowFrequencyPassesBelowIsMinus6DbAtAndFallsAt24DbPerOctaveAboveTheCutoff) {
  EXPECT_NEAR(LfeGainDb(50, 200), 0.0, 0.1);
  EXPECT_NEAR(LfeGainDb(200, 200), -6.02, 0.2);
  EXPECT_NEAR(LfeGainDb(400, 200), -24.6, 0.5);
  EXPECT_LT(LfeGainDb(3000, 200), -80.0);
}

TEST(MixerLfe, NoChannelIsDerivedWhenTheLowFrequencyOptionIsOff) {
  CMixer m;
  m.SetLfeEnabled(false);
  Prepare(m, {0x3, 2, 0x3F, 6});
  EXPECT_FALSE(m.DerivesLfe());
  const auto out = Mix(m, pcmtest::Sine(50, 48000, 8000, 4800, 2));
  for (double v : pcmtest::Channel(out, 6, 3))
    EXPECT_EQ(v, 0.0);
}

TEST(MixerLfe, AnyCutoffValueGivesAStableFilter) {
  for (int hz : {INT_MIN, -5, 0, 1, 20000, 23999, INT_MAX}) {
    CMixer m;
    m.SetLfeFrequency(hz);
    Prepare(m, {0x3, 2, 0x3F, 6});
    EXPECT_GE(m.LfeCutoff(), 10.0) << hz;
    EXPECT_LE(m.LfeCutoff(), 0.45 * 48000) << hz;
    const auto out = Mix(m, pcmtest::Sine(1000, 48000, 30000, 9600, 2));
    for (double v : pcmtest::Channel(out, 6, 3))
      ASSERT_LE(std::abs(v), 32767.0);
  }
}

// ---- presets and calibration ---------------------------------------------------

TEST(MixerPresets, EveryPresetValueIsAccepted) {
  for (int value : {INT_MIN, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 1000, INT_MAX}) {
    CPcmConvert c;
    ConvertSettings s;
    s.mixerDelayPreset = s.mixerDbGainPreset = s.mixerReverbPreset = value;
    s.roomWidth = s.roomHeight = s.listenerOffsetX = s.listenerOffsetY = value;
    s.mixerLfeFrequency = value;
    c.Configure(s);
    c.SetInputFormat(48000, 2, 16, 0x3);
    c.SetOutputFormat(48000, 8, 16, 0x63F);
    ASSERT_TRUE(c.Init()) << value;
    const auto in = pcmtest::Pack(pcmtest::Sine(440, 48000, 20000, 4800, 2), 16);
    const ConvertedBlock out = c.Convert(in.data(), static_cast<std::int64_t>(in.size()));
    EXPECT_EQ(out.length, 4800 * 8 * 2) << value;
  }
}

TEST(MixerPresets, DelayPresetHoldsBackTheSurroundSpeakersAcrossBlocks) {
  CMixer m;
  m.SetAsIsEnabled(true);
  m.SetDelayPreset(2);  // 15 ms
  m.SetLfeEnabled(false);
  Prepare(m, {0x3, 2, 0x33, 4});
  std::vector<std::int32_t> in(2 * 500, 0);
  in[0] = 10000;  // an impulse on the left, then silence
  std::vector<std::int32_t> out;
  for (int block = 0; block < 3; ++block) {
    const auto part = Mix(m, in);
    out.insert(out.end(), part.begin(), part.end());
    in[0] = 0;
  }
  const auto front = pcmtest::Channel(out, 4, 0), back = pcmtest::Channel(out, 4, 2);
  EXPECT_EQ(front[0], 10000);
  EXPECT_EQ(back[720], 10000);  // 15 ms at 48 kHz, in the second block
  EXPECT_EQ(back[0], 0);
}

TEST(MixerCalibration, SpeakersNearerTheListenerWaitAndPlaySofter) {
  CMixer m;
  m.SetListenerOffset(100, 0);  // at the right wall
  Prepare(m, {0x3, 2, 0x3F, 6});
  EXPECT_EQ(m.SpeakerDelayMs(4), 0.0);  // back left is the farthest
  // Front right is nearer than front left: it waits longer, by more than 1 ms.
  EXPECT_GT(m.SpeakerDelayMs(1), m.SpeakerDelayMs(0) + 1.0);
  EXPECT_LT(m.SpeakerGain(1), m.SpeakerGain(0));
  EXPECT_EQ(m.SpeakerGain(4), 1.0);
}

TEST(MixerBlocks, BlockSizeDoesNotChangeAMixWithoutOverload) {
  auto run = [](std::size_t block) {
    CMixer m;
    m.SetReverbPreset(2);
    m.SetDelayPreset(1);
    Prepare(m, {0x3, 2, 0x3F, 6});
    const auto in = pcmtest::Sine(120, 48000, 6000, 20000, 2);
    std::vector<std::int32_t> out;
    for (std::size_t pos = 0; pos < in.size(); pos += block) {
      const std::vector<std::int32_t> part(
          in.begin() + static_cast<std::ptrdiff_t>(pos),
          in.begin() + static_cast<std::ptrdiff_t>(std::min(in.size(), pos + block)));
      const auto mixed = Mix(m, part);
      out.insert(out.end(), mixed.begin(), mixed.end());
    }
    return out;
  };
  EXPECT_EQ(run(40000), run(2 * 777));
}

}  // namespace
}  // namespace PCM_CODEC

// The conversion pipeline as a host drives it: which stages run in which order,
// repeatability, and block handling.
#include <gtest/gtest.h>

#include "pcm/pcm_convert.h"
#include "signals.h"

namespace PCM_CODEC {
namespace {

struct Format {
  int rate;
  int channels;
  int bits;
  std::uint32_t mask = 0;
};

std::vector<std::int32_t> Convert(const std::vector<std::int32_t>& in, Format from, Format to,
                                  const ConvertSettings& settings = {},
                                  std::size_t blockFrames = 0) {
  CPcmConvert c;
  c.Configure(settings);
  c.SetInputFormat(from.rate, from.channels, from.bits, from.mask);
  c.SetOutputFormat(to.rate, to.channels, to.bits, to.mask);
  EXPECT_TRUE(c.Init());
  const int container = (from.bits + 7) / 8 * 8;
  const auto bytes = pcmtest::Pack(in, container);
  const std::size_t frameBytes = static_cast<std::size_t>(container / 8 * from.channels);
  // A tenth of a second by default, as the control reads a document.
  const std::size_t step =
      (blockFrames ? blockFrames : static_cast<std::size_t>(from.rate / 10)) * frameBytes;
  std::vector<std::int32_t> out;
  for (std::size_t pos = 0; pos < bytes.size(); pos += step) {
    const std::size_t n = std::min(step, bytes.size() - pos);
    const auto v = pcmtest::Unpack(
        c.Convert(bytes.data() + pos, static_cast<std::int64_t>(n)).Bytes(), to.bits);
    out.insert(out.end(), v.begin(), v.end());
  }
  return out;
}

TEST(Pipeline, RateChangeAloneRunsOnlyTheResampler) {
  CPcmConvert c;
  c.SetInputFormat(44100, 2, 16, 3);
  c.SetOutputFormat(48000, 2, 16, 3);
  ASSERT_TRUE(c.Init());
  EXPECT_TRUE(c.ConversionNeeded());
  EXPECT_TRUE(c.Dither().NoiseTable().empty());  // the bit-depth stage was never prepared
  const auto in = pcmtest::Pack(pcmtest::Sine(1000, 44100, 1000, 4410, 2), 16);
  const ConvertedBlock out = c.Convert(in.data(), static_cast<std::int64_t>(in.size()));
  EXPECT_EQ(out.length % 4, 0);
  EXPECT_NEAR(static_cast<double>(out.length / 4), 4800.0, 1.0);
}

TEST(Pipeline, WideningHappensBeforeResampling) {
  // 8 -> 16 bit at a new rate equals widening first, then resampling 16-bit.
  const auto in = pcmtest::Sine(700, 22050, 100, 22050);
  const auto direct = Convert(in, {22050, 1, 8}, {32000, 1, 16});
  const auto widened = Convert(in, {22050, 1, 8}, {22050, 1, 16});
  EXPECT_EQ(direct, Convert(widened, {22050, 1, 16}, {32000, 1, 16}));
}

TEST(Pipeline, NarrowingHappensAfterResamplingSoDitherLandsOnTheFinalSamples) {
  ConvertSettings s;
  s.ditheringEnabled = true;
  s.ditheringType = 4;
  s.ditheringNoiseShapingEnabled = true;
  const auto in = pcmtest::Sine(700, 44100, 9000, 44100);
  const auto direct = Convert(in, {44100, 1, 16}, {48000, 1, 8}, s);
  const auto resampled = Convert(in, {44100, 1, 16}, {48000, 1, 16}, s);
  EXPECT_EQ(direct, Convert(resampled, {48000, 1, 16}, {48000, 1, 8}, s));
}

TEST(Pipeline, ChannelsAreRemovedBeforeResampling) {
  const auto in = pcmtest::Sine(700, 44100, 9000, 44100, 2);
  const auto direct = Convert(in, {44100, 2, 16, 3}, {48000, 1, 16, 1});
  const auto mixed = Convert(in, {44100, 2, 16, 3}, {44100, 1, 16, 1});
  EXPECT_EQ(direct, Convert(mixed, {44100, 1, 16, 1}, {48000, 1, 16, 1}));
}

TEST(Pipeline, ChannelsAreAddedAfterResampling) {
  const auto in = pcmtest::Sine(700, 44100, 9000, 44100);
  const auto direct = Convert(in, {44100, 1, 16, 1}, {48000, 6, 16, 0x3F});
  const auto resampled = Convert(in, {44100, 1, 16, 1}, {48000, 1, 16, 1});
  EXPECT_EQ(direct, Convert(resampled, {48000, 1, 16, 1}, {48000, 6, 16, 0x3F}));
}

TEST(Pipeline, BitDepthAndMixingAreIndependentOfTheBlockSize) {
  ConvertSettings s;
  s.ditheringEnabled = true;
  s.ditheringNoiseShapingEnabled = true;
  s.mixerDelayPreset = 1;
  const auto in = pcmtest::Sine(300, 48000, 1e6, 48000, 6);
  const Format from{48000, 6, 24, 0x3F}, to{48000, 2, 16, 0x3};
  EXPECT_EQ(Convert(in, from, to, s, 4800), Convert(in, from, to, s, 997));
}

TEST(Pipeline, BlocksAreCutDownToWholeFrames) {
  CPcmConvert c;
  c.SetInputFormat(44100, 2, 16, 3);
  c.SetOutputFormat(44100, 2, 8, 3);
  ASSERT_TRUE(c.Init());
  const std::vector<std::uint8_t> block(4 * 100 + 3, 0);
  EXPECT_EQ(c.Convert(block.data(), static_cast<std::int64_t>(block.size())).length, 200);
}

TEST(Pipeline, OddSourceSizesAreReadLeftJustifiedFromWholeBytes) {
  // A 12-bit sample sits in the top of a 16-bit container, as in wave files.
  const auto out = Convert({0x1230, -0x7FF0}, {44100, 1, 12}, {44100, 1, 16}, {}, 2);
  EXPECT_EQ(out, (std::vector<std::int32_t>{0x1230, -0x7FF0 + 1}));
}

}  // namespace
}  // namespace PCM_CODEC

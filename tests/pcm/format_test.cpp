// Formats: what the source and destination setters make of their arguments and
// how a speaker mask is fitted to the channel count.
#include <gtest/gtest.h>

#include "pcm/pcm_convert.h"
#include "pcm/pcm_format.h"

namespace PCM_CODEC {
namespace {

TEST(ChannelMask, AMissingOrMismatchedMaskBecomesTheDefaultLayout) {
  const std::uint32_t expected[] = {0x1, 0x3, 0xB, 0x33, 0x37, 0x3F, 0x637, 0x63F};
  for (int channels = 1; channels <= 8; ++channels) {
    EXPECT_EQ(NormaliseChannelMask(0, channels), expected[channels - 1]) << channels;
    EXPECT_EQ(NormaliseChannelMask(0x1, channels), channels == 1 ? 0x1u : expected[channels - 1]);
  }
}

TEST(ChannelMask, CountsWithoutADefaultKeepTheGivenMask) {
  EXPECT_EQ(NormaliseChannelMask(0x3, 12), 0x3u);
  EXPECT_EQ(NormaliseChannelMask(0, 9), 0u);
}

TEST(ChannelMask, OnlySpeakerBitsCountTowardsTheChannels) {
  // Bit 18 names no speaker: two named speakers do not describe three channels.
  EXPECT_EQ(NormaliseChannelMask(0x40003, 3), 0xBu);
}

TEST(SourceFormat, NonsenseValuesBecomeTheUsualFormat) {
  const PcmFormat f = MakeSourceFormat(0, 0, 4, 0);
  EXPECT_EQ(f.wave.samplesPerSec, 44100u);
  EXPECT_EQ(f.wave.channels, 2);
  EXPECT_EQ(f.wave.bitsPerSample, 16);
  EXPECT_EQ(f.wave.blockAlign, 4);
  EXPECT_EQ(f.wave.avgBytesPerSec, 176400u);
  EXPECT_EQ(f.channelMask, 0x3u);
  EXPECT_EQ(f.wave.formatTag, kWaveFormatPcm);
}

TEST(ConverterFormats, InitRefusesFormatsItCannotProduce) {
  struct Case {
    int rate, channels, bits;
  };
  for (const Case& bad :
       {Case{0, 2, 16}, Case{44100, 0, 16}, Case{44100, 19, 16}, Case{44100, 2, 12},
        Case{44100, 2, 0}, Case{44100, 65538, 16}, Case{4000001, 2, 16}}) {
    CPcmConvert c;
    c.SetInputFormat(44100, 2, 16, 3);
    c.SetOutputFormat(bad.rate, bad.channels, bad.bits, 0);
    EXPECT_FALSE(c.Init()) << bad.rate << " " << bad.channels << " " << bad.bits;
  }
}

TEST(ConverterFormats, AMaskChangeAloneNeedsNoConversion) {
  CPcmConvert c;
  c.SetInputFormat(44100, 4, 16, 0x33);
  c.SetOutputFormat(44100, 4, 16, 0x107);
  ASSERT_TRUE(c.Init());
  EXPECT_FALSE(c.ConversionNeeded());
  const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const ConvertedBlock out = c.Convert(block, 16);
  EXPECT_EQ(out.data, block);
  EXPECT_EQ(out.length, 16);
}

}  // namespace
}  // namespace PCM_CODEC

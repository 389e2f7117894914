// The arithmetic of mixing one sample into another at each sample size: gains,
// truncation toward zero and the clip limits, including the 24-bit rule of
// mixing in the upper bytes of a 32-bit value.
#include <gtest/gtest.h>

#include <cstdint>

#include "editing/mix_operations.h"
#include "pcm/sample_io.h"

namespace qel::editing {
namespace {

template <int Bits>
int32_t Mixed(int32_t d, int32_t p, double documentGain, double incomingGain) {
  uint8_t a[4] = {}, b[4] = {};
  PCM_CODEC::Pcm<Bits>::Write(a, d);
  PCM_CODEC::Pcm<Bits>::Write(b, p);
  MixSample(a, b, Bits, {documentGain, incomingGain});
  return PCM_CODEC::Pcm<Bits>::Read(a);
}

// 8-bit samples are mixed as the stored bytes, 128 being silence.
int Mixed8(uint8_t d, uint8_t p, double documentGain, double incomingGain) {
  MixSample(&d, &p, 8, {documentGain, incomingGain});
  return d;
}

TEST(MixSample, EightBitSilenceStaysAtHalfGainsAndSaturatesAtFullGains) {
  EXPECT_EQ(Mixed8(128, 128, 0.5, 0.5), 128);
  EXPECT_EQ(Mixed8(128, 128, 1.0, 1.0), 255);
  EXPECT_EQ(Mixed8(10, 10, -1.0, 0.0), 0);
}

TEST(MixSample, SixteenBitSumsClipToTheSignedRange) {
  EXPECT_EQ(Mixed<16>(30000, 30000, 1.0, 1.0), 32767);
  EXPECT_EQ(Mixed<16>(-30000, -30000, 1.0, 1.0), -32768);
}

TEST(MixSample, SixteenBitResultsAreTruncatedTowardZero) {
  EXPECT_EQ(Mixed<16>(3, 0, 0.5, 1.0), 1);
  EXPECT_EQ(Mixed<16>(-3, 0, 0.5, 1.0), -1);
}

TEST(MixSample, TwentyFourBitProductsAreTruncatedInTheUpperBytesOfThirtyTwo) {
  // 3 × 256 × 0.5 = 384 twice: 768, which is 3 again, where truncating each
  // half-sample on its own would give 1 + 1.
  EXPECT_EQ(Mixed<24>(3, 3, 0.5, 0.5), 3);
  // The lower byte is dropped as the upper three bytes are stored: −128 is −1.
  EXPECT_EQ(Mixed<24>(-1, 0, 0.5, 0.0), -1);
}

TEST(MixSample, TwentyFourBitSumsClipAtPlusMinus2147483647) {
  EXPECT_EQ(Mixed<24>(8388607, 8388607, 1.0, 1.0), 8388607);
  EXPECT_EQ(Mixed<24>(-8388608, -8388608, 1.0, 1.0), -8388608);
}

TEST(MixSample, ThirtyTwoBitSumsClipSymmetrically) {
  EXPECT_EQ(Mixed<32>(2000000000, 2000000000, 1.0, 1.0), 2147483647);
  EXPECT_EQ(Mixed<32>(-2000000000, -2000000000, 1.0, 1.0), -2147483647);
  EXPECT_EQ(Mixed<32>(-2000000000, 0, 1e30, 0.0), -2147483647);
}

}  // namespace
}  // namespace qel::editing

// The spectral view's arithmetic: FFT sizes, the Hann window, decibels per bin,
// the integer HLS conversion and the palettes, and one band of the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "view/spectrum.h"

namespace qel::view {
namespace {

TEST(SpectralArithmetic, FftSizesWindowAndDecibels) {
  // The resolution runs from 4 to 4096 points; below 0 counts as 1.
  EXPECT_EQ(FftSizeForResolution(0), 4);
  EXPECT_EQ(FftSizeForResolution(2), 64);
  EXPECT_EQ(FftSizeForResolution(5), 4096);
  EXPECT_EQ(FftSizeForResolution(9), 4096);
  EXPECT_EQ(FftSizeForResolution(-3), 16);
  // The Hann window starts at zero and peaks at the middle.
  const std::vector<float> w = HannWindow(64);
  EXPECT_EQ(w[0], 0.0f);
  EXPECT_NEAR(w[32], 1.0f, 1e-6);
  // Power is truncated to whole decibels.
  EXPECT_EQ(PowerToDecibels(0), -20);
  EXPECT_EQ(PowerToDecibels(99.9), 19);
  EXPECT_EQ(PowerToDecibels(0.5), -3);
}

TEST(Spectrum, SilenceIsMinusTwentyDecibelsInEveryBin) {
  SpectrumAnalyzer fft(64);
  ASSERT_TRUE(fft.Valid());
  std::fill(fft.Input(), fft.Input() + 64, 0.0f);
  std::vector<int32_t> db(33, 7);
  fft.Transform(db.data());
  for (int32_t v : db)
    EXPECT_EQ(v, -20);
}

TEST(Spectrum, AWindowedSinePeaksInItsBinWithPowerOverHalfTheSize) {
  const int n = 64;
  SpectrumAnalyzer fft(n);
  const std::vector<float> w = HannWindow(n);
  for (int i = 0; i < n; ++i)
    fft.Input()[i] = static_cast<float>(10000 * std::sin(2 * M_PI * 8 * i / n)) * w[i];
  std::vector<int32_t> db(n / 2 + 1);
  fft.Transform(db.data());
  // |X8| = 10000 x 64 / 4; power = |X8|^2 / 32 = 8e8, or 89 dB.
  EXPECT_EQ(std::max_element(db.begin(), db.end()) - db.begin(), 8);
  EXPECT_EQ(db[8], 89);
  EXPECT_EQ(db[7], 83);  // the Hann window's neighbours are 6 dB down
}

TEST(HlsConversion, PureHuesAndGreysOnTheHundredFortyScaleAndLightnessSaturates) {
  EXPECT_EQ(HlsToRgb(0, 70, 140), 0x0000FFu);   // red in the low byte
  EXPECT_EQ(HlsToRgb(47, 70, 140), 0x0BFF00u);  // green, a little blue from integer steps
  EXPECT_EQ(HlsToRgb(93, 70, 140), 0xFF0000u);  // blue
  EXPECT_EQ(HlsToRgb(12, 70, 0), 0x7F7F7Fu);
  EXPECT_EQ(HlsToRgb(12, 0, 140), 0u);
  // Lightness beyond the maximum saturates instead of wrapping.
  EXPECT_EQ(HlsToRgb(0, 159, 140) & 0xFFFF, 0xFFFFu);
}

TEST(Palettes, StoredPixelsCarryTheRgbValueAndTheHueRampsFromLowPlusHundredDownward) {
  // Low = High = -100: every entry has hue 0 (red), which lands in the blue channel.
  EXPECT_EQ(SpectralPalette(true, -100, -100)[40], 0xFF0000FFu);  // lightness 70
  EXPECT_EQ(SpectralPalette(false, -100, -100)[0], 0xFF000000u);  // lightness 0
  // Defaults 35 / 135: hue 135 - i; the dark palette is the same hue darker.
  EXPECT_EQ(SpectralPalette(true, 35, 135)[20], 0xFF000000u | HlsToRgb(115, 40, 140));
  EXPECT_EQ(SpectralPalette(false, 35, 135)[20], 0xFF000000u | HlsToRgb(115, 10, 140));
}

TEST(SpectralBand, LowBinsSitAtTheBottomColoursFollowTheDecibelsAndSilenceIsColourZero) {
  std::array<uint32_t, 100> palette{};
  for (uint32_t i = 0; i < 100; ++i)
    palette[i] = 0xFF000000u | (i + 1);  // entry i stores i + 1
  Bitmap image(2, 16);
  // Column 0: bins 0 ... 3 at 30, 40, 50, 60 dB, indices 10, 20, 30, 40 plus the
  // slope toward the next bin. Column 1 is silent. 4 rows per bin.
  const std::vector<std::vector<int32_t>> columns{{30, 40, 50, 60, 0}, {-20, -20, -20, -20, -20}};
  PaintSpectralBand(image, 0, 16, 8, columns, palette);
  EXPECT_EQ(image.Pixel(0, 15) & 0xFF, 14u);  // bin 0, j = 1: 10 + 2.5, rounded
  EXPECT_EQ(image.Pixel(0, 12) & 0xFF, 21u);  // bin 1, j = 0
  EXPECT_EQ(image.Pixel(0, 4) & 0xFF, 41u);   // bin 3 (last: no slope)
  EXPECT_EQ(image.Pixel(0, 1) & 0xFF, 41u);
  for (int y = 1; y < 16; ++y)
    EXPECT_EQ(image.Pixel(1, y), palette[0]) << y;
}

}  // namespace
}  // namespace qel::view

// Dither noise generators and the bit-depth stage: exact values where the
// arithmetic is fixed, measured noise power and spectrum where it is not.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "pcm/dither.h"
#include "pcm/dither_random.h"
#include "pcm/pcm_convert.h"
#include "signals.h"

namespace PCM_CODEC {
namespace {

using DITHERNG::ColoredRandom;
using DITHERNG::GaussRandom;
using DITHERNG::RandomNumber;
using DITHERNG::TriangleRandom;
using DITHERNG::UniformRandom;

// First values from the seed 0xDEADBEEF, computed independently of this library.
constexpr double kUniform[] = {-0.51843398961202103, 0.43771854006632194, -0.60447033462218713,
                               0.45408000947304084};
constexpr double kTriangle[] = {-0.12315316990091306, -0.55886844814728676, -0.069292571644599676,
                                -0.50367880787320407};
constexpr double kGauss[] = {-0.32748439515315669, 1.0183870542915863, -0.20324994686802364,
                             0.64630961978164458};
constexpr double kColoured44100[] = {-0.54921856915812439, 0.67094001740643439,
                                     -0.72287563017158174, 0.69190375921969205};
constexpr double kColoured192000[] = {-0.4642792373695771, -0.48529364620522941,
                                      -0.8394390173189904, 1.3468066021951268};

void ExpectSequence(RandomNumber& r, const double (&expected)[4]) {
  for (double e : expected)
    EXPECT_NEAR(r.Next(), e, 1e-15);
}

TEST(DitherGenerators, EachGeneratorStartsWithThePinnedValuesForItsRate) {
  UniformRandom uniform;
  TriangleRandom triangle;
  GaussRandom gauss;
  ColoredRandom low(44100), high(192000);
  ExpectSequence(uniform, kUniform);
  ExpectSequence(triangle, kTriangle);
  ExpectSequence(gauss, kGauss);
  ExpectSequence(low, kColoured44100);
  ExpectSequence(high, kColoured192000);
}

TEST(DitherTable, TheTypeSelectsTheGenerator) {
  struct Case {
    int type;
    double first;
  };
  for (const Case& c : {Case{0, kTriangle[0]}, Case{2, kUniform[0]}, Case{3, kColoured44100[0]},
                        Case{1, kGauss[0]}, Case{-1, kGauss[0]}, Case{99, kGauss[0]}}) {
    CDither d;
    d.SetType(c.type);
    d.Prepare();
    ASSERT_EQ(d.NoiseTable().size(), CDither::kNoiseTableSize);
    EXPECT_NEAR(d.NoiseTable()[0], c.first, 1e-15) << c.type;
  }
}

TEST(DitherTable, HostDitheringTypeZeroIsGaussianAndOneTriangular) {
  for (int type : {0, 1}) {
    CPcmConvert c;
    ConvertSettings s;
    s.ditheringEnabled = true;
    s.ditheringType = type;
    c.Configure(s);
    c.SetInputFormat(44100, 2, 16, 3);
    c.SetOutputFormat(44100, 2, 8, 3);
    ASSERT_TRUE(c.Init()) << type;
    if (type == 0) {
      EXPECT_EQ(c.Dither().Type(), -1);
    }
    EXPECT_NEAR(c.Dither().NoiseTable()[0], type == 0 ? kGauss[0] : kTriangle[0], 1e-15) << type;
  }
}

// ---- the bit-depth stage -------------------------------------------------

void Prepare(CDither& d, int inBits, int outBits, int channels, bool dither, int type, bool shaping,
             int shapingType) {
  d.SetChannels(channels);
  d.SetInputBits(inBits);
  d.SetOutputBits(outBits);
  d.SetEnabled(dither);
  d.SetType(type);
  d.SetNoiseShapingEnabled(shaping);
  d.SetNoiseShapingType(shapingType);
  d.Prepare();
}

std::vector<std::int32_t> Requantise(const std::vector<std::int32_t>& in, int inBits, int outBits,
                                     int channels = 1, bool dither = false, int type = -1,
                                     bool shaping = false, int shapingType = 1) {
  CDither d;
  Prepare(d, inBits, outBits, channels, dither, type, shaping, shapingType);
  const auto bytes = pcmtest::Pack(in, inBits);
  return pcmtest::Unpack(d.Process(bytes), outBits);
}

TEST(BitDepth, SizesChangeByTheFullScaleRatioRoundingToNearest) {
  EXPECT_EQ(Requantise({-32768}, 16, 8)[0] + 128, 1);  // full-scale negative 16-bit
  EXPECT_EQ(Requantise({32767}, 16, 24)[0], 8388351);
  // 8-bit 192 is +0.5: 16383.5 rounds to the even 16384; -0.5 to -16384.
  EXPECT_EQ(Requantise({64, -64, -128, 127}, 8, 16),
            (std::vector<std::int32_t>{16384, -16384, -32767, 32511}));
  EXPECT_EQ(Requantise({2147483647, -2147483647 - 1}, 32, 16),
            (std::vector<std::int32_t>{32767, -32767}));
}

TEST(BitDepth, DitherOnAFullScaleSignalClipsInsteadOfWrapping) {
  const std::vector<std::int32_t> loud(4096, 32767);
  for (std::int32_t v : Requantise(loud, 16, 8, 1, true, -1, true)) {
    EXPECT_GE(v, 120);  // never wrapped round to the negative end
    EXPECT_LE(v, 127);
  }
}

TEST(BitDepth, AllChannelsOfAFrameShareOneNoiseValue) {
  const auto mono = pcmtest::Sine(440, 44100, 3000, 2000);
  std::vector<std::int32_t> stereo;
  for (std::int32_t v : mono)
    stereo.insert(stereo.end(), {v, v});
  const auto out = Requantise(stereo, 16, 8, 2, true, -1, true);
  EXPECT_EQ(pcmtest::Channel(out, 2, 0), pcmtest::Channel(out, 2, 1));
}

TEST(BitDepth, BlockSizeDoesNotChangeDitheredAndShapedOutput) {
  const auto in = pcmtest::Sine(1234, 44100, 9000, 40000, 2);
  const auto whole = Requantise(in, 16, 8, 2, true, 3, true);
  CDither d;
  Prepare(d, 16, 8, 2, true, 3, true, 1);
  const auto bytes = pcmtest::Pack(in, 16);
  std::vector<std::int32_t> pieces;
  std::size_t pos = 0;
  for (std::size_t step = 4; pos < bytes.size(); step = step * 7 % 9001 + 4) {
    const std::size_t n = std::min(step * 4, bytes.size() - pos);
    const auto out = pcmtest::Unpack(d.Process({bytes.data() + pos, n}), 8);
    pieces.insert(pieces.end(), out.begin(), out.end());
    pos += n;
  }
  EXPECT_EQ(pieces, whole);
}

// Error of a 16 -> 8 bit requantisation, in 8-bit steps.
std::vector<double> RequantisationError(bool dither, int type, bool shaping, int shapingType = 1) {
  const auto in = pcmtest::Sine(997, 44100, 0.3 * 32768, 65536);
  const auto out = Requantise(in, 16, 8, 1, dither, type, shaping, shapingType);
  std::vector<double> e(in.size());
  for (std::size_t t = 0; t < in.size(); ++t)
    e[t] = out[t] - in[t] / 32768.0 * 127.0;
  return e;
}

double Variance(const std::vector<double>& e) {
  double mean = 0, sq = 0;
  for (double v : e)
    mean += v;
  mean /= static_cast<double>(e.size());
  for (double v : e)
    sq += (v - mean) * (v - mean);
  return sq / static_cast<double>(e.size());
}

TEST(DitherNoise, WithoutDitherTheErrorIsPlainRoundingNoise) {
  EXPECT_NEAR(Variance(RequantisationError(false, 0, false)), 1.0 / 12.0, 0.1 / 12.0);
}

TEST(DitherNoise, GaussianDitherAddsAQuarterStepSquaredOfNoise) {
  // Unit-variance noise at half a step: 1/4 on top of the rounding's 1/12.
  EXPECT_NEAR(Variance(RequantisationError(true, -1, false)), 1.0 / 12.0 + 0.25, 0.03);
}

// Error power above 15 kHz relative to that below 5 kHz, in dB.
double HighToLowDb(const std::vector<double>& e) {
  const pcmtest::Spectrum s(e);
  return 10.0 * std::log10(s.Band(15000, 22050, 44100) / s.Band(20, 5000, 44100));
}

TEST(NoiseShaping, TheFirstSetTiltsWhiteNoiseTowardsHighFrequenciesAndTheSymmetricOneLess) {
  const double flat = HighToLowDb(RequantisationError(true, -1, false));
  const double first = HighToLowDb(RequantisationError(true, -1, true, 1));
  const double second = HighToLowDb(RequantisationError(true, -1, true, 2));
  EXPECT_NEAR(flat, 10.0 * std::log10(7050.0 / 4980.0), 0.5);  // white: the bandwidth ratio
  EXPECT_GT(first, flat + 8.0);
  EXPECT_GT(second, flat + 5.0);
  EXPECT_LT(second, first);
}

}  // namespace
}  // namespace PCM_CODEC

// The resampler, measured: sample counts and continuity across blocks on the
// linear path, level and frequency of tones, and the band-limited path's
// pass band, alias rejection and block behaviour.
#include <gtest/gtest.h>

#include <cmath>

#include "pcm/pcm_convert.h"
#include "signals.h"

namespace PCM_CODEC {
namespace {

struct Job {
  int inRate = 44100;
  int outRate = 48000;
  int channels = 1;
  int bits = 16;
  bool highQuality = false;
  std::size_t blockFrames = 4410;
  unsigned threads = 0;
};

std::vector<std::int32_t> Resample(const std::vector<std::int32_t>& in, const Job& job) {
  CPcmConvert c;
  c.SetHighQualityResampling(job.highQuality);
  c.SetResampleThreads(job.threads);
  const std::uint32_t mask = 0;  // the default layout for the count
  c.SetInputFormat(job.inRate, job.channels, job.bits, mask);
  c.SetOutputFormat(job.outRate, job.channels, job.bits, mask);
  EXPECT_TRUE(c.Init());
  const auto bytes = pcmtest::Pack(in, job.bits);
  const std::size_t frameBytes = static_cast<std::size_t>(job.bits / 8 * job.channels);
  std::vector<std::int32_t> out;
  for (std::size_t pos = 0; pos < bytes.size(); pos += job.blockFrames * frameBytes) {
    const std::size_t n = std::min(job.blockFrames * frameBytes, bytes.size() - pos);
    const ConvertedBlock b = c.Convert(bytes.data() + pos, static_cast<std::int64_t>(n));
    const auto v = pcmtest::Unpack(b.Bytes(), job.bits);
    out.insert(out.end(), v.begin(), v.end());
  }
  return out;
}

double FullScale(int bits) {
  return std::ldexp(1.0, bits - 1) - 1.0;
}

// Amplitude at `measured` Hz after resampling a tone of `freq` Hz, relative to
// the input amplitude, over the second half of the output (filters settled).
double ToneGainAt(const Job& job, double freq, double measured, double level = 0.5) {
  const double amplitude = level * FullScale(job.bits);
  const auto in = pcmtest::Sine(freq, job.inRate, amplitude, static_cast<std::size_t>(job.inRate));
  const auto out = pcmtest::Channel(Resample(in, job), job.channels, 0);
  const std::span<const double> settled(out.data() + out.size() / 2, out.size() / 2 - 64);
  return pcmtest::ToneAmplitude(settled, measured, job.outRate) / amplitude;
}

double ToneGain(const Job& job, double freq, double level = 0.5) {
  return ToneGainAt(job, freq, freq, level);
}

// Level (relative to the input tone) of the component at `at` Hz after resampling a tone.
double SpurDb(const Job& job, double freq, double at) {
  return pcmtest::Db(ToneGainAt(job, freq, at));
}

// ---- linear path ---------------------------------------------------------

TEST(LinearResampler, SampleCountFollowsTheRateRatioOverManyBlocks) {
  const std::size_t frames = 44100 * 30 + 17;
  const std::vector<std::int32_t> in(frames, 100);
  for (auto [outRate, block] :
       {std::pair{22050, 4410u}, std::pair{22050, 333u}, std::pair{48000, 4410u}}) {
    const auto out = Resample(in, {.inRate = 44100, .outRate = outRate, .blockFrames = block});
    EXPECT_NEAR(static_cast<double>(out.size()), frames * outRate / 44100.0, 1.0)
        << outRate << " " << block;
  }
}

TEST(LinearResampler, BlockBoundariesLeaveNoGap) {
  // A converted block sequence matches the whole signal converted at once, so
  // nothing is dropped, repeated or bent where one block meets the next.
  const auto in = pcmtest::Sine(441, 44100, 20000, 44100, 2);
  for (int bits : {8, 16, 24, 32}) {
    const double scale = FullScale(bits) / 32767.0;
    std::vector<std::int32_t> scaled(in.size());
    for (std::size_t k = 0; k < in.size(); ++k)
      scaled[k] = static_cast<std::int32_t>(in[k] * scale);
    Job whole{.inRate = 44100, .outRate = 32000, .channels = 2, .bits = bits, .blockFrames = 44100};
    Job pieces = whole;
    pieces.blockFrames = 1234;
    const auto a = Resample(scaled, whole);
    const auto b = Resample(scaled, pieces);
    ASSERT_EQ(a.size(), b.size()) << bits;
    std::int64_t worst = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
      worst = std::max<std::int64_t>(worst, std::abs(std::int64_t{a[k]} - b[k]));
    EXPECT_LE(worst, 1) << bits;
  }
}

TEST(LinearResampler, ToneKeepsFrequencyAndLevelAtEverySampleSize) {
  for (int bits : {8, 16, 24, 32}) {
    for (auto [inRate, outRate] : {std::pair{44100, 48000}, std::pair{48000, 44100}}) {
      const Job job{.inRate = inRate, .outRate = outRate, .bits = bits};
      const double amplitude = 0.9 * FullScale(bits);
      // Interpolating at evenly spread fractions μ loses μ(1-μ)(1 - cos ω) on
      // average (1/6 of 1 - cos ω), truncation toward zero about 2/π of a step
      // (visible at 8 bits); the 16-bit anti-imaging filter takes up to 0.15 % more.
      const double omega = 2.0 * std::numbers::pi * 1000.0 / inRate;
      const double expected =
          0.999 * (1.0 - (1.0 - std::cos(omega)) / 6.0) - 2.0 / std::numbers::pi / amplitude;
      EXPECT_NEAR(ToneGain(job, 1000, 0.9), expected, 0.0015) << bits << " " << inRate;
      // The tone is still at 1000 Hz: 4 Hz off, half a second no longer lines up.
      EXPECT_LT(ToneGainAt(job, 1000, 1004, 0.9), 0.02) << bits << " " << inRate;
    }
  }
}

TEST(LinearResampler, AntiImagingFilterRunsOnlyWhenUpsamplingByAtLeast1000Hz) {
  for (auto [outRate, active] :
       {std::pair{45000, false}, std::pair{45100, true}, std::pair{22050, false}}) {
    CPcmConvert c;
    c.SetInputFormat(44100, 2, 16, 3);
    c.SetOutputFormat(outRate, 2, 16, 3);
    ASSERT_TRUE(c.Init());
    EXPECT_EQ(c.Resampler().AntiImagingActive(), active) << outRate;
  }
}

TEST(LinearResampler, AntiImagingFilterLowersTheImagesOf16BitUpsampling) {
  // 22.05 -> 44.1 kHz: a 9 kHz tone images at 13.05 kHz. The 32-bit path has
  // no filter, so it shows the bare linear interpolator.
  const double filtered = SpurDb({.inRate = 22050, .outRate = 44100, .bits = 16}, 9000, 13050);
  const double bare = SpurDb({.inRate = 22050, .outRate = 44100, .bits = 32}, 9000, 13050);
  EXPECT_LT(filtered, bare - 10.0);
}

// ---- band-limited path ---------------------------------------------------------

TEST(HighQualityResampler, PassBandIsFlatTo0_1DbUpTo075OfTheLowerNyquist) {
  for (auto [inRate, outRate] : {std::pair{44100, 48000}, std::pair{48000, 44100}}) {
    for (double f : {100.0, 1000.0, 5000.0, 10000.0, 15000.0, 0.75 * 22050}) {
      const double gain = ToneGain({.inRate = inRate, .outRate = outRate, .highQuality = true}, f);
      EXPECT_NEAR(pcmtest::Db(gain), 0.0, 0.1) << inRate << " " << f;
    }
  }
}

TEST(HighQualityResampler, RollsOffToHalfAmplitudeAt09OfTheLowerNyquist) {
  const double gain =
      ToneGain({.inRate = 48000, .outRate = 44100, .highQuality = true}, 0.9 * 22050);
  EXPECT_NEAR(pcmtest::Db(gain), -6.0, 0.5);
}

TEST(HighQualityResampler, ContentAboveTheNewNyquistAliasesBelowMinus78Db) {
  for (double f : {23000.0, 24000.0 - 100, 30000.0, 40000.0}) {
    const Job job{.inRate = f > 24000 ? 96000 : 48000, .outRate = 44100, .highQuality = true};
    const double alias = std::abs(44100.0 - f);
    EXPECT_LT(SpurDb(job, f, alias), -78.0) << f;
  }
}

TEST(HighQualityResampler, ImagesOfPassBandTonesStayBelowMinus68Db) {
  for (double f : {1000.0, 5000.0, 10000.0, 15000.0}) {
    const double image = 48000.0 - (44100.0 - f);  // folded back below 24 kHz
    EXPECT_LT(SpurDb({.inRate = 44100, .outRate = 48000, .highQuality = true}, f, image), -68.0)
        << f;
  }
}

TEST(HighQualityResampler, EightBitMaterialStaysCentredOn128) {
  const auto in = pcmtest::Sine(500, 22050, 60, 22050);
  const auto out = pcmtest::Channel(
      Resample(in, {.inRate = 22050, .outRate = 44100, .bits = 8, .highQuality = true}), 1, 0);
  double mean = 0;
  for (double v : out)
    mean += v;
  EXPECT_NEAR(mean / static_cast<double>(out.size()), 0.0, 0.2);
  const std::vector<std::int32_t> silence(22050, 0);
  for (std::int32_t v :
       Resample(silence, {.inRate = 22050, .outRate = 44100, .bits = 8, .highQuality = true})) {
    ASSERT_EQ(v, 0);
  }
}

TEST(HighQualityResampler, HistoryCarriesAcrossBlocks) {
  const auto in = pcmtest::Sine(3000, 44100, 12000, 44100 * 3, 2);
  const auto whole = Resample(in, {.channels = 2, .highQuality = true, .blockFrames = 44100 * 3});
  const auto pieces = Resample(in, {.channels = 2, .highQuality = true, .blockFrames = 4410});
  EXPECT_EQ(whole, pieces);
}

TEST(HighQualityResampler, OutputLagsTheIdealCountOnlyByTheFilterLookAhead) {
  const std::vector<std::int32_t> in(44100 * 10, 1000);
  const auto out = Resample(in, {.highQuality = true});
  const double ideal = 44100 * 10 * 48000.0 / 44100.0;
  EXPECT_LE(static_cast<double>(out.size()), ideal);
  EXPECT_GT(static_cast<double>(out.size()), ideal - 64);
}

TEST(Resampler, ParallelChannelsGiveTheSameSamplesAsOneThread) {
  std::vector<std::int32_t> in = pcmtest::Sine(700, 44100, 9000, 44100, 6);
  for (std::size_t k = 0; k < in.size(); ++k)
    in[k] = in[k] / static_cast<int>(1 + k % 6) + 50;
  for (bool hq : {false, true}) {
    const Job serial{.channels = 6, .highQuality = hq, .threads = 1};
    Job parallel = serial;
    parallel.threads = 3;
    EXPECT_EQ(Resample(in, serial), Resample(in, parallel)) << hq;
  }
}

TEST(HighQualityResampler, TwentyFourAndThirtyTwoBitKeepTheirLevel) {
  for (int bits : {24, 32}) {
    const double gain =
        ToneGain({.inRate = 48000, .outRate = 44100, .bits = bits, .highQuality = true}, 1000);
    EXPECT_NEAR(pcmtest::Db(gain), 0.0, 0.01) << bits;
  }
}

}  // namespace
}  // namespace PCM_CODEC

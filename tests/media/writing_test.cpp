// Files of every writable type, read back by another program (ffmpeg) and
// by the component itself: lossless types give the samples back exactly, lossy
// ones keep the duration.
#include <cmath>

#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

struct Written {
  const char* name;
  int32_t type;
  int bits;
};

class LosslessWrite : public testing::TestWithParam<Written> {
 protected:
  std::string Write() {
    const Format format{48000, 2, GetParam().bits, 3};
    pcm_ = NoisePcm(format, 24000);
    EXPECT_EQ(Encode(dir_ / GetParam().name, GetParam().type, format, pcm_), 0);
    return dir_ / GetParam().name;
  }
  TempDir dir_;
  std::vector<uint8_t> pcm_;
};

TEST_P(LosslessWrite, FfmpegDecodesTheSamplesWritten) {
  const std::string path = Write();
  const std::string codec = "s" + std::to_string(GetParam().bits) + "le";
  ASSERT_TRUE(Ffmpeg("-i " + Quote(path) + " -f " + codec + " -c:a pcm_" + codec + " " +
                     Quote(dir_ / "out.raw")));
  EXPECT_EQ(ReadBytes(dir_ / "out.raw"), pcm_);
}

TEST_P(LosslessWrite, ReportsTheTypeItWasWrittenAs) {
  EXPECT_EQ(Get(Opened(Write()).get(), &IMediaFile::get_FileType), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Types, LosslessWrite,
                         testing::Values(Written{"a.wav", kWav, 16}, Written{"a.wav", kRf64, 24},
                                         Written{"a.flac", kFlac, 24}, Written{"a.aiff", kAiff, 32},
                                         Written{"a.w64", kWave64, 24}, Written{"a.mkv", kMkv, 24},
                                         Written{"a.mov", kMov, 16}, Written{"a.avi", kAvi, 16}),
                         [](const testing::TestParamInfo<Written>& info) {
                           return std::string(info.param.name).substr(2) + "_" +
                                  std::to_string(info.param.type) + "_" +
                                  std::to_string(info.param.bits);
                         });

TEST(RawWrite, WritesTheSamplesAndNothingElse) {
  TempDir dir;
  const Format format{8000, 1, 8, 4};
  const auto pcm = NoisePcm(format, 1234);
  ASSERT_EQ(Encode(dir / "a.raw", kRaw, format, pcm), 0);
  EXPECT_EQ(ReadBytes(dir / "a.raw"), pcm);
}

TEST(FlacWrite, EightBitSamplesComeBackAsSixteenBitOnesExactly) {
  TempDir dir;
  const Format format{22050, 1, 8, 4};
  const auto pcm = NoisePcm(format, 5000);
  ASSERT_EQ(Encode(dir / "a.flac", kFlac, format, pcm), 0);
  auto read = Decode(dir / "a.flac");
  ASSERT_EQ(read.pcm.size(), pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    ASSERT_EQ(static_cast<int16_t>(read.pcm[2 * i] | read.pcm[2 * i + 1] << 8),
              (pcm[i] - 128) * 256);
}

// One second of a quiet 440 Hz tone, in 16-bit samples.
std::vector<uint8_t> Tone(const Format& f) {
  std::vector<uint8_t> pcm;
  for (int i = 0; i < f.rate * f.channels; ++i) {
    auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * (i / f.channels) / f.rate));
    pcm.insert(pcm.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  return pcm;
}

class LossyWrite : public testing::TestWithParam<std::pair<const char*, int32_t>> {};

TEST_P(LossyWrite, FfmpegDecodesTheDurationWritten) {
  TempDir dir;
  const Format format{48000, 2, 16, 3};
  const std::string path = dir / GetParam().first;
  ASSERT_EQ(Encode(path, GetParam().second, format, Tone(format)), 0);
  ASSERT_TRUE(Ffmpeg("-i " + Quote(path) + " -f s16le -ar 48000 -ac 2 " + Quote(dir / "out.raw")));
  EXPECT_NEAR(static_cast<double>(ReadBytes(dir / "out.raw").size()) / 4 / 48.0, 1000.0,
              50.0);  // encoder delay and frame padding
}

INSTANTIATE_TEST_SUITE_P(Types, LossyWrite,
                         testing::Values(std::pair{"a.mp3", kMp3}, std::pair{"a.ogg", kOggVorbis},
                                         std::pair{"a.opus", kOpus}, std::pair{"a.aac", kAac},
                                         std::pair{"a.m4a", kM4a}),
                         [](const auto& info) { return std::string(info.param.first).substr(2); });

TEST(LossyWriteFormat, Mp3OfSixChannelsIsMixedToStereo) {
  TempDir dir;
  const Format format{44100, 6, 16, 0x3F};
  ASSERT_EQ(Encode(dir / "a.mp3", kMp3, format, NoisePcm(format, 44100)), 0);
  EXPECT_EQ(Decode(dir / "a.mp3").record.format.channels, 2);
}

TEST(LossyWriteFormat, OpusAtAnUnsupportedRateIsWrittenAtFortyEightKilohertz) {
  TempDir dir;
  const Format format{44100, 1, 16, 4};
  ASSERT_EQ(Encode(dir / "a.opus", kOpus, format, NoisePcm(format, 44100)), 0);
  EXPECT_EQ(Decode(dir / "a.opus").record.format.rate, 48000);
}

TEST(WriteType, UnknownOrReadOnlyTypeIsAFormatError) {
  TempDir dir;
  for (int32_t type : {12345, 99})
    EXPECT_EQ(Encode(dir / "a.x", type, {44100, 2, 16, 3}, {}), kFileFormat);
}

}  // namespace
}  // namespace qel::test

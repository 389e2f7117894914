// Wave files through the media-file object: bit-exact round trips at every
// sample size and channel count, the header they get, exact sample counts across
// blocks and seeks, and saves that fail or are never closed.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

struct Layout {
  int bits, channels;
  uint32_t mask;
};

std::vector<Layout> AllLayouts() {
  const uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
  std::vector<Layout> cases;
  // Counts past three share the extensible header's path: two of them suffice.
  for (int bits : {8, 16, 24, 32})
    for (int channels : {1, 2, 3, 6, 8})
      cases.push_back({bits, channels, masks[channels]});
  // Masks other than the usual one for the count.
  cases.insert(cases.end(), {{16, 2, 0x600}, {16, 1, 0x8}, {24, 4, 0}});
  return cases;
}

class WavRoundTrip : public testing::TestWithParam<Layout> {
 protected:
  Format format() const { return {48000, GetParam().channels, GetParam().bits, GetParam().mask}; }
  TempDir dir_;
};

// Samples, format and header kind from one write: the extensible header
// appears exactly when the plain one cannot describe the format.
TEST_P(WavRoundTrip, ReadsBackTheSamplesAndFormatItWroteUnderTheHeaderTheFormatNeeds) {
  const Format f = format();
  const auto pcm = NoisePcm(f, 12345);
  ASSERT_EQ(Encode(dir_ / "a.wav", kWav, f, pcm), 0);
  const Decoded read = Decode(dir_ / "a.wav");
  EXPECT_EQ(read.pcm, pcm);
  EXPECT_EQ(read.record.format, f);
  const auto bytes = ReadBytes(dir_ / "a.wav");
  const bool usualMask =
      f.mask == 0 || (f.channels == 1 && f.mask == 4) || (f.channels == 2 && f.mask == 3);
  ASSERT_GE(bytes.size(), 22u);
  EXPECT_EQ(bytes[20] | bytes[21] << 8, f.channels > 2 || f.bits > 16 || !usualMask ? 0xFFFE : 1);
}

TEST_P(WavRoundTrip, FfmpegDecodesTheSamplesItWrote) {
  const auto pcm = NoisePcm(format(), 3000);
  ASSERT_EQ(Encode(dir_ / "a.wav", kWav, format(), pcm), 0);
  const std::string codec =
      GetParam().bits == 8 ? "u8" : "s" + std::to_string(GetParam().bits) + "le";
  ASSERT_TRUE(Ffmpeg("-i " + Quote(dir_ / "a.wav") + " -f " + codec + " -c:a pcm_" + codec + " " +
                     Quote(dir_ / "out.raw")));
  EXPECT_EQ(ReadBytes(dir_ / "out.raw"), pcm);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WavRoundTrip, testing::ValuesIn(AllLayouts()),
                         [](const testing::TestParamInfo<Layout>& info) {
                           return std::to_string(info.param.bits) + "bit_" +
                                  std::to_string(info.param.channels) + "ch_mask" +
                                  std::to_string(info.param.mask);
                         });

class WavFile : public testing::Test {
 protected:
  std::vector<uint8_t> Write(int64_t frames) {
    auto pcm = NoisePcm(stereo_, frames);
    EXPECT_EQ(Encode(dir_ / "a.wav", kWav, stereo_, pcm), 0);
    return pcm;
  }
  // A failed or abandoned save leaves the old file as it was and nothing beside it.
  void ExpectOldFileAlone() {
    EXPECT_EQ(ReadBytes(dir_ / "a.wav"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.List(), std::vector<std::string>{"a.wav"});
  }
  const Format stereo_{44100, 2, 16, 3};
  TempDir dir_;
};

TEST_F(WavFile, BlocksOfAnyLengthAddUpToEverySampleOnceAndEndWithAnEmptyBlock) {
  const auto pcm = Write(44100 * 3 + 17);
  for (double ms : {7.0, 200.0, 333.3, 4000.0}) {
    const Decoded read = Decode(dir_ / "a.wav", ms);
    EXPECT_EQ(read.pcm, pcm) << ms;
    EXPECT_TRUE(read.endedWithEmptyBlock) << ms;
  }
}

TEST_F(WavFile, ProbeThenSeekToZeroReadsTheSameSamplesAgain) {
  const auto pcm = Write(44100 * 2);
  auto file = Opened(dir_ / "a.wav");
  ComPtr<IUnknown> probe;
  ASSERT_EQ(file->ReadAudio(200, probe.Out()), S_OK);
  ASSERT_EQ(file->Seek(0.0), S_OK);
  EXPECT_EQ(ReadAll(file.get()).pcm, pcm);
}

TEST_F(WavFile, SeekLandsOnTheSampleOfTheTime) {
  const auto pcm = Write(44100 * 2);
  auto file = Opened(dir_ / "a.wav");
  ASSERT_EQ(file->Seek(1000.0), S_OK);
  EXPECT_EQ(ReadAll(file.get()).pcm, std::vector<uint8_t>(pcm.begin() + 44100 * 4, pcm.end()));
}

TEST_F(WavFile, BlockTimeStampsFollowTheSamplesHandedOut) {
  Write(44100);
  auto file = Opened(dir_ / "a.wav");
  ComPtr<IUnknown> first, second;
  file->ReadAudio(300, first.Out());
  file->ReadAudio(300, second.Out());
  double stamp = -1;
  second.As<IAudioFrameData>()->get_TimeStamp(&stamp);
  EXPECT_NEAR(stamp, 300.0, 1000.0 / 44100);
}

TEST_F(WavFile, DurationIsTheFramesInMilliseconds) {
  Write(22050);
  double duration = 0;
  Opened(dir_ / "a.wav")->get_Duration(&duration);
  EXPECT_NEAR(duration, 500.0, 1e-6);
}

TEST_F(WavFile, BlocksInAnotherSampleSizeAreConvertedToTheFileFormat) {
  const Format target{44100, 2, 24, 3};
  const auto pcm = NoisePcm(stereo_, 1000);
  auto file = NewMediaFile();
  ASSERT_EQ(Create(file.get(), dir_ / "b.wav", kWav, target), 0);
  ASSERT_EQ(file->WriteAudio(NewBlock(stereo_, pcm.data(), pcm.size()).get()), S_OK);
  ASSERT_EQ(file->CloseFile(), S_OK);
  std::vector<uint8_t> expected;  // each 16-bit sample becomes the top of a 24-bit one
  for (size_t i = 0; i < pcm.size(); i += 2)
    expected.insert(expected.end(), {0, pcm[i], pcm[i + 1]});
  EXPECT_EQ(Decode(dir_ / "b.wav").pcm, expected);
}

TEST_F(WavFile, SaveNeverClosedLeavesTheOldFileAndNoLeftovers) {
  WriteBytes(dir_ / "a.wav", {'o', 'l', 'd'});
  {
    auto file = NewMediaFile();
    ASSERT_EQ(Create(file.get(), dir_ / "a.wav", kWav, stereo_), 0);
    const auto pcm = NoisePcm(stereo_, 1000);
    file->WriteAudio(NewBlock(stereo_, pcm.data(), pcm.size()).get());
  }
  ExpectOldFileAlone();
}

TEST_F(WavFile, SaveThatRunsOutOfSpaceFailsAndLeavesTheOldFile) {
  WriteBytes(dir_ / "a.wav", {'o', 'l', 'd'});
  auto file = NewMediaFile();
  ASSERT_EQ(Create(file.get(), dir_ / "a.wav", kWav, stereo_), 0);
  const auto pcm = NoisePcm(stereo_, 1 << 20);
  HRESULT written = S_OK, closed = S_OK;
  {
    // Files may grow to 1 MiB only: writes beyond fail with EFBIG.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit{1 << 20, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    auto handler = signal(SIGXFSZ, SIG_IGN);
    written = file->WriteAudio(NewBlock(stereo_, pcm.data(), pcm.size()).get());
    closed = file->CloseFile();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
  }
  EXPECT_TRUE(Failed(written) || Failed(closed));
  ExpectOldFileAlone();
}

TEST_F(WavFile, RelativeNameWithAColonIsAFileNameNotAProtocol) {
  const auto pcm = NoisePcm(stereo_, 100);
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  ASSERT_EQ(Encode("http:a.wav", kWav, stereo_, pcm), 0);
  auto read = Decode("http:a.wav").pcm;
  std::filesystem::current_path(home);
  EXPECT_EQ(read, pcm);
}

TEST_F(WavFile, CreateInAMissingFolderAnswersFileAccessError) {
  EXPECT_EQ(Encode(dir_ / "missing/a.wav", kWav, stereo_, {}), kFileAccess);
}

TEST_F(WavFile, BlockThatIsNotWholeFramesIsRefused) {
  auto file = NewMediaFile();
  ASSERT_EQ(Create(file.get(), dir_ / "a.wav", kWav, stereo_), 0);
  const uint8_t odd[3] = {1, 2, 3};
  EXPECT_EQ(file->WriteAudio(NewBlock(stereo_, odd, 3).get()), kInvalidArgument);
}

}  // namespace
}  // namespace qel::test

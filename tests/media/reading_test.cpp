// Reading files made by other tools: every container's audio, the format and
// type reported, tracks, headerless files and conversion to the format asked for.
#include <cmath>
#include <cstring>

#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

const Format kStereo{44100, 2, 16, 3};

// Two seconds of noise as a headerless file, and files made from it by ffmpeg.
class FromSource : public testing::Test {
 protected:
  void MakeSource(const Format& f = kStereo, const char* sampleFormat = "s16le") {
    pcm_ = NoisePcm(f, 2 * f.rate);
    WriteBytes(dir_ / "source.raw", pcm_);
    input_ = std::string("-f ") + sampleFormat + " -ar " + std::to_string(f.rate) + " -ac " +
             std::to_string(f.channels) + " -i " + Quote(dir_ / "source.raw") + " ";
  }
  std::string Make(const std::string& name, const std::string& options = "") {
    EXPECT_TRUE(Ffmpeg(input_ + options + " " + Quote(dir_ / name)));
    return dir_ / name;
  }
  TempDir dir_;
  std::vector<uint8_t> pcm_;
  std::string input_;
};

struct Made {
  const char* name;
  const char* options;
  int32_t type;
};

class LosslessFile : public FromSource, public testing::WithParamInterface<Made> {
 protected:
  void SetUp() override { MakeSource(); }
};

TEST_P(LosslessFile, ReportsItsTypeAndTheSourceFormatAndDecodesToTheSourceSamples) {
  auto file = Opened(Make(GetParam().name, GetParam().options));
  EXPECT_EQ(Get(file.get(), &IMediaFile::get_FileType), GetParam().type);
  ComPtr<IUnknown> unknown;
  file->get_AudioFormat(unknown.Out());
  auto format = unknown.As<IAudioFormat>();
  ASSERT_TRUE(format);
  Format got{};
  format->get_SampleRate(&got.rate);
  format->get_Channels(&got.channels);
  format->get_SampleSize(&got.bits);
  format->get_ChannelsMask(reinterpret_cast<int32_t*>(&got.mask));
  EXPECT_EQ(got, kStereo);
  EXPECT_EQ(ReadAll(file.get()).pcm, pcm_);
}

INSTANTIATE_TEST_SUITE_P(Containers, LosslessFile,
                         testing::Values(Made{"a.flac", "", kFlac}, Made{"a.aiff", "", kAiff},
                                         Made{"a.w64", "", kWave64},
                                         Made{"a.wav", "-rf64 always", kRf64},
                                         Made{"a.mkv", "-c:a pcm_s16le", kMkv}),
                         [](const auto& info) { return std::string(info.param.name).substr(2); });

class LossyFile : public LosslessFile {};

TEST_P(LossyFile, OpensWithItsTypeAsThirtyTwoBitStereoOfAboutTheDurationItReports) {
  auto file = Opened(Make(GetParam().name));
  EXPECT_EQ(Get(file.get(), &IMediaFile::get_FileType), GetParam().type);
  double duration = 0;
  file->get_Duration(&duration);
  EXPECT_NEAR(duration, 2000.0, 60.0);  // codec frames and padding
  auto read = ReadAll(file.get());
  EXPECT_EQ(read.record.format.bits, 32);
  EXPECT_EQ(read.record.format.channels, 2);
  EXPECT_NEAR(static_cast<double>(read.pcm.size()) / 8 * 1000.0 / read.record.format.rate, 2000.0,
              60.0);
}

INSTANTIATE_TEST_SUITE_P(Codecs, LossyFile,
                         testing::Values(Made{"a.mp3", "", kMp3}, Made{"a.ogg", "", kOggVorbis},
                                         Made{"a.opus", "", kOpus}, Made{"a.m4a", "", kM4a}),
                         [](const auto& info) { return std::string(info.param.name).substr(2); });

class Reading : public FromSource {};

TEST_F(Reading, TwentyFourBitFlacDeliversTwentyFourBitSamples) {
  MakeSource({48000, 2, 24, 3}, "s24le");
  auto read = Decode(Make("a.flac"));
  EXPECT_EQ(read.record.format.bits, 24);
  EXPECT_EQ(read.pcm, pcm_);
}

TEST_F(Reading, SixChannelFlacReportsTheFivePointOneMaskInAnExtensibleRecord) {
  MakeSource({44100, 6, 16, 0x3F});
  auto read = Decode(Make("a.flac"));
  EXPECT_EQ(read.record.format.mask, 0x3Fu);
  EXPECT_EQ(read.record.size, 40u);
}

TEST_F(Reading, FloatSamplesBecomeThirtyTwoBitIntegers) {
  const float values[] = {0.5f, -0.25f, 0.0f, 0.125f, -1.0f, 0.75f};
  std::vector<uint8_t> bytes(sizeof values);
  std::memcpy(bytes.data(), values, bytes.size());
  WriteBytes(dir_ / "f.raw", bytes);
  ASSERT_TRUE(Ffmpeg("-f f32le -ar 8000 -ac 1 -i " + Quote(dir_ / "f.raw") + " -c:a pcm_f32le " +
                     Quote(dir_ / "f.wav")));
  auto read = Decode(dir_ / "f.wav");
  ASSERT_EQ(read.pcm.size(), bytes.size());
  for (size_t i = 0; i < std::size(values); ++i) {
    int32_t v = 0;
    std::memcpy(&v, read.pcm.data() + 4 * i, 4);
    EXPECT_EQ(v, static_cast<int64_t>(std::ldexp(values[i], 31))) << i;
  }
}

TEST_F(Reading, FlacBlocksOfAnyLengthAddUpToEverySampleOnce) {
  MakeSource();
  const std::string path = Make("a.flac");
  for (double ms : {11.0, 200.0, 4000.0})
    EXPECT_EQ(Decode(path, ms).pcm, pcm_) << ms;
}

TEST_F(Reading, FlacSeekLandsOnTheSampleOfTheTime) {
  MakeSource();
  auto file = Opened(Make("a.flac"));
  ASSERT_EQ(file->Seek(1250.0), S_OK);
  EXPECT_EQ(ReadAll(file.get()).pcm, std::vector<uint8_t>(pcm_.begin() + 55125 * 4, pcm_.end()));
}

TEST_F(Reading, Mp3ReadAgainAfterSeekToZeroGivesTheSameSamples) {
  MakeSource();
  auto file = Opened(Make("a.mp3"));
  auto first = ReadAll(file.get()).pcm;
  ASSERT_EQ(file->Seek(0.0), S_OK);
  EXPECT_EQ(ReadAll(file.get()).pcm, first);
}

TEST_F(Reading, AcceptsTheFlashAudioParameterAndRefusesUnknownOnes) {
  Variant yes;
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  auto file = NewMediaFile();
  EXPECT_EQ(file->SetAdditionalParam(Bstr(u"SWF_AUDIO").get(), yes), S_OK);
  EXPECT_EQ(file->SetAdditionalParam(Bstr(u"NO_SUCH_THING").get(), yes), kInvalidArgument);
}

// A Matroska file with a mono track and a stereo one, and no video.
class Tracks : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        Ffmpeg("-f lavfi -i sine=f=440:d=1 -f lavfi -i sine=f=880:d=1 -map 0 -map 1 "
               "-filter:a:1 aformat=channel_layouts=stereo -c:a flac " +
               Quote(dir_ / "two.mkv")));
    file_ = Opened(dir_ / "two.mkv");
  }
  TempDir dir_;
  ComPtr<IMediaFile> file_;
};

TEST_F(Tracks, CountsBothAudioTracksAndNoVideoAndRefusesATrackBeyondTheCount) {
  EXPECT_EQ(Get(file_.get(), &IMediaFile::get_AudioTracksCount), 2);
  EXPECT_EQ(Get(file_.get(), &IMediaFile::get_VideoTracksCount), 0);
  EXPECT_EQ(Get(file_.get(), &IMediaFile::get_VideoTrack), -1);
  EXPECT_TRUE(Failed(file_->put_AudioTrack(2)));
  EXPECT_TRUE(Failed(file_->put_VideoTrack(0)));
}

TEST_F(Tracks, StartsOnTheFirstAudioTrackAndReadsTheSecondOnceChosen) {
  EXPECT_EQ(Get(file_.get(), &IMediaFile::get_AudioTrack), 0);
  EXPECT_EQ(ReadAll(file_.get()).record.format.channels, 1);
  auto second = Opened(dir_ / "two.mkv");
  ASSERT_EQ(second->put_AudioTrack(1), S_OK);
  EXPECT_EQ(ReadAll(second.get()).record.format.channels, 2);
}

// Headerless files: the format comes from an AudioFormat put.
class RawFile : public testing::Test {
 protected:
  void SetUp() override { WriteBytes(dir_ / "a.raw", pcm_); }
  TempDir dir_;
  std::vector<uint8_t> pcm_ = NoisePcm(kStereo, 10000);
};

TEST_F(RawFile, ReadsWithTheFormatPutBeforeOrAfterOpening) {
  auto after = Opened(dir_ / "a.raw");
  ASSERT_EQ(after->put_AudioFormat(NewAudioFormat(kStereo).get()), S_OK);
  EXPECT_EQ(ReadAll(after.get()).pcm, pcm_);
  auto before = NewMediaFile();
  before->put_AudioFormat(NewAudioFormat(kStereo).get());
  ASSERT_EQ(Open(before.get(), dir_ / "a.raw"), 0);
  EXPECT_EQ(ReadAll(before.get()).pcm, pcm_);
}

TEST_F(RawFile, ExtensionIsRecognisedInAnyLetterCase) {
  WriteBytes(dir_ / "b.RAW", pcm_);
  EXPECT_EQ(Get(Opened(dir_ / "b.RAW").get(), &IMediaFile::get_FileType), kRaw);
}

TEST_F(RawFile, ReadingBeforeAFormatIsPutIsAFormatError) {
  ComPtr<IUnknown> block;
  EXPECT_EQ(Opened(dir_ / "a.raw")->ReadAudio(200, block.Out()), kFileFormat);
}

TEST_F(RawFile, DurationFollowsTheFormat) {
  auto file = Opened(dir_ / "a.raw");
  file->put_AudioFormat(NewAudioFormat({10000, 2, 16, 3}).get());
  double duration = 0;
  file->get_Duration(&duration);
  EXPECT_NEAR(duration, 1000.0, 1e-6);
}

TEST_F(RawFile, FloatFormatTagReadsAsIntegers) {
  const float half = 0.5f;
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), &half, 4);
  WriteBytes(dir_ / "f.raw", bytes);
  auto file = Opened(dir_ / "f.raw");
  ASSERT_EQ(file->put_AudioFormat(NewAudioFormat({8000, 1, 32, 4}, 3).get()), S_OK);
  auto read = ReadAll(file.get());
  ASSERT_EQ(read.pcm.size(), 4u);
  int32_t value = 0;
  std::memcpy(&value, read.pcm.data(), 4);
  EXPECT_EQ(value, 1 << 30);
}

// Conversion to the format asked for with OutputAudioFormat.
class Conversion : public FromSource {
 protected:
  void SetUp() override {
    MakeSource();
    file_ = Opened(Make("a.wav"));
  }
  Decoded ReadAs(const Format& f) {
    file_->put_Prepare(-1);
    EXPECT_EQ(file_->put_OutputAudioFormat(NewAudioFormat(f).get()), S_OK);
    return ReadAll(file_.get());
  }
  ComPtr<IMediaFile> file_;
};

TEST_F(Conversion, LargerSampleSizeShiftsEverySampleExactly) {
  auto read = ReadAs({44100, 2, 24, 3});
  std::vector<uint8_t> expected;
  for (size_t i = 0; i < pcm_.size(); i += 2)
    expected.insert(expected.end(), {0, pcm_[i], pcm_[i + 1]});
  EXPECT_EQ(read.pcm, expected);
}

TEST_F(Conversion, BlocksDescribeTheFormatAskedFor) {
  EXPECT_EQ(ReadAs({48000, 1, 24, 4}).record.format, (Format{48000, 1, 24, 4}));
}

TEST_F(Conversion, NewRateGivesTheScaledNumberOfFrames) {
  EXPECT_NEAR(static_cast<double>(ReadAs({48000, 2, 16, 3}).pcm.size() / 4), 96000.0, 4.0);
}

TEST_F(Conversion, ValuesBelowOneKeepTheFilesOwn) {
  EXPECT_EQ(ReadAs({0, 0, 24, 0}).record.format, (Format{44100, 2, 24, 3}));
}

TEST_F(Conversion, AudioFormatStillReportsTheFile) {
  ReadAs({48000, 1, 8, 4});
  ComPtr<IUnknown> unknown;
  file_->get_AudioFormat(unknown.Out());
  int32_t rate = 0;
  unknown.As<IAudioFormat>()->get_SampleRate(&rate);
  EXPECT_EQ(rate, 44100);
}

TEST_F(Conversion, AppliesAfterTheProbeAndSeekToZero) {
  ComPtr<IUnknown> probe;
  file_->ReadAudio(200, probe.Out());
  file_->Seek(0.0);
  EXPECT_EQ(ReadAs({44100, 2, 24, 3}).pcm.size(), pcm_.size() / 2 * 3);
}

}  // namespace
}  // namespace qel::test

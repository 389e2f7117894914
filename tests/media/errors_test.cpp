// Bad input: missing, unreadable, empty, truncated, mislabelled, undecodable and
// damaged files answer the result code that fits and say so in LastError.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "com/errorinfo.h"
#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

class BadInput : public testing::Test {
 protected:
  int32_t OpenResult(const std::string& path) {
    file_ = NewMediaFile();
    return Open(file_.get(), path);
  }
  // A valid file made by ffmpeg from a sine.
  std::string Make(const std::string& name, const std::string& options = "") {
    EXPECT_TRUE(Ffmpeg("-f lavfi -i sine=d=1 " + options + " " + Quote(dir_ / name)));
    return dir_ / name;
  }
  std::string WithBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteBytes(dir_ / name, bytes);
    return dir_ / name;
  }
  std::vector<uint8_t> Head(const std::string& path, size_t bytes) {
    auto all = ReadBytes(path);
    all.resize(std::min(all.size(), bytes));
    return all;
  }
  // Replaces the first occurrence of `from` (same length as `to`) in a file.
  void Patch(const std::string& path, const std::string& from, const std::string& to) {
    auto bytes = ReadBytes(path);
    auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(at, bytes.end()) << from;
    std::copy(to.begin(), to.end(), at);
    WriteBytes(path, bytes);
  }
  TempDir dir_;
  ComPtr<IMediaFile> file_;
};

TEST_F(BadInput, MissingFileOrADirectoryIsAnAccessErrorNamedInLastError) {
  for (const std::string& path : {dir_ / "missing.wav", dir_.path()}) {
    EXPECT_EQ(OpenResult(path), kFileAccess) << path;
    EXPECT_EQ(LastError(file_.get()).rfind("File access error.", 0), 0u) << path;
  }
}

TEST_F(BadInput, UnreadableFileIsAnAccessError) {
  const std::string path = Make("a.wav");
  chmod(path.c_str(), 0);
  if (access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "permissions do not apply to this user";
  EXPECT_EQ(OpenResult(path), kFileAccess);
}

TEST_F(BadInput, EmptyFileTextWhateverItsExtensionAndACutWaveHeaderAreFormatErrors) {
  EXPECT_EQ(OpenResult(WithBytes("empty.wav", {})), kFileFormat);
  std::string text(4000, 'x');
  for (const char* name : {"text.wav", "text.mp3"})
    EXPECT_EQ(OpenResult(WithBytes(name, {text.begin(), text.end()})), kFileFormat) << name;
  EXPECT_EQ(OpenResult(WithBytes("cut.wav", Head(Make("a.wav"), 30))), kFileFormat);
}

TEST_F(BadInput, WaveDataCutShortReadsTheWholeFramesThatAreThere) {
  const std::string path = Make("a.wav");  // 16-bit mono
  const auto bytes = ReadBytes(path);
  const std::string data = "data";
  const size_t samples =
      std::search(bytes.begin(), bytes.end(), data.begin(), data.end()) - bytes.begin() + 8;
  EXPECT_EQ(OpenResult(WithBytes("cut.wav", Head(path, samples + 2001))), 0);
  EXPECT_EQ(ReadAll(file_.get()).pcm.size(), 2000u);
}

TEST_F(BadInput, WaveFileNamedAsMp3OpensAsWave) {
  const std::string path = Make("a.wav");
  EXPECT_EQ(OpenResult(WithBytes("wave.mp3", ReadBytes(path))), 0);
  EXPECT_EQ(Get(file_.get(), &IMediaFile::get_FileType), kWav);
}

TEST_F(BadInput, Mp4WithoutItsIndexIsAQuickTimeContainerError) {
  const std::string path = Make("a.mp4");  // the index (moov) is written last
  EXPECT_EQ(OpenResult(WithBytes("cut.mp4", Head(path, 2000))), kQuickTimeContainer);
}

TEST_F(BadInput, AviCutInsideItsHeaderIsAnAviContainerError) {
  const std::string path = Make("a.avi", "-c:a pcm_s16le");
  EXPECT_EQ(OpenResult(WithBytes("cut.avi", Head(path, 64))), kAviContainer);
}

TEST_F(BadInput, UnknownWaveCodecIsUnsupportedAudio) {
  const std::string path = Make("a.wav");
  auto bytes = ReadBytes(path);
  bytes[20] = 0x34;  // the format tag: 0x1234, which no decoder knows
  bytes[21] = 0x12;
  EXPECT_EQ(OpenResult(WithBytes("odd.wav", bytes)), kAudioUnsupported);
}

TEST_F(BadInput, UnknownAviAudioCodecIsTheAcmAudioError) {
  const std::string path = Make("a.avi", "-c:a pcm_s16le");
  auto bytes = ReadBytes(path);
  const std::string auds = "auds", strf = "strf";
  auto at = std::search(bytes.begin(), bytes.end(), auds.begin(), auds.end());
  at = std::search(at, bytes.end(), strf.begin(), strf.end());
  ASSERT_NE(at, bytes.end());
  at[8] = 0x34;  // wFormatTag of the audio stream
  at[9] = 0x12;
  EXPECT_EQ(OpenResult(WithBytes("odd.avi", bytes)), static_cast<int32_t>(0x80040502));
}

TEST_F(BadInput, UnknownVideoCodecIsUnsupportedVideo) {
  ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mpeg4 " +
                     Quote(dir_ / "v.mkv")));
  Patch(dir_ / "v.mkv", "V_MPEG4/ISO/ASP", "V_QQQQQ/ISO/ASP");
  EXPECT_EQ(OpenResult(dir_ / "v.mkv"), kVideoUnsupported);
}

TEST_F(BadInput, FailedCallSetsTheErrorInformation) {
  file_ = NewMediaFile();
  ComPtr<IUnknown> block;
  EXPECT_TRUE(Failed(file_->ReadAudio(200, block.Out())));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  Bstr description;
  info->GetDescription(description.Out());
  EXPECT_EQ(description.utf8(), "Invalid operation.");
}

// Damaged copies of valid files: every answer is success or a code of the
// table, and reading whatever opened comes to an end.
class DamagedFile : public BadInput, public testing::WithParamInterface<const char*> {};

TEST_P(DamagedFile, OpensOrFailsWithACodeOfTheTableAndReadsToTheEnd) {
  const std::string path = Make(std::string("a.") + GetParam(), "-t 0.5");
  const auto original = ReadBytes(path);
  const std::vector<int32_t> allowed = {0,
                                        kFileAccess,
                                        kFileFormat,
                                        kVideoUnsupported,
                                        kAudioUnsupported,
                                        kQuickTimeContainer,
                                        static_cast<int32_t>(0x80040404),
                                        static_cast<int32_t>(0x80040405),
                                        kAviContainer,
                                        static_cast<int32_t>(0x80040502),
                                        static_cast<int32_t>(0x80040503)};
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    auto bytes = original;
    // Flip a few bytes near the start (headers) and a few anywhere; sometimes cut.
    for (int i = 0; i < 4; ++i)
      bytes[random() % std::min<size_t>(bytes.size(), 256)] ^= 1 + random() % 255;
    for (int i = 0; i < 8; ++i)
      bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    if (round % 3 == 0) bytes.resize(random() % bytes.size());
    const std::string damaged = WithBytes(std::string("damaged.") + GetParam(), bytes);
    const int32_t result = OpenResult(damaged);
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end())
        << "round " << round << " answered " << std::hex << result;
    if (result == 0) {
      EXPECT_TRUE(ReadAll(file_.get(), 100).endedWithEmptyBlock) << "round " << round;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Types, DamagedFile,
                         testing::Values("wav", "flac", "mp3", "ogg", "m4a", "mkv", "aiff"));

}  // namespace
}  // namespace qel::test

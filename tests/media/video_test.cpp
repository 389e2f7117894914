// Files with video: the video track and its format as a reader reports them,
// and a save that carries the source's video stream over unchanged beside new
// audio, as the control's save with video does.
extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>

#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

struct Packet {
  std::vector<uint8_t> data;
  bool key;
  friend bool operator==(const Packet&, const Packet&) = default;
};

// The video packets of a file, read with libavformat directly.
std::vector<Packet> VideoPacketsOf(const std::string& path) {
  std::vector<Packet> packets;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return packets;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
      raw, [](AVFormatContext* c) { avformat_close_input(&c); });
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return packets;
  int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                        [](AVPacket* p) { av_packet_free(&p); });
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == video)
      packets.push_back({std::vector<uint8_t>(packet->data, packet->data + packet->size),
                         (packet->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(packet.get());
  }
  return packets;
}

struct Container {
  const char* name;
  const char* videoCodec;
  int32_t type;
};

class VideoFile : public testing::TestWithParam<Container> {
 protected:
  void SetUp() override {
    source_ = dir_ / (std::string("source.") + GetParam().name);
    ASSERT_TRUE(
        Ffmpeg(std::string("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i "
                           "sine=f=440:d=3 -c:v ") +
               GetParam().videoCodec + " -g 10 -c:a pcm_s16le " +
               (GetParam().type == kMp4 ? "-c:a aac " : "") + Quote(source_)));
  }

  // The control's save with video: a reader of the source's video only, a
  // reader of its audio standing for the document, and a writer that takes
  // both, audio block by block with the video up to the same time in between.
  int32_t SaveWithVideo(const std::string& target, int32_t type) {
    auto video = NewMediaFile();
    EXPECT_EQ(Open(video.get(), source_), 0);
    video->put_AudioTrack(-1);
    video->put_VideoTrack(0);
    auto audio = NewMediaFile();
    EXPECT_EQ(Open(audio.get(), source_), 0);
    ComPtr<IUnknown> videoFormat, audioFormat;
    video->get_VideoFormat(videoFormat.Out());
    audio->get_AudioFormat(audioFormat.Out());

    auto writer = NewMediaFile();
    writer->put_Prepare(-1);
    writer->put_FileType(type);
    writer->put_VideoTracksCount(1);
    writer->put_AudioTracksCount(1);
    writer->put_VideoTrack(0);
    writer->put_AudioTrack(0);
    writer->put_VideoFormat(videoFormat.get());
    writer->put_AudioFormat(audioFormat.get());
    writer->put_Prepare(-1);
    int32_t result = -1;
    writer->CreateFile(Bstr::FromUtf8(target).get(), &result);
    if (result != 0) return result;

    double audioMs = 0;
    bool videoLeft = true;
    ComPtr<IUnknown> pending;
    auto copyVideoUntil = [&](double ms) {
      while (videoLeft) {
        if (!pending && Failed(video->ReadVideo(pending.Out()))) return;
        auto packet = pending.As<IAudioFrameData>();
        int32_t size = 0;
        double stamp = 0;
        packet->get_DataSize(&size);
        packet->get_TimeStamp(&stamp);
        if (size == 0) {
          videoLeft = false;
          return;
        }
        if (stamp > ms) return;
        EXPECT_EQ(writer->WriteVideo(packet.get()), S_OK) << LastError(writer.get());
        pending.Reset();
      }
    };
    while (true) {
      ComPtr<IUnknown> block;
      if (Failed(audio->ReadAudio(1000, block.Out()))) break;
      double duration = 0;
      block.As<IAudioFrameData>()->get_Duration(&duration);
      if (duration <= 0) break;
      EXPECT_EQ(writer->WriteAudio(block.get()), S_OK);
      audioMs += duration;
      copyVideoUntil(audioMs);
    }
    copyVideoUntil(1e12);
    EXPECT_EQ(writer->CloseFile(), S_OK) << LastError(writer.get());
    return 0;
  }

  TempDir dir_;
  std::string source_;
};

TEST_P(VideoFile, ReportsItsTypeAndChoosesItsOneVideoTrackAndDescribesItsFormat) {
  auto file = Opened(source_);
  EXPECT_EQ(Get(file.get(), &IMediaFile::get_FileType), GetParam().type);
  EXPECT_EQ(Get(file.get(), &IMediaFile::get_VideoTracksCount), 1);
  EXPECT_EQ(Get(file.get(), &IMediaFile::get_VideoTrack), 0);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(file->get_VideoFormat(unknown.Out()), S_OK);
  auto format = unknown.As<IVideoFormat>();
  ASSERT_TRUE(format);
  int32_t width = 0, height = 0;
  double rate = 0;
  Bstr codec;
  format->get_Width(&width);
  format->get_Height(&height);
  format->get_FrameRate(&rate);
  format->get_Codec(codec.Out());
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  EXPECT_NEAR(rate, 25.0, 1e-9);
  EXPECT_EQ(codec.utf8(), GetParam().videoCodec == std::string("libx264") ? "h264" : "mpeg4");
}

TEST_P(VideoFile, NoVideoTrackChosenMeansNoVideoFormat) {
  auto file = Opened(source_);
  ASSERT_EQ(file->put_VideoTrack(-1), S_OK);
  ComPtr<IUnknown> unknown;
  file->get_VideoFormat(unknown.Out());
  EXPECT_FALSE(unknown);
}

TEST_P(VideoFile, SaveWithVideoKeepsEveryVideoPacketAndTheAudio) {
  const std::string target = dir_ / (std::string("saved.") + GetParam().name);
  ASSERT_EQ(SaveWithVideo(target, GetParam().type), 0);
  auto saved = VideoPacketsOf(target);
  EXPECT_FALSE(saved.empty());
  EXPECT_EQ(saved, VideoPacketsOf(source_));
  double duration = 0;
  Opened(target)->get_Duration(&duration);
  EXPECT_NEAR(duration, 3000.0, 60.0);
}

TEST_P(VideoFile, SaveAsAnAudioOnlyTypeWithVideoIsRefused) {
  EXPECT_EQ(SaveWithVideo(dir_ / "saved.wav", kWav), kVideoUnsupported);
}

INSTANTIATE_TEST_SUITE_P(Containers, VideoFile,
                         testing::Values(Container{"mp4", "libx264", kMp4},
                                         Container{"mkv", "mpeg4", kMkv},
                                         Container{"avi", "mpeg4", kAvi}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VideoCopy, WriterWithoutAVideoFormatRefusesOneVideoTrack) {
  TempDir dir;
  EXPECT_EQ(Create(NewMediaFile().get(), dir / "a.mp4", kMp4, {44100, 2, 16, 3}, 1),
            kVideoUnsupported);
}

}  // namespace
}  // namespace qel::test

// The device threads meet the host's thread only in the streams' own queues
// and in the message queue their reports are posted to, as the control does
// it. ALSA's file plug-in stands in for a card: what is played lands in a
// file, what is captured comes from one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "capture_stream.h"
#include "platform/message_queue.h"
#include "playback_stream.h"

namespace qel::audio {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int32_t kRate = 8000;

// Devices "qel_out" (into out.raw) and "qel_in" (from in.raw) in a folder of
// the test's own, made known to ALSA before its configuration is first read.
class FileDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qel-audio-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    const fs::path conf = folder_ / "devices.conf";
    std::ofstream(conf) << "pcm.qel_out { type file slave.pcm \"null\" file \"" << Out().string()
                        << "\" format \"raw\" }\n"
                        << "pcm.qel_in { type file slave.pcm \"null\" file \"/dev/null\" infile \""
                        << In().string() << "\" format \"raw\" }\n";
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf.string()).c_str(), 1);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Out() const { return folder_ / "out.raw"; }
  fs::path In() const { return folder_ / "in.raw"; }

  static std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Distinct 16-bit samples, so that a lost or doubled stretch shows.
  static std::vector<uint8_t> Ramp(size_t samples, int seed) {
    std::vector<uint8_t> bytes(samples * 2);
    for (size_t i = 0; i < samples; ++i) {
      const auto v = static_cast<uint16_t>(i * 7 + seed * 1000);
      bytes[2 * i] = static_cast<uint8_t>(v);
      bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return bytes;
  }

  platform::MessageQueue queue_;

 private:
  fs::path folder_;
};

TEST_F(FileDevices, EveryFrameWrittenWhileTheHostPollsIsPlayedAndReportedOnTheHostThread) {
  struct Reports {
    int64_t positionBytes = 0;
    int ends = 0;
    bool offThread = false;
  };
  auto reports = std::make_shared<Reports>();
  platform::MessageQueue& queue = queue_;
  auto stream = std::make_unique<PlaybackStream>(
      "qel_out", kRate, 2, 16, 20, [&queue, reports](PlayerEvent event, int32_t value) {
        queue.Post([&queue, reports, event, value] {
          reports->offThread |= !queue.IsOwnerThread();
          if (event == PlayerEvent::Position) reports->positionBytes += value;
          if (event == PlayerEvent::EndOfData) ++reports->ends;
        });
      });
  ASSERT_TRUE(stream->Ok());

  std::vector<uint8_t> written;
  for (int block = 0; block < 8; ++block) {
    const std::vector<uint8_t> bytes = Ramp(2 * 400, block);  // 50 ms of stereo
    stream->Write(bytes.data(), bytes.size());
    written.insert(written.end(), bytes.begin(), bytes.end());
    stream->Recent(100);  // what a host asks while the thread plays
    platform::RunMessageLoop(queue_, {}, 10ms);
  }
  ASSERT_TRUE(platform::RunMessageLoop(
      queue_, [&] { return reports->ends > 0; }, 5s));
  stream.reset();
  queue_.Dispatch();

  EXPECT_EQ(ReadAll(Out()), written);
  EXPECT_EQ(reports->positionBytes, static_cast<int64_t>(written.size()));
  EXPECT_EQ(reports->ends, 1);
  EXPECT_FALSE(reports->offThread);
}

TEST_F(FileDevices, StoppingAStreamInTheMiddleEndsItsThreadAndLeavesOnlyQueuedReports) {
  auto posted = std::make_shared<int>(0);
  platform::MessageQueue& queue = queue_;
  auto stream = std::make_unique<PlaybackStream>(
      "qel_out", kRate, 1, 16, 10,
      [&queue, posted](PlayerEvent, int32_t) { queue.Post([posted] { ++*posted; }); });
  ASSERT_TRUE(stream->Ok());
  const std::vector<uint8_t> second = Ramp(kRate, 1);
  stream->Write(second.data(), second.size());
  platform::RunMessageLoop(queue_, {}, 100ms);
  stream.reset();  // joins the thread: nothing is posted after this
  queue_.Dispatch();
  const int before = *posted;
  platform::RunMessageLoop(queue_, {}, 50ms);
  EXPECT_EQ(*posted, before);
  EXPECT_LT(ReadAll(Out()).size(), second.size());  // the rest was dropped
}

TEST_F(FileDevices, BlocksTakenOnTheHostThreadWhileCapturingReproduceTheInput) {
  const std::vector<uint8_t> input = Ramp(kRate, 3);  // one second, mono
  std::ofstream(In(), std::ios::binary)
      .write(reinterpret_cast<const char*>(input.data()),
             static_cast<std::streamsize>(input.size()));
  std::vector<uint8_t> taken;
  CaptureStream* capture = nullptr;
  platform::MessageQueue& queue = queue_;
  auto stream = std::make_unique<CaptureStream>(
      "qel_in", kRate, 1, 16, 100, 20,
      [&](RecorderEvent event, int32_t, int32_t) {
        if (event != RecorderEvent::DataReady) return;
        queue.Post([&] {
          if (!capture) return;  // announced before the stream went
          for (std::vector<uint8_t> block = capture->Take(); !block.empty();
               block = capture->Take())
            taken.insert(taken.end(), block.begin(), block.end());
        });
      },
      InputDynamics(kRate, 1, 16, {}, {}));
  ASSERT_TRUE(stream->Ok());
  capture = stream.get();
  platform::RunMessageLoop(
      queue_, [&] { return taken.size() >= 3 * 1600; }, 5s);
  stream->Finish();
  for (std::vector<uint8_t> block = stream->Take(); !block.empty(); block = stream->Take())
    taken.insert(taken.end(), block.begin(), block.end());
  stream.reset();
  capture = nullptr;
  queue_.Dispatch();

  ASSERT_GE(taken.size(), 3u * 1600);
  ASSERT_LE(taken.size(), input.size());
  EXPECT_TRUE(std::equal(taken.begin(), taken.end(), input.begin()));
}

}  // namespace
}  // namespace qel::audio

// One playback stream: blocks queued by the host's thread, written to an ALSA
// PCM by a thread of the stream's own, so that Write never waits for the
// device. The thread reports through a callback (on its own thread): a block
// handed to the device, the bytes played every report interval, and the end of
// everything written.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alsa_util.h"
#include "pcm/audio_resample.h"

namespace qel::audio {

enum class PlayerEvent {
  BlockDone = 1,
  Started = 2,
  Position = 3,
  BlockDropped = 4,
  EndOfData = 5
};

class PlaybackStream {
 public:
  using Notify = std::function<void(PlayerEvent event, int32_t value)>;

  // Opens the device in the format and starts the thread; check Ok().
  PlaybackStream(const std::string& device, int32_t rate, int32_t channels, int32_t bits,
                 uint32_t reportMs, Notify notify);
  // Stops the thread and drops what was not played.
  ~PlaybackStream();
  PlaybackStream(const PlaybackStream&) = delete;
  PlaybackStream& operator=(const PlaybackStream&) = delete;

  bool Ok() const { return pcm_ != nullptr; }
  // Queues whole frames of the stream's format (a partial frame at the end is
  // dropped); never waits for the device.
  void Write(const uint8_t* data, size_t bytes);
  void SetReportInterval(uint32_t ms);
  // Plays the blocks written from now on at `percent` of their speed (100:
  // as they are), resampling them; position reports stay in the bytes written.
  void SetSpeed(int32_t percent);
  // At most `frames` of the frames heard last (the stream keeps two seconds).
  std::vector<uint8_t> Recent(int64_t frames);

 private:
  using Clock = std::chrono::steady_clock;
  void Run();
  // Frames of what was written that the listener has heard by now.
  int64_t PlayedFrames();
  // Reports the bytes played since the last report when the interval is due
  // (or always, with force).
  void Report(bool force);
  // Writes frames to the device, pacing and recovering from underruns; false
  // when the stream was stopped or the device failed for good.
  bool WriteFrames(const uint8_t* data, int64_t frames);
  bool Stopping();
  // The block as it plays at `percent`: each channel resampled by 100 / percent.
  void ChangeSpeed(int32_t percent, std::vector<uint8_t>& block);
  void KeepRecent(const uint8_t* data, int64_t frames);

  PcmHandle pcm_;
  int32_t rate_;
  int32_t channels_;
  int32_t bits_;
  size_t frameBytes_;
  Notify notify_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::vector<uint8_t>> blocks_;
  bool stop_ = false;
  uint32_t reportMs_;
  int32_t speed_ = 100;  // percent
  // The frames written last, as a ring, and how far the listener has heard
  // (both under mutex_; the thread updates them).
  std::vector<uint8_t> ring_;
  int64_t ringEnd_ = 0;  // frames ever written into the ring
  int64_t heardShared_ = 0;

  // The thread's own counters.
  int64_t written_ = 0;     // frames handed to the device
  int64_t played_ = 0;      // frames heard (never goes back)
  int64_t reported_ = 0;    // frames already reported
  int64_t underruns_ = 0;   // times the device ran dry and was prepared again
  int32_t speedNow_ = 100;  // the speed of the frames being written
  std::unique_ptr<PCM_CODEC::CAudioResample[]> resamplers_;  // one per channel
  std::vector<int32_t> resampled_;
  Clock::time_point clockBase_;  // when frame 0 would have been heard on a device without a clock
  Clock::time_point nextReport_;
  std::thread thread_;
};

}  // namespace qel::audio

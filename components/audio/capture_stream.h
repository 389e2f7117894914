// One capture stream: a thread of its own reads an ALSA PCM and gathers the
// samples into blocks of a set duration; the host's thread takes the blocks.
// The thread reports through a callback (on its own thread): a block is ready,
// and the bytes captured every report interval with their peak.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alsa_util.h"
#include "input_dynamics.h"

namespace qel::audio {

enum class RecorderEvent { DataReady = 1, Position = 2, GainChange = 3 };

class CaptureStream {
 public:
  using Notify = std::function<void(RecorderEvent event, int32_t value, int32_t peak)>;

  // `dynamics` (accumulation, automatic gain) runs on the thread; its gain
  // changes are reported as GainChange with the gain in percent.
  CaptureStream(const std::string& device, int32_t rate, int32_t channels, int32_t bits,
                uint32_t blockMs, uint32_t reportMs, Notify notify, InputDynamics dynamics);
  ~CaptureStream();
  CaptureStream(const CaptureStream&) = delete;
  CaptureStream& operator=(const CaptureStream&) = delete;

  bool Ok() const { return pcm_ != nullptr; }
  // Stops capturing; the samples of the unfinished block become the last block.
  void Finish();
  // The oldest ready block (empty when none).
  std::vector<uint8_t> Take();

 private:
  using Clock = std::chrono::steady_clock;
  void Run();
  int32_t Peak(const uint8_t* data, size_t bytes) const;

  PcmHandle pcm_;
  int32_t rate_;
  int32_t bits_;
  size_t frameBytes_;
  size_t blockBytes_;
  uint32_t reportMs_;
  Notify notify_;
  InputDynamics dynamics_;  // the thread's

  std::mutex mutex_;
  std::deque<std::vector<uint8_t>> ready_;
  std::vector<uint8_t> filling_;  // the block being gathered (the thread's while it runs)
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace qel::audio

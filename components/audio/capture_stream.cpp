#include "capture_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qel::audio {

namespace {

constexpr unsigned kLatencyUs = 200000;
constexpr auto kPoll = std::chrono::milliseconds(5);

}  // namespace

CaptureStream::CaptureStream(const std::string& device, int32_t rate, int32_t channels,
                             int32_t bits, uint32_t blockMs, uint32_t reportMs, Notify notify,
                             InputDynamics dynamics)
    : pcm_(OpenPcm(device, SND_PCM_STREAM_CAPTURE, rate, channels, bits, kLatencyUs)),
      rate_(rate),
      bits_(bits),
      frameBytes_(static_cast<size_t>(bits / 8 * channels)),
      blockBytes_(std::max<size_t>(1, static_cast<size_t>(rate) * blockMs / 1000) * frameBytes_),
      reportMs_(std::max<uint32_t>(reportMs, 1)),
      notify_(std::move(notify)),
      dynamics_(dynamics) {
  if (!pcm_) return;
  snd_pcm_start(pcm_.get());  // a device that starts on the first read refuses: harmless
  thread_ = std::thread([this] { Run(); });
}

CaptureStream::~CaptureStream() {
  Finish();
}

void CaptureStream::Finish() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  if (!filling_.empty()) ready_.push_back(std::move(filling_));
  filling_.clear();
}

std::vector<uint8_t> CaptureStream::Take() {
  std::lock_guard lock(mutex_);
  if (ready_.empty()) return {};
  std::vector<uint8_t> block = std::move(ready_.front());
  ready_.pop_front();
  return block;
}

int32_t CaptureStream::Peak(const uint8_t* data, size_t bytes) const {
  // Of 32767, whatever the sample size.
  int64_t peak = 0;
  const size_t step = static_cast<size_t>(bits_ / 8);
  for (size_t i = 0; i + step <= bytes; i += step) {
    int64_t v = 0;
    switch (bits_) {
      case 8:
        v = (static_cast<int64_t>(data[i]) - 128) << 8;
        break;
      case 16:
        v = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
        break;
      case 24:
        v = static_cast<int32_t>((data[i] << 8) | (data[i + 1] << 16) |
                                 (static_cast<uint32_t>(data[i + 2]) << 24)) >>
            16;
        break;
      default: {
        int32_t s;
        std::memcpy(&s, data + i, 4);
        v = s >> 16;
      }
    }
    peak = std::max(peak, std::abs(v));
  }
  return static_cast<int32_t>(std::min<int64_t>(peak, 32767));
}

void CaptureStream::Run() {
  // A device with a clock of its own paces the reads; one without (the null
  // and file plug-ins answer at once) is read no faster than the wall clock.
  const auto start = Clock::now();
  auto nextReport = start + std::chrono::milliseconds(reportMs_);
  int64_t captured = 0;   // frames read from the device
  int64_t keptBytes = 0;  // what accumulation kept of them
  int64_t reportedBytes = 0;
  int32_t peak = 0;
  const int64_t chunk = std::max<int64_t>(1, rate_ / 100);
  std::vector<uint8_t> buffer(static_cast<size_t>(chunk) * frameBytes_);
  std::vector<uint8_t> kept;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    const auto now = Clock::now();
    if (now >= nextReport) {
      nextReport = now + std::chrono::milliseconds(reportMs_);
      const int64_t bytes = keptBytes - reportedBytes;
      if (bytes > 0) {
        reportedBytes += bytes;
        notify_(RecorderEvent::Position, static_cast<int32_t>(bytes), peak);
        peak = 0;
      }
    }
    const int64_t due = std::chrono::duration_cast<std::chrono::microseconds>(now - start).count() *
                        rate_ / 1000000;
    if (due - captured < chunk) {
      std::this_thread::sleep_for(kPoll);
      continue;
    }
    const snd_pcm_sframes_t n =
        snd_pcm_readi(pcm_.get(), buffer.data(), static_cast<snd_pcm_uframes_t>(chunk));
    if (n == -EAGAIN) {
      snd_pcm_wait(pcm_.get(), static_cast<int>(kPoll.count()));
      continue;
    }
    if (n < 0) {
      // An overrun (the thread was late): start again, what was lost is lost.
      if (snd_pcm_recover(pcm_.get(), static_cast<int>(n), 1) < 0) return;
      snd_pcm_start(pcm_.get());
      continue;
    }
    captured += n;
    buffer.resize(static_cast<size_t>(n) * frameBytes_);
    kept.clear();
    const int32_t gain = dynamics_.Process(buffer, &kept);
    buffer.resize(static_cast<size_t>(chunk) * frameBytes_);
    if (gain >= 0) notify_(RecorderEvent::GainChange, gain, 0);
    const size_t bytes = kept.size();
    keptBytes += static_cast<int64_t>(bytes);
    peak = std::max(peak, Peak(kept.data(), bytes));
    bool ready = false;
    {
      std::lock_guard lock(mutex_);
      size_t done = 0;
      while (done < bytes) {
        const size_t take = std::min(bytes - done, blockBytes_ - filling_.size());
        filling_.insert(filling_.end(), kept.begin() + static_cast<ptrdiff_t>(done),
                        kept.begin() + static_cast<ptrdiff_t>(done + take));
        done += take;
        if (filling_.size() == blockBytes_) {
          ready_.push_back(std::move(filling_));
          filling_.clear();
          ready = true;
        }
      }
    }
    if (ready) notify_(RecorderEvent::DataReady, 0, 0);
  }
}

}  // namespace qel::audio

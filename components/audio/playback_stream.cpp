#include "playback_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pcm/sample_io.h"

namespace qel::audio {

namespace {

// Device buffer asked of ALSA, and how far ahead of the listener the thread
// writes. A device with a clock of its own (a card, a sound server) paces the
// thread itself; one without (the null and file plug-ins) is paced by the
// wall clock, so that positions and the end arrive as a listener would hear them.
constexpr unsigned kLatencyUs = 200000;
constexpr int64_t kLeadMs = 150;
constexpr auto kPoll = std::chrono::milliseconds(5);

}  // namespace

PlaybackStream::PlaybackStream(const std::string& device, int32_t rate, int32_t channels,
                               int32_t bits, uint32_t reportMs, Notify notify)
    : pcm_(OpenPcm(device, SND_PCM_STREAM_PLAYBACK, rate, channels, bits, kLatencyUs)),
      rate_(rate),
      channels_(channels),
      bits_(bits),
      frameBytes_(static_cast<size_t>(bits / 8 * channels)),
      notify_(std::move(notify)),
      reportMs_(std::max<uint32_t>(reportMs, 1)) {
  if (!pcm_) return;
  ring_.resize(static_cast<size_t>(2 * rate) * frameBytes_);
  clockBase_ = Clock::now();
  nextReport_ = clockBase_;
  thread_ = std::thread([this] { Run(); });
}

PlaybackStream::~PlaybackStream() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (pcm_) snd_pcm_drop(pcm_.get());
  // Underruns are the one thing a listener notices that no event reports;
  // QEL_PLAYER_STATS asks for them when the stream ends (the benchmarks do).
  if (pcm_ && std::getenv("QEL_PLAYER_STATS"))
    std::fprintf(stderr, "qel-player: %lld frames, %lld underruns\n",
                 static_cast<long long>(written_), static_cast<long long>(underruns_));
}

void PlaybackStream::Write(const uint8_t* data, size_t bytes) {
  bytes -= bytes % frameBytes_;
  if (bytes == 0) return;
  {
    std::lock_guard lock(mutex_);
    blocks_.emplace_back(data, data + bytes);
  }
  wake_.notify_all();
}

void PlaybackStream::SetReportInterval(uint32_t ms) {
  std::lock_guard lock(mutex_);
  reportMs_ = std::max<uint32_t>(ms, 1);
}

void PlaybackStream::SetSpeed(int32_t percent) {
  std::lock_guard lock(mutex_);
  speed_ = percent > 0 ? percent : 100;
}

void PlaybackStream::ChangeSpeed(int32_t percent, std::vector<uint8_t>& block) {
  if (!resamplers_) resamplers_ = std::make_unique<PCM_CODEC::CAudioResample[]>(channels_);
  const double factor = 100.0 / percent;
  const size_t frames = block.size() / frameBytes_;
  const int sampleBytes = bits_ / 8;
  std::vector<uint8_t> out;
  for (int32_t c = 0; c < channels_; ++c) {
    const size_t got = resamplers_[c].Process(factor, block.data() + c * sampleBytes, frames,
                                              frameBytes_, bits_, resampled_);
    // The channels' filters are alike, so they give the same counts.
    if (c == 0) out.assign(got * frameBytes_, 0);
    const size_t n = std::min(got, out.size() / frameBytes_);
    PCM_CODEC::DispatchBits(bits_, [&]<int Bits>() {
      for (size_t t = 0; t < n; ++t) {
        uint8_t* p = out.data() + t * frameBytes_ + c * sampleBytes;
        if constexpr (Bits == 24)
          PCM_CODEC::Pcm<24>::WriteWide(p, resampled_[t]);
        else
          PCM_CODEC::Pcm<Bits>::Write(p, resampled_[t]);
      }
    });
  }
  block = std::move(out);
}

std::vector<uint8_t> PlaybackStream::Recent(int64_t frames) {
  std::lock_guard lock(mutex_);
  const auto ringFrames = static_cast<int64_t>(ring_.size() / frameBytes_);
  const int64_t end = heardShared_;
  const int64_t start =
      std::max({end - std::max<int64_t>(frames, 0), ringEnd_ - ringFrames, int64_t{0}});
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(std::max<int64_t>(end - start, 0)) * frameBytes_);
  for (int64_t f = start; f < end; ++f) {
    const auto at = ring_.begin() + static_cast<ptrdiff_t>((f % ringFrames) * frameBytes_);
    out.insert(out.end(), at, at + static_cast<ptrdiff_t>(frameBytes_));
  }
  return out;
}

void PlaybackStream::KeepRecent(const uint8_t* data, int64_t frames) {
  std::lock_guard lock(mutex_);
  const auto ringFrames = static_cast<int64_t>(ring_.size() / frameBytes_);
  for (int64_t f = 0; f < frames; ++f, ++ringEnd_)
    std::memcpy(ring_.data() + (ringEnd_ % ringFrames) * frameBytes_, data + f * frameBytes_,
                frameBytes_);
}

bool PlaybackStream::Stopping() {
  std::lock_guard lock(mutex_);
  return stop_;
}

int64_t PlaybackStream::PlayedFrames() {
  int64_t heard = 0;
  snd_pcm_sframes_t delay = 0;
  const snd_pcm_state_t state = snd_pcm_state(pcm_.get());
  if (state == SND_PCM_STATE_RUNNING && snd_pcm_delay(pcm_.get(), &delay) == 0 && delay > 0) {
    heard = written_ - delay;
  } else if (state == SND_PCM_STATE_XRUN) {
    heard = written_;  // the device ran dry: everything written was heard
  } else {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - clockBase_).count();
    heard = std::min<int64_t>(written_, elapsed * rate_ / 1000000);
  }
  played_ = std::clamp<int64_t>(heard, played_, written_);
  std::lock_guard lock(mutex_);
  heardShared_ = played_;
  return played_;
}

void PlaybackStream::Report(bool force) {
  const auto now = Clock::now();
  uint32_t interval;
  {
    std::lock_guard lock(mutex_);
    interval = reportMs_;
  }
  if (!force && now < nextReport_) return;
  nextReport_ = now + std::chrono::milliseconds(interval);
  const int64_t played = PlayedFrames();
  if (played > reported_) {
    // At another speed the listener hears the written bytes faster or slower.
    const int64_t bytes =
        (played - reported_) * static_cast<int64_t>(frameBytes_) * speedNow_ / 100;
    reported_ = played;
    notify_(PlayerEvent::Position, static_cast<int32_t>(bytes));
  }
}

bool PlaybackStream::WriteFrames(const uint8_t* data, int64_t frames) {
  const int64_t lead = kLeadMs * rate_ / 1000;
  while (frames > 0) {
    if (Stopping()) return false;
    Report(false);
    if (written_ - PlayedFrames() > lead) {
      std::this_thread::sleep_for(kPoll);
      continue;
    }
    const snd_pcm_sframes_t n =
        snd_pcm_writei(pcm_.get(), data, static_cast<snd_pcm_uframes_t>(std::min(frames, lead)));
    if (n == -EAGAIN) {
      snd_pcm_wait(pcm_.get(), static_cast<int>(kPoll.count()));
      continue;
    }
    if (n < 0) {
      // An underrun (the host fed too slowly) or a suspended device: prepare
      // it again and go on from where we were.
      if (n == -EPIPE) ++underruns_;
      if (snd_pcm_recover(pcm_.get(), static_cast<int>(n), 1) < 0) return false;
      continue;
    }
    KeepRecent(data, n);
    data += static_cast<size_t>(n) * frameBytes_;
    frames -= n;
    written_ += n;
  }
  return true;
}

void PlaybackStream::Run() {
  bool idle = true;  // nothing written yet, or everything written was heard
  for (;;) {
    std::vector<uint8_t> block;
    int32_t speed = 100;
    {
      std::unique_lock lock(mutex_);
      if (stop_) return;
      if (!blocks_.empty()) {
        block = std::move(blocks_.front());
        blocks_.pop_front();
      }
      speed = speed_;
    }
    if (!block.empty() && speed != speedNow_) {
      if (!idle) Report(true);  // what was heard so far, at the old speed
      speedNow_ = speed;
    }
    if (!block.empty() && speedNow_ != 100) {
      ChangeSpeed(speedNow_, block);
      if (block.empty()) {
        // The resampler's filter is still filling: ask for more.
        notify_(PlayerEvent::BlockDone, 0);
        continue;
      }
    }
    if (block.empty()) {
      if (idle) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || !blocks_.empty(); });
        continue;
      }
      // Play out what the device holds, reporting as it goes, unless more arrives.
      Report(false);
      if (PlayedFrames() >= written_) {
        Report(true);
        idle = true;
        notify_(PlayerEvent::EndOfData, 0);
        continue;
      }
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kPoll, [this] { return stop_ || !blocks_.empty(); });
      continue;
    }
    if (idle) {
      // (Re)starting: the wall clock counts from the frames already heard.
      clockBase_ = Clock::now() - std::chrono::microseconds(written_ * 1000000 / rate_);
      if (written_ == 0) notify_(PlayerEvent::Started, 0);
      idle = false;
    }
    const int64_t frames = static_cast<int64_t>(block.size() / frameBytes_);
    if (!WriteFrames(block.data(), frames)) {
      if (Stopping()) return;
      // The device failed for good: what remains cannot be played.
      idle = true;
      notify_(PlayerEvent::EndOfData, 0);
      continue;
    }
    notify_(PlayerEvent::BlockDone, 0);
  }
}

}  // namespace qel::audio

// The resample stage: changes the sample rate of interleaved PCM channel by
// channel, through the linear interpolator (followed, when upsampling 16-bit
// material, by the anti-imaging filter) or the band-limited CAudioResample.
// Channels are resampled in parallel on a small worker pool.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pcm/audio_resample.h"
#include "pcm/fir_filter.h"
#include "pcm/linear_resample.h"
#include "pcm/pcm_format.h"
#include "pcm/worker_pool.h"

namespace PCM_CODEC {

class CResampleStage {
 public:
  CResampleStage();
  ~CResampleStage();
  CResampleStage(const CResampleStage&) = delete;
  CResampleStage& operator=(const CResampleStage&) = delete;

  void SetHighQuality(bool on) { highQuality_ = on; }
  bool HighQuality() const { return highQuality_; }
  void SetRates(int inRate, int outRate);

  // Clears the anti-imaging filters' delay lines.
  void ClearFilterState();
  // Designs the anti-imaging filter for the current rates and gives every
  // channel's filter a copy; without it the linear path runs unfiltered.
  void DesignAntiImaging();
  void DisableAntiImaging();
  bool AntiImagingActive() const { return !antiImaging_.empty(); }
  std::span<const double> AntiImagingTaps() const { return antiImaging_; }

  // Start of a conversion: offsets, last samples and band-limited histories.
  void Reset();

  // Up to `threads` threads share the channels of a block (1 = no pool).
  void SetThreads(unsigned threads);

  // Resamples whole frames of interleaved PCM; the result stays valid until
  // the next call.
  std::span<const std::uint8_t> Process(std::span<const std::uint8_t> in, int channels, int bits);

 private:
  struct Channel {
    LinearChannelState linear;
    std::unique_ptr<CAudioResample> band;  // created on first use
    std::vector<double> samples;           // deinterleaved input, natural range
    std::vector<std::int32_t> result;      // output, natural range (24-bit: 32-bit scale on the
                                           // band-limited path)
  };
  void ResampleChannel(std::size_t index, const std::uint8_t* in, std::size_t frames, int channels,
                       int bits);

  int inRate_ = 44100;
  int outRate_ = 44100;
  bool highQuality_ = false;
  std::vector<double> antiImaging_;
  std::array<CFilter, kMaxChannels> filters_;
  std::array<Channel, kMaxChannels> channels_;
  LinearClock clock_;  // one clock for all channels: they share the rates
  LinearPlan plan_;
  std::vector<std::uint8_t> out_;
  std::unique_ptr<CWorkerPool> pool_;
};

}  // namespace PCM_CODEC

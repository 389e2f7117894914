// CPcmConvert: converts interleaved PCM from one sample format (rate, channel
// layout, sample size) to another, block by block. Up to four stages run per
// block, each only when needed: the bit-depth stage first when widening, the
// channel mixer on the side with fewer channels, the resampler, and the
// bit-depth stage last when narrowing, so dither lands on the final samples.
//
// Use: configure (settings, input and output formats), Init(), then Convert()
// consecutive blocks of the source; each result is valid until the next call.
#pragma once

#include <cstdint>
#include <span>

#include "pcm/dither.h"
#include "pcm/mixer.h"
#include "pcm/pcm_format.h"
#include "pcm/resample_stage.h"

namespace PCM_CODEC {

// The settings a host gives a conversion, with their initial values.
struct ConvertSettings {
  bool highQualityResampling = false;
  bool mixerAsIsEnabled = false;
  bool mixerLfeEnabled = true;
  bool ditheringEnabled = false;
  bool ditheringNoiseShapingEnabled = false;
  std::int32_t mixerDelayPreset = 0;
  std::int32_t mixerDbGainPreset = 0;
  std::int32_t mixerReverbPreset = 0;
  std::int32_t mixerLfeFrequency = 200;
  // 0 or 2: Gaussian, 1: triangular, 3: uniform, 4: coloured.
  std::int32_t ditheringType = 0;
  std::int32_t ditheringNoiseShapingType = 1;
  std::int32_t roomWidth = 4;
  std::int32_t roomHeight = 4;
  std::int32_t listenerOffsetX = 0;
  std::int32_t listenerOffsetY = 0;
};

// One converted block. `data` points into the converter (or is the caller's
// input when the block needed no change) and stays valid until the next call.
struct ConvertedBlock {
  const std::uint8_t* data = nullptr;
  std::int64_t length = 0;
  std::span<const std::uint8_t> Bytes() const { return {data, static_cast<std::size_t>(length)}; }
};

class CPcmConvert {
 public:
  CPcmConvert();
  virtual ~CPcmConvert();
  CPcmConvert(const CPcmConvert&) = delete;
  CPcmConvert& operator=(const CPcmConvert&) = delete;

  // Applies every setting in the order a host's conversion request uses: the
  // dither type is DitheringType - 1 and is only passed when dithering is on,
  // the noise-shaping type only when noise shaping is on.
  void Configure(const ConvertSettings& settings);

  // ---- dither unit ----
  void SetDitheringEnabled(bool on) { dither_.SetEnabled(on); }
  void SetDitheringType(std::int32_t type) { dither_.SetType(type); }
  void SetNoiseShapingEnabled(bool on) { dither_.SetNoiseShapingEnabled(on); }
  void SetNoiseShapingType(std::int32_t type) { dither_.SetNoiseShapingType(type); }

  // ---- resampler ----
  void SetHighQualityResampling(bool on) { resampler_.SetHighQuality(on); }
  bool HighQualityResampling() const { return resampler_.HighQuality(); }
  // Threads sharing the channels of a block; 0 (the default) uses up to one
  // per processor core.
  void SetResampleThreads(unsigned threads) { threads_ = threads; }

  // ---- mixer ----
  CMixer& Mixer() { return mixer_; }
  const CMixer& Mixer() const { return mixer_; }

  // ---- formats ----
  // Source: a rate below 1 becomes 44 100, channels below 1 become 2, a size
  // below 8 bits becomes 16. The mask is normalised for the channel count.
  void SetInputFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                      std::uint32_t mask);
  // Destination: taken as given (Init rejects what cannot be produced).
  void SetOutputFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                       std::uint32_t mask);
  const PcmFormat& InputFormat() const { return in_; }
  const PcmFormat& OutputFormat() const { return out_; }

  // Prepares a conversion. False when a format is out of reach: channels
  // outside 1…18, a destination size other than 8, 16, 24 or 32 bits, a
  // source size above 32 bits, or a rate outside 1…4 000 000 Hz.
  bool Init();
  bool ConversionNeeded() const { return needed_; }

  // Converts one block (cut down to whole frames). Without a needed conversion
  // the input comes back unchanged.
  ConvertedBlock Convert(const void* data, std::int64_t bytes);

  const CDither& Dither() const { return dither_; }
  const CResampleStage& Resampler() const { return resampler_; }

 private:
  struct Requested {
    std::int64_t rate = 44100;
    std::int64_t channels = 2;
    std::int64_t bits = 16;
  };

  PcmFormat in_;
  PcmFormat out_;
  Requested outRequested_;
  bool needed_ = false;
  bool initialised_ = false;
  bool resetFilters_ = true;
  unsigned threads_ = 0;

  CMixer mixer_;
  CDither dither_;
  CResampleStage resampler_;
};

}  // namespace PCM_CODEC

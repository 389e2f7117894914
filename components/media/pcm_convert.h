// Conversion of decoded or caller-given audio into interleaved integer PCM of a
// chosen rate, channel count and sample size, through libswresample when the
// rate, the channel count or the sample type changes, and by plain copying (or
// 24-bit packing) when only the arrangement does.
#pragma once

#include <cstdint>
#include <vector>

#include "ffmpeg_util.h"
#include "wave_format.h"

namespace qel::media {

// What goes in: an FFmpeg sample format (planar or interleaved) at a rate and
// layout, or interleaved packed 24-bit (`packed24`, carried as S32).
struct SampleInput {
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;
  int rate = 0;
  ff::ChannelLayout layout;
  bool packed24 = false;

  static SampleInput FromPcm(const PcmFormat& pcm);
};

// The FFmpeg sample format that carries `bits`-bit PCM (24 bits travel as S32).
AVSampleFormat CarrierFormat(int32_t bits);

// Packs S32 samples (value in the top 24 bits) into 3-byte little-endian samples,
// and back; `count` samples, in place allowed for packing (dst <= src).
void PackS32To24(const uint8_t* src, uint8_t* dst, size_t count);
void UnpackS24ToS32(const uint8_t* src, uint8_t* dst, size_t count);

class PcmConverter {
 public:
  // False when the resampler cannot be set up for these formats.
  bool Init(const SampleInput& in, const PcmFormat& out);
  bool Ready() const { return ready_; }
  // Whether input in `in` can go through as set up (same sample format, rate
  // and channel count).
  bool Takes(const SampleInput& in) const {
    return ready_ && in.format == in_.format && in.rate == in_.rate &&
           in.layout.channels() == in_.layout.channels() && in.packed24 == in_.packed24;
  }
  // Converts `samples` frames given as planes (one per channel when planar, else
  // one) and appends the interleaved result to `out`.
  bool Convert(const uint8_t* const* planes, int samples, std::vector<uint8_t>& out);
  // Appends what the resampler still holds (at the end of the input).
  bool Flush(std::vector<uint8_t>& out);
  // Forgets the resampler's history (after a seek); formats stay.
  void Reset();
  const PcmFormat& Output() const { return out_; }

 private:
  bool Run(const uint8_t* const* planes, int samples, std::vector<uint8_t>& out);

  bool ready_ = false;
  bool direct_ = false;
  SampleInput in_;
  PcmFormat out_;
  ff::Resampler swr_;
  std::vector<uint8_t> unpacked_;
};

}  // namespace qel::media

#include "pcm_convert.h"

#include <cstring>

namespace qel::media {

AVSampleFormat CarrierFormat(int32_t bits) {
  switch (bits) {
    case 8:
      return AV_SAMPLE_FMT_U8;
    case 16:
      return AV_SAMPLE_FMT_S16;
    default:
      return AV_SAMPLE_FMT_S32;
  }
}

SampleInput SampleInput::FromPcm(const PcmFormat& pcm) {
  SampleInput input;
  input.format = CarrierFormat(pcm.bits);
  input.rate = pcm.rate;
  input.layout = ff::ChannelLayout::FromMask(pcm.channels, pcm.mask);
  input.packed24 = pcm.bits == 24;
  return input;
}

void PackS32To24(const uint8_t* src, uint8_t* dst, size_t count) {
  for (size_t i = 0; i < count; ++i, src += 4, dst += 3) {
    dst[0] = src[1];
    dst[1] = src[2];
    dst[2] = src[3];
  }
}

void UnpackS24ToS32(const uint8_t* src, uint8_t* dst, size_t count) {
  for (size_t i = 0; i < count; ++i, src += 3, dst += 4) {
    dst[0] = 0;
    dst[1] = src[0];
    dst[2] = src[1];
    dst[3] = src[2];
  }
}

bool PcmConverter::Init(const SampleInput& in, const PcmFormat& out) {
  ready_ = false;
  swr_.reset();
  in_ = in;
  out_ = out;
  if (!out.Valid() || in.rate <= 0 || in.layout.channels() <= 0) return false;
  const AVSampleFormat carrier = CarrierFormat(out.bits);
  const bool sameChannels = in.layout.channels() == out.channels;
  // Equal channel counts are a relabelling, never a remix: the samples of each
  // channel stay in their place and the output's mask only names them.
  direct_ = sameChannels && in.rate == out.rate && in.format == carrier;
  if (!direct_) {
    ff::ChannelLayout outLayout =
        sameChannels ? in.layout : ff::ChannelLayout::FromMask(out.channels, out.mask);
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts by non-const pointer but only reads them.
    if (swr_alloc_set_opts2(&raw, outLayout.get(), carrier, out.rate,
                            const_cast<AVChannelLayout*>(in.layout.get()), in.format, in.rate, 0,
                            nullptr) < 0)
      return false;
    swr_.reset(raw);
    if (swr_init(swr_.get()) < 0) {
      swr_.reset();
      return false;
    }
  }
  ready_ = true;
  return true;
}

bool PcmConverter::Convert(const uint8_t* const* planes, int samples, std::vector<uint8_t>& out) {
  if (!ready_) return false;
  if (samples <= 0) return true;
  if (in_.packed24) {
    // 24-bit input travels as S32 inside the converter.
    const size_t count = static_cast<size_t>(samples) * static_cast<size_t>(in_.layout.channels());
    unpacked_.resize(count * 4);
    UnpackS24ToS32(planes[0], unpacked_.data(), count);
    const uint8_t* plane = unpacked_.data();
    return Run(&plane, samples, out);
  }
  return Run(planes, samples, out);
}

bool PcmConverter::Run(const uint8_t* const* planes, int samples, std::vector<uint8_t>& out) {
  const size_t channels = static_cast<size_t>(out_.channels);
  const size_t carrierBytes = out_.bits == 24 ? 4 : static_cast<size_t>(out_.bits / 8);
  const size_t at = out.size();
  if (direct_) {
    const size_t count = static_cast<size_t>(samples) * channels;
    if (out_.bits == 24) {
      out.resize(at + count * 3);
      PackS32To24(planes[0], out.data() + at, count);
    } else {
      out.insert(out.end(), planes[0], planes[0] + count * carrierBytes);
    }
    return true;
  }
  int room = swr_get_out_samples(swr_.get(), samples);
  if (room < 0) return false;
  out.resize(at + static_cast<size_t>(room) * channels * carrierBytes);
  uint8_t* dst = out.data() + at;
  int made = swr_convert(swr_.get(), &dst, room, const_cast<const uint8_t**>(planes), samples);
  if (made < 0) {
    out.resize(at);
    return false;
  }
  const size_t count = static_cast<size_t>(made) * channels;
  if (out_.bits == 24) {
    PackS32To24(dst, dst, count);
    out.resize(at + count * 3);
  } else {
    out.resize(at + count * carrierBytes);
  }
  return true;
}

bool PcmConverter::Flush(std::vector<uint8_t>& out) {
  if (!ready_ || direct_) return ready_;
  return Run(nullptr, 0, out);
}

void PcmConverter::Reset() {
  if (ready_ && !direct_) {
    SampleInput in = in_;
    Init(in, out_);
  }
}

}  // namespace qel::media

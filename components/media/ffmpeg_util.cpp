#include "ffmpeg_util.h"

#include <bit>

namespace qel::media::ff {

namespace {
// The speaker bits a wave-format record can carry (front left .. top back right).
constexpr uint64_t kWaveSpeakerBits = 0x3FFFF;
}  // namespace

ChannelLayout ChannelLayout::FromMask(int channels, uint64_t mask) {
  ChannelLayout out;
  mask &= kWaveSpeakerBits;
  if (channels > 0 && std::popcount(mask) == channels)
    av_channel_layout_from_mask(&out.layout_, mask);
  else if (channels > 0)
    av_channel_layout_default(&out.layout_, channels);
  return out;
}

ChannelLayout ChannelLayout::From(const AVChannelLayout& source) {
  ChannelLayout out;
  if (source.order == AV_CHANNEL_ORDER_NATIVE &&
      std::popcount(source.u.mask & kWaveSpeakerBits) == source.nb_channels)
    av_channel_layout_copy(&out.layout_, &source);
  else if (source.nb_channels > 0)
    av_channel_layout_default(&out.layout_, source.nb_channels);
  return out;
}

uint32_t ChannelLayout::Mask() const {
  if (layout_.order == AV_CHANNEL_ORDER_NATIVE)
    return static_cast<uint32_t>(layout_.u.mask & kWaveSpeakerBits);
  return DefaultMask(layout_.nb_channels);
}

uint32_t DefaultMask(int channels) {
  if (channels <= 0) return 0;
  AVChannelLayout layout{};
  av_channel_layout_default(&layout, channels);
  uint32_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE
                      ? static_cast<uint32_t>(layout.u.mask & kWaveSpeakerBits)
                      : 0;
  av_channel_layout_uninit(&layout);
  return mask;
}

std::string ErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

}  // namespace qel::media::ff

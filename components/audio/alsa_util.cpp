#include "alsa_util.h"

#include <cstring>

namespace qel::audio {

namespace {

struct HintsFree {
  void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
struct CharFree {
  void operator()(char* text) const { free(text); }  // NOLINT: ALSA hands out malloc'ed text
};
using HintText = std::unique_ptr<char, CharFree>;

}  // namespace

std::vector<std::string> ListDevices(snd_pcm_stream_t direction) {
  std::vector<std::string> names{"default"};
  void** raw = nullptr;
  if (snd_device_name_hint(-1, "pcm", &raw) < 0 || !raw) return names;
  std::unique_ptr<void*, HintsFree> hints(raw);
  const char* unwanted = direction == SND_PCM_STREAM_PLAYBACK ? "Input" : "Output";
  for (void** hint = raw; *hint; ++hint) {
    HintText name(snd_device_name_get_hint(*hint, "NAME"));
    if (!name) continue;
    // IOID is absent for devices that work both ways.
    HintText io(snd_device_name_get_hint(*hint, "IOID"));
    if (io && std::strcmp(io.get(), unwanted) == 0) continue;
    if (std::strcmp(name.get(), "default") == 0) continue;
    names.emplace_back(name.get());
  }
  return names;
}

snd_pcm_format_t FormatOfBits(int32_t bits) {
  switch (bits) {
    case 8:
      return SND_PCM_FORMAT_U8;
    case 16:
      return SND_PCM_FORMAT_S16_LE;
    case 24:
      return SND_PCM_FORMAT_S24_3LE;
    case 32:
      return SND_PCM_FORMAT_S32_LE;
    default:
      return SND_PCM_FORMAT_UNKNOWN;
  }
}

PcmHandle OpenPcm(const std::string& device, snd_pcm_stream_t direction, int32_t rate,
                  int32_t channels, int32_t bits, unsigned latencyUs) {
  const snd_pcm_format_t format = FormatOfBits(bits);
  if (format == SND_PCM_FORMAT_UNKNOWN || rate <= 0 || channels < 1 || channels > 18) return {};
  snd_pcm_t* raw = nullptr;
  if (snd_pcm_open(&raw, device.c_str(), direction, SND_PCM_NONBLOCK) < 0) return {};
  PcmHandle pcm(raw);
  // No resampling by ALSA: a device that cannot take the rate refuses it, and
  // the control then plays the document at 44100 Hz, 16 bits.
  if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED,
                         static_cast<unsigned>(channels), static_cast<unsigned>(rate), 0,
                         latencyUs) < 0)
    return {};
  return pcm;
}

}  // namespace qel::audio

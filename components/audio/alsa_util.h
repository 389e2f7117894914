// Small helpers over ALSA shared by the player and the recorder: the devices
// the system offers, opening a PCM in a format, and owning its handle.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qel::audio {

// Error numbers of the control's table that the components answer with.
inline constexpr int32_t kResultOk = 0;
inline constexpr int32_t kResultInvalidArgument = 8;
inline constexpr int32_t kResultOutputDriver = 20;
inline constexpr int32_t kResultInputDriver = 21;
inline constexpr int32_t kResultMixerDriver = 22;

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

// The PCM devices for one direction, "default" first (always present: ALSA
// answers it even when no card exists, and opening it is what fails then).
std::vector<std::string> ListDevices(snd_pcm_stream_t direction);

// The sample format of `bits` per sample (8 unsigned, 16/24/32 signed little
// endian, 24 packed in three bytes); SND_PCM_FORMAT_UNKNOWN for any other size.
snd_pcm_format_t FormatOfBits(int32_t bits);

// Opens `device` without blocking, in the given format, interleaved, with
// about `latencyUs` of device buffer. Null when the device is missing or
// refuses the format.
PcmHandle OpenPcm(const std::string& device, snd_pcm_stream_t direction, int32_t rate,
                  int32_t channels, int32_t bits, unsigned latencyUs);

}  // namespace qel::audio

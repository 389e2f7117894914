// The mixer lines of the system's default card through ALSA's simple mixer:
// one line per element with a volume in the stream's direction (playback for
// the player, capture for the recorder). Without a card there is no mixer: the
// count is 0 and every other member answers the mixer-driver error.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/types.h"

namespace qel::audio {

// "Mixer Driver error." of the control's table.
inline constexpr com::HRESULT kMixerDriverError = static_cast<com::HRESULT>(0x80040703);

class MixerLines {
 public:
  explicit MixerLines(bool capture) : capture_(capture) {}

  int32_t Count();
  int32_t Num() const { return num_; }
  com::HRESULT SetNum(int32_t num);
  com::HRESULT Name(std::string* name);
  // Select: the line's switch (on = heard / recorded).
  com::HRESULT Select(bool* on);
  com::HRESULT SetSelect(bool on);
  // Volume in percent of the line's range (0 to 100); balance -100 (left) to 100 (right).
  com::HRESULT Volume(int32_t* percent);
  com::HRESULT SetVolume(int32_t percent);
  com::HRESULT Balance(int32_t* balance);
  com::HRESULT SetBalance(int32_t balance);

 private:
  struct MixerClose {
    void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
  };
  // Opens the mixer once (a failure is tried again on the next call: a card
  // may appear), and lists the elements of this direction.
  bool Open();
  snd_mixer_elem_t* Current();
  com::HRESULT ChannelVolumes(long* left, long* right, long* low, long* high);

  bool capture_;
  std::unique_ptr<snd_mixer_t, MixerClose> mixer_;
  std::vector<snd_mixer_elem_t*> elements_;
  int32_t num_ = 0;
};

}  // namespace qel::audio

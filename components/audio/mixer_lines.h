// The mixer lines of the chosen device's card through ALSA's simple mixer: one
// line per element with a volume in the stream's direction (playback for the
// player, capture for the recorder). Without a mixer the count is 0 and every
// other member answers the mixer-driver error.
//
// The advanced controls of a line are, in this order: the volume of each of
// the line's channels in percent ("Front Left", "Front Right", ...), then the
// card's elements of the direction that have no volume of their own: switches
// (a boolean) and enumerations (the chosen item's name; put takes a name or an
// item number). The card's controls are listed under every line.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/types.h"
#include "com/variant.h"

namespace qel::audio {

// "Mixer Driver error." of the control's table.
inline constexpr com::HRESULT kMixerDriverError = static_cast<com::HRESULT>(0x80040703);

class MixerLines {
 public:
  explicit MixerLines(bool capture) : capture_(capture) {}

  // The PCM device whose card the lines belong to: the card of "hw:N",
  // "plughw:N" or "...:CARD=X", a control device of the same name (as the
  // sound server's "pulse" has), else the default control device.
  void SetDevice(const std::string& pcm);

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

  int32_t AdvancedCount();
  com::HRESULT AdvancedName(int32_t index, std::string* name);
  com::HRESULT AdvancedValue(int32_t index, com::VARIANT* value);
  com::HRESULT SetAdvancedValue(int32_t index, const com::VARIANT& value);

 private:
  struct MixerClose {
    void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
  };
  // One advanced control: a channel's volume of the current line, or a switch
  // or enumeration element of the card.
  struct Advanced {
    enum class Kind { kChannel, kSwitch, kEnum } kind;
    snd_mixer_elem_t* element;
    snd_mixer_selem_channel_id_t channel;
  };
  // Opens the mixer once (a failure is tried again on the next call: a card
  // or a sound server may appear), takes the changes others made since, and
  // lists the elements of this direction.
  bool Open();
  void List();
  snd_mixer_elem_t* Current();
  com::HRESULT ChannelVolumes(long* left, long* right, long* low, long* high);
  std::vector<Advanced> AdvancedControls();
  com::HRESULT FindAdvanced(int32_t index, Advanced* found);

  bool capture_;
  std::string device_ = "default";
  std::unique_ptr<snd_mixer_t, MixerClose> mixer_;
  std::vector<snd_mixer_elem_t*> elements_;  // the lines
  std::vector<snd_mixer_elem_t*> others_;    // switches and enumerations without a volume
  int32_t num_ = 0;
};

}  // namespace qel::audio

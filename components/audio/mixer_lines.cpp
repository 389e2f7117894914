#include "mixer_lines.h"

#include <algorithm>
#include <cmath>

namespace qel::audio {

bool MixerLines::Open() {
  if (mixer_) return true;
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0) return false;
  std::unique_ptr<snd_mixer_t, MixerClose> mixer(raw);
  if (snd_mixer_attach(raw, "default") < 0 || snd_mixer_selem_register(raw, nullptr, nullptr) < 0 ||
      snd_mixer_load(raw) < 0)
    return false;
  elements_.clear();
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(raw); e; e = snd_mixer_elem_next(e)) {
    const bool has =
        capture_ ? snd_mixer_selem_has_capture_volume(e) : snd_mixer_selem_has_playback_volume(e);
    if (snd_mixer_selem_is_active(e) && has) elements_.push_back(e);
  }
  mixer_ = std::move(mixer);
  return true;
}

int32_t MixerLines::Count() {
  return Open() ? static_cast<int32_t>(elements_.size()) : 0;
}

snd_mixer_elem_t* MixerLines::Current() {
  if (!Open() || num_ < 0 || num_ >= static_cast<int32_t>(elements_.size())) return nullptr;
  return elements_[static_cast<size_t>(num_)];
}

com::HRESULT MixerLines::SetNum(int32_t num) {
  if (!Open()) return kMixerDriverError;
  if (num < 0 || num >= static_cast<int32_t>(elements_.size())) return com::E_INVALIDARG;
  num_ = num;
  return com::S_OK;
}

com::HRESULT MixerLines::Name(std::string* name) {
  snd_mixer_elem_t* e = Current();
  if (!e) return kMixerDriverError;
  *name = snd_mixer_selem_get_name(e);
  return com::S_OK;
}

com::HRESULT MixerLines::Select(bool* on) {
  snd_mixer_elem_t* e = Current();
  if (!e) return kMixerDriverError;
  int value = 1;
  const bool hasSwitch =
      capture_ ? snd_mixer_selem_has_capture_switch(e) : snd_mixer_selem_has_playback_switch(e);
  if (hasSwitch) {
    if (capture_)
      snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
    else
      snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
  }
  *on = value != 0;
  return com::S_OK;
}

com::HRESULT MixerLines::SetSelect(bool on) {
  snd_mixer_elem_t* e = Current();
  if (!e) return kMixerDriverError;
  const int rc = capture_ ? snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0)
                          : snd_mixer_selem_set_playback_switch_all(e, on ? 1 : 0);
  return rc < 0 ? kMixerDriverError : com::S_OK;
}

com::HRESULT MixerLines::ChannelVolumes(long* left, long* right, long* low, long* high) {
  snd_mixer_elem_t* e = Current();
  if (!e) return kMixerDriverError;
  if (capture_) {
    snd_mixer_selem_get_capture_volume_range(e, low, high);
    snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, left);
    if (snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_RIGHT, right) < 0)
      *right = *left;
  } else {
    snd_mixer_selem_get_playback_volume_range(e, low, high);
    snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, left);
    if (snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_RIGHT, right) < 0)
      *right = *left;
  }
  if (*high <= *low) *high = *low + 1;
  return com::S_OK;
}

com::HRESULT MixerLines::Volume(int32_t* percent) {
  long l = 0, r = 0, lo = 0, hi = 1;
  if (com::HRESULT hr = ChannelVolumes(&l, &r, &lo, &hi); hr != com::S_OK) return hr;
  *percent = static_cast<int32_t>(std::lround(100.0 * (std::max(l, r) - lo) / (hi - lo)));
  return com::S_OK;
}

com::HRESULT MixerLines::Balance(int32_t* balance) {
  long l = 0, r = 0, lo = 0, hi = 1;
  if (com::HRESULT hr = ChannelVolumes(&l, &r, &lo, &hi); hr != com::S_OK) return hr;
  const long top = std::max(l, r) - lo;
  *balance = top <= 0 ? 0 : static_cast<int32_t>(std::lround(100.0 * ((r - lo) - (l - lo)) / top));
  return com::S_OK;
}

namespace {

// Sets left and right from a loudness (0..1 of the range) and a balance.
int SetPair(snd_mixer_elem_t* e, bool capture, long lo, long hi, double level, int32_t balance) {
  const double b = std::clamp(balance, -100, 100) / 100.0;
  const long left = lo + std::lround((hi - lo) * level * (b > 0 ? 1.0 - b : 1.0));
  const long right = lo + std::lround((hi - lo) * level * (b < 0 ? 1.0 + b : 1.0));
  if (capture)
    return std::min(snd_mixer_selem_set_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, left),
                    snd_mixer_selem_is_capture_mono(e)
                        ? 0
                        : snd_mixer_selem_set_capture_volume(e, SND_MIXER_SCHN_FRONT_RIGHT, right));
  return std::min(snd_mixer_selem_set_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, left),
                  snd_mixer_selem_is_playback_mono(e)
                      ? 0
                      : snd_mixer_selem_set_playback_volume(e, SND_MIXER_SCHN_FRONT_RIGHT, right));
}

}  // namespace

com::HRESULT MixerLines::SetVolume(int32_t percent) {
  if (percent < 0 || percent > 100) return com::E_INVALIDARG;
  int32_t balance = 0;
  if (com::HRESULT hr = Balance(&balance); hr != com::S_OK) return hr;
  long l = 0, r = 0, lo = 0, hi = 1;
  ChannelVolumes(&l, &r, &lo, &hi);
  return SetPair(Current(), capture_, lo, hi, percent / 100.0, balance) < 0 ? kMixerDriverError
                                                                            : com::S_OK;
}

com::HRESULT MixerLines::SetBalance(int32_t balance) {
  if (balance < -100 || balance > 100) return com::E_INVALIDARG;
  long l = 0, r = 0, lo = 0, hi = 1;
  if (com::HRESULT hr = ChannelVolumes(&l, &r, &lo, &hi); hr != com::S_OK) return hr;
  const double level = static_cast<double>(std::max(l, r) - lo) / (hi - lo);
  return SetPair(Current(), capture_, lo, hi, level, balance) < 0 ? kMixerDriverError : com::S_OK;
}

}  // namespace qel::audio

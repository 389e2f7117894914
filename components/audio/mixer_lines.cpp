#include "mixer_lines.h"

#include <poll.h>

#include <algorithm>
#include <cmath>

#include "com/bstr.h"

namespace qel::audio {

namespace {

// Whether ALSA's configuration defines a control device called `name`.
bool HasControlDevice(const std::string& name) {
  snd_config_t* top = nullptr;
  if (snd_config_update_ref(&top) < 0) return false;
  snd_config_t* node = nullptr;
  const bool found = snd_config_search(top, ("ctl." + name).c_str(), &node) >= 0;
  snd_config_unref(top);
  return found;
}

// The control device of a PCM device's card (see SetDevice).
std::string ControlOf(const std::string& pcm) {
  if (const size_t card = pcm.find("CARD="); card != std::string::npos)
    return "hw:" + pcm.substr(card + 5, pcm.find(',', card) - card - 5);
  for (const char* prefix : {"hw:", "plughw:"})
    if (pcm.starts_with(prefix)) {
      const size_t start = std::char_traits<char>::length(prefix);
      return "hw:" + pcm.substr(start, pcm.find(',', start) - start);
    }
  const std::string base = pcm.substr(0, pcm.find(':'));
  return HasControlDevice(base) ? pcm : "default";
}

}  // namespace

void MixerLines::SetDevice(const std::string& pcm) {
  const std::string control = ControlOf(pcm);
  if (control == device_) return;
  device_ = control;
  mixer_.reset();
  elements_.clear();
  others_.clear();
  num_ = 0;
}

bool MixerLines::Open() {
  if (mixer_) {
    // Volumes changed by others (another program, the sound server) arrive as
    // events; take them without waiting.
    std::vector<pollfd> fds(
        static_cast<size_t>(std::max(0, snd_mixer_poll_descriptors_count(mixer_.get()))));
    const int n = fds.empty() ? 0
                              : snd_mixer_poll_descriptors(mixer_.get(), fds.data(),
                                                           static_cast<unsigned>(fds.size()));
    if (n > 0 && poll(fds.data(), static_cast<nfds_t>(n), 0) > 0) {
      snd_mixer_handle_events(mixer_.get());
      List();  // an element may have gone
    }
    return true;
  }
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0) return false;
  std::unique_ptr<snd_mixer_t, MixerClose> mixer(raw);
  if (snd_mixer_attach(raw, device_.c_str()) < 0 ||
      snd_mixer_selem_register(raw, nullptr, nullptr) < 0 || snd_mixer_load(raw) < 0)
    return false;
  mixer_ = std::move(mixer);
  List();
  return true;
}

void MixerLines::List() {
  elements_.clear();
  others_.clear();
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_.get()); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) continue;
    const bool volume =
        capture_ ? snd_mixer_selem_has_capture_volume(e) : snd_mixer_selem_has_playback_volume(e);
    const bool toggle =
        capture_ ? snd_mixer_selem_has_capture_switch(e) : snd_mixer_selem_has_playback_switch(e);
    // Enumerations that name no direction (an automatic-mute mode, say) go with playback.
    const bool choice =
        capture_ ? snd_mixer_selem_is_enum_capture(e) != 0
                 : snd_mixer_selem_is_enumerated(e) && !snd_mixer_selem_is_enum_capture(e);
    if (volume)
      elements_.push_back(e);
    else if (toggle || choice)
      others_.push_back(e);
  }
  if (num_ >= static_cast<int32_t>(elements_.size())) num_ = 0;
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

std::vector<MixerLines::Advanced> MixerLines::AdvancedControls() {
  std::vector<Advanced> controls;
  snd_mixer_elem_t* line = Current();
  if (!line) return controls;
  for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
    const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
    if (capture_ ? snd_mixer_selem_has_capture_channel(line, channel)
                 : snd_mixer_selem_has_playback_channel(line, channel))
      controls.push_back({Advanced::Kind::kChannel, line, channel});
  }
  for (snd_mixer_elem_t* e : others_) {
    const bool choice = snd_mixer_selem_is_enumerated(e) != 0;
    controls.push_back(
        {choice ? Advanced::Kind::kEnum : Advanced::Kind::kSwitch, e, SND_MIXER_SCHN_FRONT_LEFT});
  }
  return controls;
}

com::HRESULT MixerLines::FindAdvanced(int32_t index, Advanced* found) {
  if (!Current()) return kMixerDriverError;
  const std::vector<Advanced> controls = AdvancedControls();
  if (index < 0 || index >= static_cast<int32_t>(controls.size())) return com::E_INVALIDARG;
  *found = controls[static_cast<size_t>(index)];
  return com::S_OK;
}

int32_t MixerLines::AdvancedCount() {
  return static_cast<int32_t>(AdvancedControls().size());
}

com::HRESULT MixerLines::AdvancedName(int32_t index, std::string* name) {
  Advanced a{};
  if (com::HRESULT hr = FindAdvanced(index, &a); hr != com::S_OK) return hr;
  *name = a.kind == Advanced::Kind::kChannel ? snd_mixer_selem_channel_name(a.channel)
                                             : snd_mixer_selem_get_name(a.element);
  return com::S_OK;
}

com::HRESULT MixerLines::AdvancedValue(int32_t index, com::VARIANT* value) {
  Advanced a{};
  if (com::HRESULT hr = FindAdvanced(index, &a); hr != com::S_OK) return hr;
  switch (a.kind) {
    case Advanced::Kind::kChannel: {
      long v = 0, lo = 0, hi = 1;
      int rc = 0;
      if (capture_) {
        snd_mixer_selem_get_capture_volume_range(a.element, &lo, &hi);
        rc = snd_mixer_selem_get_capture_volume(a.element, a.channel, &v);
      } else {
        snd_mixer_selem_get_playback_volume_range(a.element, &lo, &hi);
        rc = snd_mixer_selem_get_playback_volume(a.element, a.channel, &v);
      }
      if (rc < 0) return kMixerDriverError;
      if (hi <= lo) hi = lo + 1;
      *value = com::Variant::I4(static_cast<int32_t>(std::lround(100.0 * (v - lo) / (hi - lo))))
                   .Detach();
      return com::S_OK;
    }
    case Advanced::Kind::kSwitch: {
      int on = 0;
      const int rc = capture_ ? snd_mixer_selem_get_capture_switch(a.element, a.channel, &on)
                              : snd_mixer_selem_get_playback_switch(a.element, a.channel, &on);
      if (rc < 0) return kMixerDriverError;
      *value = com::Variant::Bool(on != 0).Detach();
      return com::S_OK;
    }
    case Advanced::Kind::kEnum: {
      unsigned item = 0;
      char text[64] = {};
      if (snd_mixer_selem_get_enum_item(a.element, a.channel, &item) < 0 ||
          snd_mixer_selem_get_enum_item_name(a.element, item, sizeof text - 1, text) < 0)
        return kMixerDriverError;
      *value = com::Variant::Str(com::Utf8ToUtf16(text)).Detach();
      return com::S_OK;
    }
  }
  return kMixerDriverError;
}

namespace {

// The item of an enumeration named by `value` (its name, or its number).
bool EnumItem(snd_mixer_elem_t* e, const com::VARIANT& value, unsigned* item) {
  const int count = snd_mixer_selem_get_enum_items(e);
  if (value.vt == com::VT_BSTR) {
    const std::string wanted = com::ToUtf8(value.bstrVal);
    for (int i = 0; i < count; ++i) {
      char text[64] = {};
      if (snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i), sizeof text - 1, text) >=
              0 &&
          wanted == text) {
        *item = static_cast<unsigned>(i);
        return true;
      }
    }
    return false;
  }
  com::Variant number;
  if (com::Failed(com::VariantChangeType(&number, &value, 0, com::VT_I4)) || number.lVal < 0 ||
      number.lVal >= count)
    return false;
  *item = static_cast<unsigned>(number.lVal);
  return true;
}

}  // namespace

com::HRESULT MixerLines::SetAdvancedValue(int32_t index, const com::VARIANT& value) {
  Advanced a{};
  if (com::HRESULT hr = FindAdvanced(index, &a); hr != com::S_OK) return hr;
  int rc = 0;
  switch (a.kind) {
    case Advanced::Kind::kChannel: {
      com::Variant percent;
      if (com::Failed(com::VariantChangeType(&percent, &value, 0, com::VT_I4)) ||
          percent.lVal < 0 || percent.lVal > 100)
        return com::E_INVALIDARG;
      long lo = 0, hi = 1;
      if (capture_)
        snd_mixer_selem_get_capture_volume_range(a.element, &lo, &hi);
      else
        snd_mixer_selem_get_playback_volume_range(a.element, &lo, &hi);
      const long v = lo + std::lround((hi - lo) * percent.lVal / 100.0);
      rc = capture_ ? snd_mixer_selem_set_capture_volume(a.element, a.channel, v)
                    : snd_mixer_selem_set_playback_volume(a.element, a.channel, v);
      break;
    }
    case Advanced::Kind::kSwitch: {
      com::Variant on;
      if (com::Failed(com::VariantChangeType(&on, &value, 0, com::VT_BOOL)))
        return com::E_INVALIDARG;
      rc = capture_ ? snd_mixer_selem_set_capture_switch_all(a.element, on.boolVal != 0)
                    : snd_mixer_selem_set_playback_switch_all(a.element, on.boolVal != 0);
      break;
    }
    case Advanced::Kind::kEnum: {
      unsigned item = 0;
      if (!EnumItem(a.element, value, &item)) return com::E_INVALIDARG;
      for (int c = 0; c <= SND_MIXER_SCHN_LAST && rc >= 0; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        unsigned current = 0;
        // Only the channels the element has answer a get.
        if (snd_mixer_selem_get_enum_item(a.element, channel, &current) >= 0)
          rc = snd_mixer_selem_set_enum_item(a.element, channel, item);
      }
      break;
    }
  }
  return rc < 0 ? kMixerDriverError : com::S_OK;
}

}  // namespace qel::audio

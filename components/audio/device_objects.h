// The player and recorder components: AudioDXPlayer and AudioRecord, each
// with its device choice, its mixer lines and one stream at a time. Their
// events are sent from the stream's thread through the connection point; the
// control's sink hands them to its own thread.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture_stream.h"
#include "com/classtable.h"
#include "com/connection.h"
#include "external/audio_defaults.h"
#include "external/audio_events.h"
#include "mixer_lines.h"
#include "playback_stream.h"

namespace qel::audio {

// Device choice shared by both kinds.
class DeviceChoice {
 public:
  explicit DeviceChoice(snd_pcm_stream_t direction) : direction_(direction) { Refresh(); }
  void Refresh() { names_ = ListDevices(direction_); }
  int32_t Count() const { return static_cast<int32_t>(names_.size()); }
  int32_t Num() const { return num_; }
  com::HRESULT SetNum(int32_t num);
  const std::string& Name() const { return names_[static_cast<size_t>(num_)]; }

 private:
  snd_pcm_stream_t direction_;
  std::vector<std::string> names_;
  int32_t num_ = 0;
};

// What the player and the recorder share: the timer interval, the buffer size,
// the device choice, the level ranges, the mixer lines and the connection point
// of their events.
template <class Derived, class Defaults>
class StreamComponent
    : public com::DispatchObject<Derived, Defaults, com::IConnectionPointContainer> {
 public:
  com::HRESULT get_TimerInterval(int32_t* v) override { return Out(timerInterval_, v); }
  com::HRESULT get_BufferSize(int32_t* v) override { return Out(bufferSize_, v); }
  com::HRESULT put_BufferSize(int32_t v) override { return Set(bufferSize_, v); }
  com::HRESULT get_DeviceCount(int32_t* v) override {
    devices_.Refresh();
    return Out(devices_.Count(), v);
  }
  com::HRESULT get_DeviceNum(int32_t* v) override { return Out(devices_.Num(), v); }
  com::HRESULT put_DeviceNum(int32_t v) override {
    const com::HRESULT hr = devices_.SetNum(v);
    if (hr == com::S_OK) lines_.SetDevice(devices_.Name());
    return hr;
  }
  com::HRESULT get_DeviceName(com::BSTR* v) override { return OutText(devices_.Name(), v); }
  com::HRESULT get_LevelDynamicRange(int32_t* v) override { return Out(levelDynamicRange_, v); }
  com::HRESULT put_LevelDynamicRange(int32_t v) override { return Set(levelDynamicRange_, v); }
  com::HRESULT get_LevelTimeRange(int32_t* v) override { return Out(levelTimeRange_, v); }
  com::HRESULT put_LevelTimeRange(int32_t v) override { return Set(levelTimeRange_, v); }

  com::HRESULT get_LineCount(int32_t* v) override { return Out(lines_.Count(), v); }
  com::HRESULT get_LineNum(int32_t* v) override { return Out(lines_.Num(), v); }
  com::HRESULT put_LineNum(int32_t v) override { return lines_.SetNum(v); }
  com::HRESULT get_LineName(com::BSTR* v) override;
  com::HRESULT get_LineSelect(com::VARIANT_BOOL* v) override;
  com::HRESULT put_LineSelect(com::VARIANT_BOOL v) override { return lines_.SetSelect(v != 0); }
  com::HRESULT get_LineVolumeBalance(int32_t* v) override {
    return v ? lines_.Balance(v) : com::E_POINTER;
  }
  com::HRESULT put_LineVolumeBalance(int32_t v) override { return lines_.SetBalance(v); }
  com::HRESULT get_LineVolume(int32_t* v) override { return v ? lines_.Volume(v) : com::E_POINTER; }
  com::HRESULT put_LineVolume(int32_t v) override { return lines_.SetVolume(v); }
  com::HRESULT get_LineAdvancedCount(int32_t* v) override {
    return v ? Out(lines_.AdvancedCount(), v) : com::E_POINTER;
  }
  com::HRESULT get_LineAdvancedName(int32_t index, com::BSTR* v) override;
  com::HRESULT get_LineAdvancedValue(int32_t index, com::VARIANT* v) override {
    return v ? lines_.AdvancedValue(index, v) : com::E_POINTER;
  }
  com::HRESULT put_LineAdvancedValue(int32_t index, com::VARIANT v) override {
    return lines_.SetAdvancedValue(index, v);
  }

  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override {
    return events_.EnumConnectionPoints(points);
  }
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override {
    return events_.FindConnectionPoint(iid, point);
  }

 protected:
  StreamComponent(snd_pcm_stream_t direction, com::REFIID events, int32_t bufferSize)
      : devices_(direction),
        lines_(direction == SND_PCM_STREAM_CAPTURE),
        bufferSize_(bufferSize),
        events_(static_cast<com::IConnectionPointContainer*>(this), events) {}

  static com::HRESULT Out(int32_t value, int32_t* out) {
    if (!out) return com::E_POINTER;
    *out = value;
    return com::S_OK;
  }
  static com::HRESULT Set(int32_t& field, int32_t value) {
    field = value;
    return com::S_OK;
  }
  static com::HRESULT OutText(const std::string& text, com::BSTR* out);

  DeviceChoice devices_;
  MixerLines lines_;
  int32_t timerInterval_ = 20;
  int32_t bufferSize_;
  int32_t levelDynamicRange_ = 60;
  int32_t levelTimeRange_ = 1000;
  com::EventSource events_;
};

class AudioDXPlayer final : public StreamComponent<AudioDXPlayer, IAudioPlayerDefaults> {
 public:
  AudioDXPlayer();
  ~AudioDXPlayer() override;

  com::HRESULT Init(int32_t rate, int32_t channels, int32_t bits, int32_t mask,
                    int32_t* result) override;
  com::HRESULT Stop() override;
  com::HRESULT Write(com::IUnknown* data, int32_t* result) override;
  com::HRESULT put_TimerInterval(int32_t v) override;
  com::HRESULT SetAdditionalParam(com::BSTR name, com::VARIANT value) override;
  com::HRESULT GetAdditionalParam(com::BSTR name, com::VARIANT* value) override;
  com::HRESULT GetPlayedData(int32_t frames, com::IUnknown** data) override;

 private:
  std::vector<uint8_t> record_;  // the wave-format record of the stream's format
  std::map<std::u16string, int32_t> params_;
  AudioDxPlayer4EventsSender sender_;
  std::unique_ptr<PlaybackStream> stream_;  // last: stopped before the events go
};

class AudioRecord final : public StreamComponent<AudioRecord, IAudioRecorderDefaults> {
 public:
  AudioRecord();
  ~AudioRecord() override;

  com::HRESULT Start(int32_t rate, int32_t channels, int32_t bits, int32_t mask,
                     int32_t* result) override;
  com::HRESULT Stop() override;
  com::HRESULT GetData(com::IUnknown** data) override;
  com::HRESULT put_TimerInterval(int32_t v) override;
  // Accumulation and automatic gain, applied by the capture thread from the
  // next Start (input_dynamics.h).
#define QEL_KEPT(Name, Type, Field)           \
  com::HRESULT get_##Name(Type* v) override { \
    if (!v) return com::E_POINTER;            \
    *v = Field;                               \
    return com::S_OK;                         \
  }                                           \
  com::HRESULT put_##Name(Type v) override {  \
    Field = v;                                \
    return com::S_OK;                         \
  }
  QEL_KEPT(AccuAttackTime, int32_t, accuAttackTime_)
  QEL_KEPT(AccuAttackLevel, int32_t, accuAttackLevel_)
  QEL_KEPT(AccuReleaseTime, int32_t, accuReleaseTime_)
  QEL_KEPT(AccuReleaseLevel, int32_t, accuReleaseLevel_)
  QEL_KEPT(AccuEnabled, com::VARIANT_BOOL, accuEnabled_)
  QEL_KEPT(AGCLowLevel, int32_t, agcLowLevel_)
  QEL_KEPT(AGCHighLevel, int32_t, agcHighLevel_)
  QEL_KEPT(AGCAttackTime, int32_t, agcAttackTime_)
  QEL_KEPT(AGCEnabled, com::VARIANT_BOOL, agcEnabled_)
#undef QEL_KEPT

 private:
  // Their meanings: input_dynamics.h.
  int32_t accuAttackTime_ = AccumulationSettings{}.attackMs;
  int32_t accuAttackLevel_ = AccumulationSettings{}.attackLevelDb;
  int32_t accuReleaseTime_ = AccumulationSettings{}.releaseMs;
  int32_t accuReleaseLevel_ = AccumulationSettings{}.releaseLevelDb;
  int32_t agcLowLevel_ = GainControlSettings{}.lowLevelDb;
  int32_t agcHighLevel_ = GainControlSettings{}.highLevelDb;
  int32_t agcAttackTime_ = GainControlSettings{}.attackMs;
  com::VARIANT_BOOL accuEnabled_ = com::VARIANT_FALSE, agcEnabled_ = com::VARIANT_FALSE;
  std::vector<uint8_t> record_;  // the wave-format record of the running format
  AudioRecord4EventsSender sender_;
  std::unique_ptr<CaptureStream> stream_;  // last: stopped before the events go
};

}  // namespace qel::audio

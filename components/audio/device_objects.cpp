#include "device_objects.h"

#include <cstring>

#include "com/bstr.h"
#include "com/variant.h"
#include "external/media.h"
#include "external/wave_record.h"

namespace qel::audio {

using namespace com;

namespace {

// A data object of the media component (an audio-frame-data or a data-buffer
// object) holding the wave-format record, then the samples.
template <class I>
HRESULT FrameData(const std::vector<uint8_t>& record, const std::vector<uint8_t>& samples,
                  IUnknown** data, REFCLSID clsid = CLSID_AudioFrameData) {
  if (!data) return E_POINTER;
  *data = nullptr;
  ComPtr<I> frame;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, frame.OutVoid());
  if (Failed(hr)) return hr;
  const size_t total = record.size() + samples.size();
  uint8_t* bytes = nullptr;
  if (Failed(hr = frame->AllocateBuffer(static_cast<int32_t>(total))) ||
      Failed(hr = frame->put_DataSize(static_cast<int32_t>(total))) ||
      Failed(hr = frame->GetBuffer(&bytes)))
    return hr;
  if (!record.empty()) std::memcpy(bytes, record.data(), record.size());
  if (!samples.empty()) std::memcpy(bytes + record.size(), samples.data(), samples.size());
  *data = frame.Detach();
  return S_OK;
}

std::vector<uint8_t> PcmRecord(int32_t rate, int32_t channels, int32_t bits, int32_t mask) {
  return external::EncodeWaveRecord(external::MakePcmRecord(
      static_cast<uint32_t>(rate), static_cast<uint16_t>(channels), static_cast<uint16_t>(bits),
      channels > 2 || bits > 16, static_cast<uint32_t>(mask), static_cast<uint16_t>(bits),
      external::kPcmSubFormat));
}

// What Init and Start share: a format the component cannot describe is
// refused (8), a device that does not open in it answers `refused`; else the
// new stream and the record of its format replace the old ones.
template <class Stream, class Make>
HRESULT StartStream(int32_t rate, int32_t channels, int32_t bits, int32_t mask, int32_t refused,
                    std::unique_ptr<Stream>& stream, std::vector<uint8_t>& record, int32_t* result,
                    Make make) {
  if (!result) return E_POINTER;
  stream.reset();
  if (FormatOfBits(bits) == SND_PCM_FORMAT_UNKNOWN || rate <= 0 || channels < 1 || channels > 18) {
    *result = kResultInvalidArgument;
    return S_OK;
  }
  std::unique_ptr<Stream> made = make();
  if (!made->Ok()) {
    *result = refused;
    return S_OK;
  }
  stream = std::move(made);
  record = PcmRecord(rate, channels, bits, mask);
  *result = kResultOk;
  return S_OK;
}

}  // namespace

template <class Derived, class Defaults>
HRESULT StreamComponent<Derived, Defaults>::OutText(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = Bstr::FromUtf8(text).Detach();
  return S_OK;
}

template <class Derived, class Defaults>
HRESULT StreamComponent<Derived, Defaults>::get_LineName(BSTR* v) {
  if (!v) return E_POINTER;
  std::string name;
  if (HRESULT hr = lines_.Name(&name); hr != S_OK) return hr;
  return OutText(name, v);
}

template <class Derived, class Defaults>
HRESULT StreamComponent<Derived, Defaults>::get_LineSelect(VARIANT_BOOL* v) {
  if (!v) return E_POINTER;
  bool on = false;
  if (HRESULT hr = lines_.Select(&on); hr != S_OK) return hr;
  *v = on ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

template <class Derived, class Defaults>
HRESULT StreamComponent<Derived, Defaults>::get_LineAdvancedName(int32_t index, BSTR* v) {
  if (!v) return E_POINTER;
  std::string name;
  if (HRESULT hr = lines_.AdvancedName(index, &name); hr != S_OK) return hr;
  return OutText(name, v);
}

template class StreamComponent<AudioDXPlayer, IAudioPlayerDefaults>;
template class StreamComponent<AudioRecord, IAudioRecorderDefaults>;

HRESULT DeviceChoice::SetNum(int32_t num) {
  Refresh();
  if (num < 0 || num >= Count()) return E_INVALIDARG;
  num_ = num;
  return S_OK;
}

// ---- AudioDXPlayer ----

AudioDXPlayer::AudioDXPlayer()
    : StreamComponent(SND_PCM_STREAM_PLAYBACK, IID__IAudioDxPlayer4Events, 500), sender_(events_) {}

AudioDXPlayer::~AudioDXPlayer() {
  stream_.reset();
}

HRESULT AudioDXPlayer::Init(int32_t rate, int32_t channels, int32_t bits, int32_t mask,
                            int32_t* result) {
  return StartStream(
      rate, channels, bits, mask, kResultOutputDriver, stream_, record_, result, [&] {
        return std::make_unique<PlaybackStream>(devices_.Name(), rate, channels, bits,
                                                static_cast<uint32_t>(timerInterval_),
                                                [this](PlayerEvent event, int32_t value) {
                                                  switch (event) {
                                                    case PlayerEvent::BlockDone:
                                                      sender_.BlockDone();
                                                      break;
                                                    case PlayerEvent::Started:
                                                      sender_.Started();
                                                      break;
                                                    case PlayerEvent::Position:
                                                      sender_.Position(value);
                                                      break;
                                                    case PlayerEvent::BlockDropped:
                                                      sender_.BlockDropped();
                                                      break;
                                                    case PlayerEvent::EndOfData:
                                                      sender_.EndOfData();
                                                      break;
                                                  }
                                                });
      });
}

HRESULT AudioDXPlayer::GetPlayedData(int32_t frames, IUnknown** data) {
  // Like the control's own sample arrays: a data buffer that starts with the record.
  return FrameData<IDataBuffer>(record_, stream_ ? stream_->Recent(frames) : std::vector<uint8_t>{},
                                data, CLSID_DataBuffer);
}

HRESULT AudioDXPlayer::Stop() {
  stream_.reset();
  return S_OK;
}

HRESULT AudioDXPlayer::Write(IUnknown* data, int32_t* result) {
  if (!result) return E_POINTER;
  ComPtr<IDataBuffer> buffer;
  if (!data || Failed(data->QueryInterface(IID_IDataBuffer, buffer.OutVoid()))) {
    *result = kResultInvalidArgument;
    return S_OK;
  }
  if (!stream_) {
    *result = kResultOutputDriver;
    return S_OK;
  }
  int32_t size = 0;
  uint8_t* bytes = nullptr;
  if (Failed(buffer->get_DataSize(&size)) || Failed(buffer->GetBuffer(&bytes)) ||
      (size > 0 && !bytes)) {
    *result = kResultInvalidArgument;
    return S_OK;
  }
  if (size > 0) stream_->Write(bytes, static_cast<size_t>(size));
  *result = kResultOk;
  return S_OK;
}

HRESULT AudioDXPlayer::put_TimerInterval(int32_t v) {
  if (v < 1) return E_INVALIDARG;
  timerInterval_ = v;
  if (stream_) stream_->SetReportInterval(static_cast<uint32_t>(v));
  return S_OK;
}

HRESULT AudioDXPlayer::SetAdditionalParam(BSTR name, VARIANT value) {
  Variant converted;
  if (Failed(VariantChangeType(&converted, &value, 0, VT_I4))) return E_INVALIDARG;
  params_[std::u16string(View(name))] = converted.lVal;
  // The speed applies to the stream open now; Init starts each at 100 %.
  if (View(name) == u"SpeedRate" && stream_) stream_->SetSpeed(converted.lVal);
  return S_OK;
}

HRESULT AudioDXPlayer::GetAdditionalParam(BSTR name, VARIANT* value) {
  if (!value) return E_POINTER;
  auto it = params_.find(std::u16string(View(name)));
  if (it == params_.end()) return E_INVALIDARG;
  *value = Variant::I4(it->second).Detach();
  return S_OK;
}

// ---- AudioRecord ----

AudioRecord::AudioRecord()
    : StreamComponent(SND_PCM_STREAM_CAPTURE, IID__IAudioRecord4Events, 1000), sender_(events_) {}

AudioRecord::~AudioRecord() {
  stream_.reset();
}

HRESULT AudioRecord::Start(int32_t rate, int32_t channels, int32_t bits, int32_t mask,
                           int32_t* result) {
  return StartStream(rate, channels, bits, mask, kResultInputDriver, stream_, record_, result, [&] {
    return std::make_unique<CaptureStream>(
        devices_.Name(), rate, channels, bits, static_cast<uint32_t>(std::max(bufferSize_, 10)),
        static_cast<uint32_t>(std::max(timerInterval_, 1)),
        [this](RecorderEvent event, int32_t value, int32_t peak) {
          switch (event) {
            case RecorderEvent::DataReady:
              sender_.DataReady();
              break;
            case RecorderEvent::Position:
              sender_.Position(value, peak);
              break;
            case RecorderEvent::GainChange:
              sender_.GainChange(value);
              break;
          }
        },
        InputDynamics(rate, channels, bits,
                      {accuEnabled_ != 0, accuAttackTime_, accuAttackLevel_, accuReleaseTime_,
                       accuReleaseLevel_},
                      {agcEnabled_ != 0, agcLowLevel_, agcHighLevel_, agcAttackTime_}));
  });
}

HRESULT AudioRecord::Stop() {
  // The stream stays until the next Start: its last blocks are still to be taken.
  if (stream_) stream_->Finish();
  return S_OK;
}

HRESULT AudioRecord::GetData(IUnknown** data) {
  return FrameData<IAudioFrameData>(record_, stream_ ? stream_->Take() : std::vector<uint8_t>{},
                                    data);
}

HRESULT AudioRecord::put_TimerInterval(int32_t v) {
  if (v < 1) return E_INVALIDARG;
  timerInterval_ = v;
  return S_OK;
}

}  // namespace qel::audio

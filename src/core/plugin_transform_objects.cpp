#include "core/plugin_transform_objects.h"

#include <mutex>

#include "com/classtable.h"
#include "com/errorinfo.h"
#include "core/errors.h"
#include "processing/effect_frame.h"

namespace qel {

using namespace com;
using processing::EffectOutcome;

namespace {

constexpr int16_t kCancelWhenIdle = 1;

// The value of a channel's doubles that is full scale for the plug-ins: the
// samples arrive as the block loop converts them (24- and 32-bit ones as
// 32-bit values, divided by the effect's sample scale when it has one).
double FullScale(int32_t sampleSize, double sampleScale) {
  switch (sampleSize) {
    case 8:
      return 128.0;
    case 16:
      return 32768.0;
    default:
      return sampleScale > 0 ? 2147483648.0 / sampleScale : 2147483648.0;
  }
}

}  // namespace

// The sink of one host component's events, on the host's thread (plug-ins
// are listed inside LoadLibraries, pages applied inside SetAdditionalParam).
class PluginSink final : public ComObject<PluginSink, IDispatch> {
 public:
  explicit PluginSink(PluginHostLink* link) : link_(link) {}
  void Detach() { link_ = nullptr; }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 uint32_t*) override {
    switch (static_cast<AudioPluginHostEventsId>(id)) {
      case AudioPluginHostEventsId::PluginLoad: {
        // Arguments arrive last first: Cancel, Name, Num.
        if (!params || params->cArgs != 3) return DISP_E_BADPARAMCOUNT;
        VARIANT* args = params->rgvarg;
        if (args[0].vt != (VT_I2 | VT_BYREF) || args[1].vt != VT_BSTR || args[2].vt != VT_I4)
          return DISP_E_TYPEMISMATCH;
        if (link_) link_->OnLoad(args[2].lVal, args[1].bstrVal, args[0].piVal);
        return S_OK;
      }
      case AudioPluginHostEventsId::PropPageApply:
        if (link_) link_->OnApply();
        return S_OK;
    }
    return E_NOTIMPL;
  }

 private:
  PluginHostLink* link_;
};

// The first failure of a run, from whichever thread it happened on.
// One channel's processing object as the block loop sees it: the block goes
// through in place, as long as it came.
class PluginHostLink::Channel final : public processing::ChannelProcessor {
 public:
  Channel(ComPtr<IAudioPluginProcessor> processor, PluginHostLink& link)
      : processor_(std::move(processor)), link_(link) {}
  IAudioPluginProcessor* Processor() const { return processor_.get(); }

  bool Measures() override { return false; }
  bool Measure(std::span<const double>, const processing::BlockPlace&) override { return true; }
  bool SetLastBlock() override { return true; }
  bool Process(std::span<const double> in, const processing::BlockPlace&,
               std::span<const double>* out) override {
    buffer_.assign(in.begin(), in.end());
    static constexpr double kNothing = 0;
    *out = {&kNothing, 0};
    if (buffer_.empty()) return true;
    if (!link_.Check(processor_->Process(buffer_.data(), static_cast<int32_t>(buffer_.size()))))
      return false;
    *out = {buffer_.data(), buffer_.size()};
    return true;
  }
  bool Generate(double, double, std::span<const double>* out) override {
    *out = {};
    return true;
  }

 private:
  ComPtr<IAudioPluginProcessor> processor_;
  PluginHostLink& link_;
  std::vector<double> buffer_;
};

PluginHostLink::PluginHostLink(Role role, const StateLink& owner)
    : role_(role), owner_(owner), failure_(std::make_unique<ComponentFailure>()) {}

PluginHostLink::~PluginHostLink() {
  Disable();
}

bool PluginHostLink::Enable(LoadEvent fireLoad) {
  if (host_) return true;
  ComPtr<IAudioPluginHost> host;
  const CLSID& clsid = role_ == Role::kDx ? CLSID_AudioDXTransform : CLSID_AudioVSTTransform;
  if (Failed(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IAudioPluginHost::kIID,
                              host.OutVoid())))
    return false;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  auto sink = PluginSink::Create(this);
  if (!sink || Failed(host->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid())) ||
      Failed(container->FindConnectionPoint(IID__IAudioPluginHostEvents, point.Out())) ||
      Failed(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie_)))
    return false;
  host_ = std::move(host);
  point_ = std::move(point);
  sink_ = std::move(sink);
  fireLoad_ = std::move(fireLoad);
  if (role_ == Role::kDx)
    host_->SetAdditionalParam(Bstr(u"DXTransformVersion").get(), Variant::I4(4));
  return true;
}

void PluginHostLink::Disable() {
  channels_.clear();
  if (sink_) sink_->Detach();
  if (point_) point_->Unadvise(cookie_);
  point_.Reset();
  sink_.Reset();
  host_.Reset();
  fireLoad_ = nullptr;
  count_ = active_ = 0;
}

// ---- listing ----

HRESULT PluginHostLink::LoadLibraries(int32_t method) {
  ControlState* state = owner_.State();
  if (!host_ || !state || !state->doc.Idle()) return S_OK;
  document::Document& doc = state->doc;
  doc.SetStatus(status::kLoadingPlugins);
  const HRESULT hr = host_->LoadLibraries(method);
  ComPtr<IErrorInfo> info;
  if (Failed(hr)) GetErrorInfo(0, info.Out());
  int32_t count = 0;
  if (Succeeded(host_->get_Count(&count))) count_ = count;
  active_ = 0;
  doc.SetStatus(status::kIdle);
  if (Failed(hr)) SetErrorInfo(0, info.get());
  return hr;
}

void PluginHostLink::OnLoad(int32_t num, BSTR name, int16_t* cancel) {
  ControlState* state = owner_.State();
  if (!cancel) return;
  // A list loaded while the control is idle (LoadLibraries was stopped) is
  // skipped unless the host says otherwise.
  *cancel = !state || state->doc.Idle() ? kCancelWhenIdle : 0;
  if (fireLoad_) fireLoad_(num, name, cancel);
}

void PluginHostLink::OnApply() {
  Process();
}

HRESULT PluginHostLink::Count(int32_t* value) {
  if (!value) return E_POINTER;
  if (!host_) return S_OK;
  const HRESULT hr = host_->get_Count(value);
  if (Succeeded(hr)) count_ = *value;
  return hr;
}

HRESULT PluginHostLink::FilterNum(int32_t* value) {
  if (!value) return E_POINTER;
  if (!host_) return S_OK;
  return host_->get_FilterNum(value);
}

HRESULT PluginHostLink::SetFilterNum(int32_t value) {
  // Plug-ins count from 0: the number of plug-ins is already out of range.
  if (!host_ || count_ < 1 || value < 0 || value >= count_) return RaiseError(kErrNotInstalled);
  return RaiseComponentResult(host_->put_FilterNum(value));
}

HRESULT PluginHostLink::Active(VARIANT_BOOL* value) {
  return WhenListed(&IAudioPluginHost::get_Active, value);
}

HRESULT PluginHostLink::SetActive(VARIANT_BOOL value) {
  if (!host_ || count_ < 1) return S_OK;
  VARIANT_BOOL was = VARIANT_FALSE;
  HRESULT hr = host_->get_Active(&was);
  if (Succeeded(hr)) hr = host_->put_Active(value);
  if (Failed(hr)) return hr;
  const bool on = value != VARIANT_FALSE;
  if (on != (was != VARIANT_FALSE)) active_ = on ? active_ + 1 : std::max(active_ - 1, 0);
  return S_OK;
}

HRESULT PluginHostLink::PropertyPage(int32_t page, int32_t* window, tagRECT* rect) {
  if (!host_ || count_ < 1) return S_OK;
  return host_->PropertyPage(page, window, rect);
}

HRESULT PluginHostLink::SetXmlFileName(BSTR name) {
  if (!host_) return S_OK;
  return host_->SetAdditionalParam(Bstr(u"FileNameXMLStore").get(), Variant::Str(View(name)));
}

HRESULT PluginHostLink::PropertyPageName(BSTR* value) {
  if (!value) return E_POINTER;
  if (!host_) return S_OK;
  Variant name;
  const HRESULT hr = host_->GetAdditionalParam(Bstr(u"PropertyPageName").get(), &name);
  if (Failed(hr)) return hr;
  if (name.vt == VT_BSTR) *value = std::exchange(name.bstrVal, nullptr);
  name.vt = VT_EMPTY;
  return S_OK;
}

void PluginHostLink::ForwardParam(BSTR name, VARIANT value) {
  if (host_) host_->SetAdditionalParam(name, value);
}

// ---- processing ----

bool PluginHostLink::Check(HRESULT hr) {
  return failure_->Keep(hr);
}

HRESULT PluginHostLink::TakeFailure() {
  return failure_->Take();
}

bool PluginHostLink::MakeProcessors(int32_t channels, int32_t sampleRate, double fullScale) {
  channels_.clear();
  for (int32_t c = 0; c < channels; ++c) {
    ComPtr<IUnknown> made;
    ComPtr<IAudioPluginProcessor> processor;
    if (!Check(host_->CreateProcessor(sampleRate, fullScale, made.Out())) ||
        !Check(made->QueryInterface(IAudioPluginProcessor::kIID, processor.OutVoid()))) {
      channels_.clear();
      return false;
    }
    channels_.push_back(std::make_unique<Channel>(std::move(processor), *this));
  }
  // What the property pages hold takes effect for this run.
  const std::u16string_view apply = role_ == Role::kDx ? u"DXPropPageApply" : u"VSTPropPageApply";
  return Check(host_->SetAdditionalParam(Bstr(apply).get(), Variant::Bool(true)));
}

HRESULT PluginHostLink::Process() {
  ControlState* state = owner_.State();
  if (!host_ || !state || active_ < 1) return S_OK;
  const ComPtr<IAudioPluginHost> hold(host_);
  const int32_t code = role_ == Role::kDx ? opcode::kDxProcess : opcode::kVstProcess;
  const std::optional<processing::EffectEntry> entry = processing::FindEffect(code);
  if (!entry) return RaiseError(kErrInvalidOperation);
  document::Document& doc = state->doc;
  TakeFailure();
  HRESULT played = S_OK;
  bool made = false;
  processing::EffectJob job;
  job.effect = *entry;
  job.previewMode = state->previewMode;
  job.configure = [&](int32_t channel, const processing::SmoothingSent&) {
    if (!made) {
      made = true;
      const double scale =
          FullScale(doc.format.sampleSize, entry->SampleScale(doc.format.sampleSize));
      if (!MakeProcessors(doc.format.channels, doc.format.sampleRate, scale)) return false;
    }
    if (channel < 0 || static_cast<size_t>(channel) >= channels_.size()) return false;
    return Check(channels_[static_cast<size_t>(channel)]->Processor()->Init());
  };
  // The plug-ins read their parameters at every block: a running preview
  // hears a change without anything being sent again.
  job.adjust = [](int32_t) { return true; };
  job.processor = [&](int32_t channel) -> processing::ChannelProcessor* {
    if (channel < 0 || static_cast<size_t>(channel) >= channels_.size()) return nullptr;
    return channels_[static_cast<size_t>(channel)].get();
  };
  job.play = [&] {
    // The preview plays through this run's processing objects, which stay
    // until the next run makes new ones.
    state->previewChannels = [this](int32_t channel) -> processing::ChannelProcessor* {
      if (channel < 0 || static_cast<size_t>(channel) >= channels_.size()) return nullptr;
      return channels_[static_cast<size_t>(channel)].get();
    };
    played = state->playPreview ? state->playPreview() : E_NOTIMPL;
    return Succeeded(played);
  };
  const processing::EffectResult result = processing::RunEffect(doc, *state, job);
  switch (result.outcome) {
    case EffectOutcome::kFailed:
    case EffectOutcome::kRefused:
      return RaiseError(result.error);
    case EffectOutcome::kComponentFailed:
      return TakeFailure();
    case EffectOutcome::kPreviewFailed:
      return played;
    default:
      return S_OK;
  }
}

// ---- the objects ----

HRESULT CEditorDXTransform::CreateInstance(REFIID iid, void** object) {
  auto obj = Create();
  return obj ? obj->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

HRESULT CEditorVSTTransform::CreateInstance(REFIID iid, void** object) {
  auto obj = Create();
  return obj ? obj->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

HRESULT CEditorVSTTransform::SetVSTDirectories(BSTR directories) {
  IAudioPluginHost* host = link_.Host();
  return host ? host->SetVSTDirectories(directories) : S_OK;
}

// The preset members speak of the plug-in FilterNum chooses and are forwarded
// whenever the host is enabled.
HRESULT CEditorVSTTransform::SetPreset(int32_t preset) {
  return Forward(&IAudioPluginHost::SetPreset, preset);
}
HRESULT CEditorVSTTransform::get_PresetsCount(int32_t* value) {
  return Forward(&IAudioPluginHost::get_PresetsCount, value);
}
HRESULT CEditorVSTTransform::get_PresetName(int32_t preset, BSTR* value) {
  return Forward(&IAudioPluginHost::get_PresetName, preset, value);
}

}  // namespace qel

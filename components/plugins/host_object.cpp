#include "host_object.h"

#include <algorithm>
#include <sstream>

#include "com/errorinfo.h"

namespace qel::plugins {

using namespace com;

namespace {

// Refused plug-in numbers answer the control's "not installed" code, which
// its FilterNum put hands on unchanged.
constexpr HRESULT kNoSuchPlugin = static_cast<HRESULT>(0x80040309);

template <class Standard>
constexpr std::u16string_view kSource = u"QelAudioDXTransform3.AudioDXTransform.1";
template <>
constexpr std::u16string_view kSource<Lv2Host> = u"QelAudioVSTTransform3.AudioVSTTransform.1";

// The page's title and the store parameter's role-prefixed spellings.
template <class Standard>
constexpr std::u16string_view kRolePrefix = u"DX";
template <>
constexpr std::u16string_view kRolePrefix<Lv2Host> = u"VST";

HRESULT OutText(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = Bstr::FromUtf8(text).Detach();
  return S_OK;
}

template <class T>
HRESULT Out(T value, T* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

std::string Text(const VARIANT& value) {
  Variant text;
  if (Failed(VariantChangeType(&text, &value, 0, VT_BSTR))) return {};
  return ToUtf8(text.bstrVal);
}

double Number(const VARIANT& value) {
  Variant number;
  if (Failed(VariantChangeType(&number, &value, 0, VT_R8))) return 0.0;
  return number.dblVal;
}

// Directories as a list separated by ';' or ':'.
std::vector<std::filesystem::path> SplitDirectories(const std::string& text) {
  std::vector<std::filesystem::path> out;
  std::string part;
  for (char c : text + ';') {
    if (c == ';' || c == ':') {
      if (!part.empty()) out.emplace_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  return out;
}

// One channel of a run: the active plug-ins as a chain, each started for one
// channel.
class ChainProcessor final : public DispatchObject<ChainProcessor, IAudioPluginProcessorDefaults> {
 public:
  using Make = std::function<std::vector<std::unique_ptr<Instance>>()>;
  ChainProcessor(Make make, std::vector<std::unique_ptr<Instance>> chain, double fullScale,
                 std::u16string_view source)
      : make_(std::move(make)), chain_(std::move(chain)), fullScale_(fullScale), source_(source) {}

  HRESULT Init() override {
    if (!used_) return S_OK;
    try {
      chain_ = make_();
      used_ = false;
      return S_OK;
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
  }

  HRESULT Process(double* samples, int32_t frames) override {
    if (frames < 0 || (!samples && frames > 0)) return E_INVALIDARG;
    used_ = true;
    try {
      const double* in[] = {samples};
      double* out[] = {samples};
      for (const std::unique_ptr<Instance>& plugin : chain_)
        plugin->Process(in, out, static_cast<size_t>(frames), fullScale_);
      return S_OK;
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
  }

 private:
  HRESULT Fail(const std::string& message) const {
    return SetError(E_FAIL, IID_IAudioPluginProcessor, source_, Utf8ToUtf16(message));
  }

  Make make_;
  std::vector<std::unique_ptr<Instance>> chain_;
  double fullScale_;
  std::u16string source_;
  bool used_ = false;
};

}  // namespace

template <class Standard>
HostObject<Standard>::HostObject()
    : events_(static_cast<IConnectionPointContainer*>(this), IID__IAudioPluginHostEvents),
      sender_(events_) {}

template <class Standard>
HostObject<Standard>::~HostObject() = default;

template <class Standard>
Standard& HostObject<Standard>::Plugins() {
  if (!host_) {
    if constexpr (std::is_same_v<Standard, LadspaHost>) {
      host_ = directories_.empty() ? std::make_unique<LadspaHost>()
                                   : std::make_unique<LadspaHost>(directories_);
    } else {
      host_ = std::make_unique<Lv2Host>();
      if (!directories_.empty()) host_->AddDirectories(directories_);
    }
  }
  return *host_;
}

template <class Standard>
HRESULT HostObject<Standard>::Fail(HRESULT code, const std::string& message) const {
  return SetError(code, IID_IAudioPluginHost, kSource<Standard>, Utf8ToUtf16(message));
}

template <class Standard>
bool HostObject<Standard>::Current(size_t* plugin, HRESULT* error) {
  if (filter_ >= Plugins().Count()) {
    *error = Fail(kNoSuchPlugin, "No plug-in is chosen: load the plug-ins first.");
    return false;
  }
  *plugin = filter_;
  return true;
}

template <class Standard>
std::vector<size_t> HostObject<Standard>::ActiveChain() const {
  std::vector<size_t> chain;
  if (!host_) return chain;
  for (size_t i = 0; i < host_->Count(); ++i)
    if (active_.count(host_->Id(i))) chain.push_back(i);
  return chain;
}

template <class Standard>
HRESULT HostObject<Standard>::LoadLibraries(int32_t method) {
  Standard& host = Plugins();
  try {
    host.Load(method, [this](size_t index, const std::string& name) {
      int16_t cancel = 0;
      const Bstr text = Bstr::FromUtf8(name);
      sender_.PluginLoad(static_cast<int32_t>(index), text.get(), &cancel);
      return cancel == 0;
    });
  } catch (const PluginError& e) {
    return Fail(E_INVALIDARG, e.what());
  }
  filter_ = 0;
  active_.clear();
  pageOpen_ = false;
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::get_Count(int32_t* value) {
  return Out(host_ ? static_cast<int32_t>(host_->Count()) : 0, value);
}

template <class Standard>
HRESULT HostObject<Standard>::get_FilterNum(int32_t* value) {
  return Out(static_cast<int32_t>(filter_), value);
}

template <class Standard>
HRESULT HostObject<Standard>::put_FilterNum(int32_t value) {
  if (value < 0 || static_cast<size_t>(value) >= Plugins().Count())
    return Fail(kNoSuchPlugin, "There is no plug-in number " + std::to_string(value) + ".");
  if (filter_ != static_cast<size_t>(value)) pageOpen_ = false;
  filter_ = static_cast<size_t>(value);
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::get_Name(BSTR* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  return Current(&plugin, &error) ? OutText(host_->Name(plugin), value) : error;
}

template <class Standard>
HRESULT HostObject<Standard>::get_Vendor(BSTR* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  return Current(&plugin, &error) ? OutText(host_->Maker(plugin), value) : error;
}

template <class Standard>
HRESULT HostObject<Standard>::get_Active(VARIANT_BOOL* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  if (!Current(&plugin, &error)) return error;
  return Out(active_.count(host_->Id(plugin)) ? VARIANT_TRUE : VARIANT_FALSE, value);
}

template <class Standard>
HRESULT HostObject<Standard>::put_Active(VARIANT_BOOL value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  if (!Current(&plugin, &error)) return error;
  if (value)
    active_.insert(host_->Id(plugin));
  else
    active_.erase(host_->Id(plugin));
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::get_PropertyPagesCount(int32_t* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  // One page: the settings as text.
  return Current(&plugin, &error) ? Out(int32_t{1}, value) : error;
}

template <class Standard>
std::string HostObject<Standard>::PageText(size_t plugin) const {
  return host_->Name(plugin) + "\n" + host_->PropertyPage(plugin);
}

template <class Standard>
HRESULT HostObject<Standard>::PropertyPage(int32_t page, int32_t*, tagRECT* rect) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  if (!Current(&plugin, &error)) return error;
  if (page != 0) return Fail(E_INVALIDARG, "The plug-in has one property page, number 0.");
  // No window is drawn: the rectangle is the text's extent in characters.
  std::istringstream lines(PageText(plugin));
  int32_t width = 0, height = 0;
  for (std::string line; std::getline(lines, line); ++height)
    width = std::max(width, static_cast<int32_t>(Utf8ToUtf16(line).size()));
  if (rect) *rect = {0, 0, width, height};
  pageOpen_ = true;
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::SetStore(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    const StoreReport report = Plugins().LoadState(file);
    if (!report.ok) return Fail(E_INVALIDARG, report.message);
  }
  store_ = file;
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::SaveStore() {
  if (store_.empty() || !host_) return S_OK;
  const StoreReport report = host_->SaveState(store_);
  return report.ok ? S_OK : Fail(E_FAIL, report.message);
}

template <class Standard>
HRESULT HostObject<Standard>::SetAdditionalParam(BSTR name, VARIANT value) {
  const std::u16string key(View(name));
  const std::u16string prefix(kRolePrefix<Standard>);
  if (key == u"FileNameXMLStore" || key == prefix + u"FileNameXMLStore")
    return SetStore(Text(value));
  if (key == prefix + u"PropPageClose") {
    const bool open = std::exchange(pageOpen_, false);
    if (open && Number(value) != 0.0) sender_.PropPageApply();
    return S_OK;
  }
  if (key == u"PropertyPageName") return Fail(E_INVALIDARG, "PropertyPageName is read only.");
  Variant copy;
  VariantCopyInd(&copy, &value);
  params_[key] = std::move(copy);
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::GetAdditionalParam(BSTR name, VARIANT* value) {
  if (!value) return E_POINTER;
  const std::u16string key(View(name));
  VariantInit(value);
  if (key == u"PropertyPageName") {
    size_t plugin = 0;
    HRESULT error = S_OK;
    if (!Current(&plugin, &error)) return error;
    *value = Variant::Str(Utf8ToUtf16(PageText(plugin))).Detach();
    return S_OK;
  }
  if (key == u"FileNameXMLStore") {
    *value = Variant::Str(Utf8ToUtf16(store_.string())).Detach();
    return S_OK;
  }
  auto found = params_.find(key);
  if (found != params_.end()) return VariantCopy(value, &found->second);
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::SetVSTDirectories(BSTR directories) {
  directories_ = SplitDirectories(ToUtf8(directories));
  if (!host_) return S_OK;
  if constexpr (std::is_same_v<Standard, Lv2Host>) {
    host_->AddDirectories(directories_);
  } else {
    // A LADSPA host keeps its path: a new one searches the new directories;
    // the settings carry over through the store.
    host_.reset();
    if (!store_.empty()) return SetStore(store_);
  }
  filter_ = 0;
  active_.clear();
  return S_OK;
}

template <class Standard>
HRESULT HostObject<Standard>::SetPreset(int32_t preset) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  if (!Current(&plugin, &error)) return error;
  if (preset < 0 || static_cast<size_t>(preset) >= host_->PresetCount(plugin))
    return Fail(E_INVALIDARG, "There is no preset number " + std::to_string(preset) + ".");
  host_->ApplyPreset(plugin, static_cast<size_t>(preset));
  return SaveStore();
}

template <class Standard>
HRESULT HostObject<Standard>::get_PresetsCount(int32_t* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  return Current(&plugin, &error) ? Out(static_cast<int32_t>(host_->PresetCount(plugin)), value)
                                  : error;
}

template <class Standard>
HRESULT HostObject<Standard>::get_PresetName(int32_t preset, BSTR* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  if (!Current(&plugin, &error)) return error;
  if (preset < 0 || static_cast<size_t>(preset) >= host_->PresetCount(plugin))
    return Fail(E_INVALIDARG, "There is no preset number " + std::to_string(preset) + ".");
  return OutText(host_->PresetName(plugin, static_cast<size_t>(preset)), value);
}

template <class Standard>
HRESULT HostObject<Standard>::get_ParamsCount(int32_t* value) {
  size_t plugin = 0;
  HRESULT error = S_OK;
  return Current(&plugin, &error) ? Out(static_cast<int32_t>(host_->ParamCount(plugin)), value)
                                  : error;
}

#define QEL_PARAM_CHECK(param)                                                                   \
  size_t plugin = 0;                                                                             \
  HRESULT error = S_OK;                                                                          \
  if (!Current(&plugin, &error)) return error;                                                   \
  if (param < 0 || static_cast<size_t>(param) >= host_->ParamCount(plugin))                      \
    return Fail(E_INVALIDARG, "There is no parameter number " + std::to_string(param) + " in " + \
                                  host_->Name(plugin) + ".");

template <class Standard>
HRESULT HostObject<Standard>::get_ParamName(int32_t param, BSTR* value) {
  QEL_PARAM_CHECK(param)
  return OutText(host_->Param(plugin, static_cast<size_t>(param)).name, value);
}

template <class Standard>
HRESULT HostObject<Standard>::get_ParamLabel(int32_t param, BSTR* value) {
  QEL_PARAM_CHECK(param)
  return OutText(host_->Param(plugin, static_cast<size_t>(param)).unit, value);
}

template <class Standard>
HRESULT HostObject<Standard>::get_ParamValue(int32_t param, double* value) {
  QEL_PARAM_CHECK(param)
  return Out(host_->Value(plugin, static_cast<size_t>(param)), value);
}

template <class Standard>
HRESULT HostObject<Standard>::put_ParamValue(int32_t param, double value) {
  QEL_PARAM_CHECK(param)
  host_->SetValue(plugin, static_cast<size_t>(param), value);
  return SaveStore();
}

#undef QEL_PARAM_CHECK

template <class Standard>
HRESULT HostObject<Standard>::CreateProcessor(int32_t sampleRate, double fullScale,
                                              IUnknown** processor) {
  if (!processor) return E_POINTER;
  *processor = nullptr;
  if (sampleRate <= 0 || !(fullScale > 0.0))
    return Fail(E_INVALIDARG, "The sample rate and the full scale must be positive.");
  const std::vector<size_t> chain = ActiveChain();
  if (chain.empty()) return Fail(E_FAIL, "No plug-in is active.");
  // The processing object keeps this host (and so its parameter values) alive.
  ComPtr<HostObject> self(this);
  auto make = [self, chain, sampleRate] {
    std::vector<std::unique_ptr<Instance>> instances;
    if (!self->host_) throw PluginError("The plug-in list was searched again: make the run anew.");
    for (size_t plugin : chain)
      instances.push_back(self->host_->Instantiate(plugin, static_cast<double>(sampleRate), 1));
    return instances;
  };
  try {
    auto object = ChainProcessor::Create(make, make(), fullScale, kSource<Standard>);
    if (!object) return E_OUTOFMEMORY;
    return object->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(processor));
  } catch (const std::exception& e) {
    return Fail(E_FAIL, e.what());
  }
}

template class HostObject<LadspaHost>;
template class HostObject<Lv2Host>;

}  // namespace qel::plugins

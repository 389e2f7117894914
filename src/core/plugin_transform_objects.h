// The plug-in transform objects (DXTransform: the LADSPA host, VSTTransform:
// the LV2 host). Each owns its host component once the control enables it,
// forwards its members to it, relays the component's load event to the
// control's DXLoad/VSTLoad (Cancel written straight through) and runs the
// active plug-ins over the selection in the effects' block loop, one
// processing object per channel.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/surface_defaults.h"
#include "external/plugins.h"

namespace qel {

class PluginSink;

// What the two objects share; the object that holds it is its StateLink.
class PluginHostLink {
 public:
  enum class Role { kDx, kVst };
  // The control's DXLoad or VSTLoad.
  using LoadEvent = std::function<void(int32_t num, com::BSTR name, int16_t* cancel)>;

  PluginHostLink(Role role, const StateLink& owner);
  ~PluginHostLink();
  PluginHostLink(const PluginHostLink&) = delete;
  PluginHostLink& operator=(const PluginHostLink&) = delete;

  // Creates the host component and connects to its events; false when it
  // cannot be created. Only the first call acts.
  bool Enable(LoadEvent fireLoad);
  // Disconnects and lets the component go (the control is going).
  void Disable();
  IAudioPluginHost* Host() const { return host_.get(); }

  com::HRESULT LoadLibraries(int32_t method);
  com::HRESULT Count(int32_t* value);
  com::HRESULT FilterNum(int32_t* value);
  com::HRESULT SetFilterNum(int32_t value);
  com::HRESULT Active(com::VARIANT_BOOL* value);
  com::HRESULT SetActive(com::VARIANT_BOOL value);
  com::HRESULT PropertyPage(int32_t page, int32_t* window, com::tagRECT* rect);
  com::HRESULT SetXmlFileName(com::BSTR name);
  com::HRESULT PropertyPageName(com::BSTR* value);
  // Name, Vendor, PropertyPagesCount: forwarded once plug-ins are listed.
  template <class T>
  com::HRESULT WhenListed(com::HRESULT (IAudioPluginHost::*get)(T*), T* value) {
    if (!host_ || count_ < 1) return com::S_OK;
    return (host_.get()->*get)(value);
  }
  // The host's SetAdditionalParam, its result dropped (the control's own
  // SetAdditionalParam always succeeds).
  void ForwardParam(com::BSTR name, com::VARIANT value);
  com::HRESULT Process();

  // From the component's events.
  void OnLoad(int32_t num, com::BSTR name, int16_t* cancel);
  void OnApply();

 private:
  class Channel;
  // Releases the last run's processing objects and makes one per channel.
  bool MakeProcessors(int32_t channels, int32_t sampleRate, double fullScale);
  bool Check(com::HRESULT hr);
  com::HRESULT TakeFailure();

  Role role_;
  const StateLink& owner_;
  com::ComPtr<IAudioPluginHost> host_;
  com::ComPtr<com::IConnectionPoint> point_;
  uint32_t cookie_ = 0;
  com::ComPtr<PluginSink> sink_;
  LoadEvent fireLoad_;
  int32_t count_ = 0;   // plug-ins listed by the last LoadLibraries
  int32_t active_ = 0;  // plug-ins switched on since
  std::vector<std::unique_ptr<Channel>> channels_;
  std::unique_ptr<ComponentFailure> failure_;
};

// What the two objects share: every member but the VST host's own.
template <class Derived, class Defaults, PluginHostLink::Role kRole>
class PluginTransformObject : public AutomationObject<Derived, Defaults>, public StateLink {
 public:
  PluginHostLink& Link() { return link_; }

  com::HRESULT Process() override { return link_.Process(); }
  com::HRESULT LoadLibraries(int32_t method) override { return link_.LoadLibraries(method); }
  com::HRESULT PropertyPage(int32_t page, int32_t* window, com::tagRECT* rect) override {
    return link_.PropertyPage(page, window, rect);
  }
  com::HRESULT put_XMLFileName(com::BSTR name) override { return link_.SetXmlFileName(name); }
  com::HRESULT get_Count(int32_t* value) override { return link_.Count(value); }
  com::HRESULT get_FilterNum(int32_t* value) override { return link_.FilterNum(value); }
  com::HRESULT put_FilterNum(int32_t value) override { return link_.SetFilterNum(value); }
  com::HRESULT get_Name(com::BSTR* value) override {
    return link_.WhenListed(&IAudioPluginHost::get_Name, value);
  }
  com::HRESULT get_Active(com::VARIANT_BOOL* value) override { return link_.Active(value); }
  com::HRESULT put_Active(com::VARIANT_BOOL value) override { return link_.SetActive(value); }
  com::HRESULT get_Vendor(com::BSTR* value) override {
    return link_.WhenListed(&IAudioPluginHost::get_Vendor, value);
  }
  com::HRESULT get_PropertyPagesCount(int32_t* value) override {
    return link_.WhenListed(&IAudioPluginHost::get_PropertyPagesCount, value);
  }
  com::HRESULT get_PropertyPageName(com::BSTR* value) override {
    return link_.PropertyPageName(value);
  }
  // The parameters of the plug-in FilterNum chooses, forwarded whenever the
  // host is enabled.
  com::HRESULT get_ParamsCount(int32_t* value) override {
    return Forward(&IAudioPluginHost::get_ParamsCount, value);
  }
  com::HRESULT get_ParamName(int32_t param, com::BSTR* value) override {
    return Forward(&IAudioPluginHost::get_ParamName, param, value);
  }
  com::HRESULT get_ParamLabel(int32_t param, com::BSTR* value) override {
    return Forward(&IAudioPluginHost::get_ParamLabel, param, value);
  }
  com::HRESULT get_ParamValue(int32_t param, double* value) override {
    return Forward(&IAudioPluginHost::get_ParamValue, param, value);
  }
  com::HRESULT put_ParamValue(int32_t param, double value) override {
    return Forward(&IAudioPluginHost::put_ParamValue, param, value);
  }

 protected:
  template <class Member, class... Args>
  com::HRESULT Forward(Member member, Args... args) {
    IAudioPluginHost* host = link_.Host();
    return host ? (host->*member)(args...) : com::S_OK;
  }

  PluginHostLink link_{kRole, *this};
};

class CEditorDXTransform final
    : public PluginTransformObject<CEditorDXTransform, IEditorDXTransformDefaults,
                                   PluginHostLink::Role::kDx> {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);
};

class CEditorVSTTransform final
    : public PluginTransformObject<CEditorVSTTransform, IEditorVSTTransformDefaults,
                                   PluginHostLink::Role::kVst> {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);
  com::HRESULT SetVSTDirectories(com::BSTR directories) override;
  com::HRESULT SetPreset(int32_t preset) override;
  com::HRESULT get_PresetsCount(int32_t* value) override;
  com::HRESULT get_PresetName(int32_t preset, com::BSTR* value) override;
};

}  // namespace qel

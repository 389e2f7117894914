// The plug-in host components: AudioDXTransform (LADSPA) and AudioVSTTransform
// (LV2), one class template over the two hosts of qelplugins_core. They list
// the plug-ins (sending PluginLoad for each before keeping it), answer for the
// plug-in FilterNum chooses, keep the active set and the settings store, and
// make the per-channel processing objects of a run. Everything runs on the
// caller's thread; only the processing objects may be driven from others.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "com/classtable.h"
#include "com/connection.h"
#include "external/plugins_defaults.h"
#include "external/plugins_events.h"
#include "ladspa_host.h"
#include "lv2_host.h"

namespace qel::plugins {

template <class Standard>
class HostObject final : public com::DispatchObject<HostObject<Standard>, IAudioPluginHostDefaults,
                                                    com::IConnectionPointContainer> {
 public:
  HostObject();
  ~HostObject() override;

  com::HRESULT LoadLibraries(int32_t method) override;
  com::HRESULT get_Count(int32_t* value) override;
  com::HRESULT get_FilterNum(int32_t* value) override;
  com::HRESULT put_FilterNum(int32_t value) override;
  com::HRESULT get_Name(com::BSTR* value) override;
  com::HRESULT get_Vendor(com::BSTR* value) override;
  com::HRESULT get_Active(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Active(com::VARIANT_BOOL value) override;
  com::HRESULT get_PropertyPagesCount(int32_t* value) override;
  com::HRESULT PropertyPage(int32_t page, int32_t* window, com::tagRECT* rect) override;
  com::HRESULT SetAdditionalParam(com::BSTR name, com::VARIANT value) override;
  com::HRESULT GetAdditionalParam(com::BSTR name, com::VARIANT* value) override;
  com::HRESULT SetVSTDirectories(com::BSTR directories) override;
  com::HRESULT SetPreset(int32_t preset) override;
  com::HRESULT get_PresetsCount(int32_t* value) override;
  com::HRESULT get_PresetName(int32_t preset, com::BSTR* value) override;
  com::HRESULT get_ParamsCount(int32_t* value) override;
  com::HRESULT get_ParamName(int32_t param, com::BSTR* value) override;
  com::HRESULT get_ParamLabel(int32_t param, com::BSTR* value) override;
  com::HRESULT get_ParamValue(int32_t param, double* value) override;
  com::HRESULT put_ParamValue(int32_t param, double value) override;
  com::HRESULT CreateProcessor(int32_t sampleRate, double fullScale,
                               com::IUnknown** processor) override;

  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override {
    return events_.EnumConnectionPoints(points);
  }
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override {
    return events_.FindConnectionPoint(iid, point);
  }

 private:
  // The host, made on first use (a LADSPA host reads LADSPA_PATH then).
  Standard& Plugins();
  // The plug-in FilterNum chooses; false (with the error set) when none.
  bool Current(size_t* plugin, com::HRESULT* error);
  com::HRESULT Fail(com::HRESULT code, const std::string& message) const;
  com::HRESULT SetStore(const std::filesystem::path& file);
  com::HRESULT SaveStore();
  // The active plug-ins' numbers, in list order.
  std::vector<size_t> ActiveChain() const;
  std::string PageText(size_t plugin) const;

  std::unique_ptr<Standard> host_;
  std::vector<std::filesystem::path> directories_;
  size_t filter_ = 0;
  std::set<std::string> active_;  // by plug-in id
  std::filesystem::path store_;
  bool pageOpen_ = false;
  std::map<std::u16string, com::Variant> params_;
  com::EventSource events_;
  AudioPluginHostEventsSender sender_;
};

using AudioDXTransform = HostObject<LadspaHost>;
using AudioVSTTransform = HostObject<Lv2Host>;

}  // namespace qel::plugins

// What the control sees of a plug-in standard: a list of plug-ins, their
// parameters (kept here, per plug-in, and shared by every running instance),
// presets, a text page of the settings, a store of every plug-in's state, and
// instances that process a document's channels. LadspaHost and Lv2Host fill it
// in; the control drives both the same way.
//
// A host is used from one thread. Instances may run on other threads: they
// only read the parameter values, which are atomic.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin_instance.h"
#include "plugin_param.h"

namespace qel::plugins {

// Values of Load's `method`.
inline constexpr int kLoadAll = 0;
// Only plug-ins with one audio input and one output (run once per channel)
// or two of each (run once per channel pair): the ones usable as effects.
inline constexpr int kLoadEffects = 1;

// Called for each plug-in found, before it is kept: `index` counts the plug-ins
// offered so far in this Load (skipped ones included), `name` is the plug-in's
// name. Returning false skips that plug-in.
using FoundCallback = std::function<bool(size_t index, const std::string& name)>;

// The outcome of reading or writing the state store: a missing or malformed
// file is reported here, never thrown.
struct StoreReport {
  bool ok = true;
  std::string message;  // why, when not ok
};

class Host {
 public:
  struct Preset {
    std::string id;  // the LV2 preset URI
    std::string name;
  };

  virtual ~Host() = default;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Rebuilds the list of plug-ins with `method` (kLoadAll or kLoadEffects;
  // another value throws PluginError and keeps the list) and returns Count().
  // Plug-ins that were in the list before and are found again keep their
  // values and selected preset.
  size_t Load(int method, const FoundCallback& found = {});
  size_t Count() const { return plugins_.size(); }
  const std::string& Name(size_t plugin) const { return At(plugin).name; }
  const std::string& Maker(size_t plugin) const { return At(plugin).maker; }
  // Stable identity: the LV2 URI, the LADSPA unique ID in decimal.
  const std::string& Id(size_t plugin) const { return At(plugin).id; }
  std::optional<size_t> Find(std::string_view id) const;
  size_t AudioInputs(size_t plugin) const { return At(plugin).audioInputs; }
  size_t AudioOutputs(size_t plugin) const { return At(plugin).audioOutputs; }

  // Parameters, in the plug-in's own units.
  size_t ParamCount(size_t plugin) const { return At(plugin).params.size(); }
  const ParamInfo& Param(size_t plugin, size_t param) const;
  double Value(size_t plugin, size_t param) const;
  // Keeps ClampParam(value) and returns it.
  double SetValue(size_t plugin, size_t param, double value);
  double NormalisedValue(size_t plugin, size_t param) const;
  double SetNormalisedValue(size_t plugin, size_t param, double normalised);
  void ResetToDefaults(size_t plugin);

  // The settings as text, one "name = value unit" line per parameter: this
  // build shows no plug-in window.
  std::string PropertyPage(size_t plugin) const;

  // Presets (LV2 only; LADSPA plug-ins have none).
  size_t PresetCount(size_t plugin) const { return At(plugin).presets.size(); }
  const std::string& PresetName(size_t plugin, size_t preset) const;
  // Stable identity (the LV2 preset URI), as the store keeps it.
  const std::string& PresetId(size_t plugin, size_t preset) const;
  // Sets the parameters the preset names (the others keep their values) and
  // marks it selected.
  void ApplyPreset(size_t plugin, size_t preset);
  std::optional<size_t> SelectedPreset(size_t plugin) const { return At(plugin).selectedPreset; }

  // The state store: every plug-in's values and selected preset, in an XML
  // file (format in README.md). Loading applies the file to the plug-ins in
  // the list and remembers the rest for later Loads; saving writes the list
  // and what is remembered.
  StoreReport SaveState(const std::filesystem::path& file) const;
  StoreReport LoadState(const std::filesystem::path& file);

  // The rate that ranges given in multiples of the sample rate are shown at.
  // Read by Load; 44100 until set.
  void SetSampleRate(double rate) { sampleRate_ = rate; }
  double SampleRate() const { return sampleRate_; }

  // Starts the plug-in for `channels` channels at `sampleRate`. Throws
  // PluginError when it cannot run; the host is then unchanged.
  virtual std::unique_ptr<Instance> Instantiate(size_t plugin, double sampleRate,
                                                size_t channels) = 0;

 protected:
  // A plug-in as a host's enumeration describes it.
  struct PluginInfo {
    std::string id;
    std::string name;
    std::string maker;
    size_t audioInputs = 0;
    size_t audioOutputs = 0;
    std::vector<ParamInfo> params;
    std::vector<Preset> presets;
  };
  // Offered by Enumerate for each plug-in found; true when it is kept, and
  // the host then keeps its own data for it at the next index.
  using Offer = std::function<bool(PluginInfo&&)>;

  Host() = default;

  // Forgets the host's own per-plug-in data, then offers every plug-in found
  // in a stable order.
  virtual void Enumerate(const Offer& offer) = 0;
  // The values a preset sets, by parameter key.
  virtual std::vector<std::pair<std::string, double>> ReadPreset(size_t plugin, size_t preset) = 0;

  // The values instances read (throws PluginError for a bad index).
  std::shared_ptr<const ParamValues> Values(size_t plugin) const { return At(plugin).values; }
  // Throws PluginError unless the plug-in's audio ports fit a document's
  // channels (see Instance) and there is at least one channel.
  void CheckProcessable(size_t plugin, size_t channels) const;
  // Empties the list, remembering the plug-ins' states for the next Load (for
  // a host whose plug-in data is about to go away).
  void Clear();

 private:
  struct Plugin : PluginInfo {
    std::shared_ptr<ParamValues> values;
    std::optional<size_t> selectedPreset;
  };
  // A plug-in's state by parameter key, as the store and reloads carry it.
  struct Saved {
    std::string preset;
    std::vector<std::pair<std::string, double>> values;
  };

  const Plugin& At(size_t plugin) const;
  Plugin& At(size_t plugin);
  static Saved Capture(const Plugin& plugin);
  void Remember();
  void Restore(Plugin& plugin) const;

  std::vector<Plugin> plugins_;
  std::map<std::string, Saved, std::less<>> remembered_;
  double sampleRate_ = 44100.0;
};

}  // namespace qel::plugins

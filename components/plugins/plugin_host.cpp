#include "plugin_host.h"

#include <pugixml.hpp>

#include <cstdio>
#include <system_error>

#include "channel_groups.h"

namespace qel::plugins {

namespace {

constexpr const char* kStoreRoot = "plugin-states";
constexpr int kStoreVersion = 1;

std::string FormatValue(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

size_t Host::Load(int method, const FoundCallback& found) {
  if (method != kLoadAll && method != kLoadEffects) {
    throw PluginError("unknown plug-in load method " + std::to_string(method) +
                      " (0: all plug-ins, 1: effects only)");
  }
  Clear();
  size_t offered = 0;
  Enumerate([&](PluginInfo&& info) {
    if (method == kLoadEffects && !IsEffectLayout(info.audioInputs, info.audioOutputs)) {
      return false;
    }
    if (found && !found(offered++, info.name)) return false;
    Plugin plugin;
    static_cast<PluginInfo&>(plugin) = std::move(info);
    plugin.values = std::make_shared<ParamValues>(plugin.params.size());
    for (size_t i = 0; i < plugin.params.size(); ++i) {
      plugin.values->Set(i, ClampParam(plugin.params[i], plugin.params[i].defaultValue));
    }
    Restore(plugin);
    plugins_.push_back(std::move(plugin));
    return true;
  });
  return plugins_.size();
}

std::optional<size_t> Host::Find(std::string_view id) const {
  for (size_t i = 0; i < plugins_.size(); ++i) {
    if (plugins_[i].id == id) return i;
  }
  return std::nullopt;
}

const ParamInfo& Host::Param(size_t plugin, size_t param) const {
  const Plugin& p = At(plugin);
  if (param >= p.params.size()) {
    throw PluginError(p.name + ": no parameter " + std::to_string(param) + " (it has " +
                      std::to_string(p.params.size()) + ")");
  }
  return p.params[param];
}

double Host::Value(size_t plugin, size_t param) const {
  Param(plugin, param);
  return At(plugin).values->Get(param);
}

double Host::SetValue(size_t plugin, size_t param, double value) {
  const double kept = ClampParam(Param(plugin, param), value);
  At(plugin).values->Set(param, kept);
  return kept;
}

double Host::NormalisedValue(size_t plugin, size_t param) const {
  return ToNormalised(Param(plugin, param), Value(plugin, param));
}

double Host::SetNormalisedValue(size_t plugin, size_t param, double normalised) {
  return SetValue(plugin, param, FromNormalised(Param(plugin, param), normalised));
}

void Host::ResetToDefaults(size_t plugin) {
  Plugin& p = At(plugin);
  for (size_t i = 0; i < p.params.size(); ++i) {
    p.values->Set(i, ClampParam(p.params[i], p.params[i].defaultValue));
  }
  p.selectedPreset.reset();
}

std::string Host::PropertyPage(size_t plugin) const {
  const Plugin& p = At(plugin);
  std::string page;
  for (size_t i = 0; i < p.params.size(); ++i) {
    page += p.params[i].name + " = " + FormatValue(p.values->Get(i));
    if (!p.params[i].unit.empty()) page += " " + p.params[i].unit;
    page += "\n";
  }
  return page;
}

const std::string& Host::PresetName(size_t plugin, size_t preset) const {
  const Plugin& p = At(plugin);
  if (preset >= p.presets.size()) {
    throw PluginError(p.name + ": no preset " + std::to_string(preset) + " (it has " +
                      std::to_string(p.presets.size()) + ")");
  }
  return p.presets[preset].name;
}

const std::string& Host::PresetId(size_t plugin, size_t preset) const {
  PresetName(plugin, preset);
  return At(plugin).presets[preset].id;
}

void Host::ApplyPreset(size_t plugin, size_t preset) {
  PresetName(plugin, preset);
  // Read everything first so that a preset that cannot be read changes nothing.
  const auto values = ReadPreset(plugin, preset);
  Plugin& p = At(plugin);
  for (const auto& [key, value] : values) {
    for (size_t i = 0; i < p.params.size(); ++i) {
      if (p.params[i].key == key) p.values->Set(i, ClampParam(p.params[i], value));
    }
  }
  p.selectedPreset = preset;
}

void Host::CheckProcessable(size_t plugin, size_t channels) const {
  const Plugin& p = At(plugin);
  if (channels == 0) throw PluginError(p.name + ": there are no channels to process");
  if (!IsProcessableLayout(p.audioInputs, p.audioOutputs)) {
    throw PluginError(p.name + ": cannot process a document's channels with " +
                      std::to_string(p.audioInputs) + " audio inputs and " +
                      std::to_string(p.audioOutputs) + " audio outputs");
  }
}

void Host::Clear() {
  Remember();
  plugins_.clear();
}

StoreReport Host::SaveState(const std::filesystem::path& file) const {
  // What is remembered first, then the list over it: the list is newer.
  std::map<std::string, Saved, std::less<>> all = remembered_;
  for (const Plugin& p : plugins_)
    all[p.id] = Capture(p);
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child(kStoreRoot);
  root.append_attribute("version") = kStoreVersion;
  for (const auto& [id, saved] : all) {
    pugi::xml_node node = root.append_child("plugin");
    node.append_attribute("id") = id.c_str();
    if (!saved.preset.empty()) node.append_attribute("preset") = saved.preset.c_str();
    for (const auto& [key, value] : saved.values) {
      pugi::xml_node param = node.append_child("param");
      param.append_attribute("key") = key.c_str();
      // pugixml writes doubles with 17 significant digits: they read back equal.
      param.append_attribute("value") = value;
    }
  }
  // Written beside the file and renamed over it, so that a failed write
  // leaves the previous store whole.
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  if (!doc.save_file(temporary.c_str(), "  ")) {
    return {false, "cannot write the plug-in state store " + temporary.string()};
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return {false, "cannot replace the plug-in state store " + file.string()};
  }
  return {};
}

StoreReport Host::LoadState(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::exists(file, error)) {
    return {false, "no plug-in state store at " + file.string()};
  }
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_file(file.c_str());
  if (!parsed) {
    return {false, "the plug-in state store " + file.string() + " is malformed: " +
                       parsed.description() + " at byte " + std::to_string(parsed.offset)};
  }
  const pugi::xml_node root = doc.child(kStoreRoot);
  if (!root) {
    return {false,
            "the plug-in state store " + file.string() + " has no <" + kStoreRoot + "> element"};
  }
  if (root.attribute("version").as_int() != kStoreVersion) {
    return {false, "the plug-in state store " + file.string() + " has version " +
                       root.attribute("version").as_string("(none)") + ", not " +
                       std::to_string(kStoreVersion)};
  }
  std::map<std::string, Saved, std::less<>> read;
  for (const pugi::xml_node node : root.children("plugin")) {
    const std::string id = node.attribute("id").as_string();
    if (id.empty()) continue;
    Saved saved;
    saved.preset = node.attribute("preset").as_string();
    for (const pugi::xml_node param : node.children("param")) {
      const pugi::xml_attribute value = param.attribute("value");
      if (!param.attribute("key") || !value) continue;
      saved.values.emplace_back(param.attribute("key").as_string(), value.as_double());
    }
    read[id] = std::move(saved);
  }
  for (auto& [id, saved] : read)
    remembered_[id] = std::move(saved);
  for (Plugin& p : plugins_)
    Restore(p);
  return {};
}

const Host::Plugin& Host::At(size_t plugin) const {
  if (plugin >= plugins_.size()) {
    throw PluginError("no plug-in " + std::to_string(plugin) + " (" +
                      std::to_string(plugins_.size()) + " are loaded)");
  }
  return plugins_[plugin];
}

Host::Plugin& Host::At(size_t plugin) {
  return const_cast<Plugin&>(std::as_const(*this).At(plugin));
}

Host::Saved Host::Capture(const Plugin& plugin) {
  Saved saved;
  if (plugin.selectedPreset) saved.preset = plugin.presets[*plugin.selectedPreset].id;
  for (size_t i = 0; i < plugin.params.size(); ++i) {
    saved.values.emplace_back(plugin.params[i].key, plugin.values->Get(i));
  }
  return saved;
}

void Host::Remember() {
  for (const Plugin& p : plugins_)
    remembered_[p.id] = Capture(p);
}

void Host::Restore(Plugin& plugin) const {
  const auto found = remembered_.find(plugin.id);
  if (found == remembered_.end()) return;
  const Saved& saved = found->second;
  for (const auto& [key, value] : saved.values) {
    for (size_t i = 0; i < plugin.params.size(); ++i) {
      if (plugin.params[i].key == key) plugin.values->Set(i, ClampParam(plugin.params[i], value));
    }
  }
  plugin.selectedPreset.reset();
  for (size_t i = 0; i < plugin.presets.size(); ++i) {
    if (plugin.presets[i].id == saved.preset) plugin.selectedPreset = i;
  }
}

}  // namespace qel::plugins

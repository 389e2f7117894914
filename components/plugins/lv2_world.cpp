#include "lv2_world.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <system_error>

namespace qel::plugins {

UridMap::UridMap()
    : map_{this, [](LV2_URID_Map_Handle handle,
                    const char* uri) { return static_cast<UridMap*>(handle)->Map(uri); }},
      unmap_{this, [](LV2_URID_Unmap_Handle handle,
                      LV2_URID id) { return static_cast<UridMap*>(handle)->Unmap(id); }},
      mapFeature_{LV2_URID__map, &map_},
      unmapFeature_{LV2_URID__unmap, &unmap_},
      features_{&mapFeature_, &unmapFeature_, nullptr} {}

LV2_URID UridMap::Map(const char* uri) {
  if (!uri) return 0;
  std::lock_guard lock(mutex_);
  const auto found = ids_.find(uri);
  if (found != ids_.end()) return found->second;
  uris_.emplace_back(uri);
  const auto id = static_cast<LV2_URID>(uris_.size());  // 0 is reserved
  ids_.emplace(uris_.back(), id);
  return id;
}

const char* UridMap::Unmap(LV2_URID id) const {
  std::lock_guard lock(mutex_);
  return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr;
}

Lv2World::Lv2World(const std::vector<std::filesystem::path>& extraDirectories)
    : world_(lilv_world_new()) {
  lilv_world_load_all(world_.get());
  for (const auto& directory : extraDirectories) {
    std::error_code error;
    if (std::filesystem::exists(directory / "manifest.ttl", error)) {
      LoadBundle(directory);
      continue;
    }
    std::vector<std::filesystem::path> bundles;
    for (std::filesystem::directory_iterator item(directory, error), end; !error && item != end;
         item.increment(error)) {
      std::error_code ignored;
      if (std::filesystem::exists(item->path() / "manifest.ttl", ignored)) {
        bundles.push_back(item->path());
      }
    }
    std::sort(bundles.begin(), bundles.end());
    for (const auto& bundle : bundles)
      LoadBundle(bundle);
  }
  nodes_.audioPort = Uri(LV2_CORE__AudioPort);
  nodes_.controlPort = Uri(LV2_CORE__ControlPort);
  nodes_.cvPort = Uri(LV2_CORE__CVPort);
  nodes_.atomPort = Uri(LV2_ATOM__AtomPort);
  nodes_.inputPort = Uri(LV2_CORE__InputPort);
  nodes_.outputPort = Uri(LV2_CORE__OutputPort);
  nodes_.connectionOptional = Uri(LV2_CORE__connectionOptional);
  nodes_.integer = Uri(LV2_CORE__integer);
  nodes_.toggled = Uri(LV2_CORE__toggled);
  nodes_.sampleRate = Uri(LV2_CORE__sampleRate);
  nodes_.logarithmic = Uri(LV2_PORT_PROPS__logarithmic);
  nodes_.inPlaceBroken = Uri(LV2_CORE__inPlaceBroken);
  nodes_.preset = Uri(LV2_PRESETS__Preset);
  nodes_.label = Uri("http://www.w3.org/2000/01/rdf-schema#label");
  nodes_.unit = Uri(LV2_UNITS__unit);
  nodes_.unitSymbol = Uri(LV2_UNITS__symbol);
}

void Lv2World::LoadBundle(const std::filesystem::path& bundle) {
  // Bundle URIs end in a slash.
  const std::string path = std::filesystem::absolute(bundle).lexically_normal().string();
  Lv2Node uri(
      lilv_new_file_uri(world_.get(), nullptr, (path.back() == '/' ? path : path + '/').c_str()));
  lilv_world_load_bundle(world_.get(), uri.get());
}

}  // namespace qel::plugins

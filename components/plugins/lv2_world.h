// The lilv side of the LV2 host: the world (every bundle's data), the URID
// map the plug-ins and the state code share, and the handful of URIs the host
// asks about. Owned through a shared pointer by the host and by every running
// instance, so that rebuilding the host's world leaves running plug-ins alone.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qel::plugins {

struct LilvNodeFree {
  void operator()(LilvNode* node) const { lilv_node_free(node); }
};
using Lv2Node = std::unique_ptr<LilvNode, LilvNodeFree>;

struct LilvNodesFree {
  void operator()(LilvNodes* nodes) const { lilv_nodes_free(nodes); }
};
using Lv2Nodes = std::unique_ptr<LilvNodes, LilvNodesFree>;

// URIs to small integers and back, for the plug-ins (urid:map and
// urid:unmap) and for reading typed state. Safe to call from any thread.
class UridMap {
 public:
  UridMap();
  UridMap(const UridMap&) = delete;
  UridMap& operator=(const UridMap&) = delete;

  LV2_URID Map(const char* uri);
  const char* Unmap(LV2_URID id) const;
  LV2_URID_Map* MapFeatureData() { return &map_; }
  // The features every instance gets: urid:map and urid:unmap, null-ended.
  const LV2_Feature* const* Features() const { return features_; }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, LV2_URID> ids_;
  std::deque<std::string> uris_;  // a deque keeps the strings Unmap hands out in place
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  LV2_Feature mapFeature_;
  LV2_Feature unmapFeature_;
  const LV2_Feature* features_[3];
};

class Lv2World {
 public:
  // Loads every bundle lilv finds (LV2_PATH, or lilv's default when unset),
  // then the extra directories: each is a bundle (it has a manifest.ttl) or a
  // directory of bundles.
  explicit Lv2World(const std::vector<std::filesystem::path>& extraDirectories);
  Lv2World(const Lv2World&) = delete;
  Lv2World& operator=(const Lv2World&) = delete;

  LilvWorld* Get() const { return world_.get(); }
  UridMap& Urids() { return urids_; }
  // A new node for `uri` in this world.
  Lv2Node Uri(const char* uri) const { return Lv2Node(lilv_new_uri(world_.get(), uri)); }

  // URIs asked about often, made once.
  struct Nodes {
    Lv2Node audioPort, controlPort, cvPort, atomPort, inputPort, outputPort;
    Lv2Node connectionOptional, integer, toggled, sampleRate, logarithmic;
    Lv2Node inPlaceBroken, preset, label, unit, unitSymbol;
  };
  const Nodes& Known() const { return nodes_; }

 private:
  struct WorldFree {
    void operator()(LilvWorld* world) const { lilv_world_free(world); }
  };
  void LoadBundle(const std::filesystem::path& bundle);

  // Declared first so that it is freed last, after the nodes.
  std::unique_ptr<LilvWorld, WorldFree> world_;
  UridMap urids_;
  Nodes nodes_;
};

}  // namespace qel::plugins

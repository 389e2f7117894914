// LV2 plug-ins through lilv: the plug-ins installed (LV2_PATH) and those in
// directories the control adds, their control ports as parameters with units,
// and their presets.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "plugin_host.h"

namespace qel::plugins {

class Lv2World;

class Lv2Host final : public Host {
 public:
  Lv2Host();
  ~Lv2Host() override;

  // Searches these directories too (each a bundle or a directory of
  // bundles). lilv only reads its search path when a world is made, so this
  // makes a new world: the list is emptied until the next Load (plug-ins found
  // again keep their values); running instances keep the world they started
  // with.
  void AddDirectories(const std::vector<std::filesystem::path>& directories);
  const std::vector<std::filesystem::path>& ExtraDirectories() const { return extra_; }

  std::unique_ptr<Instance> Instantiate(size_t plugin, double sampleRate, size_t channels) override;

 protected:
  void Enumerate(const Offer& offer) override;
  std::vector<std::pair<std::string, double>> ReadPreset(size_t plugin, size_t preset) override;

 private:
  struct Entry;
  std::vector<std::filesystem::path> extra_;
  std::shared_ptr<Lv2World> world_;
  std::vector<Entry> entries_;
};

}  // namespace qel::plugins

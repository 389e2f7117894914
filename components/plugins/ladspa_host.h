// LADSPA plug-ins: every descriptor of every shared object in the search
// directories, run with float buffers.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "plugin_host.h"

namespace qel::plugins {

// The directories a LADSPA_PATH value names (colon-separated, empty parts
// skipped), or Debian's when the value is null or names none.
std::vector<std::filesystem::path> LadspaSearchPath(const char* ladspaPath);
// The same for the LADSPA_PATH of this process's environment.
std::vector<std::filesystem::path> LadspaSearchPath();

class LadspaHost final : public Host {
 public:
  explicit LadspaHost(std::vector<std::filesystem::path> directories = LadspaSearchPath());
  ~LadspaHost() override;

  const std::vector<std::filesystem::path>& Directories() const { return directories_; }
  // The plug-in says its outputs must not share buffers with its inputs; it
  // then gets separate buffers (the others run in place).
  bool InPlaceBroken(size_t plugin) const;

  std::unique_ptr<Instance> Instantiate(size_t plugin, double sampleRate, size_t channels) override;

 protected:
  void Enumerate(const Offer& offer) override;
  std::vector<std::pair<std::string, double>> ReadPreset(size_t plugin, size_t preset) override;

 private:
  struct Entry;
  std::vector<std::filesystem::path> directories_;
  std::vector<Entry> entries_;
};

}  // namespace qel::plugins

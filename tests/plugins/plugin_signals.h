// Signals, measurements and fixtures shared by the plug-in hosts' tests.
#pragma once

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plugin_host.h"

namespace qel::plugins::test {

inline constexpr double kRate = 44100.0;
inline constexpr double kFullScale = 32768.0;  // 16-bit documents

inline const char* kLadspaFixtures = QEL_TEST_LADSPA_FIXTURES;
inline const char* kLv2Fixtures = QEL_TEST_LV2_FIXTURES;
inline constexpr const char* kMda = "http://drobilla.net/plugins/mda/";

inline std::vector<double> Sine(double frequency, double amplitude, size_t frames) {
  std::vector<double> samples(frames);
  for (size_t i = 0; i < frames; ++i) {
    samples[i] = amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / kRate);
  }
  return samples;
}

// Root mean square of the samples from `skip` on (past a filter's settling).
inline double Rms(std::span<const double> samples, size_t skip = 0) {
  double sum = 0.0;
  for (size_t i = skip; i < samples.size(); ++i)
    sum += samples[i] * samples[i];
  return std::sqrt(sum / static_cast<double>(samples.size() - skip));
}

inline double Db(double ratio) {
  return 20.0 * std::log10(ratio);
}

// Runs every channel through the instance in one call, in place.
inline void Run(Instance& instance, std::vector<std::vector<double>>& channels,
                double fullScale = kFullScale) {
  std::vector<const double*> in;
  std::vector<double*> out;
  for (auto& channel : channels) {
    in.push_back(channel.data());
    out.push_back(channel.data());
  }
  instance.Process(in, out, channels.front().size(), fullScale);
}

inline size_t Required(const Host& host, std::string_view id) {
  const std::optional<size_t> found = host.Find(id);
  if (!found) throw PluginError("not loaded: " + std::string(id));
  return *found;
}

inline size_t ParamNamed(const Host& host, size_t plugin, std::string_view name) {
  for (size_t i = 0; i < host.ParamCount(plugin); ++i) {
    if (host.Param(plugin, i).name == name) return i;
  }
  throw PluginError("no parameter " + std::string(name));
}

inline size_t PresetNamed(const Host& host, size_t plugin, std::string_view name) {
  for (size_t i = 0; i < host.PresetCount(plugin); ++i) {
    if (host.PresetName(plugin, i) == name) return i;
  }
  throw PluginError("no preset " + std::string(name));
}

// A fresh directory, removed with its contents afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelplugins-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace qel::plugins::test

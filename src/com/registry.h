// The per-user registration file: the registry keys that self-registration
// writes, kept as a text file of "[key]" sections with "name"="value" lines
// ("@" is a key's default value). Saving writes beside the file and renames, so
// an interrupted save leaves the previous file whole.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "com/types.h"

namespace qel::com {

class RegistryFile {
 public:
  // $QEL_REGISTRY_FILE, else $XDG_CONFIG_HOME/qelaudio/registry.reg, else
  // $HOME/.config/qelaudio/registry.reg.
  static std::filesystem::path DefaultPath();

  explicit RegistryFile(std::filesystem::path path);
  // Reads the file; a missing file is an empty registry. False when unreadable.
  bool Load();
  // Writes the file (creating its folder). False when it cannot be written.
  bool Save() const;

  void SetValue(const std::string& key, const std::string& name, const std::string& value);
  // "" names the default value; nullopt when absent.
  std::optional<std::string> GetValue(const std::string& key, const std::string& name) const;
  bool HasKey(const std::string& key) const;
  // Removes the key and every key below it.
  void DeleteTree(const std::string& key);
  std::vector<std::string> Keys() const;

 private:
  struct Value {
    std::string name;
    std::string data;
  };
  static std::string Fold(const std::string& key);
  std::filesystem::path path_;
  // Folded key -> (key as written, values in order).
  std::map<std::string, std::pair<std::string, std::vector<Value>>> keys_;
};

}  // namespace qel::com

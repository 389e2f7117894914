#include "com/registry.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qel::com {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "QelRegistry 1";

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted string starting at pos (on the opening quote); advances pos.
bool Unquote(const std::string& line, size_t& pos, std::string* out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out->clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      *out += line[++pos];
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      *out += c;
    }
  }
  return false;
}

}  // namespace

fs::path RegistryFile::DefaultPath() {
  if (const char* explicitPath = std::getenv("QEL_REGISTRY_FILE"); explicitPath && *explicitPath)
    return explicitPath;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return fs::path(xdg) / "qelaudio" / "registry.reg";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".config" / "qelaudio" / "registry.reg";
}

RegistryFile::RegistryFile(fs::path path) : path_(std::move(path)) {}

std::string RegistryFile::Fold(const std::string& key) {
  std::string out = key;
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool RegistryFile::Load() {
  keys_.clear();
  std::error_code ec;
  if (!fs::exists(path_, ec)) return true;
  std::ifstream in(path_);
  if (!in) return false;
  std::string line;
  std::string current;
  while (std::getline(in, line)) {
    if (line.empty() || line == kHeader || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = line.substr(1, line.size() - 2);
      auto& entry = keys_[Fold(current)];
      entry.first = current;
      continue;
    }
    if (current.empty()) continue;
    size_t pos = 0;
    std::string name, data;
    if (line[0] == '@') {
      pos = 1;
    } else if (!Unquote(line, pos, &name)) {
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    if (!Unquote(line, pos, &data)) continue;
    SetValue(current, name, data);
  }
  return true;
}

bool RegistryFile::Save() const {
  std::error_code ec;
  fs::create_directories(path_.parent_path(), ec);
  std::ostringstream text;
  text << kHeader << "\n";
  for (const auto& [folded, entry] : keys_) {
    text << "\n[" << entry.first << "]\n";
    for (const Value& v : entry.second)
      text << (v.name.empty() ? std::string("@") : Quote(v.name)) << "=" << Quote(v.data) << "\n";
  }
  fs::path temp = path_;
  temp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return false;
    out << text.str();
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path_, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

void RegistryFile::SetValue(const std::string& key, const std::string& name,
                            const std::string& value) {
  auto& entry = keys_[Fold(key)];
  if (entry.first.empty()) entry.first = key;
  for (Value& v : entry.second) {
    if (Fold(v.name) == Fold(name)) {
      v.data = value;
      return;
    }
  }
  entry.second.push_back({name, value});
}

std::optional<std::string> RegistryFile::GetValue(const std::string& key,
                                                  const std::string& name) const {
  auto it = keys_.find(Fold(key));
  if (it == keys_.end()) return std::nullopt;
  for (const Value& v : it->second.second)
    if (Fold(v.name) == Fold(name)) return v.data;
  return std::nullopt;
}

bool RegistryFile::HasKey(const std::string& key) const {
  return keys_.count(Fold(key)) > 0;
}

void RegistryFile::DeleteTree(const std::string& key) {
  std::string folded = Fold(key);
  std::erase_if(keys_, [&](const auto& item) {
    const std::string& k = item.first;
    return k == folded || (k.size() > folded.size() && k.compare(0, folded.size(), folded) == 0 &&
                           k[folded.size()] == '\\');
  });
}

std::vector<std::string> RegistryFile::Keys() const {
  std::vector<std::string> out;
  for (const auto& [folded, entry] : keys_)
    out.push_back(entry.first);
  return out;
}

}  // namespace qel::com

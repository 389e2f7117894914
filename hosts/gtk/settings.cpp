#include "settings.h"

#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace qel::gtkhost {

namespace {

constexpr const char* kWindow = "window";
constexpr const char* kDevices = "devices";
constexpr const char* kRecent = "recent";

struct KeyFileFree {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

int ReadInt(GKeyFile* file, const char* group, const char* key, int fallback) {
  GError* error = nullptr;
  const int value = g_key_file_get_integer(file, group, key, &error);
  if (error) {
    g_error_free(error);
    return fallback;
  }
  return value;
}

std::string ReadString(GKeyFile* file, const char* group, const char* key) {
  gchar* value = g_key_file_get_string(file, group, key, nullptr);
  std::string text = value ? value : "";
  g_free(value);
  return text;
}

}  // namespace

std::string SettingsPath() {
  return (std::filesystem::path(g_get_user_config_dir()) / "qel-editor" / "settings.ini").string();
}

Settings LoadSettings(const std::string& path) {
  Settings settings;
  KeyFile file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr))
    return settings;
  // A size too small to use (a hand-edited file, say) is not taken.
  const int width = ReadInt(file.get(), kWindow, "width", settings.width);
  const int height = ReadInt(file.get(), kWindow, "height", settings.height);
  if (width >= 200 && height >= 150) {
    settings.width = width;
    settings.height = height;
  }
  settings.maximized = g_key_file_get_boolean(file.get(), kWindow, "maximized", nullptr);
  settings.playbackDevice = ReadString(file.get(), kDevices, "playback");
  settings.recordingDevice = ReadString(file.get(), kDevices, "recording");
  gsize count = 0;
  if (gchar** files = g_key_file_get_string_list(file.get(), kRecent, "files", &count, nullptr)) {
    for (gsize i = count; i > 0; --i)
      AddRecent(settings.recent, files[i - 1]);
    g_strfreev(files);
  }
  return settings;
}

bool SaveSettings(const std::string& path, const Settings& settings) {
  KeyFile file(g_key_file_new());
  g_key_file_set_integer(file.get(), kWindow, "width", settings.width);
  g_key_file_set_integer(file.get(), kWindow, "height", settings.height);
  g_key_file_set_boolean(file.get(), kWindow, "maximized", settings.maximized);
  g_key_file_set_string(file.get(), kDevices, "playback", settings.playbackDevice.c_str());
  g_key_file_set_string(file.get(), kDevices, "recording", settings.recordingDevice.c_str());
  std::vector<const gchar*> files;
  for (const std::string& recent : settings.recent)
    files.push_back(recent.c_str());
  g_key_file_set_string_list(file.get(), kRecent, "files", files.data(), files.size());

  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  // GLib writes beside the file and renames over it, so a failed write
  // leaves the old settings.
  return g_key_file_save_to_file(file.get(), path.c_str(), nullptr);
}

void AddRecent(std::vector<std::string>& recent, const std::string& path) {
  if (path.empty()) return;
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
  if (error) absolute = path;
  std::erase(recent, absolute);
  recent.insert(recent.begin(), absolute);
  if (recent.size() > kRecentLimit) recent.resize(kRecentLimit);
}

std::vector<std::string> ExistingFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> existing;
  std::error_code error;
  for (const std::string& path : paths)
    if (std::filesystem::is_regular_file(path, error)) existing.push_back(path);
  return existing;
}

}  // namespace qel::gtkhost

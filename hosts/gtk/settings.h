// What the editor remembers between runs: the window's size, the devices
// chosen in Preferences and the files opened lately. They live in a key file,
// $XDG_CONFIG_HOME/qel-editor/settings.ini, read at start-up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qel::gtkhost {

inline constexpr size_t kRecentLimit = 8;

struct Settings {
  int width = 900;
  int height = 520;
  bool maximized = false;
  // Device names as the control lists them; empty keeps the control's default.
  std::string playbackDevice;
  std::string recordingDevice;
  std::vector<std::string> recent;  // absolute paths, newest first
};

// Where the settings live.
std::string SettingsPath();
// The settings in the file; defaults for whatever is missing or unreadable.
Settings LoadSettings(const std::string& path);
// Writes the settings beside the file and renames them over it, so that a
// failed write leaves the old ones; creates the folder. False on failure.
bool SaveSettings(const std::string& path, const Settings& settings);

// Puts a file at the front of the recent list (once), keeping the newest
// kRecentLimit.
void AddRecent(std::vector<std::string>& recent, const std::string& path);
// The files of the list that still exist, in its order.
std::vector<std::string> ExistingFiles(const std::vector<std::string>& paths);

}  // namespace qel::gtkhost

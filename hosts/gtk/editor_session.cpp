// The editor window's recording, Preferences, recent files, dropped files and
// what it remembers between runs. The members belong to EditorWindow; they
// live here to keep the window's main file about editing.
#include <glib-unix.h>

#include <csignal>
#include <filesystem>

#include "core/audio_editor.h"
#include "document/codes.h"
#include "editor_window.h"
#include "preferences.h"

namespace qel::gtkhost {

namespace {

// A file name as a menu label: underscores would be taken for mnemonics.
std::string MenuLabel(size_t number, const std::string& path) {
  std::string label = "_" + std::to_string(number) + " ";
  for (char c : std::filesystem::path(path).filename().string()) {
    if (c == '_') label += '_';
    label += c;
  }
  return label;
}

}  // namespace

void EditorWindow::SetUpSession(GtkApplication*) {
  settingsPath_ = SettingsPath();
  settings_ = LoadSettings(settingsPath_);
  gtk_window_set_default_size(window_, settings_.width, settings_.height);
  if (settings_.maximized) gtk_window_maximize(window_);
  ApplyDevices(control_.get(), settings_);

  GSimpleAction* recent = g_simple_action_new("open-recent", G_VARIANT_TYPE_STRING);
  g_signal_connect(
      recent, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* path, gpointer self) {
        static_cast<EditorWindow*>(self)->OpenRecent(g_variant_get_string(path, nullptr));
      }),
      this);
  g_action_map_add_action(G_ACTION_MAP(window_), G_ACTION(recent));
  g_object_unref(recent);
  RebuildRecentMenu();

  drop_ = std::make_unique<FileDrop>(GTK_WIDGET(window_),
                                     [this](const std::string& path) { OpenPath(path); });
  if (!options_.drop.empty())
    dropSignal_ = g_unix_signal_add(
        SIGUSR2,
        +[](gpointer data) -> gboolean {
          auto* self = static_cast<EditorWindow*>(data);
          self->drop_->DropPath(self->options_.drop);
          return G_SOURCE_CONTINUE;
        },
        this);

  // After the handler that asks about unsaved changes, which stops the
  // closing when the answer is Cancel: the size is kept only for a real close.
  g_signal_connect_after(window_, "close-request",
                         G_CALLBACK(+[](GtkWindow*, gpointer self) -> gboolean {
                           static_cast<EditorWindow*>(self)->SaveSession();
                           return FALSE;
                         }),
                         this);
}

void EditorWindow::SaveSession() {
  settings_.maximized = gtk_window_is_maximized(window_);
  if (!settings_.maximized) {
    // The size the user gave the window (GTK keeps it as the default size).
    int width = 0, height = 0;
    gtk_window_get_default_size(window_, &width, &height);
    if (width > 0 && height > 0) {
      settings_.width = width;
      settings_.height = height;
    }
  }
  SaveSettings(settingsPath_, settings_);
}

void EditorWindow::RememberFile(const std::string& path) {
  // Files gone since do not take the places of ones still there.
  settings_.recent = ExistingFiles(settings_.recent);
  AddRecent(settings_.recent, path);
  RebuildRecentMenu();
  SaveSession();
}

void EditorWindow::RebuildRecentMenu() {
  if (!recentMenu_) return;
  g_menu_remove_all(recentMenu_);
  const std::vector<std::string> files = ExistingFiles(settings_.recent);
  for (size_t i = 0; i < files.size(); ++i) {
    GMenuItem* item = g_menu_item_new(MenuLabel(i + 1, files[i]).c_str(), nullptr);
    g_menu_item_set_action_and_target_value(item, "win.open-recent",
                                            g_variant_new_string(files[i].c_str()));
    g_menu_append_item(recentMenu_, item);
    g_object_unref(item);
  }
  // An item without an action is shown greyed.
  if (files.empty()) g_menu_append(recentMenu_, "No recent files", nullptr);
}

void EditorWindow::OpenRecent(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    boxes_->Show(kAppTitle, "The file no longer exists: " + path,
                 platform::MB_OK | platform::MB_ICONSTOP);
    RebuildRecentMenu();
    return;
  }
  OpenPath(path);
}

void EditorWindow::OnPreferences() {
  if (RunPreferences(window_, control_.get(), settings_)) SaveSession();
  Refresh();
}

bool EditorWindow::Recording() const {
  int32_t status = 0;
  control_->get_Status(&status);
  return status == status::kRecording || status == status::kRecordPaused;
}

std::string EditorWindow::RecordingNote() const {
  int32_t status = 0;
  control_->get_Status(&status);
  if (status != status::kRecording && status != status::kRecordPaused) return {};
  const std::string device = CurrentDevice(control_.get(), DeviceKind::kRecording);
  return std::string(status == status::kRecording ? "Recording" : "Recording paused") +
         (device.empty() ? "" : " from " + device);
}

void EditorWindow::OnRecord() {
  if (!DocumentOpen()) return;
  int32_t status = 0;
  control_->get_Status(&status);
  if (status == status::kRecordPaused) {
    Run(control_->Continue());
    return;
  }
  // From the cursor (or the selection's start) over what is there, the
  // document growing when the recording goes past its end; Stop ends it.
  Run(control_->Record(1));
}

std::string EditorWindow::SessionReport() const {
  std::string recent = "[";
  for (const std::string& path : ExistingFiles(settings_.recent))
    recent += (recent.size() > 1 ? ", " : "") + JsonString(path);
  recent += "]";
  return std::string(", \"recording\": ") + (Recording() ? "true" : "false") +
         ", \"recent\": " + recent + ", \"playback_device\": " +
         JsonString(CurrentDevice(control_.get(), DeviceKind::kPlayback)) +
         ", \"recording_device\": " +
         JsonString(CurrentDevice(control_.get(), DeviceKind::kRecording)) + ", \"size\": [" +
         std::to_string(gtk_widget_get_width(GTK_WIDGET(window_))) + ", " +
         std::to_string(gtk_widget_get_height(GTK_WIDGET(window_))) + "]";
}

}  // namespace qel::gtkhost

#include "preferences.h"

#include <algorithm>

#include "com/bstr.h"
#include "com/object.h"
#include "form_dialog.h"

namespace qel::gtkhost {

using com::ComPtr;

namespace {

ComPtr<IEditorDevice> DeviceOf(IAudioEditor* control, DeviceKind kind) {
  ComPtr<IEditorDevice> device;
  if (kind == DeviceKind::kPlayback) {
    ComPtr<IEditorPlayback> playback;
    if (com::Succeeded(control->get_Playback(playback.Out())) && playback)
      playback->get_Device(device.Out());
  } else {
    ComPtr<IEditorRecorder> recorder;
    if (com::Succeeded(control->get_Recorder(recorder.Out())) && recorder)
      recorder->get_Device(device.Out());
  }
  return device;
}

}  // namespace

std::vector<std::string> DeviceNames(IAudioEditor* control, DeviceKind kind) {
  std::vector<std::string> names;
  ComPtr<IEditorDevice> device = DeviceOf(control, kind);
  int32_t count = 0, current = 0;
  if (!device || com::Failed(device->get_Count(&count))) return names;
  device->get_Num(&current);
  for (int32_t n = 0; n < count; ++n) {
    com::Bstr name;
    if (com::Succeeded(device->put_Num(n)) && com::Succeeded(device->get_Name(name.Out())))
      names.push_back(name.utf8());
  }
  // Listing walks the choice through every device: the one in use goes back.
  if (count > 0) device->put_Num(current);
  return names;
}

std::string CurrentDevice(IAudioEditor* control, DeviceKind kind) {
  ComPtr<IEditorDevice> device = DeviceOf(control, kind);
  com::Bstr name;
  if (!device || com::Failed(device->get_Name(name.Out()))) return {};
  return name.utf8();
}

bool SelectDevice(IAudioEditor* control, DeviceKind kind, const std::string& name) {
  const std::vector<std::string> names = DeviceNames(control, kind);
  const auto found = std::find(names.begin(), names.end(), name);
  ComPtr<IEditorDevice> device = DeviceOf(control, kind);
  if (found == names.end() || !device) return false;
  return com::Succeeded(device->put_Num(static_cast<int32_t>(found - names.begin())));
}

void ApplyDevices(IAudioEditor* control, const Settings& settings) {
  if (!settings.playbackDevice.empty())
    SelectDevice(control, DeviceKind::kPlayback, settings.playbackDevice);
  if (!settings.recordingDevice.empty())
    SelectDevice(control, DeviceKind::kRecording, settings.recordingDevice);
}

bool RunPreferences(GtkWindow* parent, IAudioEditor* control, Settings& settings) {
  struct Row {
    DeviceKind kind;
    const char* label;
    std::string* remembered;
    std::vector<std::string> names;
    GtkWidget* choice = nullptr;
  };
  Row rows[] = {{DeviceKind::kPlayback, "_Playback device", &settings.playbackDevice, {}},
                {DeviceKind::kRecording, "_Recording device", &settings.recordingDevice, {}}};
  FormDialog dialog(parent, "Preferences");
  for (Row& row : rows) {
    row.names = DeviceNames(control, row.kind);
    const std::string current = CurrentDevice(control, row.kind);
    const auto at = std::find(row.names.begin(), row.names.end(), current);
    const int index = at == row.names.end() ? 0 : static_cast<int>(at - row.names.begin());
    if (row.names.empty()) row.names.push_back("(no device)");
    row.choice = dialog.AddChoice(row.label, row.names, index);
  }
  if (!dialog.Run()) return false;
  for (Row& row : rows) {
    const int index = FormDialog::ChoiceIndex(row.choice);
    if (index < 0 || static_cast<size_t>(index) >= row.names.size()) continue;
    const std::string& name = row.names[static_cast<size_t>(index)];
    if (SelectDevice(control, row.kind, name)) *row.remembered = name;
  }
  return true;
}

}  // namespace qel::gtkhost

// The playback and recording devices: listing them by name, choosing one,
// putting back the ones remembered, and the Preferences dialog that picks them.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "core/surface.h"
#include "settings.h"

namespace qel::gtkhost {

enum class DeviceKind { kPlayback, kRecording };

// The names of the devices of that kind, in the control's order (the
// system's default comes first).
std::vector<std::string> DeviceNames(IAudioEditor* control, DeviceKind kind);
// The name of the device of that kind the control uses now.
std::string CurrentDevice(IAudioEditor* control, DeviceKind kind);
// Makes the control use the device of that name; false when none is listed so.
bool SelectDevice(IAudioEditor* control, DeviceKind kind, const std::string& name);
// Gives the control the remembered devices; one no longer present leaves the
// control's choice as it is.
void ApplyDevices(IAudioEditor* control, const Settings& settings);

// Edit > Preferences: drop-downs of both kinds of device. OK applies the
// chosen ones and keeps their names in the settings; true then.
bool RunPreferences(GtkWindow* parent, IAudioEditor* control, Settings& settings);

}  // namespace qel::gtkhost

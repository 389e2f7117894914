// The sub-objects a host reaches through the control's properties. Each holds
// the control's shared state (none when created on its own) and answers the
// members its subsystem implements; the rest answer E_NOTIMPL.
#pragma once

#include <string>

#include "com/classtable.h"
#include "core/automation_object.h"
#include "core/channels_object.h"
#include "core/control_state.h"
#include "core/convert_object.h"
#include "core/device_objects.h"
#include "core/file_info_object.h"
#include "core/markers_object.h"
#include "core/plugin_transform_objects.h"
#include "core/position_object.h"
#include "core/settings_objects.h"
#include "core/surface_defaults.h"
#include "core/transform_object.h"

namespace qel {

// The plug-in transform objects (CEditorDXTransform, CEditorVSTTransform) are
// in core/plugin_transform_objects.h.
// The devices (CEditorDevice, CEditorDeviceLine, CEditorPlayback,
// CEditorRecorder) are in core/device_objects.h.

}  // namespace qel

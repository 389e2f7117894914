// The control's side of the view: the ViewSource that reads the control's
// state, and the factory the control calls once its sub-objects exist.
#pragma once

#include <memory>

#include "core/control_state.h"
#include "view/waveform_view.h"

namespace qel::view {

std::unique_ptr<WaveformView> CreateControlView(ControlState& state);

}  // namespace qel::view

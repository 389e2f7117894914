// The control's side of the view: the ViewSource that reads CAudioEditor and
// its sub-objects, and the factory the control calls once its sub-objects exist.
#pragma once

#include <memory>

#include "view/waveform_view.h"

namespace qel {
class CAudioEditor;
}

namespace qel::view {

std::unique_ptr<WaveformView> CreateControlView(CAudioEditor& editor);

}  // namespace qel::view

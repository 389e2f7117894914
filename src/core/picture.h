// The control's picture as the control and its settings objects drive it: the
// waveform view, or, in a build without the view library (QEL_SKIP=src/view),
// a picture that takes every request and draws nothing, so that the control
// still edits, opens and saves documents for hosts that show none.
#pragma once

#if QEL_WITH_VIEW

#include "view/waveform_view.h"

namespace qel {
using Picture = view::WaveformView;
}  // namespace qel

#else

#include <cstddef>
#include <cstdint>

#include "view/view_source.h"

namespace qel {

class Picture {
 public:
  void RequestRelayout() {}
  void RequestViewRebuild() {}
  void RequestBase() {}
  void RequestLanes() {}
  void RequestCompose() {}
  void RequestSpectralColors() {}
  void RequestPresent() {}
  void RequestSelection() {}
  void Recompose() {}
  void SetSpectralResolution(int) {}
  void SetOpenProgress(int) {}
  void SplitLanesEqually() {}
  void SetPointerCursor(int) {}
  void BeginOverviewFold(const view::DocumentState&, int64_t) {}
  void FoldSamples(const uint8_t*, size_t) {}
  void EndOverviewFold() {}
  void CancelOverviewFold() {}
};

}  // namespace qel

#endif

#include "core/control_state.h"

#include "core/picture.h"
#include "core/settings_objects.h"

namespace qel {

ControlState::ControlState(const std::string& tempDirectory) : doc(tempDirectory) {}

ControlState::~ControlState() = default;

int32_t ControlState::MarkerType() const {
  return visualization ? visualization->Settings().markerType : 0;
}

void ControlState::Detach() {
  control_ = nullptr;
  ensureProcessors = nullptr;
  view.reset();
  // The settings objects hold this state too: let go of them so that neither
  // keeps the other.
  visualization.Reset();
  scaleX.Reset();
  scaleY.Reset();
  colors.Reset();
}

#define QEL_FORWARD(Call) \
  if (control_) control_->Call

void ControlState::Progress(int32_t percent) {
  QEL_FORWARD(Progress(percent));
}
void ControlState::OperationEnded() {
  QEL_FORWARD(OperationEnded());
}
void ControlState::MarkerChanged(int32_t number) {
  QEL_FORWARD(MarkerChanged(number));
}
void ControlState::SplitFileCreated(const std::string& name) {
  QEL_FORWARD(SplitFileCreated(name));
}
void ControlState::SelectionChanged() {
  QEL_FORWARD(SelectionChanged());
}
void ControlState::ViewChanged() {
  QEL_FORWARD(ViewChanged());
}
void ControlState::PictureChanged() {
  QEL_FORWARD(PictureChanged());
}
void ControlState::DocumentStarted() {
  QEL_FORWARD(DocumentStarted());
}
void ControlState::ComponentMissing(std::u16string_view message) {
  QEL_FORWARD(ComponentMissing(message));
}
void ControlState::OverviewFoldBegin(const document::DocumentFormat& format, int64_t frames) {
  QEL_FORWARD(OverviewFoldBegin(format, frames));
}
void ControlState::OverviewFold(const uint8_t* data, size_t bytes) {
  QEL_FORWARD(OverviewFold(data, bytes));
}
void ControlState::OverviewFoldEnd(bool keep) {
  QEL_FORWARD(OverviewFoldEnd(keep));
}
void ControlState::OpenProgress(int32_t percent) {
  QEL_FORWARD(OpenProgress(percent));
}

#undef QEL_FORWARD

}  // namespace qel

#include "stretch_kind.h"

#include <algorithm>

#include "processors.h"
#include "stretch_engine.h"
#include "wsola_engine.h"

namespace qel::effects::pitch {

StretchKind::Ratios StretchKind::CurrentRatios() const {
  const double p1 = std::clamp(params_[1], 0.25, 4.0);
  if (mode_ == Mode::kPitch) return {1.0, p1, 1.0};
  return {1.0 / p1, 1.0, p1};
}

bool StretchKind::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void StretchKind::Start(const StreamSetup& setup) {
  dirty_ = false;
  finished_ = false;
  const Ratios r = CurrentRatios();
  if (params_[2] != 0) {
    engine_ = std::make_unique<StretchEngine>();
  } else {
    engine_ = std::make_unique<WsolaEngine>(mode_ == Mode::kPitch);
  }
  engine_->Start(WorkingRate(setup), r.time, r.pitch, setup.fullScale);
  schedule_.Start(1, r.speed, engine_->Slack());
}

void StretchKind::Process(std::span<const double> in, const BlockInfo& info,
                          std::vector<double>& out) {
  if (finished_ || !engine_) return;
  if (dirty_) {
    // A change while a preview runs counts from this block on.
    dirty_ = false;
    const Ratios r = CurrentRatios();
    engine_->SetRatios(r.time, r.pitch);
    schedule_.SetRatio(1, r.speed);
  }
  engine_->Feed(in);
  const bool last = IsLastBlock(info, in.size());
  const int64_t n = schedule_.Next(static_cast<int64_t>(in.size()), last);
  if (last) {
    engine_->Finish(schedule_.FinalTotal());
    finished_ = true;
  }
  engine_->Output().Pop(static_cast<size_t>(n), out);
}

}  // namespace qel::effects::pitch

namespace qel::effects {
std::unique_ptr<Processor> MakePitchShifter() {
  return std::make_unique<pitch::StretchKind>(pitch::StretchKind::Mode::kPitch);
}
std::unique_ptr<Processor> MakeTimeStretcher() {
  return std::make_unique<pitch::StretchKind>(pitch::StretchKind::Mode::kTime);
}
}  // namespace qel::effects

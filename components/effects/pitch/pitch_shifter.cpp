#include "pitch_shifter.h"

#include <algorithm>

#include "processors.h"

namespace qel::effects::pitch {

namespace {

double PitchRatio(double p1) {
  return std::clamp(p1, 0.25, 4.0);
}

}  // namespace

bool PitchShifter::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void PitchShifter::Start(const StreamSetup& setup) {
  dirty_ = false;
  finished_ = false;
  engine_.Start(WorkingRate(setup), 1.0, PitchRatio(params_[1]), setup.fullScale);
  schedule_.Start(1, 1, engine_.Slack());
}

void PitchShifter::Process(std::span<const double> in, const BlockInfo& info,
                           std::vector<double>& out) {
  if (finished_) return;
  if (dirty_) {
    dirty_ = false;
    engine_.SetRatios(1.0, PitchRatio(params_[1]));
  }
  engine_.Feed(in);
  const bool last = IsLastBlock(info, in.size());
  const int64_t n = schedule_.Next(static_cast<int64_t>(in.size()), last);
  if (last) {
    engine_.Finish(schedule_.FinalTotal());
    finished_ = true;
  }
  engine_.Output().Pop(static_cast<size_t>(n), out);
}

}  // namespace qel::effects::pitch

namespace qel::effects {
std::unique_ptr<Processor> MakePitchShifter() {
  return std::make_unique<pitch::PitchShifter>();
}
}  // namespace qel::effects

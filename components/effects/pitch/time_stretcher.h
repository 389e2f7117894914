// Tempo change at constant pitch: Rubber Band with the time ratio 1/P1. The
// output is round(input / P1) frames long over a run.
#pragma once

#include "common.h"
#include "stretch_engine.h"

namespace qel::effects::pitch {

// P1 speed factor (1.25 = 25 % faster, a shorter result), clamped to 0.25…4.
class TimeStretcher final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
  bool PreservesLength() const override { return false; }

 private:
  Params<1> params_{{1.0}};
  bool dirty_ = false;
  bool finished_ = false;
  StretchEngine engine_;
  OutputSchedule schedule_;
};

}  // namespace qel::effects::pitch

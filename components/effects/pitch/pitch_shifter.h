// Pitch shift at constant length: Rubber Band with the time ratio 1 and the
// pitch scale P1, its latency taken out so the output lines up with the input.
#pragma once

#include "common.h"
#include "stretch_engine.h"

namespace qel::effects::pitch {

// P1 pitch ratio (output frequency / input frequency), clamped to 0.25…4.
class PitchShifter final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  Params<1> params_{{1.0}};
  bool dirty_ = false;
  bool finished_ = false;
  StretchEngine engine_;
  OutputSchedule schedule_;
};

}  // namespace qel::effects::pitch

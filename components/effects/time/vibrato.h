// Vibrato: the input read through a delay swept by a raised-cosine LFO, wet
// only, so the pitch swings around the original.
#pragma once

#include "common.h"

namespace qel::effects::time {

class Vibrato final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  void Apply(bool immediately);

  Params<3> params_{{1.0, 5.0, 0.0}};
  bool dirty_ = false;
  double rate_ = 44100;
  RingBuffer line_;
  Phase phase_;
  Ramp sweep_;  // peak-to-peak delay swing, samples
};

}  // namespace qel::effects::time

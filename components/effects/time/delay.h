// Echo: a delay line with feedback added to the input.
#pragma once

#include <cstdint>

#include "common.h"

namespace qel::effects::time {

// P1 delay (ms), P2 mix (% of the delayed signal added), P3 feedback (%),
// P4 mode (only 1 exists). out[n] = in[n] + mix·d[n], d[n] = line[n − D],
// line[n] = in[n] + feedback·d[n].
class Delay final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  void Apply(bool immediately);

  Params<4> params_{{500.0, 50.0, 30.0, 1.0}};
  bool dirty_ = false;
  double rate_ = 44100;
  RingBuffer line_;
  // A changed delay cross-fades from the old tap to the new one.
  size_t delay_ = 1;
  size_t oldDelay_ = 1;
  Ramp fade_;
  Ramp mix_;
  Ramp feedback_;
};

}  // namespace qel::effects::time

// Wah-wah: a resonant band-pass (topology-preserving state-variable filter)
// whose centre an LFO sweeps upward from a base frequency.
#pragma once

#include "common.h"

namespace qel::effects::time {

class WahWah final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // The filter's tuning g = tan(π·fc/fs) is computed exactly every kKnot
  // samples and interpolated linearly in between.
  static constexpr int kKnot = 16;

  void Apply();
  double Tuning(double phase) const;

  Params<5> params_{{70.0, 1.5, 0.0, 2.5, 300.0}};
  bool dirty_ = false;
  double rate_ = 44100;
  double baseHz_ = 300;
  double octaves_ = 0;
  double damping_ = 0.4;  // 1/Q
  Phase phase_;           // LFO phase at the next knot
  double gFrom_ = 0;
  double gTo_ = 0;
  double gStep_ = 0;
  int knotIndex_ = 0;
  double ic1_ = 0;
  double ic2_ = 0;
};

}  // namespace qel::effects::time

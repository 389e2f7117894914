// Phaser: a chain of identical first-order all-pass filters whose break
// frequency an LFO sweeps, mixed with the dry signal so that notches move.
#pragma once

#include <array>

#include "common.h"

namespace qel::effects::time {

class Phaser final : public Processor {
 public:
  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  static constexpr int kMaxStages = 24;
  // The all-pass coefficient is computed exactly every kKnot samples and
  // interpolated linearly in between.
  static constexpr int kKnot = 16;

  void Apply(bool immediately);
  double Coefficient(double phase) const;

  Params<11> params_{{0.0, 0.5, 0.0, 200.0, 50.0, 50.0, 70.0, 4.0, 0.0, 0.0, 0.0}};
  // P9 carries both the feedback percentage and its on/off switch.
  double feedbackPercent_ = 0;
  bool feedbackOn_ = true;
  bool lastP9WasZero_ = false;
  bool dirty_ = false;

  double rate_ = 44100;
  int stages_ = 4;
  bool triangle_ = false;
  double baseHz_ = 200;
  double octaves_ = 0;
  Phase phase_;  // LFO phase at the next knot
  double coefFrom_ = 0;
  double coefTo_ = 0;
  double coefStep_ = 0;
  int knotIndex_ = 0;  // samples since the last knot
  Ramp dry_;
  Ramp wet_;
  double feedback_ = 0;
  double lastWet_ = 0;
  std::array<double, kMaxStages> x1_{};
  std::array<double, kMaxStages> y1_{};
};

}  // namespace qel::effects::time

// A parameter that glides to a new value instead of jumping, so that changes
// made while a preview runs do not click.
#pragma once

#include <cstdint>

namespace qel::effects {

// A value that moves linearly to a new target over a fixed number of samples
// and then holds it exactly, so an unchanged parameter costs one predictable
// branch per sample and gives bit-identical results however the blocks fall.
class Ramp {
 public:
  void Reset(double value) {
    value_ = target_ = value;
    step_ = 0;
    remaining_ = 0;
  }
  void SetTarget(double target, int64_t samples) {
    if (target == target_) return;
    target_ = target;
    if (samples <= 0) {
      Reset(target);
      return;
    }
    remaining_ = samples;
    step_ = (target_ - value_) / static_cast<double>(samples);
  }
  double Next() {
    if (remaining_ > 0) {
      value_ += step_;
      if (--remaining_ == 0) value_ = target_;
    }
    return value_;
  }
  bool Moving() const { return remaining_ > 0; }
  double value() const { return value_; }
  double target() const { return target_; }

 private:
  double value_ = 0;
  double target_ = 0;
  double step_ = 0;
  int64_t remaining_ = 0;
};

}  // namespace qel::effects

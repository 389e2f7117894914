// Small pieces the level kinds share: reading parameter values and the short
// linear glide that hides a jump in gain when a parameter changes mid-run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "processor.h"

namespace qel::effects::level {

// Gain changes made while previewing are spread over this long.
inline constexpr double kGlideMs = 10.0;

// A finite number; false for NaN, infinities, arrays and text.
inline bool ReadFinite(const ParamValue& value, double& out) {
  double d = 0;
  if (!AsNumber(value, d) || !std::isfinite(d)) return false;
  out = d;
  return true;
}

// An array of finite numbers; false for numbers, text or any non-finite entry.
inline bool ReadFiniteArray(const ParamValue& value, std::vector<double>& out) {
  const auto* array = std::get_if<std::vector<double>>(&value);
  if (array == nullptr) return false;
  if (!std::all_of(array->begin(), array->end(), [](double d) { return std::isfinite(d); })) {
    return false;
  }
  out = *array;
  return true;
}

inline int64_t GlideFrames(double sampleRate) {
  return std::max<int64_t>(1, std::llround(sampleRate * kGlideMs / 1000.0));
}

// The difference between the value in effect before a change and the one
// after it, fading linearly to nothing over `length` frames: frame k after the
// change (k < length) gets offset·(length − k)/length added, so the first frame
// still has the old value and the new one is reached without a step.
class Glide {
 public:
  // Starts a new glide from the current effective value: `jump` is that value
  // minus the new target.
  void Restart(double jump, int64_t frames) {
    offset_ = jump;
    length_ = std::max<int64_t>(1, frames);
    left_ = jump == 0 ? 0 : length_;
  }
  void Reset() { offset_ = 0, left_ = 0; }
  // Frames of this glide still to come.
  int64_t Left() const { return left_; }
  // The offset for frame i from now (i < Left()).
  double At(int64_t i) const {
    return offset_ * static_cast<double>(left_ - i) / static_cast<double>(length_);
  }
  // The offset for the next frame; 0 when no glide is running.
  double Current() const { return left_ > 0 ? At(0) : 0.0; }
  void Advance(int64_t frames) { left_ = std::max<int64_t>(0, left_ - frames); }

 private:
  double offset_ = 0;
  int64_t length_ = 1;
  int64_t left_ = 0;
};

}  // namespace qel::effects::level

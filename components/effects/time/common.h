// Small building blocks shared by the delay-line kinds: a cheap LFO,
// power-of-two ring buffers and a cubic fractional-delay read.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "processor.h"
#include "ramp.h"

namespace qel::effects::time {

// Added to what feeds a recursive loop so that a decaying signal settles on a
// value far below any sample size's LSB instead of sinking into subnormal
// numbers, which are slow on x86. 1e-20 is 400 dB under a 16-bit LSB.
inline constexpr double kAntiDenormal = 1e-20;

// Ramp time for gains and delays adjusted while a preview runs.
inline constexpr double kSmoothSeconds = 0.02;

// sin(2π·p) for p in [0, 1): the argument is folded onto [−π/2, π/2] and an
// odd Taylor polynomial through x^11 is evaluated, absolute error < 6e-8. This
// is an LFO, not an audio oscillator: that accuracy is far below what a delay
// sweep or a filter sweep can show.
inline double SinCycles(double p) {
  double q = p >= 0.5 ? p - 1.0 : p;  // [−0.5, 0.5)
  q = q > 0.25 ? 0.5 - q : q;
  q = q < -0.25 ? -0.5 - q : q;  // [−0.25, 0.25]
  const double x = q * (2.0 * std::numbers::pi);
  const double x2 = x * x;
  return x * (1.0 + x2 * (-1.0 / 6 +
                          x2 * (1.0 / 120 + x2 * (-1.0 / 5040 +
                                                  x2 * (1.0 / 362880 + x2 * (-1.0 / 39916800))))));
}

// Wraps a phase in cycles (any finite value) into [0, 1).
inline double WrapCycles(double p) {
  p -= std::floor(p);
  return p >= 1.0 ? 0.0 : p;
}

// The unipolar sweep shared by all LFOs here: 0 at phase 0, 1 at half a cycle.
inline double RaisedCosine(double p) {
  const double c = SinCycles(p + 0.25 >= 1.0 ? p - 0.75 : p + 0.25);
  return 0.5 - 0.5 * c;
}

// A phase accumulator in cycles; identical arithmetic whatever the block size.
class Phase {
 public:
  void Reset(double start) { p_ = WrapCycles(start); }
  void SetIncrement(double cyclesPerSample) { inc_ = WrapCycles(cyclesPerSample); }
  double value() const { return p_; }
  void Advance() {
    p_ += inc_;
    if (p_ >= 1.0) p_ -= 1.0;
  }
  void Advance(int64_t samples) { p_ = WrapCycles(p_ + inc_ * static_cast<double>(samples)); }

 private:
  double p_ = 0;
  double inc_ = 0;
};

inline size_t NextPowerOfTwo(size_t n) {
  size_t size = 1;
  while (size < n)
    size <<= 1;
  return size;
}

// A delay line: writes go to `pos`, a read at delay k returns what was written
// k samples earlier. The size is a power of two so wrapping is a mask.
class RingBuffer {
 public:
  void Allocate(size_t minimumLength) {
    data_.assign(NextPowerOfTwo(std::max<size_t>(minimumLength, 4)), 0.0);
    mask_ = data_.size() - 1;
    pos_ = 0;
  }
  size_t size() const { return data_.size(); }
  double Tap(size_t delay) const { return data_[(pos_ - delay) & mask_]; }
  void Write(double v) { data_[pos_ & mask_] = v; }
  void Advance() { ++pos_; }
  // A fractional delay (≥ 2 samples, so every point read was written before
  // the current sample) by 4-point Catmull-Rom (cubic Hermite) interpolation.
  double ReadCubic(double delay) const {
    const auto whole = static_cast<size_t>(delay);
    const double f = delay - static_cast<double>(whole);
    const double ym1 = Tap(whole - 1);
    const double y0 = Tap(whole);
    const double y1 = Tap(whole + 1);
    const double y2 = Tap(whole + 2);
    const double c1 = 0.5 * (y1 - ym1);
    const double c2 = ym1 - 2.5 * y0 + 2.0 * y1 - 0.5 * y2;
    const double c3 = 0.5 * (y2 - ym1) + 1.5 * (y0 - y1);
    return ((c3 * f + c2) * f + c1) * f + y0;
  }

 private:
  std::vector<double> data_;
  size_t mask_ = 0;
  size_t pos_ = 0;
};

inline int64_t SmoothSamples(double sampleRate) {
  return static_cast<int64_t>(std::lround(kSmoothSeconds * sampleRate));
}

}  // namespace qel::effects::time

// The noise sources of the generator: a seeded uniform white source, Paul
// Kellet's refined pink filter and a leaky integrator for brown noise. Each
// gives samples scaled to its own nominal level (see README.md) before the
// generator applies the peak level.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qel::effects::generators {

// SplitMix64: one add and three xor-shift-multiplies per draw, a full 2^64
// period and good statistics for audio; cheap enough to call per sample.
class WhiteNoise {
 public:
  explicit WhiteNoise(uint64_t seed = 0) : state_(seed) {}
  // Uniform in [−1, 1).
  double Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
  }

 private:
  uint64_t state_;
};

// Paul Kellet's refined filter: six one-pole sections and a direct path whose
// sum follows 1/f (−3.01 dB per octave) within ±0.05 dB from 9.2 Hz up to
// near Nyquist at 44.1 kHz (the corners scale with the sample rate).
class PinkFilter {
 public:
  double Next(double white) {
    b_[0] = 0.99886 * b_[0] + white * 0.0555179;
    b_[1] = 0.99332 * b_[1] + white * 0.0750759;
    b_[2] = 0.96900 * b_[2] + white * 0.1538520;
    b_[3] = 0.86650 * b_[3] + white * 0.3104856;
    b_[4] = 0.55000 * b_[4] + white * 0.5329522;
    b_[5] = -0.7616 * b_[5] - white * 0.0168980;
    const double pink = b_[0] + b_[1] + b_[2] + b_[3] + b_[4] + b_[5] + b_[6] + white * 0.5362;
    b_[6] = white * 0.115926;
    return pink;
  }
  // Σh² of the filter's impulse response: the output variance per unit of
  // input variance. The slowest pole (0.99886) has decayed below 1e-20 after
  // 40000 samples.
  static double PowerGain() {
    PinkFilter f;
    double sum = 0;
    double h = f.Next(1.0);
    for (int i = 0; i < 40000; ++i) {
      sum += h * h;
      h = f.Next(0.0);
    }
    return sum;
  }

 private:
  double b_[7] = {};
};

// y[n] = leak·y[n−1] + x[n]: −6.02 dB per octave above the corner
// frequency, flat below it, so the signal does not wander off without bound.
class BrownFilter {
 public:
  void Set(double cornerHz, double sampleRate) {
    leak_ = std::clamp(1.0 - 2.0 * 3.141592653589793 * cornerHz / sampleRate, 0.0, 0.999999);
  }
  double Next(double white) { return y_ = leak_ * y_ + white; }
  // The output variance per unit of input variance: 1 / (1 − leak²).
  double PowerGain() const { return 1.0 / (1.0 - leak_ * leak_); }
  // Samples after which the start-up transient is below 1e-9 of the level.
  int64_t SettlingFrames() const {
    return static_cast<int64_t>(std::ceil(-20.7 / std::log(std::max(leak_, 1e-9)))) + 1;
  }

 private:
  double leak_ = 0.998;
  double y_ = 0;
};

}  // namespace qel::effects::generators

// The resampler's anti-aliasing and anti-imaging filter: an 8th-order
// Butterworth low-pass as four cascaded biquads.
#pragma once

#include <array>
#include <cmath>
#include <numbers>
#include <span>

namespace qel::effects::pitch {

class Lowpass {
 public:
  // Cutoff (−3 dB) as a fraction of the sample rate, below 0.5. Keeps the
  // state, so a cutoff changed mid-run continues without a restart.
  void Design(double cutoff) {
    // Bilinear transform with the cutoff prewarped: each section is the RBJ
    // cookbook low-pass at the cutoff, with the Q of one Butterworth pole pair,
    // Q_k = 1 / (2·sin((2k − 1)·π / (2·order))).
    const double w0 = 2 * std::numbers::pi * cutoff;
    const double cosw = std::cos(w0);
    const double sinw = std::sin(w0);
    for (size_t k = 0; k < kSections; ++k) {
      const double q =
          1.0 /
          (2 * std::sin((2.0 * static_cast<double>(k) + 1) * std::numbers::pi / (2.0 * kOrder)));
      const double alpha = sinw / (2 * q);
      const double a0 = 1 + alpha;
      Section& s = sections_[k];
      s.b0 = (1 - cosw) / 2 / a0;
      s.b1 = (1 - cosw) / a0;
      s.b2 = s.b0;
      s.a1 = -2 * cosw / a0;
      s.a2 = (1 - alpha) / a0;
    }
  }
  void Reset() {
    for (Section& s : sections_)
      s.z1 = s.z2 = 0;
  }
  // Filters x in place.
  void Run(std::span<double> x) {
    for (Section& s : sections_) {
      double z1 = s.z1, z2 = s.z2;
      for (double& v : x) {
        // Transposed direct form II. The tiny offset keeps a decaying state
        // from sinking into slow subnormal numbers; 1e-20 is 400 dB under a
        // 16-bit LSB.
        const double in = v + 1e-20;
        const double y = s.b0 * in + z1;
        z1 = s.b1 * in - s.a1 * y + z2;
        z2 = s.b2 * in - s.a2 * y;
        v = y;
      }
      s.z1 = z1;
      s.z2 = z2;
    }
  }

 private:
  static constexpr size_t kOrder = 8;
  static constexpr size_t kSections = kOrder / 2;
  struct Section {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
  };
  std::array<Section, kSections> sections_{};
};

}  // namespace qel::effects::pitch

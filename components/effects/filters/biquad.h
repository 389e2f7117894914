// One second-order section: its coefficients, its memory, the per-sample loop
// and its frequency response. Shared by the single filters and the equalizer.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>

namespace qel::effects::filters {

// Coefficients normalised by a0: y = b0·x + b1·x1 + b2·x2 − a1·y1 − a2·y2.
// The default is the identity.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// Direct form I memory: the last two inputs and outputs. It holds the signal
// itself rather than a mix of internal sums, so new coefficients can take over
// between blocks without a reset and without a jump in the output.
struct BiquadState {
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Filters n samples; in and out may be the same array. The feedback term of
// the newest output is added last so that the loop-carried dependency is a
// single multiply and subtract (the other terms do not wait for it).
inline void RunBiquad(const Biquad& c, BiquadState& s, const double* in, double* out,
                      std::size_t n) {
  const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  double x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = in[i];
    const double y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    out[i] = y;
  }
  s = {x1, x2, y1, y2};
}

// Sets memory below `floor` to exactly zero. Run once per block: a tail
// decaying in silence then ends in zeros instead of lingering among subnormal
// numbers, whose arithmetic is many times slower on common processors.
inline void FlushTiny(BiquadState& s, double floor) {
  if (std::abs(s.x1) < floor) s.x1 = 0;
  if (std::abs(s.x2) < floor) s.x2 = 0;
  if (std::abs(s.y1) < floor) s.y1 = 0;
  if (std::abs(s.y2) < floor) s.y2 = 0;
}

// |H(e^jw)| at w radians per sample.
inline double Magnitude(const Biquad& c, double w) {
  const std::complex<double> z1 = std::polar(1.0, -w);
  const std::complex<double> z2 = z1 * z1;
  return std::abs(c.b0 + c.b1 * z1 + c.b2 * z2) / std::abs(1.0 + c.a1 * z1 + c.a2 * z2);
}

inline double MagnitudeDb(const Biquad& c, double w) {
  return 20 * std::log10(Magnitude(c, w));
}

}  // namespace qel::effects::filters

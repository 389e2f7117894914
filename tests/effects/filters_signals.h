// Known signals and measurements shared by the filter and equalizer tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

#include "effects/spectral_signals.h"
#include "processor.h"

namespace qel::effects::filters_test {

// The signals, the start, the block runner and the measured gain are the
// spectral kinds' own.
using spectral_test::kRate;
using spectral_test::MaxAbsDifference;
using spectral_test::MeasuredGainDb;
using spectral_test::Noise;
using spectral_test::RunBlocks;
using spectral_test::Sine;
using spectral_test::Start;

// |H(e^jw)| of the cookbook biquad with these (unnormalised) coefficients.
inline double BiquadDb(double b0, double b1, double b2, double a0, double a1, double a2,
                       double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / kRate);
  const std::complex<double> z2 = z1 * z1;
  return 20 * std::log10(std::abs(b0 + b1 * z1 + b2 * z2) / std::abs(a0 + a1 * z1 + a2 * z2));
}

// The cookbook peaking filter's response at hz.
inline double PeakingDb(double f0, double q, double gainDb, double hz) {
  const double w0 = 2 * std::numbers::pi * f0 / kRate;
  const double alpha = std::sin(w0) / (2 * q);
  const double a = std::pow(10.0, gainDb / 40);
  return BiquadDb(1 + alpha * a, -2 * std::cos(w0), 1 - alpha * a, 1 + alpha / a, -2 * std::cos(w0),
                  1 - alpha / a, hz);
}

}  // namespace qel::effects::filters_test

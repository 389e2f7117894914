#include "filters/cookbook.h"

#include <cmath>
#include <numbers>

namespace qel::effects::filters {

namespace {

Biquad Normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

}  // namespace

Biquad DesignCookbook(FilterType type, double w0, double steepness, double gainDb) {
  const double cs = std::cos(w0);
  const double sn = std::sin(w0);
  const double a = std::pow(10.0, gainDb / 40);  // square root of the linear gain
  if (IsShelf(type)) {
    const double s = steepness;
    const double alpha = sn / 2 * std::sqrt((a + 1 / a) * (1 / s - 1) + 2);
    const double k = 2 * std::sqrt(a) * alpha;
    if (type == FilterType::kLowShelf) {
      return Normalised(a * ((a + 1) - (a - 1) * cs + k), 2 * a * ((a - 1) - (a + 1) * cs),
                        a * ((a + 1) - (a - 1) * cs - k), (a + 1) + (a - 1) * cs + k,
                        -2 * ((a - 1) + (a + 1) * cs), (a + 1) + (a - 1) * cs - k);
    }
    return Normalised(a * ((a + 1) + (a - 1) * cs + k), -2 * a * ((a - 1) + (a + 1) * cs),
                      a * ((a + 1) + (a - 1) * cs - k), (a + 1) - (a - 1) * cs + k,
                      2 * ((a - 1) - (a + 1) * cs), (a + 1) - (a - 1) * cs - k);
  }
  const double alpha = sn / (2 * steepness);
  switch (type) {
    case FilterType::kLowPass:
      return Normalised((1 - cs) / 2, 1 - cs, (1 - cs) / 2, 1 + alpha, -2 * cs, 1 - alpha);
    case FilterType::kHighPass:
      return Normalised((1 + cs) / 2, -(1 + cs), (1 + cs) / 2, 1 + alpha, -2 * cs, 1 - alpha);
    case FilterType::kNotch:
      return Normalised(1, -2 * cs, 1, 1 + alpha, -2 * cs, 1 - alpha);
    case FilterType::kBandPass:
      return Normalised(alpha, 0, -alpha, 1 + alpha, -2 * cs, 1 - alpha);
    case FilterType::kPeaking:
      return Normalised(1 + alpha * a, -2 * cs, 1 - alpha * a, 1 + alpha / a, -2 * cs,
                        1 - alpha / a);
    default:
      return {};
  }
}

double QFromOctaves(double octaves, double w0) {
  return 1 / (2 * std::sinh(std::numbers::ln2 / 2 * octaves * w0 / std::sin(w0)));
}

}  // namespace qel::effects::filters

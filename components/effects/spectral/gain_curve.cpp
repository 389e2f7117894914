#include "spectral/gain_curve.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "interpolation.h"

namespace qel::effects::spectral {
namespace {

// ALGLIB's Akima spline wants five points; with fewer the monotone cubic,
// which also avoids overshoot, stands in.
constexpr std::size_t kAkimaMinPoints = 5;

}  // namespace

CurvePoints SortPoints(const std::vector<double>& hz, const std::vector<double>& values) {
  const std::size_t n = std::min(hz.size(), values.size());
  std::vector<std::size_t> order;
  order.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    if (hz[i] > 0) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return hz[a] < hz[b]; });
  CurvePoints points;
  for (std::size_t i : order) {
    if (!points.hz.empty() && points.hz.back() == hz[i]) {
      points.values.back() = values[i];  // stable sort: the later one comes later
    } else {
      points.hz.push_back(hz[i]);
      points.values.push_back(values[i]);
    }
  }
  return points;
}

std::vector<double> SampleCurve(const CurvePoints& points, Interpolation interpolation,
                                std::span<const double> frequencies, double empty) {
  std::vector<double> out(frequencies.size(), empty);
  const std::size_t m = points.hz.size();
  if (m == 0) return out;
  if (m == 1) {
    std::fill(out.begin(), out.end(), points.values[0]);
    return out;
  }
  std::vector<double> x(m);
  for (std::size_t i = 0; i < m; ++i)
    x[i] = std::log2(points.hz[i]);
  alglib::real_1d_array ax;
  alglib::real_1d_array ay;
  ax.setcontent(static_cast<alglib::ae_int_t>(m), x.data());
  ay.setcontent(static_cast<alglib::ae_int_t>(m), points.values.data());
  alglib::spline1dinterpolant spline;
  if (interpolation == Interpolation::kAkima && m < kAkimaMinPoints) {
    interpolation = Interpolation::kMonotone;
  }
  const auto count = static_cast<alglib::ae_int_t>(m);
  try {
    switch (interpolation) {
      case Interpolation::kCubic:
        // Natural ends: no curvature at the first and last points.
        alglib::spline1dbuildcubic(ax, ay, count, 2, 0.0, 2, 0.0, spline);
        break;
      case Interpolation::kAkima:
        alglib::spline1dbuildakima(ax, ay, count, spline);
        break;
      case Interpolation::kMonotone:
        alglib::spline1dbuildmonotone(ax, ay, count, spline);
        break;
      default:
        alglib::spline1dbuildlinear(ax, ay, count, spline);
        break;
    }
  } catch (const alglib::ap_error&) {
    // Distinct sorted points do not fail; should ALGLIB still object (values
    // beyond its range), the straight lines between the points stand in.
    alglib::spline1dbuildlinear(ax, ay, count, spline);
  }
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    const double f = frequencies[i];
    if (f <= points.hz.front()) {
      out[i] = points.values.front();
    } else if (f >= points.hz.back()) {
      out[i] = points.values.back();
    } else {
      out[i] = alglib::spline1dcalc(spline, std::log2(f));
    }
  }
  return out;
}

bool AsFiniteArray(const ParamValue& value, std::vector<double>& out) {
  const auto* array = std::get_if<std::vector<double>>(&value);
  if (array == nullptr) return false;
  if (!std::all_of(array->begin(), array->end(), [](double v) { return std::isfinite(v); })) {
    return false;
  }
  out = *array;
  return true;
}

bool AsFiniteNumber(const ParamValue& value, double& out) {
  double v = 0;
  if (!AsNumber(value, v) || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::size_t RoundToPowerOfTwo(double v, std::size_t lo, std::size_t hi) {
  if (!(v > 0)) return lo;
  const double exponent = std::round(std::log2(v));
  if (exponent <= std::log2(static_cast<double>(lo))) return lo;
  if (exponent >= std::log2(static_cast<double>(hi))) return hi;
  return std::size_t{1} << static_cast<int>(exponent);
}

}  // namespace qel::effects::spectral

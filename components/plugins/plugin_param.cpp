#include "plugin_param.h"

#include <algorithm>
#include <cmath>

namespace qel::plugins {

namespace {

// A thousandth of the maximum: the lower end of a logarithmic slider whose
// range starts at or below zero.
constexpr double kLogSpan = 1e-3;

bool UsesLogScale(const ParamInfo& param) {
  return param.logarithmic && param.maximum > 0.0 && LogFloor(param) < param.maximum;
}

}  // namespace

void CompleteRange(ParamInfo& param, double lower, double upper, double hint) {
  if (!param.boundedBelow)
    lower = param.boundedAbove ? std::min({0.0, upper - 1.0, hint}) : std::min(0.0, hint);
  if (!param.boundedAbove) upper = std::max({lower + 1.0, 10.0 * hint, 10.0 * lower});
  param.minimum = std::min(lower, upper);
  param.maximum = std::max(lower, upper);
}

double ClampParam(const ParamInfo& param, double value) {
  if (std::isnan(value)) return param.defaultValue;
  if (param.toggled) return value > 0.0 ? 1.0 : 0.0;
  if (param.boundedBelow) value = std::max(value, param.minimum);
  if (param.boundedAbove) value = std::min(value, param.maximum);
  if (param.integer) {
    value = std::round(value);
    // Rounding may step outside a bound that is not itself an integer.
    if (param.boundedBelow && value < param.minimum) value = std::ceil(param.minimum);
    if (param.boundedAbove && value > param.maximum) value = std::floor(param.maximum);
  }
  return value;
}

double LogFloor(const ParamInfo& param) {
  return param.minimum > 0.0 ? param.minimum : param.maximum * kLogSpan;
}

double ToNormalised(const ParamInfo& param, double value) {
  if (param.toggled) return value > 0.0 ? 1.0 : 0.0;
  if (!(param.maximum > param.minimum)) return 0.0;
  double normalised;
  if (UsesLogScale(param)) {
    const double floor = LogFloor(param);
    normalised = value <= floor ? 0.0 : std::log(value / floor) / std::log(param.maximum / floor);
  } else {
    normalised = (value - param.minimum) / (param.maximum - param.minimum);
  }
  return std::clamp(normalised, 0.0, 1.0);
}

double FromNormalised(const ParamInfo& param, double normalised) {
  normalised = std::isnan(normalised) ? 0.0 : std::clamp(normalised, 0.0, 1.0);
  if (param.toggled) return normalised >= 0.5 ? 1.0 : 0.0;
  double value;
  if (normalised == 0.0) {
    value = param.minimum;
  } else if (UsesLogScale(param)) {
    const double floor = LogFloor(param);
    value = floor * std::pow(param.maximum / floor, normalised);
  } else {
    value = param.minimum + normalised * (param.maximum - param.minimum);
  }
  if (param.integer) value = std::round(value);
  return std::clamp(value, param.minimum, param.maximum);
}

}  // namespace qel::plugins

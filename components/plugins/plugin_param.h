// A plug-in's control input as the control shows it: a name, a unit, a range
// and a default, in the plug-in's own units, plus the 0…1 position a slider
// uses for it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace qel::plugins {

struct ParamInfo {
  // Stable within the plug-in: the LV2 port symbol, the LADSPA port index.
  // The state store keys values by it.
  std::string key;
  std::string name;
  std::string unit;  // "dB", "Hz", "ms"…; empty when the plug-in names none
  // The working range, always finite with minimum <= maximum. A side the
  // plug-in leaves open is completed by the host (see README.md); values are
  // only clamped to the sides the plug-in declares.
  double minimum = 0.0;
  double maximum = 1.0;
  double defaultValue = 0.0;
  bool boundedBelow = true;
  bool boundedAbove = true;
  bool logarithmic = false;
  bool integer = false;
  bool toggled = false;
};

// Sets the working range from the bounds the plug-in declares (param's
// boundedBelow and boundedAbove say which of `lower` and `upper` count). An
// open side is completed so that a slider has somewhere to go: down to zero
// (or one below an upper bound at or under zero, or to a negative `hint`), up
// to ten times `hint` (a default that does not depend on the range) or the
// lower bound, and at least one above the lower bound.
void CompleteRange(ParamInfo& param, double lower, double upper, double hint);

// The value the plug-in accepts for `value`: clamped to the declared bounds,
// rounded for integer ports, 0 or 1 for toggles (anything above 0 is on).
double ClampParam(const ParamInfo& param, double value);

// The lowest value a logarithmic mapping starts from: the minimum when it is
// above zero, otherwise a thousandth of the maximum (a 60 dB span), since a
// logarithm cannot start at zero.
double LogFloor(const ParamInfo& param);

// The slider position of `value`, in 0…1: linear over the working range, or
// linear in the logarithm from LogFloor to the maximum for logarithmic ports
// (values at or below the floor are 0). Toggles are 0 or 1.
double ToNormalised(const ParamInfo& param, double value);

// The value at slider position `normalised` (clamped to 0…1), the inverse of
// ToNormalised; 0 gives the minimum itself, also on logarithmic ports.
// Integer ports round to the nearest step, toggles switch at one half.
double FromNormalised(const ParamInfo& param, double normalised);

// The current values of one plug-in's parameters, shared by the host (which
// sets them) and every running instance (which reads them before each call),
// possibly from another thread.
class ParamValues {
 public:
  explicit ParamValues(size_t count) : values_(count) {}
  size_t Size() const { return values_.size(); }
  double Get(size_t index) const { return values_[index].load(std::memory_order_relaxed); }
  void Set(size_t index, double value) { values_[index].store(value, std::memory_order_relaxed); }

 private:
  std::vector<std::atomic<double>> values_;
};

}  // namespace qel::plugins

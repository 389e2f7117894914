#include "filters/filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeFilter() {
  return std::make_unique<filters::Filter>();
}

namespace filters {

bool Filter::SetParam(int index, const ParamValue& value) {
  double v = 0;
  if (!AsNumber(value, v) || !std::isfinite(v)) return false;
  switch (index) {
    case 1:
      frequency_ = v;
      break;
    case 2:
      steepness_ = v;
      break;
    case 3: {
      const double type = std::round(v);
      if (type < 1 || type > 7) return false;
      type_ = static_cast<FilterType>(static_cast<int>(type));
      break;
    }
    case 4:
      gainDb_ = v;
      break;
    default:
      return false;
  }
  dirty_ = true;
  return true;
}

void Filter::Start(const StreamSetup& setup) {
  sampleRate_ = setup.sampleRate > 0 ? setup.sampleRate : 44100;
  // Far below the smallest step of any sample size, far above the subnormals.
  floor_ = 1e-20 * std::max(setup.fullScale, 1.0);
  state_ = {};
  Design();
}

void Filter::Design() {
  const double frequency = std::clamp(frequency_, 1.0, 0.49 * sampleRate_);
  double steepness = 0;
  if (IsShelf(type_)) {
    steepness = std::clamp(steepness_.value_or(kDefaultSlope), kMinSlope, kMaxSlope);
  } else {
    steepness = std::clamp(steepness_.value_or(kDefaultQ), kMinQ, kMaxQ);
  }
  const double gainDb = std::clamp(gainDb_, -kMaxGainDb, kMaxGainDb);
  coefficients_ =
      DesignCookbook(type_, 2 * std::numbers::pi * frequency / sampleRate_, steepness, gainDb);
  dirty_ = false;
}

void Filter::Process(std::span<const double> in, const BlockInfo& /*info*/,
                     std::vector<double>& out) {
  // A live change takes over here with the memory kept: direct form I holds
  // the recent input and output, which remain the right history for the new
  // coefficients.
  if (dirty_) Design();
  const std::size_t offset = out.size();
  out.resize(offset + in.size());
  RunBiquad(coefficients_, state_, in.data(), out.data() + offset, in.size());
  FlushTiny(state_, floor_);
}

}  // namespace filters
}  // namespace qel::effects

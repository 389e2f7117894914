#include "vibrato.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects::time {

namespace {

constexpr double kMaxDepthPercent = 20;
constexpr double kMaxRateHz = 50;
// Half the delay swing: at very slow rates the asked deviation would need an
// unbounded delay, so the swing stops at 2·kMaxAmplitude seconds.
constexpr double kMaxAmplitudeSeconds = 0.1;
constexpr double kMinDelaySamples = 2;

}  // namespace

bool Vibrato::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void Vibrato::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  line_.Allocate(static_cast<size_t>(kMinDelaySamples + 2 * kMaxAmplitudeSeconds * rate_) + 4);
  phase_.Reset(params_[3] / 360);
  Apply(true);
}

void Vibrato::Apply(bool immediately) {
  dirty_ = false;
  const double deviation = std::clamp(params_[1], 0.0, kMaxDepthPercent) / 100;
  const double lfo = std::clamp(params_[2], 0.0, kMaxRateHz);
  phase_.SetIncrement(lfo / rate_);
  // delay(t) = A·(1 − cos ωt) changes the frequency by the factor
  // 1 − A·ω·sin ωt, so a peak deviation δ needs A = δ / ω.
  const double amplitude =
      lfo > 0 ? std::min(deviation / (2 * std::numbers::pi * lfo), kMaxAmplitudeSeconds) : 0.0;
  const double sweep = 2 * amplitude * rate_;
  if (immediately) {
    sweep_.Reset(sweep);
  } else {
    sweep_.SetTarget(sweep, SmoothSamples(rate_));
  }
}

void Vibrato::Process(std::span<const double> in, const BlockInfo& /*info*/,
                      std::vector<double>& out) {
  if (dirty_) Apply(false);
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    line_.Write(in[i]);
    const double delay = kMinDelaySamples + sweep_.Next() * RaisedCosine(phase_.value());
    out[i] = line_.ReadCubic(delay);
    line_.Advance();
    phase_.Advance();
  }
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakeVibrato() {
  return std::make_unique<time::Vibrato>();
}
}  // namespace qel::effects

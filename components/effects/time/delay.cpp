#include "delay.h"

#include <algorithm>
#include <cmath>

#include "processors.h"

namespace qel::effects::time {

namespace {

constexpr double kMaxDelayMs = 10000;
// The line always holds at least this much, so a preview can lengthen the
// delay without reallocating.
constexpr double kMinCapacityMs = 2000;

size_t DelaySamples(double ms, double rate) {
  const double clamped = std::clamp(ms, 0.0, kMaxDelayMs);
  return std::max<size_t>(1, static_cast<size_t>(std::llround(clamped * rate / 1000)));
}

}  // namespace

bool Delay::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void Delay::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  const size_t wanted = DelaySamples(params_[1], rate_);
  line_.Allocate(std::max(wanted, DelaySamples(kMinCapacityMs, rate_)) + 1);
  Apply(true);
}

void Delay::Apply(bool immediately) {
  dirty_ = false;
  const size_t wanted = std::min(DelaySamples(params_[1], rate_), line_.size() - 1);
  const double mix = std::clamp(params_[2], 0.0, 100.0) / 100;
  const double feedback = std::clamp(params_[3], -99.0, 99.0) / 100;
  if (immediately) {
    delay_ = oldDelay_ = wanted;
    fade_.Reset(1.0);
    mix_.Reset(mix);
    feedback_.Reset(feedback);
    return;
  }
  const int64_t ramp = SmoothSamples(rate_);
  if (wanted != delay_) {
    oldDelay_ = delay_;
    delay_ = wanted;
    fade_.Reset(0.0);
    fade_.SetTarget(1.0, ramp);
  }
  mix_.SetTarget(mix, ramp);
  feedback_.SetTarget(feedback, ramp);
}

void Delay::Process(std::span<const double> in, const BlockInfo& /*info*/,
                    std::vector<double>& out) {
  if (dirty_) Apply(false);
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const double w = fade_.Next();
    // Outside a cross-fade w is exactly 1 and this is exactly the new tap.
    const double d = w * line_.Tap(delay_) + (1.0 - w) * line_.Tap(oldDelay_);
    line_.Write(in[i] + feedback_.Next() * d + kAntiDenormal);
    line_.Advance();
    out[i] = in[i] + mix_.Next() * d;
  }
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakeDelay() {
  return std::make_unique<time::Delay>();
}
}  // namespace qel::effects

#include "modulated_delay.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "processors.h"

namespace qel::effects::time {

namespace {

constexpr double kMaxBaseMs = 100;
constexpr double kMaxSweepMs = 100;
constexpr double kMaxRateHz = 50;
// The cubic read needs one written sample on each side of the read point.
constexpr double kMinDelaySamples = 2;

}  // namespace

bool ModulatedDelay::SetParam(int index, const ParamValue& value) {
  double mode = 0;
  if (index == 7 && (!AsNumber(value, mode) || (mode != 1.0 && mode != 2.0))) return false;
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void ModulatedDelay::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  const double longest = kMinDelaySamples + (kMaxBaseMs + kMaxSweepMs) * rate_ / 1000;
  line_.Allocate(static_cast<size_t>(longest) + 4);
  phase_.Reset(params_[6] / 360);
  Apply(true);
}

void ModulatedDelay::Apply(bool immediately) {
  dirty_ = false;
  const double ms = rate_ / 1000;
  const double base = std::max(kMinDelaySamples, std::clamp(params_[1], 0.0, kMaxBaseMs) * ms);
  const double sweep = std::clamp(params_[4], 0.0, kMaxSweepMs) * ms;
  const double mix = std::clamp(params_[2], 0.0, 100.0) / 100;
  const double feedback = std::clamp(params_[3], -95.0, 95.0) / 100;
  phase_.SetIncrement(std::clamp(params_[5], 0.0, kMaxRateHz) / rate_);
  chorus_ = params_[7] == 2.0;
  const int64_t ramp = SmoothSamples(rate_);
  for (auto [r, v] :
       {std::pair{&base_, base}, {&sweep_, sweep}, {&mix_, mix}, {&feedback_, feedback}}) {
    if (immediately) {
      r->Reset(v);
    } else {
      r->SetTarget(v, ramp);
    }
  }
}

template <int Voices>
void ModulatedDelay::Run(std::span<const double> in, std::vector<double>& out) {
  constexpr double kVoiceGain = 1.0 / Voices;
  for (size_t i = 0; i < in.size(); ++i) {
    const double base = base_.Next();
    const double sweep = sweep_.Next();
    const double p = phase_.value();
    double sum = 0;
    for (int v = 0; v < Voices; ++v) {
      // Voices sit a third of a cycle apart.
      double pv = p + static_cast<double>(v) / Voices;
      pv = pv >= 1.0 ? pv - 1.0 : pv;
      sum += line_.ReadCubic(base + sweep * RaisedCosine(pv));
    }
    const double d = sum * kVoiceGain;
    line_.Write(in[i] + feedback_.Next() * d + kAntiDenormal);
    line_.Advance();
    phase_.Advance();
    out[i] = in[i] + mix_.Next() * d;
  }
}

void ModulatedDelay::Process(std::span<const double> in, const BlockInfo& /*info*/,
                             std::vector<double>& out) {
  if (dirty_) Apply(false);
  out.resize(in.size());
  if (chorus_) {
    Run<3>(in, out);
  } else {
    Run<1>(in, out);
  }
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakeModulatedDelay() {
  return std::make_unique<time::ModulatedDelay>();
}
}  // namespace qel::effects

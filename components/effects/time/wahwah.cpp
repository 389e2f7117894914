#include "wahwah.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects::time {

namespace {

constexpr double kMaxRateHz = 50;
constexpr double kSweepOctavesAtFullDepth = 4;
constexpr double kMinFrequencyHz = 10;
constexpr double kMaxFrequencyFraction = 0.45;  // of the sample rate
constexpr double kMinQ = 0.1;
constexpr double kMaxQ = 50;
// States below this are flushed to zero at each knot: a band-pass driven by
// silence would otherwise decay into slow subnormal numbers.
constexpr double kFlush = 1e-30;

}  // namespace

bool WahWah::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

double WahWah::Tuning(double phase) const {
  const double hz =
      std::min(baseHz_ * std::exp2(octaves_ * RaisedCosine(phase)), kMaxFrequencyFraction * rate_);
  return std::tan(std::numbers::pi * hz / rate_);
}

void WahWah::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  ic1_ = ic2_ = 0;
  phase_.Reset(params_[3] / 360);
  Apply();
  gFrom_ = Tuning(phase_.value());
  knotIndex_ = 0;
}

void WahWah::Apply() {
  dirty_ = false;
  octaves_ = kSweepOctavesAtFullDepth * std::clamp(params_[1], 0.0, 100.0) / 100;
  phase_.SetIncrement(std::clamp(params_[2], 0.0, kMaxRateHz) / rate_);
  damping_ = 1.0 / std::clamp(params_[4], kMinQ, kMaxQ);
  baseHz_ = std::clamp(params_[5], kMinFrequencyHz, kMaxFrequencyFraction * rate_);
}

void WahWah::Process(std::span<const double> in, const BlockInfo& /*info*/,
                     std::vector<double>& out) {
  if (dirty_) Apply();
  out.resize(in.size());
  const double k = damping_;
  double ic1 = ic1_;
  double ic2 = ic2_;
  size_t i = 0;
  while (i < in.size()) {
    if (knotIndex_ == 0) {
      if (std::abs(ic1) < kFlush) ic1 = 0;
      if (std::abs(ic2) < kFlush) ic2 = 0;
      phase_.Advance(kKnot);
      gTo_ = Tuning(phase_.value());
      gStep_ = (gTo_ - gFrom_) / kKnot;
    }
    const size_t run = std::min<size_t>(in.size() - i, static_cast<size_t>(kKnot - knotIndex_));
    for (size_t j = 0; j < run; ++j, ++i) {
      const double g = gFrom_ + gStep_ * knotIndex_;
      ++knotIndex_;
      // Simper's trapezoidal SVF; k·v1 is the band-pass with unity gain at
      // the centre frequency.
      const double a1 = 1.0 / (1.0 + g * (g + k));
      const double a2 = g * a1;
      const double a3 = g * a2;
      const double v3 = in[i] - ic2;
      const double v1 = a1 * ic1 + a2 * v3;
      const double v2 = ic2 + a2 * ic1 + a3 * v3;
      ic1 = 2 * v1 - ic1;
      ic2 = 2 * v2 - ic2;
      out[i] = k * v1;
    }
    if (knotIndex_ == kKnot) {
      knotIndex_ = 0;
      gFrom_ = gTo_;
    }
  }
  ic1_ = ic1;
  ic2_ = ic2;
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakeWahWah() {
  return std::make_unique<time::WahWah>();
}
}  // namespace qel::effects

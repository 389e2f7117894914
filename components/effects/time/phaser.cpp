#include "phaser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects::time {

namespace {

constexpr double kMaxSpeedHz = 40;
constexpr double kSweepOctavesAtFullDepth = 5;
constexpr double kMinFrequencyHz = 10;
constexpr double kMaxFrequencyFraction = 0.45;  // of the sample rate
constexpr double kMaxFeedbackPercent = 95;

}  // namespace

bool Phaser::SetParam(int index, const ParamValue& value) {
  if (index != 9) {
    if (!params_.Set(index, value)) return false;
    dirty_ = true;
    return true;
  }
  // The control sends the feedback percentage and then the switch, both to
  // P9: −1 switches feedback on, 0 off, anything else is the percentage. A 0
  // followed at once by −1 was a percentage of 0.
  double v = 0;
  if (!AsNumber(value, v) || !std::isfinite(v)) return false;
  if (v == -1.0) {
    feedbackOn_ = true;
    if (lastP9WasZero_) feedbackPercent_ = 0;
  } else if (v == 0.0) {
    feedbackOn_ = false;
  } else {
    feedbackPercent_ = v;
  }
  lastP9WasZero_ = v == 0.0;
  dirty_ = true;
  return true;
}

double Phaser::Coefficient(double phase) const {
  const double u = triangle_ ? 1.0 - std::abs(2.0 * phase - 1.0) : RaisedCosine(phase);
  const double hz = std::min(baseHz_ * std::exp2(octaves_ * u), kMaxFrequencyFraction * rate_);
  const double t = std::tan(std::numbers::pi * hz / rate_);
  return (t - 1.0) / (t + 1.0);
}

void Phaser::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  x1_.fill(0.0);
  y1_.fill(0.0);
  lastWet_ = 0;
  phase_.Reset(0.0);
  Apply(true);
  coefFrom_ = Coefficient(phase_.value());
  knotIndex_ = 0;
}

void Phaser::Apply(bool immediately) {
  dirty_ = false;
  phase_.SetIncrement(std::clamp(params_[2], 0.0, kMaxSpeedHz) / rate_);
  // ShapeType: 0 sine, 1 triangle; a boolean true (−1) counts as 1.
  triangle_ = std::abs(std::round(params_[3])) >= 1.0;
  baseHz_ = std::clamp(params_[4], kMinFrequencyHz, kMaxFrequencyFraction * rate_);
  octaves_ = kSweepOctavesAtFullDepth * std::clamp(params_[7], 0.0, 100.0) / 100;
  int stages = static_cast<int>(std::clamp(std::round(params_[8]), 2.0, double{kMaxStages}));
  stages_ = stages + (stages & 1);
  feedback_ = feedbackOn_
                  ? std::clamp(feedbackPercent_, -kMaxFeedbackPercent, kMaxFeedbackPercent) / 100
                  : 0.0;
  const double dry = std::clamp(params_[5], 0.0, 100.0) / 100 * (params_[11] != 0 ? -1 : 1);
  const double wet = std::clamp(params_[6], 0.0, 100.0) / 100 * (params_[10] != 0 ? -1 : 1);
  if (immediately) {
    dry_.Reset(dry);
    wet_.Reset(wet);
  } else {
    dry_.SetTarget(dry, SmoothSamples(rate_));
    wet_.SetTarget(wet, SmoothSamples(rate_));
  }
}

void Phaser::Process(std::span<const double> in, const BlockInfo& /*info*/,
                     std::vector<double>& out) {
  if (dirty_) Apply(false);
  out.resize(in.size());
  const int stages = stages_;
  double x1[kMaxStages];
  double y1[kMaxStages];
  std::copy(x1_.begin(), x1_.end(), x1);
  std::copy(y1_.begin(), y1_.end(), y1);
  double last = lastWet_;
  size_t i = 0;
  while (i < in.size()) {
    if (knotIndex_ == 0) {
      phase_.Advance(kKnot);
      coefTo_ = Coefficient(phase_.value());
      coefStep_ = (coefTo_ - coefFrom_) / kKnot;
    }
    const size_t run = std::min<size_t>(in.size() - i, static_cast<size_t>(kKnot - knotIndex_));
    for (size_t j = 0; j < run; ++j, ++i) {
      const double a = coefFrom_ + coefStep_ * knotIndex_;
      ++knotIndex_;
      double s = in[i] + feedback_ * last + kAntiDenormal;
      for (int k = 0; k < stages; ++k) {
        const double y = a * (s - y1[k]) + x1[k];
        x1[k] = s;
        y1[k] = y;
        s = y;
      }
      last = s;
      out[i] = dry_.Next() * in[i] + wet_.Next() * s;
    }
    if (knotIndex_ == kKnot) {
      knotIndex_ = 0;
      coefFrom_ = coefTo_;
    }
  }
  std::copy(x1, x1 + kMaxStages, x1_.begin());
  std::copy(y1, y1 + kMaxStages, y1_.begin());
  lastWet_ = last;
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakePhaser() {
  return std::make_unique<time::Phaser>();
}
}  // namespace qel::effects

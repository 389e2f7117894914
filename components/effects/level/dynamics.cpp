#include "dynamics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "level_common.h"
#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeDynamics() {
  return std::make_unique<level::Dynamics>();
}

namespace level {

namespace {

constexpr double kLog2Of10Over20 = 0.16609640474436813;  // log2(10) / 20

double DbToGain(double db) {
  return std::exp2(db * kLog2Of10Over20);
}

// One-pole coefficient of a time constant, advanced `frames` frames at once.
double PoleOver(double ms, double frames, double sampleRate) {
  return std::exp(-frames / (ms / 1000.0 * sampleRate));
}

}  // namespace

bool Dynamics::SetParam(int index, const ParamValue& value) {
  double d = 0;
  if (!ReadFinite(value, d)) return false;
  switch (index) {
    case 1:
      thresholdDb_ = d;
      return true;
    case 2:
      ratio_ = d;
      return true;
    case 3:
      rmsMs_ = d;
      return true;
    case 4:
      if (d != kCompressor && d != kExpander) return false;
      mode_ = static_cast<int>(d);
      return true;
    case 5:
      makeUpDb_ = d;
      return true;
    default:
      return false;
  }
}

Dynamics::Settings Dynamics::Resolve() const {
  Settings s;
  s.thresholdDb = std::clamp(thresholdDb_, kMinThresholdDb, kMaxThresholdDb);
  const double ratio = std::clamp(ratio_, kMinRatio, kMaxRatio);
  s.slope = mode_ == kExpander ? ratio - 1.0 : 1.0 - 1.0 / ratio;
  s.detector = 1.0 - PoleOver(std::clamp(rmsMs_, kMinRmsMs, kMaxRmsMs), period_, sampleRate_);
  s.makeUpDb = std::clamp(makeUpDb_, -kMaxMakeUpDb, kMaxMakeUpDb);
  return s;
}

void Dynamics::Start(const StreamSetup& setup) {
  sampleRate_ = setup.sampleRate;
  // A sine's mean square is half its squared peak: reading 2·ms makes the
  // level of a sine the level of its peak, full scale being 0 dB.
  levelOffsetDb_ = 10.0 * std::log10(2.0 / (setup.fullScale * setup.fullScale));
  const long quarter = std::lround(setup.sampleRate * kPeriodMs / 1000.0 / 4.0);
  period_ = static_cast<int>(std::clamp<long>(4 * quarter, 8, kMaxPeriod));
  for (int p = 0; p < period_; ++p)
    ramp_[static_cast<size_t>(p)] = p + 1;
  attack_ = PoleOver(kAttackMs, period_, sampleRate_);
  release_ = PoleOver(kReleaseMs, period_, sampleRate_);

  const Settings s = Resolve();
  fill_ = 0;
  squares_ = {};
  meanSquare_ = 0.0;
  gainDb_ = s.makeUpDb;
  gainStart_ = DbToGain(gainDb_);
  gainStep_ = 0.0;
}

void Dynamics::EndPeriod(const Settings& s) {
  const double mean = ((squares_[0] + squares_[1]) + (squares_[2] + squares_[3])) / period_;
  squares_ = {};
  meanSquare_ += s.detector * (mean - meanSquare_);
  const double levelDb = 10.0 * std::log10(std::max(meanSquare_, 1e-300)) + levelOffsetDb_;
  const double over = levelDb - s.thresholdDb;
  double targetDb = s.makeUpDb;
  bool attacking = false;
  if (mode_ == kExpander) {
    if (over < 0) targetDb += std::max(over * s.slope, -kMaxExpansionDb);
    attacking = targetDb > gainDb_;
  } else {
    if (over > 0) targetDb -= over * s.slope;
    attacking = targetDb < gainDb_;
  }
  const double pole = attacking ? attack_ : release_;
  gainDb_ = targetDb + pole * (gainDb_ - targetDb);
  const double gainEnd = DbToGain(gainDb_);
  gainStart_ += period_ * gainStep_;
  gainStep_ = (gainEnd - gainStart_) / period_;
}

void Dynamics::Process(std::span<const double> in, const BlockInfo& /*info*/,
                       std::vector<double>& out) {
  const Settings s = Resolve();
  const size_t n = in.size();
  out.resize(n);
  const double* x = in.data();
  double* y = out.data();
  const auto period = static_cast<size_t>(period_);
  const double* ramp = ramp_.data();
  size_t i = 0;
  while (i < n) {
    const double g0 = gainStart_;
    const double dg = gainStep_;
    size_t take = 0;
    if (fill_ == 0 && n - i >= period) {
      // A whole period: the same arithmetic as below, in a loop the compiler
      // can vectorise.
      take = period;
      const double* xp = x + i;
      double* yp = y + i;
      for (size_t p = 0; p < period; ++p) {
        yp[p] = xp[p] * (g0 + ramp[p] * dg);
      }
      double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
      for (size_t p = 0; p < period; p += 4) {
        s0 += xp[p] * xp[p];
        s1 += xp[p + 1] * xp[p + 1];
        s2 += xp[p + 2] * xp[p + 2];
        s3 += xp[p + 3] * xp[p + 3];
      }
      squares_ = {s0, s1, s2, s3};
    } else {
      take = std::min(period - static_cast<size_t>(fill_), n - i);
      for (size_t j = 0; j < take; ++j) {
        const size_t p = static_cast<size_t>(fill_) + j;
        const double v = x[i + j];
        y[i + j] = v * (g0 + ramp[p] * dg);
        squares_[p & 3] += v * v;
      }
    }
    fill_ += static_cast<int>(take);
    i += take;
    if (fill_ == period_) {
      EndPeriod(s);
      fill_ = 0;
    }
  }
}

}  // namespace level
}  // namespace qel::effects

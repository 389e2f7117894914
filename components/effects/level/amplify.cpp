#include "amplify.h"

#include <algorithm>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeAmplify() {
  return std::make_unique<level::Amplify>();
}

namespace level {

bool Amplify::SetParam(int index, const ParamValue& value) {
  if (index != 1) return false;
  return ReadFinite(value, percent_);
}

double Amplify::TargetGain() const {
  return std::clamp(percent_, -kMaxPercent, kMaxPercent) / 100.0;
}

void Amplify::Start(const StreamSetup& setup) {
  gain_ = TargetGain();
  glideFrames_ = GlideFrames(setup.sampleRate);
  glide_.Reset();
}

void Amplify::Process(std::span<const double> in, const BlockInfo& /*info*/,
                      std::vector<double>& out) {
  const double target = TargetGain();
  if (target != gain_) {
    glide_.Restart(gain_ + glide_.Current() - target, glideFrames_);
    gain_ = target;
  }
  const size_t n = in.size();
  out.resize(n);
  const double* x = in.data();
  double* y = out.data();
  const size_t gliding = std::min<size_t>(n, static_cast<size_t>(glide_.Left()));
  for (size_t i = 0; i < gliding; ++i) {
    y[i] = x[i] * (gain_ + glide_.At(static_cast<int64_t>(i)));
  }
  glide_.Advance(static_cast<int64_t>(gliding));
  const double g = gain_;
  for (size_t i = gliding; i < n; ++i) {
    y[i] = x[i] * g;
  }
}

}  // namespace level
}  // namespace qel::effects

#include "normalize.h"

#include <algorithm>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeNormalize() {
  return std::make_unique<level::Normalize>();
}

namespace level {

bool Normalize::SetParam(int index, const ParamValue& value) {
  double d = 0;
  switch (index) {
    case 1:
      return ReadFinite(value, percent_);
    case 2:
      if (!ReadFinite(value, d)) return false;
      removeDc_ = d != 0;
      return true;
    default:
      return false;
  }
}

void Normalize::Start(const StreamSetup& setup) {
  fullScale_ = setup.fullScale;
  glideFrames_ = GlideFrames(setup.sampleRate);
  min_ = std::numeric_limits<double>::infinity();
  max_ = -std::numeric_limits<double>::infinity();
  sum_ = 0;
  count_ = 0;
  started_ = false;
  gainGlide_.Reset();
  offsetGlide_.Reset();
}

void Normalize::Measure(std::span<const double> in) {
  // Four partial sums and extremes keep the loop free of a single long
  // dependency chain.
  double lo[4] = {min_, min_, min_, min_};
  double hi[4] = {max_, max_, max_, max_};
  double sum[4] = {0, 0, 0, 0};
  const size_t n = in.size();
  const size_t whole = n - n % 4;
  for (size_t i = 0; i < whole; i += 4) {
    for (size_t k = 0; k < 4; ++k) {
      const double x = in[i + k];
      lo[k] = std::min(lo[k], x);
      hi[k] = std::max(hi[k], x);
      sum[k] += x;
    }
  }
  for (size_t i = whole; i < n; ++i) {
    lo[0] = std::min(lo[0], in[i]);
    hi[0] = std::max(hi[0], in[i]);
    sum[0] += in[i];
  }
  min_ = std::min({lo[0], lo[1], lo[2], lo[3]});
  max_ = std::max({hi[0], hi[1], hi[2], hi[3]});
  sum_ += (sum[0] + sum[1]) + (sum[2] + sum[3]);
  count_ += static_cast<int64_t>(n);
}

Normalize::Map Normalize::Resolve() const {
  Map m;
  if (count_ == 0) return m;
  if (removeDc_) m.offset = sum_ / static_cast<double>(count_);
  const double peak = std::max(max_ - m.offset, m.offset - min_);
  if (peak > 0) m.gain = std::clamp(percent_, 0.0, 100.0) / 100.0 * fullScale_ / peak;
  return m;
}

void Normalize::Process(std::span<const double> in, const BlockInfo& /*info*/,
                        std::vector<double>& out) {
  const Map map = Resolve();
  if (started_ && (map.gain != map_.gain || map.offset != map_.offset)) {
    gainGlide_.Restart(map_.gain + gainGlide_.Current() - map.gain, glideFrames_);
    offsetGlide_.Restart(map_.offset + offsetGlide_.Current() - map.offset, glideFrames_);
  }
  map_ = map;
  started_ = true;

  const size_t n = in.size();
  out.resize(n);
  const double* x = in.data();
  double* y = out.data();
  const size_t gliding =
      std::min<size_t>(n, static_cast<size_t>(std::max(gainGlide_.Left(), offsetGlide_.Left())));
  for (size_t i = 0; i < gliding; ++i) {
    const auto k = static_cast<int64_t>(i);
    const double g = map_.gain + (k < gainGlide_.Left() ? gainGlide_.At(k) : 0.0);
    const double o = map_.offset + (k < offsetGlide_.Left() ? offsetGlide_.At(k) : 0.0);
    y[i] = g * (x[i] - o);
  }
  gainGlide_.Advance(static_cast<int64_t>(gliding));
  offsetGlide_.Advance(static_cast<int64_t>(gliding));
  const double g = map_.gain;
  const double o = map_.offset;
  for (size_t i = gliding; i < n; ++i) {
    y[i] = g * (x[i] - o);
  }
}

}  // namespace level
}  // namespace qel::effects

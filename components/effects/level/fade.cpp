#include "fade.h"

#include <algorithm>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeFade() {
  return std::make_unique<level::Fade>();
}

namespace level {

bool Fade::SetParam(int index, const ParamValue& value) {
  switch (index) {
    case 1:
      return ReadFinite(value, fromPercent_);
    case 2:
      return ReadFinite(value, toPercent_);
    case 3:
      return ReadFinite(value, durationMs_);
    default:
      return false;
  }
}

double Fade::Ramp::At(int64_t n) const {
  if (frames == 0) return from;
  if (n >= frames - 1) return to;
  if (n <= 0) return from;
  return from + (to - from) * (static_cast<double>(n) * (1.0 / static_cast<double>(frames - 1)));
}

Fade::Ramp Fade::Resolve(int64_t rangeFrames) const {
  Ramp r;
  r.from = std::clamp(fromPercent_, -kMaxPercent, kMaxPercent) / 100.0;
  r.to = std::clamp(toPercent_, -kMaxPercent, kMaxPercent) / 100.0;
  if (durationMs_ > 0) {
    const double ms = std::min(durationMs_, kMaxDurationMs);
    r.frames = std::max<int64_t>(1, std::llround(ms * sampleRate_ / 1000.0));
  } else {
    r.frames = std::max<int64_t>(0, rangeFrames);
  }
  return r;
}

void Fade::Start(const StreamSetup& setup) {
  sampleRate_ = setup.sampleRate;
  glideFrames_ = GlideFrames(setup.sampleRate);
  glide_.Reset();
  started_ = false;
}

void Fade::Process(std::span<const double> in, const BlockInfo& info, std::vector<double>& out) {
  const Ramp ramp = Resolve(info.rangeFrames);
  if (started_ && !(ramp == ramp_)) {
    glide_.Restart(ramp_.At(info.position) + glide_.Current() - ramp.At(info.position),
                   glideFrames_);
  }
  ramp_ = ramp;
  started_ = true;

  const size_t n = in.size();
  out.resize(n);
  const double* x = in.data();
  double* y = out.data();
  const int64_t pos = info.position;
  // Frames [0, rampEnd) of this block lie strictly inside the ramp; the rest
  // hold `to` (or `from` when the ramp length is unknown).
  size_t rampEnd = 0;
  double hold = ramp_.from;
  if (ramp_.frames > 0) {
    hold = ramp_.to;
    rampEnd = static_cast<size_t>(
        std::clamp<int64_t>(ramp_.frames - 1 - pos, 0, static_cast<int64_t>(n)));
  }
  const double from = ramp_.from;
  const double span = ramp_.to - ramp_.from;
  const double step = 1.0 / static_cast<double>(std::max<int64_t>(1, ramp_.frames - 1));
  const double base = static_cast<double>(pos);
  for (size_t i = 0; i < rampEnd; ++i) {
    y[i] = x[i] * (from + span * ((base + static_cast<double>(i)) * step));
  }
  for (size_t i = rampEnd; i < n; ++i) {
    y[i] = x[i] * hold;
  }
  const size_t gliding = std::min<size_t>(n, static_cast<size_t>(glide_.Left()));
  for (size_t i = 0; i < gliding; ++i) {
    y[i] += x[i] * glide_.At(static_cast<int64_t>(i));
  }
  glide_.Advance(static_cast<int64_t>(gliding));
}

}  // namespace level
}  // namespace qel::effects

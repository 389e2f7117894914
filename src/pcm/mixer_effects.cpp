#include "pcm/mixer_effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace PCM_CODEC {

void CLowPass::Design(double cutoffHz, double sampleRate) {
  const double high = 0.45 * sampleRate;
  const double low = std::min(10.0, high);
  cutoff_ = std::clamp(cutoffHz, low, high);
  const double k = std::tan(std::numbers::pi * cutoff_ / sampleRate);
  const double q = std::numbers::sqrt2 / 2.0;
  const double norm = 1.0 / (1.0 + k / q + k * k);
  Section s;
  s.b0 = k * k * norm;
  s.b1 = 2.0 * s.b0;
  s.b2 = s.b0;
  s.a1 = 2.0 * (k * k - 1.0) * norm;
  s.a2 = (1.0 - k / q + k * k) * norm;
  sections_.fill(s);
}

void CLowPass::Reset() {
  for (auto& s : sections_)
    s.s1 = s.s2 = 0.0;
}

void CLowPass::Process(std::span<double> samples) {
  for (auto& s : sections_) {
    for (double& x : samples) {
      const double y = s.b0 * x + s.s1;
      s.s1 = s.b1 * x - s.a1 * y + s.s2;
      s.s2 = s.b2 * x - s.a2 * y;
      x = y;
    }
  }
}

void CDelayLine::SetDelay(std::size_t samples) {
  line_.assign(samples, 0.0);
}

void CDelayLine::Process(std::span<double> samples) {
  const std::size_t d = line_.size();
  if (d == 0 || samples.empty()) return;
  scratch_.resize(d + samples.size());
  std::copy(line_.begin(), line_.end(), scratch_.begin());
  std::copy(samples.begin(), samples.end(), scratch_.begin() + static_cast<std::ptrdiff_t>(d));
  std::copy(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(samples.size()),
            samples.begin());
  std::copy(scratch_.end() - static_cast<std::ptrdiff_t>(d), scratch_.end(), line_.begin());
}

namespace {

constexpr ReverbPreset kReverbPresets[] = {
    {"small room", 0.6, 0.5, 0.35, 0.12},
    {"medium room", 1.0, 1.0, 0.3, 0.18},
    {"hall", 1.5, 1.8, 0.25, 0.22},
    {"large hall", 2.0, 3.0, 0.2, 0.28},
};

// Mutually prime-ish delays (ms) in the classic Schroeder proportions.
constexpr double kCombMs[4] = {29.7, 37.1, 41.1, 43.7};
constexpr double kAllPassMs[2] = {5.0, 1.7};
constexpr double kAllPassGain = 0.7;
// Channels after the first get slightly longer combs so they decorrelate.
constexpr double kSpreadMs = 0.52;

}  // namespace

const ReverbPreset* FindReverbPreset(std::int32_t preset) {
  if (preset < 1 || preset > static_cast<std::int32_t>(std::size(kReverbPresets))) return nullptr;
  return &kReverbPresets[preset - 1];
}

void CReverb::Configure(const ReverbPreset& preset, double sampleRate, int channel) {
  auto samples = [&](double ms) {
    return std::max<std::size_t>(1,
                                 static_cast<std::size_t>(std::lround(ms * sampleRate / 1000.0)));
  };
  const double spread = (channel % 2) * kSpreadMs + (channel / 2) * kSpreadMs * 0.37;
  for (int k = 0; k < 4; ++k) {
    Comb& c = combs_[static_cast<std::size_t>(k)];
    const std::size_t length = samples(kCombMs[k] * preset.size + spread);
    c.buffer.assign(length, 0.0);
    c.pos = 0;
    c.store = 0;
    const double seconds = static_cast<double>(length) / sampleRate;
    c.feedback = std::pow(10.0, -3.0 * seconds / preset.decaySec);
  }
  for (int k = 0; k < 2; ++k) {
    AllPass& a = allPasses_[static_cast<std::size_t>(k)];
    a.buffer.assign(samples(kAllPassMs[k] * preset.size), 0.0);
    a.pos = 0;
  }
  damping_ = preset.damping;
  wet_ = preset.wet;
}

void CReverb::Reset() {
  for (auto& c : combs_) {
    std::fill(c.buffer.begin(), c.buffer.end(), 0.0);
    c.pos = 0;
    c.store = 0;
  }
  for (auto& a : allPasses_) {
    std::fill(a.buffer.begin(), a.buffer.end(), 0.0);
    a.pos = 0;
  }
}

void CReverb::Process(std::span<double> samples) {
  if (combs_[0].buffer.empty()) return;
  for (double& x : samples) {
    double sum = 0.0;
    for (auto& c : combs_) {
      const double y = c.buffer[c.pos];
      c.store = y * (1.0 - damping_) + c.store * damping_;
      c.buffer[c.pos] = x + c.feedback * c.store;
      if (++c.pos == c.buffer.size()) c.pos = 0;
      sum += y;
    }
    double r = sum * 0.25;
    for (auto& a : allPasses_) {
      const double delayed = a.buffer[a.pos];
      const double v = r + kAllPassGain * delayed;
      a.buffer[a.pos] = v;
      if (++a.pos == a.buffer.size()) a.pos = 0;
      r = delayed - kAllPassGain * v;
    }
    x += wet_ * r;
  }
}

}  // namespace PCM_CODEC

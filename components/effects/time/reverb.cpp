#include "reverb.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"

namespace qel::effects::time {

namespace {

// Freeverb's tunings at 44.1 kHz, scaled to the sample rate.
constexpr std::array<double, Reverb::kCombs> kCombTuning{1116, 1188, 1277, 1356,
                                                         1422, 1491, 1557, 1617};
constexpr std::array<double, Reverb::kAllPasses> kAllPassTuning{556, 441, 341, 225};
constexpr double kTuningRate = 44100;
constexpr double kAllPassGain = 0.5;

constexpr double kMaxPreDelayMs = 1000;
constexpr double kMaxFeedbackPercent = 98;
constexpr double kMaxLevelPercent = 200;
constexpr double kMinDampingHz = 20;
// Each comb's feedback is set so that every comb loses the same level per
// second: FeedBackGain is the gain per kReferenceSeconds of loop delay, which
// gives RT60 = 3·kReferenceSeconds / −log10(gain).
constexpr double kReferenceSeconds = 0.03;

// The tail: generated until a whole window after the pre-delay stays under the
// quiet level, then cut after its last sample at or above the end level.
constexpr double kTailWindowSeconds = 0.1;
constexpr double kTailEndDb = -90;
constexpr double kTailQuietDb = -96;
constexpr double kTailMaxSeconds = 10;

// dst[i] += gain·ring[(start + i) & mask], in at most two contiguous runs.
void AddScaled(const std::vector<double>& ring, size_t mask, size_t start, size_t n, double gain,
               double* dst) {
  const size_t s = start & mask;
  const size_t first = std::min(n, ring.size() - s);
  const double* src = ring.data() + s;
  for (size_t i = 0; i < first; ++i)
    dst[i] += gain * src[i];
  for (size_t i = first; i < n; ++i)
    dst[i] += gain * ring[i - first];
}

void WriteRing(std::vector<double>& ring, size_t mask, size_t start, const double* x, size_t n) {
  const size_t s = start & mask;
  const size_t first = std::min(n, ring.size() - s);
  std::copy(x, x + first, ring.data() + s);
  std::copy(x + first, x + n, ring.data());
}

size_t Scaled(double tuning, double rate) {
  return std::max<size_t>(1, static_cast<size_t>(std::lround(tuning * rate / kTuningRate)));
}

}  // namespace

bool Reverb::SetParam(int index, const ParamValue& value) {
  if (!params_.Set(index, value)) return false;
  dirty_ = true;
  return true;
}

void Reverb::Start(const StreamSetup& setup) {
  rate_ = WorkingRate(setup);
  fullScale_ = std::isfinite(setup.fullScale) && setup.fullScale > 0 ? setup.fullScale : 32768;

  const auto preLength = static_cast<size_t>(std::ceil(kMaxPreDelayMs * rate_ / 1000));
  pre_.assign(NextPowerOfTwo(preLength + kChunk + 1), 0.0);
  preMask_ = pre_.size() - 1;
  prePos_ = 0;

  size_t longest = 1;
  for (int c = 0; c < kCombs; ++c) {
    combLength_[c] = Scaled(kCombTuning[c], rate_);
    longest = std::max(longest, combLength_[c]);
  }
  combSize_ = NextPowerOfTwo(longest + 1);
  combs_.assign(combSize_ * kCombs, 0.0);
  longest = 1;
  for (int a = 0; a < kAllPasses; ++a) {
    allPassLength_[a] = Scaled(kAllPassTuning[a], rate_);
    longest = std::max(longest, allPassLength_[a]);
  }
  allPassSize_ = NextPowerOfTwo(longest + 1);
  allPasses_.assign(allPassSize_ * kAllPasses, 0.0);
  combState_.fill(0.0);
  pos_ = 0;
  Apply(true);
}

void Reverb::Apply(bool immediately) {
  dirty_ = false;
  const double spread = std::clamp(params_[1], 0.0, kMaxPreDelayMs) * rate_ / 1000;
  preDelay_ = static_cast<size_t>(std::lround(spread));

  const double gain = std::clamp(params_[3], 0.0, kMaxFeedbackPercent) / 100;
  const double reference = kReferenceSeconds * rate_;
  for (int c = 0; c < kCombs; ++c) {
    combFeedback_[c] = std::pow(gain, static_cast<double>(combLength_[c]) / reference);
  }
  // Scaled so that white noise leaves the undamped combs at its own power.
  const double level = std::clamp(params_[4], 0.0, kMaxLevelPercent) / 100;
  inputGain_ = level * std::sqrt((1.0 - gain * gain) / kCombs);

  const double cutoff = std::max(params_[5], kMinDampingHz);
  damp_ = cutoff >= rate_ / 2 ? 0.0 : std::exp(-2 * std::numbers::pi * cutoff / rate_);

  // Early reflections: tap k (1…n) at r_k·spread, r_k = (k − 1 + u_k)/n with
  // u_k = 0.25 + 0.5·frac(k·0.618…) placing it inside its own slot, gain
  // (−1)^(k−1)·(1 − 0.7·r_k)/√n.
  taps_ = static_cast<int>(std::clamp(std::round(params_[6]), 0.0, double{kMaxTaps}));
  for (int k = 1; k <= taps_; ++k) {
    const double golden = k * 0.6180339887498949;
    const double r = (k - 1 + 0.25 + 0.5 * (golden - std::floor(golden))) / taps_;
    tapDelay_[k - 1] = static_cast<size_t>(std::lround(r * spread));
    tapGain_[k - 1] = (k % 2 == 1 ? 1.0 : -1.0) * (1.0 - 0.7 * r) / std::sqrt(double(taps_));
  }

  const double wet = std::clamp(params_[2], 0.0, 100.0) / 100;
  if (immediately) {
    dry_.Reset(1.0 - wet);
    wet_.Reset(wet);
  } else {
    dry_.SetTarget(1.0 - wet, SmoothSamples(rate_));
    wet_.SetTarget(wet, SmoothSamples(rate_));
  }
}

void Reverb::RunChunk(const double* x, size_t n, double* y) {
  WriteRing(pre_, preMask_, prePos_, x, n);
  std::fill_n(early_.begin(), n, 0.0);
  for (int k = 0; k < taps_; ++k) {
    AddScaled(pre_, preMask_, prePos_ - tapDelay_[k], n, tapGain_[k], early_.data());
  }
  std::fill_n(lateIn_.begin(), n, 0.0);
  AddScaled(pre_, preMask_, prePos_ - preDelay_, n, inputGain_, lateIn_.data());
  prePos_ += n;

  // Locals, so the compiler keeps the loop state in registers.
  double state[kCombs];
  double feedback[kCombs];
  size_t length[kCombs];
  size_t apLength[kAllPasses];
  for (int c = 0; c < kCombs; ++c) {
    state[c] = combState_[c];
    feedback[c] = combFeedback_[c];
    length[c] = combLength_[c];
  }
  for (int a = 0; a < kAllPasses; ++a)
    apLength[a] = allPassLength_[a];
  const double damp1 = damp_;
  const double damp2 = 1.0 - damp_;
  const size_t combMask = combSize_ - 1;
  const size_t apMask = allPassSize_ - 1;
  double* const combs = combs_.data();
  double* const allPasses = allPasses_.data();
  const size_t combSize = combSize_;
  const size_t allPassSize = allPassSize_;
  const double* const lateIn = lateIn_.data();
  double* const late = late_.data();
  size_t pos = pos_;

  // The combs run side by side, so their eight feedback recursions overlap;
  // their sum is a tree, not a chain, for the same reason.
  for (size_t i = 0; i < n; ++i) {
    const double in = lateIn[i] + kAntiDenormal;
    const size_t w = pos + i;
    double out[kCombs];
    for (int c = 0; c < kCombs; ++c) {
      double* const line = combs + c * combSize;
      out[c] = line[(w - length[c]) & combMask];
      state[c] = out[c] * damp2 + state[c] * damp1;
      line[w & combMask] = in + feedback[c] * state[c];
    }
    late[i] = ((out[0] + out[1]) + (out[2] + out[3])) + ((out[4] + out[5]) + (out[6] + out[7]));
  }
  // Each all-pass makes a pass of its own over the chunk: its only recursion
  // runs through its delay line, hundreds of samples long, so successive
  // samples overlap in the CPU instead of waiting on one chain through all
  // four all-passes.
  for (int a = 0; a < kAllPasses; ++a) {
    double* const line = allPasses + a * allPassSize;
    const size_t delay = apLength[a];
    for (size_t i = 0; i < n; ++i) {
      const size_t w = pos + i;
      const double delayed = line[(w - delay) & apMask];
      const double v = late[i] + kAllPassGain * delayed;
      line[w & apMask] = v;
      late[i] = delayed - kAllPassGain * v;
    }
  }
  pos += n;
  pos_ = pos;
  for (int c = 0; c < kCombs; ++c)
    combState_[c] = state[c];

  for (size_t i = 0; i < n; ++i) {
    y[i] = dry_.Next() * x[i] + wet_.Next() * (early_[i] + late[i]);
  }
}

void Reverb::AppendTail(std::vector<double>& out) {
  if (wet_.value() == 0.0 && wet_.target() == 0.0) return;
  const size_t start = out.size();
  const auto window = static_cast<size_t>(std::lround(kTailWindowSeconds * rate_));
  const auto cap = static_cast<size_t>(std::lround(kTailMaxSeconds * rate_));
  const double endLevel = fullScale_ * std::pow(10.0, kTailEndDb / 20);
  const double quietLevel = fullScale_ * std::pow(10.0, kTailQuietDb / 20);

  size_t produced = 0;
  size_t keep = cap;  // shortened when the decay is found to have ended
  size_t lastLoud = 0;
  size_t windowStart = 0;
  double windowPeak = 0;
  while (produced < cap) {
    const size_t n = std::min(kChunk, cap - produced);
    out.resize(start + produced + n);
    double* const y = out.data() + start + produced;
    RunChunk(zeros_.data(), n, y);
    bool ended = false;
    for (size_t j = 0; j < n; ++j) {
      const double v = std::abs(y[j]);
      if (v >= endLevel) lastLoud = produced + j + 1;
      windowPeak = std::max(windowPeak, v);
      if (produced + j + 1 - windowStart == window) {
        if (windowStart >= preDelay_ && windowPeak < quietLevel) {
          ended = true;
          break;
        }
        windowStart += window;
        windowPeak = 0;
      }
    }
    produced += n;
    if (ended) {
      keep = lastLoud;
      break;
    }
  }
  out.resize(start + std::min(keep, produced));
}

void Reverb::Process(std::span<const double> in, const BlockInfo& info, std::vector<double>& out) {
  if (dirty_) Apply(false);
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); i += kChunk) {
    const size_t n = std::min(kChunk, in.size() - i);
    RunChunk(in.data() + i, n, out.data() + i);
  }
  if (info.last) AppendTail(out);
}

}  // namespace qel::effects::time

namespace qel::effects {
std::unique_ptr<Processor> MakeReverb() {
  return std::make_unique<time::Reverb>();
}
}  // namespace qel::effects

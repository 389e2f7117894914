#include "spectral/noise_remover.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"
#include "spectral/convolver.h"
#include "spectral/gain_curve.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeNoiseRemover() {
  return std::make_unique<spectral::NoiseRemover>();
}

namespace spectral {
namespace {

// The profile is the mean power spectrum of the quietest tenth of the
// selection's frames (by total level), leaving digitally silent frames out:
// a noise floor has to be something.
constexpr double kQuietShare = 0.10;
constexpr double kSilentLevelDb = -150;  // relative to a full-scale square wave
constexpr double kMaxLevelDb = 10;
// A profile from few frames is rough: it is averaged over as many neighbouring
// bins as make each threshold rest on this many values (five bins at least,
// a sixteenth of the spectrum at most).
constexpr double kProfileValues = 256;
// A bin is signal when the mean power of the five bins around it exceeds the
// threshold: the profile's mean around it, 8 dB up. Five bins of noise alone
// cross that line about once in a million, so isolated bins do not flicker
// open as "musical noise"; a steady tone 8 dB over the noise in its own five
// bins passes whole.
constexpr std::size_t kSpread = 2;
constexpr double kMargin = 6.309573444801933;  // 8 dB in power
// A bin opens at once and closes by falling from open to the full reduction
// in this time, linearly in dB.
constexpr double kReleaseSeconds = 0.1;
// Frames overlap by 75 %.
constexpr std::size_t kOverlap = 4;

// The mean of v over [k − spread, k + spread] ∩ [0, n), by a running sum.
void SpreadMean(const std::vector<double>& v, std::size_t spread, std::vector<double>& out) {
  const std::size_t n = v.size();
  out.resize(n);
  double sum = 0;
  for (std::size_t j = 0; j < std::min(n, spread + 1); ++j)
    sum += v[j];
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t lo = k >= spread ? k - spread : 0;
    const std::size_t hi = std::min(n - 1, k + spread);
    out[k] = sum / static_cast<double>(hi - lo + 1);
    if (k + spread + 1 < n) sum += v[k + spread + 1];
    if (k >= spread) sum -= v[k - spread];
  }
}

}  // namespace

bool NoiseRemover::SetParam(int index, const ParamValue& value) {
  switch (index) {
    case 1:
      return AsFiniteNumber(value, lengthParam_);
    case 2:
      return AsFiniteNumber(value, reduction_);
    default:
      return false;
  }
}

void NoiseRemover::Start(const StreamSetup& setup) {
  sampleRate_ = WorkingRate(setup);
  fullScale_ = setup.fullScale > 0 && std::isfinite(setup.fullScale) ? setup.fullScale : 32768;
  const std::size_t length = RoundToPowerOfTwo(lengthParam_, kMinLength, kMaxLength);
  if (length != fft_.size()) fft_ = RealFft(length);
  length_ = length;
  hop_ = length_ / kOverlap;
  bins_ = length_ / 2 + 1;
  // The periodic Hann window: its squares, overlapped at a quarter of its
  // length, add up to exactly 1.5 everywhere.
  window_.resize(length_);
  windowEnergy_ = 0;
  for (std::size_t n = 0; n < length_; ++n) {
    window_[n] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(n) /
                                      static_cast<double>(length_));
    windowEnergy_ += window_[n] * window_[n];
  }

  learnBuffer_.assign(length_, 0.0);
  learnFill_ = 0;
  const auto classes = static_cast<std::size_t>(kMaxLevelDb - kSilentLevelDb);
  classSums_.assign(classes, {});
  classCounts_.assign(classes, 0);
  profileDone_ = false;
  threshold_.assign(bins_, 0.0);
  ResetStream();
}

void NoiseRemover::ResetStream() {
  // The first frame reaches back length − hop frames before the range, as
  // zeros, so that every frame of the range is covered by four frames.
  input_.assign(length_, 0.0);
  inputFill_ = length_ - hop_;
  output_.assign(length_, 0.0);
  outputStart_ = -static_cast<int64_t>(length_ - hop_);
  received_ = 0;
  ended_ = false;
  gains_.assign(bins_, 0.0);  // closed: set at the first frame
  power_.assign(bins_, 0.0);
}

void NoiseRemover::Measure(std::span<const double> in) {
  // Learning frames overlap by half.
  const std::size_t step = length_ / 2;
  std::size_t at = 0;
  while (at < in.size()) {
    const std::size_t take = std::min(in.size() - at, length_ - learnFill_);
    std::copy_n(in.data() + at, take, learnBuffer_.data() + learnFill_);
    learnFill_ += take;
    at += take;
    if (learnFill_ == length_) {
      LearnFrame(learnBuffer_.data(), length_);
      std::copy(learnBuffer_.begin() + static_cast<std::ptrdiff_t>(step), learnBuffer_.end(),
                learnBuffer_.begin());
      learnFill_ = length_ - step;
    }
  }
}

void NoiseRemover::LearnFrame(const double* samples, std::size_t count) {
  double* real = fft_.Real();
  double energy = 0;
  double windowed = 0;  // Σ w² over the samples present
  for (std::size_t n = 0; n < length_; ++n) {
    real[n] = n < count ? samples[n] * window_[n] : 0.0;
    energy += real[n] * real[n];
    if (n < count) windowed += window_[n] * window_[n];
  }
  if (windowed <= 0) return;
  const double level = energy / (fullScale_ * fullScale_ * windowed);
  const double levelDb = level > 0 ? 10 * std::log10(level) : -1e9;
  if (levelDb < kSilentLevelDb) return;
  const auto cls = static_cast<std::size_t>(std::clamp(
      std::floor(levelDb - kSilentLevelDb), 0.0, static_cast<double>(classCounts_.size() - 1)));
  fft_.Forward();
  // A frame with fewer samples than the window stands scaled up to a whole one.
  const double scale = windowEnergy_ / windowed;
  std::vector<double>& sums = classSums_[cls];
  if (sums.empty()) sums.assign(bins_, 0.0);
  const fftw_complex* spectrum = fft_.Complex();
  for (std::size_t k = 0; k < bins_; ++k)
    sums[k] += scale * (spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1]);
  ++classCounts_[cls];
}

void NoiseRemover::FinishProfile() {
  profileDone_ = true;
  int64_t total = 0;
  for (int64_t c : classCounts_)
    total += c;
  // A selection shorter than one frame: its one padded frame stands.
  if (total == 0 && learnFill_ > 0) {
    LearnFrame(learnBuffer_.data(), learnFill_);
    for (int64_t c : classCounts_)
      total += c;
  }
  std::fill(threshold_.begin(), threshold_.end(), 0.0);
  if (total > 0) {
    // The quietest classes whole, and of the class the share falls in, the
    // part needed (taken as its average frame).
    const double wanted = std::max(1.0, std::round(kQuietShare * static_cast<double>(total)));
    std::vector<double> profile(bins_, 0.0);
    double taken = 0;
    for (std::size_t c = 0; c < classCounts_.size() && taken < wanted; ++c) {
      if (classCounts_[c] == 0) continue;
      const auto count = static_cast<double>(classCounts_[c]);
      const double share = std::min(1.0, (wanted - taken) / count);
      for (std::size_t k = 0; k < bins_; ++k)
        profile[k] += share * classSums_[c][k];
      taken += share * count;
    }
    for (double& p : profile)
      p /= taken;
    // Few frames give a rough profile; it is averaged over enough
    // neighbouring bins that each threshold rests on kProfileValues values.
    const double spread = std::ceil((kProfileValues / taken - 1) / 2);
    SpreadMean(profile,
               static_cast<std::size_t>(std::clamp(spread, static_cast<double>(kSpread),
                                                   static_cast<double>(bins_ / 16))),
               threshold_);
    for (double& t : threshold_)
      t *= kMargin;
  }
  // With no profile (nothing measured, or only digital silence) every
  // threshold is 0: all that is not silent passes.
  classSums_.assign(classSums_.size(), {});
  std::fill(classCounts_.begin(), classCounts_.end(), 0);
  learnBuffer_.assign(learnBuffer_.size(), 0.0);
  learnFill_ = 0;
}

void NoiseRemover::ProcessFrame() {
  double* real = fft_.Real();
  for (std::size_t n = 0; n < length_; ++n)
    real[n] = input_[n] * window_[n];
  fft_.Forward();
  fftw_complex* spectrum = fft_.Complex();
  for (std::size_t k = 0; k < bins_; ++k)
    power_[k] = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];

  // Gate each bin on the mean power around it; open at once, close slowly.
  const std::size_t last = bins_ - 1;
  double sum = 0;
  for (std::size_t j = 0; j <= kSpread; ++j)
    sum += power_[j];
  for (std::size_t k = 0; k < bins_; ++k) {
    // sum holds power_ over [k − kSpread, k + kSpread] ∩ [0, last].
    const std::size_t lo = k >= kSpread ? k - kSpread : 0;
    const std::size_t hi = std::min(last, k + kSpread);
    const double mean = sum / static_cast<double>(hi - lo + 1);
    const double target = mean > threshold_[k] ? 1.0 : floorGain_;
    gains_[k] = std::max(target, gains_[k] * releaseStep_);
    if (k + kSpread + 1 <= last) sum += power_[k + kSpread + 1];
    if (k >= kSpread) sum -= power_[k - kSpread];
  }

  // The applied gain is smoothed over neighbouring bins (¼, ½, ¼), so a bin
  // that opens alone is spread and softened rather than left as a pure tone.
  // The ends mirror. The scale undoes the transform's factor and the 1.5 of
  // the overlapped squared windows.
  const double scale = 1.0 / (static_cast<double>(length_) * 1.5);
  for (std::size_t k = 0; k < bins_; ++k) {
    const double below = gains_[k > 0 ? k - 1 : std::min<std::size_t>(1, last)];
    const double above = gains_[k < last ? k + 1 : (last > 0 ? last - 1 : 0)];
    const double g = scale * (0.25 * below + 0.5 * gains_[k] + 0.25 * above);
    spectrum[k][0] *= g;
    spectrum[k][1] *= g;
  }
  fft_.Inverse();
  for (std::size_t n = 0; n < length_; ++n)
    output_[n] += real[n] * window_[n];
}

void NoiseRemover::Release(int64_t limit, std::vector<double>& out) {
  // output_[0, hop) is final: no later frame reaches it.
  const int64_t from = std::max<int64_t>(outputStart_, 0);
  const int64_t to = std::min<int64_t>(outputStart_ + static_cast<int64_t>(hop_), limit);
  if (to > from) {
    const auto first = output_.begin() + (from - outputStart_);
    out.insert(out.end(), first, first + (to - from));
  }
  std::copy(output_.begin() + static_cast<std::ptrdiff_t>(hop_), output_.end(), output_.begin());
  std::fill(output_.end() - static_cast<std::ptrdiff_t>(hop_), output_.end(), 0.0);
  outputStart_ += static_cast<int64_t>(hop_);
}

void NoiseRemover::Process(std::span<const double> in, const BlockInfo& info,
                           std::vector<double>& out) {
  if (!profileDone_) FinishProfile();
  if (ended_) ResetStream();  // a block after the end starts a run of its own
  const bool end = EndsRun(info, in.size());

  const double reduction = std::clamp(reduction_, 0.0, kMaxReduction);
  floorGain_ = std::pow(10.0, -reduction / 20);
  releaseStep_ = std::pow(floorGain_, static_cast<double>(hop_) / (kReleaseSeconds * sampleRate_));

  std::size_t at = 0;
  while (at < in.size()) {
    const std::size_t take = std::min(in.size() - at, length_ - inputFill_);
    std::copy_n(in.data() + at, take, input_.data() + inputFill_);
    inputFill_ += take;
    at += take;
    if (inputFill_ == length_) {
      ProcessFrame();
      Release(INT64_MAX, out);
      std::copy(input_.begin() + static_cast<std::ptrdiff_t>(hop_), input_.end(), input_.begin());
      inputFill_ = length_ - hop_;
    }
  }
  received_ += static_cast<int64_t>(in.size());
  if (!end) return;
  // Zeros after the end until every frame touching the range is done.
  while (outputStart_ < received_) {
    std::fill(input_.begin() + static_cast<std::ptrdiff_t>(inputFill_), input_.end(), 0.0);
    ProcessFrame();
    Release(received_, out);
    std::copy(input_.begin() + static_cast<std::ptrdiff_t>(hop_), input_.end(), input_.begin());
    inputFill_ = length_ - hop_;
  }
  ended_ = true;
}

}  // namespace spectral
}  // namespace qel::effects

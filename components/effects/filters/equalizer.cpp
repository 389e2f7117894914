#include "filters/equalizer.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "filters/cookbook.h"
#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeEqualizer() {
  return std::make_unique<filters::Equalizer>();
}

namespace filters {

namespace {

// A band's width (between its half-gain points) is this many times the mean
// distance to its neighbours in octaves, within the limits below; a lone band
// is one octave wide. Wider bands would flatten the plateau between equal
// boosts (about 1 dB below a 6 dB boost midway between octave centres) but
// let a single boost spill past its neighbours.
constexpr double kWidthPerSpacing = 1;
constexpr double kMinOctaves = 0.05;
constexpr double kMaxOctaves = 4;
constexpr double kLoneBandOctaves = 1;
// Centres closer than this ratio are one band (their gains add, as two
// filters in series would).
constexpr double kMergeRatio = 1.001;
// The solved gains may exceed the asked ones to undo the neighbours' overlap,
// but not without bound.
constexpr double kMaxSolvedGainDb = 80;
constexpr int kMaxIterations = 8;
constexpr double kGoodEnoughDb = 1e-4;

struct Band {
  double w0 = 0;  // radians per sample
  double q = 0;
  double targetDb = 0;
};

Biquad Section(const Band& band, double gainDb) {
  return DesignCookbook(FilterType::kPeaking, band.w0, band.q, gainDb);
}

// The response of band i with gain g at centre j, in dB; the series sums them.
std::vector<double> CentreResponses(const std::vector<Band>& bands, std::size_t i, double gainDb) {
  const Biquad section = Section(bands[i], gainDb);
  std::vector<double> r(bands.size());
  for (std::size_t j = 0; j < bands.size(); ++j)
    r[j] = MagnitudeDb(section, bands[j].w0);
  return r;
}

// The largest gap between asked and obtained centre gains; `errors` gets them.
double CentreErrors(const std::vector<Band>& bands, const std::vector<double>& gains,
                    std::vector<double>& errors) {
  const std::size_t n = bands.size();
  errors.assign(n, 0);
  for (std::size_t j = 0; j < n; ++j)
    errors[j] = bands[j].targetDb;
  for (std::size_t i = 0; i < n; ++i) {
    const std::vector<double> r = CentreResponses(bands, i, gains[i]);
    for (std::size_t j = 0; j < n; ++j)
      errors[j] -= r[j];
  }
  double worst = 0;
  for (double e : errors)
    worst = std::max(worst, std::abs(e));
  return worst;
}

// Solves m·x = rhs (m row-major n×n) by elimination with partial pivoting;
// false when m is singular to working precision.
bool Solve(std::vector<double> m, std::vector<double> rhs, std::vector<double>& x) {
  const std::size_t n = rhs.size();
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r) {
      if (std::abs(m[r * n + c]) > std::abs(m[pivot * n + c])) pivot = r;
    }
    if (std::abs(m[pivot * n + c]) < 1e-12) return false;
    if (pivot != c) {
      for (std::size_t k = 0; k < n; ++k)
        std::swap(m[c * n + k], m[pivot * n + k]);
      std::swap(rhs[c], rhs[pivot]);
    }
    for (std::size_t r = c + 1; r < n; ++r) {
      const double f = m[r * n + c] / m[c * n + c];
      for (std::size_t k = c; k < n; ++k)
        m[r * n + k] -= f * m[c * n + k];
      rhs[r] -= f * rhs[c];
    }
  }
  x.assign(n, 0);
  for (std::size_t c = n; c-- > 0;) {
    double s = rhs[c];
    for (std::size_t k = c + 1; k < n; ++k)
      s -= m[c * n + k] * x[k];
    x[c] = s / m[c * n + c];
  }
  return true;
}

// Newton's method on the centre gains: the response at every centre (in dB)
// as a function of every band's gain, linearised with central differences.
// Each step is halved until it lowers the worst centre error.
std::vector<double> SolveGains(const std::vector<Band>& bands, double& worst) {
  const std::size_t n = bands.size();
  std::vector<double> gains(n);
  for (std::size_t i = 0; i < n; ++i)
    gains[i] = bands[i].targetDb;
  std::vector<double> errors;
  worst = CentreErrors(bands, gains, errors);
  constexpr double h = 1e-3;
  std::vector<double> jacobian(n * n), step, trial(n), trialErrors;
  for (int iteration = 0; iteration < kMaxIterations && worst > kGoodEnoughDb; ++iteration) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::vector<double> up = CentreResponses(bands, i, gains[i] + h);
      const std::vector<double> down = CentreResponses(bands, i, gains[i] - h);
      for (std::size_t j = 0; j < n; ++j)
        jacobian[j * n + i] = (up[j] - down[j]) / (2 * h);
    }
    if (!Solve(jacobian, errors, step)) break;
    bool improved = false;
    for (double scale = 1; scale > 1.0 / 64 && !improved; scale /= 2) {
      for (std::size_t i = 0; i < n; ++i) {
        trial[i] = std::clamp(gains[i] + scale * step[i], -kMaxSolvedGainDb, kMaxSolvedGainDb);
      }
      const double trialWorst = CentreErrors(bands, trial, trialErrors);
      if (trialWorst < worst) {
        gains = trial;
        errors = trialErrors;
        worst = trialWorst;
        improved = true;
      }
    }
    if (!improved) break;
  }
  return gains;
}

}  // namespace

EqualizerDesign DesignEqualizer(std::span<const EqualizerBand> asked, double sampleRate) {
  std::vector<EqualizerBand> sorted;
  for (const EqualizerBand& b : asked) {
    if (b.frequency >= 1 && b.frequency <= 0.49 * sampleRate) {
      sorted.push_back(
          {b.frequency, std::clamp(b.gainDb, -kMaxEqualizerGainDb, kMaxEqualizerGainDb)});
    }
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.frequency < b.frequency; });
  std::vector<EqualizerBand> merged;
  for (const EqualizerBand& b : sorted) {
    if (!merged.empty() && b.frequency < merged.back().frequency * kMergeRatio) {
      merged.back().gainDb += b.gainDb;
    } else {
      merged.push_back(b);
    }
  }

  EqualizerDesign design;
  const std::size_t n = merged.size();
  if (std::all_of(merged.begin(), merged.end(), [](const auto& b) { return b.gainDb == 0; })) {
    return design;  // flat
  }
  std::vector<Band> bands(n);
  for (std::size_t i = 0; i < n; ++i) {
    double octaves = kLoneBandOctaves;
    const double below = i > 0 ? std::log2(merged[i].frequency / merged[i - 1].frequency) : 0;
    const double above = i + 1 < n ? std::log2(merged[i + 1].frequency / merged[i].frequency) : 0;
    if (i > 0 && i + 1 < n) {
      octaves = (below + above) / 2;
    } else if (i > 0) {
      octaves = below;
    } else if (i + 1 < n) {
      octaves = above;
    }
    octaves = std::clamp(octaves * kWidthPerSpacing, kMinOctaves, kMaxOctaves);
    bands[i].w0 = 2 * std::numbers::pi * merged[i].frequency / sampleRate;
    bands[i].q = std::clamp(QFromOctaves(octaves, bands[i].w0), 0.1, 100.0);
    bands[i].targetDb = merged[i].gainDb;
  }
  const std::vector<double> gains = SolveGains(bands, design.worstCentreErrorDb);
  for (std::size_t i = 0; i < n; ++i)
    design.sections.push_back(Section(bands[i], gains[i]));
  return design;
}

bool Equalizer::SetParam(int index, const ParamValue& value) {
  if (index == 3) {
    // The base filter type of the bank; only peaking exists, so any number is
    // accepted and none changes anything.
    double ignored = 0;
    return AsNumber(value, ignored);
  }
  if (index != 1 && index != 2) return false;
  const auto* array = std::get_if<std::vector<double>>(&value);
  if (array == nullptr) return false;
  if (!std::all_of(array->begin(), array->end(), [](double v) { return std::isfinite(v); })) {
    return false;
  }
  (index == 1 ? gainsDb_ : frequencies_) = *array;
  dirty_ = true;
  return true;
}

void Equalizer::Start(const StreamSetup& setup) {
  sampleRate_ = setup.sampleRate > 0 ? setup.sampleRate : 44100;
  floor_ = 1e-20 * std::max(setup.fullScale, 1.0);
  sections_.clear();
  states_.clear();
  in1_ = in2_ = 0;
  Design();
}

void Equalizer::Design() {
  std::vector<EqualizerBand> bands(std::min(gainsDb_.size(), frequencies_.size()));
  for (std::size_t i = 0; i < bands.size(); ++i)
    bands[i] = {frequencies_[i], gainsDb_[i]};
  sections_ = DesignEqualizer(bands, sampleRate_).sections;
  // Sections that continue keep their memory. New ones start as though they
  // had been flat so far: their input and output history is the signal that
  // now reaches them, the output of the chain.
  double h1 = in1_, h2 = in2_;
  if (!states_.empty()) {
    h1 = states_.back().y1;
    h2 = states_.back().y2;
  }
  states_.resize(sections_.size(), BiquadState{h1, h2, h1, h2});
  dirty_ = false;
}

void Equalizer::Process(std::span<const double> in, const BlockInfo& /*info*/,
                        std::vector<double>& out) {
  if (dirty_) Design();
  const std::size_t n = in.size();
  const std::size_t offset = out.size();
  out.resize(offset + n);
  double* y = out.data() + offset;
  if (sections_.empty()) {
    std::copy(in.begin(), in.end(), y);
  } else {
    // One pass per section over the whole block keeps each section's
    // coefficients in registers; the block stays in cache between passes.
    const double* x = in.data();
    for (std::size_t k = 0; k < sections_.size(); ++k) {
      RunBiquad(sections_[k], states_[k], x, y, n);
      FlushTiny(states_[k], floor_);
      x = y;
    }
  }
  if (n >= 2) {
    in1_ = in[n - 1];
    in2_ = in[n - 2];
  } else if (n == 1) {
    in2_ = in1_;
    in1_ = in[0];
  }
}

}  // namespace filters
}  // namespace qel::effects

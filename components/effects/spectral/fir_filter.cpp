#include "spectral/fir_filter.h"

#include <algorithm>
#include <cmath>

#include "processors.h"
#include "spectral/gain_curve.h"
#include "spectral/least_squares.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeFirFilter() {
  return std::make_unique<spectral::FirFilter>();
}

namespace spectral {
namespace {

// A live change moves from the old response to the new over this long.
constexpr double kFadeSeconds = 0.02;
// The design grid has this many points per tap on each side (and at least
// kMinGrid): dense enough that the sum stands for the integral.
constexpr std::size_t kGridPerTap = 4;
constexpr std::size_t kMinGrid = 1024;

}  // namespace

std::size_t FirFilter::Taps(double quality) {
  const double q = std::clamp(std::round(quality), static_cast<double>(kMinQuality),
                              static_cast<double>(kMaxQuality));
  return (std::size_t{1} << (static_cast<int>(q) + 6)) + 1;
}

bool FirFilter::SetParam(int index, const ParamValue& value) {
  switch (index) {
    case 1:
      if (!AsFiniteArray(value, hz_)) return false;
      break;
    case 2:
      if (!AsFiniteArray(value, db_)) return false;
      break;
    case 3:
      if (!AsFiniteArray(value, weights_)) return false;
      break;
    case 4:
      // The length of the filter is fixed for a run: it applies at Start.
      return AsFiniteNumber(value, quality_);
    default:
      return false;
  }
  dirty_ = true;
  return true;
}

void FirFilter::Start(const StreamSetup& setup) {
  sampleRate_ = WorkingRate(setup);
  taps_ = Taps(quality_);
  convolver_.Configure(taps_);
  convolver_.SetKernel(Design(), 0);
  run_.Reset((taps_ - 1) / 2, /*toldOfLast=*/false);
  dirty_ = false;
}

std::vector<double> FirFilter::Design() const {
  const std::size_t half = (taps_ - 1) / 2;
  const std::size_t grid = std::max(kMinGrid, kGridPerTap * NextPowerOfTwo(half));
  std::vector<double> frequencies(grid + 1);
  for (std::size_t j = 0; j <= grid; ++j)
    frequencies[j] = 0.5 * sampleRate_ * static_cast<double>(j) / static_cast<double>(grid);

  CurvePoints gains = SortPoints(hz_, db_);
  for (double& v : gains.values)
    v = std::clamp(v, kMinDb, kMaxDb);
  LeastSquaresTarget target;
  target.magnitude = SampleCurve(gains, Interpolation::kLinear, frequencies, 0.0);
  for (double& v : target.magnitude)
    v = std::pow(10.0, v / 20);

  // Weight i goes with point i; points without one weigh 1. The weights are
  // relative: only their ratios matter.
  if (!weights_.empty() && !gains.hz.empty()) {
    std::vector<double> weights(std::min(hz_.size(), db_.size()), 1.0);
    std::copy_n(weights_.begin(), std::min(weights_.size(), weights.size()), weights.begin());
    const CurvePoints points = SortPoints(hz_, weights);
    const double largest = *std::max_element(points.values.begin(), points.values.end());
    const bool equal = std::all_of(points.values.begin(), points.values.end(),
                                   [&](double w) { return w == largest; });
    if (largest > 0 && !equal) {
      CurvePoints clamped = points;
      for (double& w : clamped.values)
        w = std::clamp(w, kMinWeightRatio * largest, largest);
      target.weight = SampleCurve(clamped, Interpolation::kLinear, frequencies, 1.0);
    }
  }
  return DesignLeastSquares(target, half);
}

void FirFilter::Process(std::span<const double> in, const BlockInfo& info,
                        std::vector<double>& out) {
  if (dirty_) {
    const auto fade = static_cast<std::size_t>(std::lround(kFadeSeconds * sampleRate_));
    convolver_.SetKernel(Design(), fade);
    dirty_ = false;
  }
  run_.Process(convolver_, in, info, out);
}

}  // namespace spectral
}  // namespace qel::effects

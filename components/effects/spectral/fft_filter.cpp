#include "spectral/fft_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "processors.h"
#include "spectral/fft.h"
#include "spectral/gain_curve.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeFftFilter() {
  return std::make_unique<spectral::FftFilter>();
}

namespace spectral {
namespace {

// A live change of the curve moves from the old response to the new over this
// long, so the switch does not click.
constexpr double kFadeSeconds = 0.02;

// The window over the taps m = −half … half, 1 at the centre and (except the
// rectangle) reaching 0 one tap beyond each end.
double WindowAt(int type, double m, double half) {
  const double x = std::numbers::pi * m / (half + 1);
  switch (type) {
    case FftFilter::kHann:
      return 0.5 + 0.5 * std::cos(x);
    case FftFilter::kHamming:
      return 0.54 + 0.46 * std::cos(x);
    case FftFilter::kBlackman:
      return 0.42 + 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
    default:
      return 1.0;
  }
}

}  // namespace

bool FftFilter::SetParam(int index, const ParamValue& value) {
  switch (index) {
    case 1:
      if (!AsFiniteArray(value, hz_)) return false;
      break;
    case 2:
      if (!AsFiniteNumber(value, spline_)) return false;
      break;
    case 3:
      // The length of the response is fixed for a run: it applies at Start.
      return AsFiniteNumber(value, sizeParam_);
    case 4:
      if (!AsFiniteArray(value, db_)) return false;
      break;
    case 5:
      if (!AsFiniteNumber(value, window_)) return false;
      break;
    default:
      return false;
  }
  dirty_ = true;
  return true;
}

void FftFilter::Start(const StreamSetup& setup) {
  sampleRate_ = WorkingRate(setup);
  size_ = RoundToPowerOfTwo(sizeParam_, kMinSize, kMaxSize);
  convolver_.Configure(size_ - 1);
  convolver_.SetKernel(Design(), 0);
  run_.Reset(size_ / 2 - 1, /*toldOfLast=*/true);
  dirty_ = false;
}

std::vector<double> FftFilter::Design() const {
  const std::size_t bins = size_ / 2 + 1;
  std::vector<double> frequencies(bins);
  for (std::size_t k = 0; k < bins; ++k)
    frequencies[k] = static_cast<double>(k) * sampleRate_ / static_cast<double>(size_);
  const auto interpolation = static_cast<Interpolation>(std::clamp(std::round(spline_), 0.0, 3.0));
  CurvePoints points = SortPoints(hz_, db_);
  for (double& v : points.values)
    v = std::clamp(v, kMinDb, kMaxDb);
  const std::vector<double> db = SampleCurve(points, interpolation, frequencies, 0.0);

  // A real, even spectrum: its inverse is a real, even (zero-phase) response.
  RealFft fft(size_);
  fftw_complex* spectrum = fft.Complex();
  const double scale = 1.0 / static_cast<double>(size_);
  for (std::size_t k = 0; k < bins; ++k) {
    spectrum[k][0] = std::pow(10.0, std::clamp(db[k], kMinDb, kMaxDb) / 20) * scale;
    spectrum[k][1] = 0.0;
  }
  fft.Inverse();
  const double* response = fft.Real();

  // Taps −half … half around the centre; the one at ±size/2 (shared by both
  // sides in the circular response) is left out, keeping the length odd.
  const std::size_t half = size_ / 2 - 1;
  const int type = static_cast<int>(std::clamp(std::round(window_), 0.0, 3.0));
  std::vector<double> kernel(2 * half + 1);
  for (std::size_t m = 0; m <= half; ++m) {
    const double tap =
        response[m] * WindowAt(type, static_cast<double>(m), static_cast<double>(half));
    kernel[half + m] = tap;
    kernel[half - m] = tap;
  }
  return kernel;
}

void FftFilter::Process(std::span<const double> in, const BlockInfo& info,
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

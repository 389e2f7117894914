#include "pcm/fir_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pcm/rounding.h"

namespace PCM_CODEC {

namespace {

// Zeroth-order modified Bessel function of the first kind, by its power series.
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 64; ++k) {
    term *= q / (static_cast<double>(k) * k);
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

double KaiserBeta(double attenuation) {
  const double a = std::abs(attenuation);
  if (a > 50.0) return 0.1102 * (a - 8.7);
  if (a >= 21.0) return 0.5842 * std::pow(a - 21.0, 0.4) + 0.07886 * (a - 21.0);
  return 0.0;
}

}  // namespace

std::vector<double> DesignLowPassFir(double attenuationDb, double cutoff, int halfLength) {
  halfLength = std::max(halfLength, 1);
  cutoff = std::clamp(cutoff, 1e-6, 0.5);
  const double beta = KaiserBeta(attenuationDb);
  const double i0Beta = BesselI0(beta);
  const int n = 2 * halfLength + 1;
  std::vector<double> taps(static_cast<std::size_t>(n));
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const double m = k - halfLength;
    const double arg = 2.0 * cutoff * m;
    const double sinc = m == 0 ? 1.0 : std::sin(std::numbers::pi * arg) / (std::numbers::pi * arg);
    const double r = m / halfLength;
    const double window = BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0Beta;
    taps[static_cast<std::size_t>(k)] = 2.0 * cutoff * sinc * window;
    sum += taps[static_cast<std::size_t>(k)];
  }
  for (double& t : taps)
    t /= sum;
  return taps;
}

std::vector<double> DesignAntiImagingFir(int inRate, int outRate) {
  const double ratio = static_cast<double>(outRate) / inRate;
  const int rounded = std::max(1, static_cast<int>(std::lround(ratio)));
  const double cutoff = std::min(0.5, 0.5 * inRate / outRate);
  return DesignLowPassFir(-40.0, cutoff, 5 * rounded);
}

void CFilter::SetCoefficients(std::span<const double> taps) {
  taps_.assign(taps.rbegin(), taps.rend());
  history_ = taps_.empty() ? 0 : taps_.size() - 1;
  Reset();
}

void CFilter::Reset() {
  window_.assign(history_, 0.0f);
}

void CFilter::Process(std::span<std::int32_t> samples, std::int32_t lo, std::int32_t hi) {
  if (taps_.empty() || samples.empty()) return;
  const std::size_t n = samples.size();
  // Grows only: the window keeps its size between blocks of the same length.
  if (window_.size() < history_ + n) window_.resize(history_ + n);
  for (std::size_t i = 0; i < n; ++i)
    window_[history_ + i] = static_cast<float>(samples[i]);
  const float* taps = taps_.data();
  const std::size_t length = taps_.size();
  const float low = static_cast<float>(lo), high = static_cast<float>(hi);
  auto store = [&](std::size_t i, float acc) {
    samples[i] = static_cast<std::int32_t>(RoundHalfEven(std::clamp(acc, low, high)));
  };
  std::size_t i = 0;
#if defined(__SSE2__)
  // Thirty-two outputs at a time, four to a vector register: eight independent
  // sums hide the latency of the additions, and each is still added up in tap
  // order, so the result does not depend on how a block is split. The rounding
  // conversion is the processor's default mode: to nearest, ties to even.
  constexpr std::size_t kLanes = 8;
  const __m128 low4 = _mm_set1_ps(low), high4 = _mm_set1_ps(high);
  for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
    const float* w = window_.data() + i;
    __m128 acc[kLanes];
#pragma GCC unroll 8
    for (std::size_t l = 0; l < kLanes; ++l)
      acc[l] = _mm_setzero_ps();
    for (std::size_t k = 0; k < length; ++k) {
      const __m128 h = _mm_set1_ps(taps[k]);
#pragma GCC unroll 8
      for (std::size_t l = 0; l < kLanes; ++l) {
        acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(h, _mm_loadu_ps(w + k + 4 * l)));
      }
    }
#pragma GCC unroll 8
    for (std::size_t l = 0; l < kLanes; ++l) {
      const __m128 v = _mm_min_ps(_mm_max_ps(acc[l], low4), high4);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(samples.data() + i + 4 * l), _mm_cvtps_epi32(v));
    }
  }
#endif
  for (; i < n; ++i) {
    const float* w = window_.data() + i;
    float acc = 0.0f;
    for (std::size_t k = 0; k < length; ++k)
      acc += taps[k] * w[k];
    store(i, acc);
  }
  // Keep the newest taps-1 inputs for the next block.
  std::copy(window_.begin() + static_cast<std::ptrdiff_t>(n),
            window_.begin() + static_cast<std::ptrdiff_t>(n + history_), window_.begin());
}

}  // namespace PCM_CODEC

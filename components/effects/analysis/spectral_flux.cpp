#include "spectral_flux.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "planner_lock.h"

namespace qel::effects::analysis {

// The r2c plan and its FFTW-aligned buffers.
struct SpectralFlux::Plan {
  explicit Plan(uint32_t n) {
    std::lock_guard<std::mutex> guard(PlannerLock());
    in = fftw_alloc_real(n);
    out = fftw_alloc_complex(n / 2 + 1);
    if (in != nullptr && out != nullptr)
      plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
  }
  ~Plan() {
    std::lock_guard<std::mutex> guard(PlannerLock());
    if (plan != nullptr) fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
  }
  Plan(const Plan&) = delete;
  Plan& operator=(const Plan&) = delete;

  double* in = nullptr;
  fftw_complex* out = nullptr;
  fftw_plan plan = nullptr;
};

SpectralFlux::SpectralFlux(uint32_t window, uint32_t hop)
    : window_(window),
      hop_(std::min(hop, window)),
      history_(window, 0.0),
      shape_(window),
      previous_(window / 2 + 1, 0.0) {
  for (uint32_t i = 0; i < window; ++i)
    shape_[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / window);
  auto plan = std::make_unique<Plan>(window);
  if (plan->plan != nullptr) plan_ = std::move(plan);
}

SpectralFlux::~SpectralFlux() = default;

double SpectralFlux::Next(std::span<const float> hop) {
  std::copy(history_.begin() + hop_, history_.end(), history_.begin());
  const size_t n = std::min<size_t>(hop.size(), hop_);
  std::copy(hop.begin(), hop.begin() + static_cast<ptrdiff_t>(n), history_.end() - hop_);
  std::fill(history_.end() - hop_ + static_cast<ptrdiff_t>(n), history_.end(), 0.0);
  double* in = plan_->in;
  for (uint32_t i = 0; i < window_; ++i)
    in[i] = history_[i] * shape_[i];
  fftw_execute(plan_->plan);
  double flux = 0;
  const fftw_complex* out = plan_->out;
  for (size_t k = 0; k < previous_.size(); ++k) {
    const double magnitude = std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]);
    flux += std::max(0.0, magnitude - previous_[k]);
    previous_[k] = magnitude;
  }
  return flux;
}

}  // namespace qel::effects::analysis

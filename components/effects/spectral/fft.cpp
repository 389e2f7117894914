#include "spectral/fft.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qel::effects::spectral {

std::mutex& PlannerMutex() {
  static std::mutex mutex;
  return mutex;
}

RealBuffer MakeReal(std::size_t n) {
  RealBuffer buffer(
      static_cast<double*>(fftw_malloc(sizeof(double) * std::max<std::size_t>(n, 1))));
  if (!buffer) throw std::bad_alloc();
  std::fill_n(buffer.get(), n, 0.0);
  return buffer;
}

ComplexBuffer MakeComplex(std::size_t n) {
  ComplexBuffer buffer(
      static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * std::max<std::size_t>(n, 1))));
  if (!buffer) throw std::bad_alloc();
  for (std::size_t i = 0; i < n; ++i) {
    buffer[i][0] = 0.0;
    buffer[i][1] = 0.0;
  }
  return buffer;
}

void CopyComplex(const fftw_complex* from, std::size_t n, fftw_complex* to) {
  std::memcpy(to, from, n * sizeof(fftw_complex));
}

Plan& Plan::operator=(Plan&& other) noexcept {
  if (this != &other) {
    Plan old(std::move(*this));
    plan_ = other.plan_;
    other.plan_ = nullptr;
  }
  return *this;
}

Plan::~Plan() {
  if (plan_ == nullptr) return;
  const std::lock_guard lock(PlannerMutex());
  fftw_destroy_plan(plan_);
}

RealFft::RealFft(std::size_t n) : n_(n), real_(MakeReal(n)), complex_(MakeComplex(n / 2 + 1)) {
  const int size = static_cast<int>(n);
  // FFTW_ESTIMATE: planning is instant and leaves the buffers alone; for the
  // power-of-two sizes used here the estimated plans are close to measured ones.
  const std::lock_guard lock(PlannerMutex());
  forward_ = Plan(fftw_plan_dft_r2c_1d(size, real_.get(), complex_.get(), FFTW_ESTIMATE));
  inverse_ = Plan(fftw_plan_dft_c2r_1d(size, complex_.get(), real_.get(), FFTW_ESTIMATE));
}

}  // namespace qel::effects::spectral

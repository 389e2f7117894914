// FFTW for the spectral kinds: aligned buffers and per-instance real
// transforms whose plans are made and destroyed under one process-wide lock.
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <memory>
#include <mutex>

namespace qel::effects::spectral {

// FFTW's planner keeps global tables and is not thread-safe, while instances
// run on different threads at once. Every plan is made and destroyed under
// this lock. It is a function-local static: the one piece of shared state this
// library has, and it holds no data, only exclusion.
std::mutex& PlannerMutex();

struct FftwDeleter {
  void operator()(void* p) const { fftw_free(p); }
};
using RealBuffer = std::unique_ptr<double[], FftwDeleter>;
using ComplexBuffer = std::unique_ptr<fftw_complex[], FftwDeleter>;

// Zeroed, SIMD-aligned storage as FFTW likes it.
RealBuffer MakeReal(std::size_t n);
ComplexBuffer MakeComplex(std::size_t n);

void CopyComplex(const fftw_complex* from, std::size_t n, fftw_complex* to);

// A plan that destroys itself under the planner lock.
class Plan {
 public:
  Plan() = default;
  explicit Plan(fftw_plan plan) : plan_(plan) {}
  Plan(Plan&& other) noexcept : plan_(other.plan_) { other.plan_ = nullptr; }
  Plan& operator=(Plan&& other) noexcept;
  Plan(const Plan&) = delete;
  Plan& operator=(const Plan&) = delete;
  ~Plan();
  void Execute() const { fftw_execute(plan_); }
  explicit operator bool() const { return plan_ != nullptr; }

 private:
  fftw_plan plan_ = nullptr;
};

// A real transform of even size n on buffers of its own: Forward takes
// Real() (n values) to Complex() (n/2 + 1 bins) and keeps Real(); Inverse
// takes Complex() back to Real(), scaled by n, and spoils Complex().
class RealFft {
 public:
  RealFft() = default;
  explicit RealFft(std::size_t n);
  std::size_t size() const { return n_; }
  std::size_t bins() const { return n_ / 2 + 1; }
  double* Real() { return real_.get(); }
  fftw_complex* Complex() { return complex_.get(); }
  void Forward() const { forward_.Execute(); }
  void Inverse() const { inverse_.Execute(); }

 private:
  std::size_t n_ = 0;
  RealBuffer real_;
  ComplexBuffer complex_;
  Plan forward_;
  Plan inverse_;
};

}  // namespace qel::effects::spectral

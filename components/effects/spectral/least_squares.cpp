#include "spectral/least_squares.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "spectral/fft.h"

namespace qel::effects::spectral {
namespace {

// The iteration stops when the residual of the normal equations falls below
// this share of their right-hand side, or after kMaxSteps steps. Weights
// within a ratio of 1000 need a few hundred steps at most.
constexpr double kTolerance = 1e-10;
constexpr int kMaxSteps = 1000;

// Y_k = Σ' X_j cos(π j k / K) over j = 0 … K (trapezoid: ends halved), as a
// DCT-I of X/2 (FFTW's REDFT00 doubles the inner terms).
class CosineSum {
 public:
  explicit CosineSum(std::size_t grid) : n_(grid + 1), in_(MakeReal(n_)), out_(MakeReal(n_)) {
    const std::lock_guard lock(PlannerMutex());
    plan_ = Plan(
        fftw_plan_r2r_1d(static_cast<int>(n_), in_.get(), out_.get(), FFTW_REDFT00, FFTW_ESTIMATE));
  }
  double* In() { return in_.get(); }
  const double* Out() const { return out_.get(); }
  void Run() const { plan_.Execute(); }
  std::size_t size() const { return n_; }

 private:
  std::size_t n_;
  RealBuffer in_;
  RealBuffer out_;
  Plan plan_;
};

}  // namespace

std::vector<double> DesignLeastSquares(const LeastSquaresTarget& target, std::size_t half) {
  const std::size_t grid = target.magnitude.size() - 1;  // K
  const std::size_t terms = half + 1;
  CosineSum cosine(grid);
  double* in = cosine.In();
  const double* out = cosine.Out();
  const bool weighted = !target.weight.empty();
  auto weightAt = [&](std::size_t j) { return weighted ? target.weight[j] : 1.0; };

  // Right-hand side b_m = Σ' W_j D_j cos(m ω_j).
  for (std::size_t j = 0; j <= grid; ++j)
    in[j] = 0.5 * weightAt(j) * target.magnitude[j];
  cosine.Run();
  std::vector<double> b(out, out + terms);

  // Diagonal of the normal matrix: Σ' W_j cos²(m ω_j) = (E_0 + E_2m)/2, with
  // E_k = Σ' W_j cos(k ω_j) (E_0 alone for m = 0).
  for (std::size_t j = 0; j <= grid; ++j)
    in[j] = 0.5 * weightAt(j);
  cosine.Run();
  std::vector<double> diagonal(terms);
  diagonal[0] = out[0];
  for (std::size_t m = 1; m < terms; ++m)
    diagonal[m] = 0.5 * (out[0] + out[2 * m]);

  // Unweighted, the cosines are orthogonal on the grid: the system is
  // diagonal. Weighted, this is the first guess.
  std::vector<double> c(terms);
  const double k = static_cast<double>(grid);
  c[0] = b[0] / k;
  for (std::size_t m = 1; m < terms; ++m)
    c[m] = b[m] / (k / 2);
  if (weighted) {
    // The normal matrix times v: the series v evaluated on the grid (REDFT00
    // of X_0 = v_0, X_m = v_m/2 is v_0 + Σ v_m cos(m ω_j) = A(ω_j)), weighted,
    // and taken back onto the cosines.
    std::vector<double> product(terms);
    auto apply = [&](const std::vector<double>& v) {
      std::fill_n(in, cosine.size(), 0.0);
      in[0] = v[0];
      for (std::size_t m = 1; m < terms; ++m)
        in[m] = 0.5 * v[m];
      cosine.Run();
      for (std::size_t j = 0; j <= grid; ++j)
        in[j] = 0.5 * target.weight[j] * out[j];
      cosine.Run();
      std::copy_n(out, terms, product.begin());
    };
    apply(c);
    std::vector<double> r(terms);
    for (std::size_t m = 0; m < terms; ++m)
      r[m] = b[m] - product[m];
    std::vector<double> z(terms);
    for (std::size_t m = 0; m < terms; ++m)
      z[m] = r[m] / diagonal[m];
    std::vector<double> p = z;
    double rz = std::inner_product(r.begin(), r.end(), z.begin(), 0.0);
    const double limit =
        kTolerance * std::sqrt(std::inner_product(b.begin(), b.end(), b.begin(), 0.0));
    for (int step = 0; step < kMaxSteps; ++step) {
      if (std::sqrt(std::inner_product(r.begin(), r.end(), r.begin(), 0.0)) <= limit) break;
      apply(p);
      const double pAp = std::inner_product(p.begin(), p.end(), product.begin(), 0.0);
      if (!(pAp > 0)) break;
      const double alpha = rz / pAp;
      for (std::size_t m = 0; m < terms; ++m) {
        c[m] += alpha * p[m];
        r[m] -= alpha * product[m];
        z[m] = r[m] / diagonal[m];
      }
      const double rzNext = std::inner_product(r.begin(), r.end(), z.begin(), 0.0);
      const double beta = rzNext / rz;
      rz = rzNext;
      for (std::size_t m = 0; m < terms; ++m)
        p[m] = z[m] + beta * p[m];
    }
  }

  std::vector<double> h(2 * half + 1);
  h[half] = c[0];
  for (std::size_t m = 1; m < terms; ++m) {
    h[half + m] = 0.5 * c[m];
    h[half - m] = 0.5 * c[m];
  }
  return h;
}

}  // namespace qel::effects::spectral

// Weighted least-squares design of linear-phase (symmetric, odd-length) FIR
// filters from a gain curve.
#pragma once

#include <cstddef>
#include <vector>

namespace qel::effects::spectral {

// Desired magnitude and weight on the uniform grid ω_j = π·j/K, j = 0 … K.
struct LeastSquaresTarget {
  std::vector<double> magnitude;  // K + 1 linear gains
  std::vector<double> weight;     // K + 1 positive weights, or empty for equal weights
};

// The 2·half + 1 taps h (h[half ± m] equal) whose amplitude response
// A(ω) = h[half] + 2 Σ h[half + m]·cos(mω) minimises Σ_j W_j (A(ω_j) − D_j)²,
// the sum taken by the trapezoid rule over the grid. The grid must be a power
// of two K ≥ 2·half. With equal weights the answer is the grid's cosine
// series of D cut after `half` terms; otherwise preconditioned conjugate
// gradients find it, each step two cosine transforms of the grid.
std::vector<double> DesignLeastSquares(const LeastSquaresTarget& target, std::size_t half);

}  // namespace qel::effects::spectral

// Spectral flux: how much the magnitude spectrum grows from one slice of the
// signal to the next, the usual onset-strength function.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qel::effects::analysis {

class SpectralFlux {
 public:
  // A Hann window of `window` frames moved by `hop` frames (hop ≤ window).
  SpectralFlux(uint32_t window, uint32_t hop);
  ~SpectralFlux();
  SpectralFlux(const SpectralFlux&) = delete;
  SpectralFlux& operator=(const SpectralFlux&) = delete;

  bool Ready() const { return plan_ != nullptr; }
  // Takes the next `hop` samples; gives Σ max(0, |X_k| − |X_k,prev|) over the
  // bins of the window ending with them.
  double Next(std::span<const float> hop);

 private:
  struct Plan;
  uint32_t window_;
  uint32_t hop_;
  std::vector<double> history_;   // the last `window` samples
  std::vector<double> shape_;     // the Hann window
  std::vector<double> previous_;  // the magnitudes of the slice before
  std::unique_ptr<Plan> plan_;
};

}  // namespace qel::effects::analysis

// The FIR filter: a linear-phase FIR of 2^(Quality + 6) + 1 taps designed by
// weighted least squares from (frequency, dB, weight) points, its delay
// compensated so the output lines up with the input.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "processor.h"
#include "spectral/convolver.h"

namespace qel::effects::spectral {

class FirFilter final : public Processor {
 public:
  static constexpr int kMinQuality = 0;         // 65 taps
  static constexpr int kMaxQuality = 8;         // 16385 taps
  static constexpr double kDefaultQuality = 4;  // 1025 taps
  static constexpr double kMinDb = -120;
  static constexpr double kMaxDb = 60;
  // Weights below this share of the largest are raised to it: the design
  // stays well conditioned.
  static constexpr double kMinWeightRatio = 1e-3;

  // The taps for a Quality value (rounded and clamped).
  static std::size_t Taps(double quality);

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  std::vector<double> Design() const;

  std::vector<double> hz_;
  std::vector<double> db_;
  std::vector<double> weights_;
  double quality_ = kDefaultQuality;

  double sampleRate_ = 44100;
  std::size_t taps_ = 1025;  // of this run
  bool dirty_ = false;
  Convolver convolver_;
  CentredRun run_;
};

}  // namespace qel::effects::spectral

// The FFT filter: a gain curve drawn through (frequency, dB) points, turned
// into a zero-phase impulse response of FFTSize − 1 taps and applied by FFT
// convolution, the delay compensated so the output lines up with the input.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "processor.h"
#include "spectral/convolver.h"

namespace qel::effects::spectral {

class FftFilter final : public Processor {
 public:
  static constexpr std::size_t kMinSize = 256;
  static constexpr std::size_t kMaxSize = 32768;
  static constexpr double kDefaultSize = 4096;
  static constexpr double kMinDb = -120;
  static constexpr double kMaxDb = 60;
  enum Window { kRectangular = 0, kHann = 1, kHamming = 2, kBlackman = 3 };
  static constexpr double kDefaultSpline = 1;  // cubic
  static constexpr double kDefaultWindow = kHann;

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  std::vector<double> Design() const;

  std::vector<double> hz_;
  std::vector<double> db_;
  double spline_ = kDefaultSpline;
  double sizeParam_ = kDefaultSize;
  double window_ = kDefaultWindow;

  double sampleRate_ = 44100;
  std::size_t size_ = 4096;  // of this run
  bool dirty_ = false;
  Convolver convolver_;
  CentredRun run_;
};

}  // namespace qel::effects::spectral
